#include "sim/sim_file.h"

#include <cctype>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <set>
#include <sstream>

#include "dfu/stdfu.h"
#include "sim/sim_descriptors.h"
#include "support/whole_number.h"

namespace kestrune {
namespace {

using Json = nlohmann::json;

constexpr std::uint32_t kMaxDevices = 16;
constexpr std::uint32_t kMaxAlternates = 16;
constexpr std::uint32_t kMaxDelayMs = 600000;
constexpr std::uintmax_t kMaxFileSize = 1 << 20;

// The first problem found, with where it is ("devices[1].faults[0].nth: ...").
struct Problem {
  std::string text;
};

[[noreturn]] void Fail(const std::string& where, const std::string& what) {
  throw Problem{where + ": " + what};
}

std::uint32_t Number(const Json& value, const std::string& where, std::uint32_t max) {
  std::uint64_t n = 0;
  if (value.is_number_unsigned()) {
    n = value.get<std::uint64_t>();
  } else if (value.is_string()) {
    const std::string text = value.get<std::string>();
    const std::optional<std::uint64_t> parsed =
        ParseWholeNumber<std::uint64_t>(text, NumberBase::DecimalOrHex);
    if (!parsed) Fail(where, "\"" + text + "\" is not a number");
    n = *parsed;
  } else {
    Fail(where, "expected a number or a text such as \"0x0483\"");
  }
  if (n > max) Fail(where, std::to_string(n) + " is larger than " + std::to_string(max));
  return static_cast<std::uint32_t>(n);
}

std::string Text(const Json& value, const std::string& where) {
  if (!value.is_string()) Fail(where, "expected a text");
  const std::string text = value.get<std::string>();
  if (text.size() > kSimMaxStringLength) Fail(where, "longer than 126 characters");
  for (unsigned char c : text) {
    if (c < 0x20 || c > 0x7E) Fail(where, "only printable ASCII characters are allowed");
  }
  return text;
}

bool Flag(const Json& value, const std::string& where) {
  if (!value.is_boolean()) Fail(where, "expected true or false");
  return value.get<bool>();
}

// Hexadecimal bytes, blanks allowed between them: "EF AA 10 55".
std::vector<std::uint8_t> HexBytes(const Json& value, const std::string& where) {
  if (!value.is_string()) Fail(where, "expected hexadecimal bytes such as \"EF AA 10 55\"");
  std::string digits;
  for (char c : value.get<std::string>()) {
    if (c == ' ') continue;
    if (!std::isxdigit(static_cast<unsigned char>(c))) Fail(where, "not hexadecimal bytes");
    digits += c;
  }
  if (digits.size() % 2 != 0) Fail(where, "odd number of hexadecimal digits");
  std::vector<std::uint8_t> bytes;
  for (std::size_t i = 0; i < digits.size(); i += 2) {
    bytes.push_back(static_cast<std::uint8_t>(std::stoul(digits.substr(i, 2), nullptr, 16)));
  }
  return bytes;
}

void CheckKeys(const Json& object, const std::string& where,
               std::initializer_list<const char*> known) {
  if (!object.is_object()) Fail(where, "expected an object");
  for (const auto& item : object.items()) {
    if (item.key() == "comment") continue;
    bool ok = false;
    for (const char* k : known) ok = ok || item.key() == k;
    if (!ok) Fail(where, "unknown setting \"" + item.key() + "\"");
  }
}

// The JSON library keeps the last of two equal keys without a word: a setting written twice is
// refused like an unknown one, since the user surely meant only one of them.
class DuplicateKeyCheck {
 public:
  bool operator()(int, Json::parse_event_t event, Json& parsed) {
    switch (event) {
      case Json::parse_event_t::object_start:
      case Json::parse_event_t::array_start:
        m_open.push_back({event == Json::parse_event_t::object_start, {}, {}, 0});
        break;
      case Json::parse_event_t::key: {
        Container& object = m_open.back();
        object.lastKey = parsed.get<std::string>();
        if (!object.keys.insert(object.lastKey).second) {
          Fail(Where(), "setting \"" + object.lastKey + "\" appears twice");
        }
        break;
      }
      case Json::parse_event_t::object_end:
      case Json::parse_event_t::array_end:
        m_open.pop_back();
        [[fallthrough]];
      case Json::parse_event_t::value:
        if (!m_open.empty() && !m_open.back().isObject) ++m_open.back().count;
        break;
    }
    return true;
  }

 private:
  struct Container {
    bool isObject = false;
    std::set<std::string> keys;
    std::string lastKey;
    std::size_t count = 0;  // elements of an array before the current one
  };

  // "devices[1].timing": built only for the message, as nesting may be deep.
  std::string Where() const {
    std::string where;
    for (std::size_t i = 0; i + 1 < m_open.size(); ++i) {
      if (m_open[i].isObject) {
        where += (where.empty() ? "" : ".") + m_open[i].lastKey;
      } else {
        where += "[" + std::to_string(m_open[i].count) + "]";
      }
    }
    return where.empty() ? "file" : where;
  }

  std::vector<Container> m_open;
};

template <typename T>
T Choice(const Json& value, const std::string& where,
         std::initializer_list<std::pair<const char*, T>> choices) {
  if (value.is_string()) {
    for (const auto& [name, choice] : choices) {
      if (value.get<std::string>() == name) return choice;
    }
  }
  std::string names;
  for (const auto& choice : choices) names += std::string(names.empty() ? "" : ", ") + choice.first;
  Fail(where, "expected one of " + names);
}

SimRequest RequestKind(const Json& value, const std::string& where) {
  std::string names;
  for (std::size_t kind = 0; kind < kSimRequestKinds; ++kind) {
    if (value.is_string() && value.get<std::string>() == kSimRequestNames[kind]) {
      return static_cast<SimRequest>(kind);
    }
    names += std::string(kind == 0 ? "" : ", ") + kSimRequestNames[kind];
  }
  Fail(where, "expected one of " + names);
}

// The faults that only make sense on some kinds of request; the rest take any kind but OPEN.
void CheckFaultRequest(const SimFault& f, const std::string& where) {
  using A = SimFaultAction;
  const SimRequest r = f.request;
  const bool answers = r == SimRequest::Upload || r == SimRequest::GetStatus ||
                       r == SimRequest::GetState || r == SimRequest::GetDescriptor;
  const char* needs = nullptr;
  if ((f.action == A::Partial || f.action == A::Lost) && r != SimRequest::Dnload) {
    needs = "DNLOAD";
  } else if (f.action == A::Garble && r != SimRequest::Upload) {
    needs = "UPLOAD";
  } else if ((f.action == A::Short || f.action == A::Oversized) && !answers) {
    needs = "UPLOAD, GETSTATUS, GETSTATE or GET_DESCRIPTOR";
  } else if ((f.action == A::WrongState || f.action == A::PollTimeout) &&
             r != SimRequest::GetStatus) {
    needs = "GETSTATUS";
  } else if (f.action == A::Busy && r != SimRequest::Open) {
    needs = "OPEN";
  } else if (r == SimRequest::Open && f.action != A::Fail && f.action != A::Busy) {
    Fail(where + ".request", "OPEN takes the actions fail and busy");
  }
  if (needs != nullptr) Fail(where + ".request", std::string("this action needs ") + needs);
}

SimTiming Timing(const Json& value, const std::string& where) {
  const std::initializer_list<std::pair<const char*, bool>> models = {{"instant", false},
                                                                      {"datasheet", true}};
  if (value.is_string()) return Choice(value, where, models) ? DatasheetTiming() : InstantTiming();
  CheckKeys(value, where,
            {"model", "setAddressMs", "erase16KMs", "erase64KMs", "erase128KMs", "massEraseMs",
             "programUsPerWord", "optionWriteMs", "controlTransferUs", "dataBytesPerMs"});
  SimTiming t = value.contains("model") && Choice(value["model"], where + ".model", models)
                    ? DatasheetTiming()
                    : InstantTiming();
  struct Field {
    const char* name;
    std::uint32_t SimTiming::*field;
    std::uint32_t max;
  };
  const Field fields[] = {
      {"setAddressMs", &SimTiming::setAddressMs, kMaxDelayMs},
      {"erase16KMs", &SimTiming::erase16KMs, kMaxDelayMs},
      {"erase64KMs", &SimTiming::erase64KMs, kMaxDelayMs},
      {"erase128KMs", &SimTiming::erase128KMs, kMaxDelayMs},
      {"massEraseMs", &SimTiming::massEraseMs, kMaxDelayMs},
      {"programUsPerWord", &SimTiming::programUsPerWord, kMaxDelayMs},
      {"optionWriteMs", &SimTiming::optionWriteMs, kMaxDelayMs},
      {"controlTransferUs", &SimTiming::controlTransferUs, kMaxDelayMs},
      {"dataBytesPerMs", &SimTiming::dataBytesPerMs, kSimMaxDataBytesPerMs},
  };
  for (const auto& [name, field, max] : fields) {
    if (value.contains(name)) t.*field = Number(value[name], where + "." + name, max);
  }
  return t;
}

SimStrictness Strictness(const Json& value, const std::string& where) {
  const std::initializer_list<std::pair<const char*, bool>> models = {{"strict", false},
                                                                      {"lenient", true}};
  if (value.is_string()) {
    return Choice(value, where, models) ? LenientStrictness() : SimStrictness{};
  }
  CheckKeys(value, where,
            {"model", "protectAllAlternates", "otpOverrun", "uniqueIdReadable", "holdBusyAnswer",
             "busyPollMs", "keepUndefinedOptionBits", "errorAtFirstStatus"});
  SimStrictness s = value.contains("model") && Choice(value["model"], where + ".model", models)
                        ? LenientStrictness()
                        : SimStrictness{};
  const std::pair<const char*, bool SimStrictness::*> flags[] = {
      {"protectAllAlternates", &SimStrictness::protectAllAlternates},
      {"uniqueIdReadable", &SimStrictness::uniqueIdReadable},
      {"holdBusyAnswer", &SimStrictness::holdBusyAnswer},
      {"keepUndefinedOptionBits", &SimStrictness::keepUndefinedOptionBits},
      {"errorAtFirstStatus", &SimStrictness::errorAtFirstStatus},
  };
  for (const auto& [name, field] : flags) {
    if (value.contains(name)) s.*field = Flag(value[name], where + "." + name);
  }
  if (value.contains("otpOverrun")) {
    s.otpOverrun = Choice(value["otpOverrun"], where + ".otpOverrun",
                          {std::pair{"short", SimOtpOverrun::ShortFrame},
                           {"stall", SimOtpOverrun::Stall},
                           {"window", SimOtpOverrun::WholeWindow}});
  }
  if (value.contains("busyPollMs")) {
    s.busyPollMs = Number(value["busyPollMs"], where + ".busyPollMs", 0xFFFFFF);
  }
  return s;
}

SimFault Fault(const Json& value, const std::string& where) {
  CheckKeys(value, where,
            {"action", "request", "nth", "count", "status", "address", "xor", "returnAfterMs",
             "stayAway", "bytes", "offset", "state", "pollMs"});
  SimFault f;
  if (!value.contains("action")) Fail(where, "missing \"action\"");
  f.action = Choice(value["action"], where + ".action",
                    {std::pair{"fail", SimFaultAction::Fail},
                     {"stall", SimFaultAction::Stall},
                     {"timeout", SimFaultAction::Timeout},
                     {"dfuError", SimFaultAction::DfuError},
                     {"disconnect", SimFaultAction::Disconnect},
                     {"corrupt", SimFaultAction::Corrupt},
                     {"partial", SimFaultAction::Partial},
                     {"lost", SimFaultAction::Lost},
                     {"garble", SimFaultAction::Garble},
                     {"short", SimFaultAction::Short},
                     {"oversized", SimFaultAction::Oversized},
                     {"wrongState", SimFaultAction::WrongState},
                     {"pollTimeout", SimFaultAction::PollTimeout},
                     {"busy", SimFaultAction::Busy}});
  if (f.action == SimFaultAction::Corrupt) {
    if (!value.contains("address")) Fail(where, "missing \"address\"");
    f.address = Number(value["address"], where + ".address", 0xFFFFFFFF);
    if (value.contains("xor"))
      f.xorMask = static_cast<std::uint8_t>(Number(value["xor"], where + ".xor", 0xFF));
    if (f.xorMask == 0) Fail(where + ".xor", "0 changes nothing");
    return f;
  }
  if (!value.contains("request")) Fail(where, "missing \"request\"");
  f.request = RequestKind(value["request"], where + ".request");
  if (value.contains("nth")) f.nth = Number(value["nth"], where + ".nth", 0xFFFFFFFF);
  if (value.contains("count")) f.count = Number(value["count"], where + ".count", 0xFFFFFFFF);
  if (f.nth == 0 || f.count == 0) Fail(where, "\"nth\" and \"count\" count from 1");
  if (value.contains("status")) {
    const Json& s = value["status"];
    f.status = s.is_string() && s.get<std::string>().rfind("err", 0) == 0
                   ? Choice(s, where + ".status",
                            {std::pair{"errTARGET", std::uint8_t{errTARGET}},
                             {"errFILE", std::uint8_t{errFILE}},
                             {"errWRITE", std::uint8_t{errWRITE}},
                             {"errERASE", std::uint8_t{errERASE}},
                             {"errCHECK_ERASED", std::uint8_t{errCHECK_ERASED}},
                             {"errPROG", std::uint8_t{errPROG}},
                             {"errVERIFY", std::uint8_t{errVERIFY}},
                             {"errADDRESS", std::uint8_t{errADDRESS}},
                             {"errNOTDONE", std::uint8_t{errNOTDONE}},
                             {"errFIRMWARE", std::uint8_t{errFIRMWARE}},
                             {"errVENDOR", std::uint8_t{errVENDOR}},
                             {"errUSBR", std::uint8_t{errUSBR}},
                             {"errPOR", std::uint8_t{errPOR}},
                             {"errUNKNOWN", std::uint8_t{errUNKNOWN}},
                             {"errSTALLEDPKT", std::uint8_t{errSTALLEDPKT}}})
                   : static_cast<std::uint8_t>(Number(s, where + ".status", 0xFF));
    if (f.status == OK) Fail(where + ".status", "a failure needs a status other than OK");
  }
  if (value.contains("returnAfterMs")) {
    f.returnAfterMs = Number(value["returnAfterMs"], where + ".returnAfterMs", kMaxDelayMs);
  }
  if (value.contains("stayAway")) f.stayAway = Flag(value["stayAway"], where + ".stayAway");
  CheckFaultRequest(f, where);
  if (value.contains("bytes")) f.bytes = Number(value["bytes"], where + ".bytes", kSimTransferSize);
  if (value.contains("offset")) {
    f.offset = Number(value["offset"], where + ".offset", kSimTransferSize - 1);
  }
  if (value.contains("xor")) {
    f.xorMask = static_cast<std::uint8_t>(Number(value["xor"], where + ".xor", 0xFF));
    if (f.xorMask == 0) Fail(where + ".xor", "0 changes nothing");
  }
  if (value.contains("state")) {
    f.state = static_cast<std::uint8_t>(Number(value["state"], where + ".state", 0xFF));
  }
  if (value.contains("pollMs")) {
    f.pollMs = Number(value["pollMs"], where + ".pollMs", 0xFFFFFF);  // 24 bits in GETSTATUS
  }
  return f;
}

SimDeviceConfig Device(const Json& value, const std::string& where, const std::string& fileFolder,
                       const std::string& defaultImageFolder) {
  CheckKeys(value, where,
            {"interfaceClass",
             "serialNumber",
             "instance",
             "vid",
             "pid",
             "bcdDevice",
             "bcdDFUVersion",
             "flashKiB",
             "interfaceStrings",
             "optionBytes",
             "optionComplements",
             "otp",
             "otpLockedBlocks",
             "uniqueId",
             "leaveDelayMs",
             "returnDelayMs",
             "returnInstance",
             "returnInDfu",
             "timing",
             "strictness",
             "faults",
             "folder",
             "persist"});
  SimDeviceConfig d = DefaultSimDevice("");
  auto has = [&value](const char* key) { return value.contains(key); };
  auto at = [&where](const char* key) { return where + "." + key; };
  if (has("interfaceClass")) {
    d.interfaceClass = Choice(
        value["interfaceClass"], at("interfaceClass"),
        {std::pair{"first", SimInterfaceClass::First}, {"second", SimInterfaceClass::Second}});
  }
  if (has("uniqueId")) {
    const auto bytes = HexBytes(value["uniqueId"], at("uniqueId"));
    if (bytes.size() != d.uniqueId.size()) Fail(at("uniqueId"), "expected 12 bytes");
    std::copy(bytes.begin(), bytes.end(), d.uniqueId.begin());
  }
  d.serialNumber = has("serialNumber") ? Text(value["serialNumber"], at("serialNumber"))
                                       : SerialFromUniqueId(d.uniqueId);
  if (d.serialNumber.empty()) Fail(at("serialNumber"), "empty");
  d.instance = has("instance") ? Text(value["instance"], at("instance")) : d.serialNumber;
  if (!IsValidInstance(d.instance)) {
    Fail(at("instance"), "\"" + d.instance +
                             "\" may hold only letters, digits and & _ - . (it defaults to the "
                             "serial number)");
  }
  const std::pair<const char*, std::uint16_t SimDeviceConfig::*> ids[] = {
      {"vid", &SimDeviceConfig::vid},
      {"pid", &SimDeviceConfig::pid},
      {"bcdDevice", &SimDeviceConfig::bcdDevice},
      {"bcdDFUVersion", &SimDeviceConfig::bcdDFUVersion},
  };
  for (const auto& [name, field] : ids) {
    if (has(name)) d.*field = static_cast<std::uint16_t>(Number(value[name], at(name), 0xFFFF));
  }
  if (has("flashKiB")) {
    d.flashKiB = Number(value["flashKiB"], at("flashKiB"), 0xFFFFFFFF);
    if (!IsSupportedFlashSize(d.flashKiB)) Fail(at("flashKiB"), "expected 256, 512, 1024 or 2048");
  }
  d.interfaceStrings = BootLoaderInterfaceStrings(d.flashKiB);
  if (has("interfaceStrings")) {
    const Json& list = value["interfaceStrings"];
    if (!list.is_array() || list.empty() || list.size() > kMaxAlternates) {
      Fail(at("interfaceStrings"), "expected a list of 1 to 16 texts");
    }
    d.interfaceStrings.clear();
    for (std::size_t i = 0; i < list.size(); ++i) {
      d.interfaceStrings.push_back(
          Text(list[i], at("interfaceStrings") + "[" + std::to_string(i) + "]"));
    }
  }
  if (has("optionComplements")) {
    d.optionComplements = Flag(value["optionComplements"], at("optionComplements"));
  }
  if (has("optionBytes")) {
    const auto bytes = HexBytes(value["optionBytes"], at("optionBytes"));
    if (bytes.size() == 4) {
      d.optionBytes =
          WithOptionComplements({bytes[0], bytes[1], 0, 0, 0, 0, 0, 0, bytes[2], bytes[3]});
    } else if (bytes.size() == kSimOptionSize) {
      std::copy(bytes.begin(), bytes.end(), d.optionBytes.begin());
    } else {
      Fail(at("optionBytes"), "expected 4 bytes (0, 1, 8, 9) or all 16");
    }
  }
  if (has("otp")) {
    CheckKeys(value["otp"], at("otp"),
              {"0", "1", "2", "3", "4", "5", "6", "7", "8", "9", "10", "11", "12", "13", "14", "15",
               "locks"});
    for (const auto& item : value["otp"].items()) {
      if (item.key() == "comment") continue;
      const std::string w = at("otp") + "." + item.key();
      const auto bytes = HexBytes(item.value(), w);
      if (item.key() == "locks") {
        if (bytes.size() != kSimOtpBlockCount) Fail(w, "expected 16 lock bytes");
        std::copy(bytes.begin(), bytes.end(), d.otpLocks.begin());
        continue;
      }
      if (bytes.size() > kSimOtpBlockSize) Fail(w, "a block has 32 bytes");
      std::copy(bytes.begin(), bytes.end(),
                d.otp.begin() + std::stoul(item.key()) * kSimOtpBlockSize);
    }
  }
  if (has("otpLockedBlocks")) {
    const Json& list = value["otpLockedBlocks"];
    if (!list.is_array()) Fail(at("otpLockedBlocks"), "expected a list of block numbers");
    for (std::size_t i = 0; i < list.size(); ++i) {
      d.lockedOtpBlocks.push_back(Number(
          list[i], at("otpLockedBlocks") + "[" + std::to_string(i) + "]", kSimOtpBlockCount - 1));
    }
  }
  if (has("leaveDelayMs"))
    d.leaveDelayMs = Number(value["leaveDelayMs"], at("leaveDelayMs"), kMaxDelayMs);
  if (has("returnInstance")) {
    d.returnInstance = Text(value["returnInstance"], at("returnInstance"));
    if (!IsValidInstance(d.returnInstance)) {
      Fail(at("returnInstance"), "may hold only letters, digits and & _ - .");
    }
  }
  if (has("returnInDfu")) d.returnInDfu = Flag(value["returnInDfu"], at("returnInDfu"));
  if (has("returnDelayMs")) {
    d.returnDelayMs = Number(value["returnDelayMs"], at("returnDelayMs"), kMaxDelayMs);
  }
  if (has("timing")) d.timing = Timing(value["timing"], at("timing"));
  if (has("strictness")) d.strictness = Strictness(value["strictness"], at("strictness"));
  if (has("faults")) {
    const Json& list = value["faults"];
    if (!list.is_array()) Fail(at("faults"), "expected a list");
    for (std::size_t i = 0; i < list.size(); ++i) {
      d.faults.push_back(Fault(list[i], at("faults") + "[" + std::to_string(i) + "]"));
    }
  }
  const bool persist = !has("persist") || Flag(value["persist"], at("persist"));
  if (persist) {
    std::filesystem::path folder = std::filesystem::path(defaultImageFolder) / d.instance;
    if (has("folder")) {
      if (!value["folder"].is_string() || value["folder"].get<std::string>().empty()) {
        Fail(at("folder"), "expected a folder name");
      }
      folder = std::filesystem::path(fileFolder) / value["folder"].get<std::string>();
    }
    d.imageFolder = folder.string();
  }
  return d;
}

}  // namespace

SimFileResult ParseSimulatorFile(const std::string& text, const std::string& fileFolder,
                                 const std::string& defaultImageFolder) {
  SimFileResult result;
  try {
    const Json root = Json::parse(text, DuplicateKeyCheck());
    CheckKeys(root, "file", {"devices"});
    if (!root.contains("devices") || !root["devices"].is_array() || root["devices"].empty() ||
        root["devices"].size() > kMaxDevices) {
      Fail("devices", "expected a list of 1 to 16 devices");
    }
    const Json& list = root["devices"];
    for (std::size_t i = 0; i < list.size(); ++i) {
      result.devices.push_back(
          Device(list[i], "devices[" + std::to_string(i) + "]", fileFolder, defaultImageFolder));
    }
  } catch (const Problem& problem) {
    result.devices.clear();
    result.error = problem.text;
  } catch (const Json::exception& e) {
    // The library's own prefix ("[json.exception.parse_error.101] ") tells the user nothing.
    const char* what = e.what();
    const char* message = std::strchr(what, ']');
    result.devices.clear();
    result.error = message != nullptr && message[1] == ' ' ? message + 2 : what;
  }
  return result;
}

SimFileResult ReadSimulatorFile(const std::string& path, const std::string& defaultImageFolder) {
  std::error_code ec;
  const auto size = std::filesystem::file_size(path, ec);
  if (ec) return {{}, "cannot read the simulator file " + path + ": " + ec.message()};
  if (size > kMaxFileSize) return {{}, "the simulator file " + path + " is larger than 1 MiB"};
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  if (!(text << in.rdbuf())) return {{}, "cannot read the simulator file " + path};
  SimFileResult result = ParseSimulatorFile(
      text.str(), std::filesystem::path(path).parent_path().string(), defaultImageFolder);
  if (!result.error.empty()) result.error = path + ": " + result.error;
  return result;
}

SimBenchResult MakeSimBench(Clock& clock, const std::string& file,
                            const std::string& defaultImageFolder) {
  std::vector<SimDeviceConfig> devices;
  if (file.empty()) {
    devices.push_back(DefaultSimDevice(defaultImageFolder));
  } else {
    SimFileResult read = ReadSimulatorFile(file, defaultImageFolder);
    if (!read.error.empty()) return {nullptr, read.error};
    devices = std::move(read.devices);
  }
  auto bench = std::make_unique<SimBench>(clock);
  if (const char* counts = std::getenv("KESTRUNE_SIM_REQUESTS"); counts != nullptr && *counts) {
    bench->WriteRequestCountsAtEnd(counts);
  }
  for (std::size_t i = 0; i < devices.size(); ++i) {
    const SimAddResult added = bench->AddDevice(devices[i]);
    if (!added.device) return {nullptr, "device " + std::to_string(i) + ": " + added.error};
  }
  return {std::move(bench), ""};
}

}  // namespace kestrune
