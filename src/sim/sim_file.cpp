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

SimFaultAction FaultAction(const Json& value, const std::string& where) {
  return Choice(value, where,
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
}

// A status byte by its name ("errVERIFY") or as a number.
std::uint8_t FaultStatus(const Json& value, const std::string& where) {
  const std::uint8_t status = value.is_string() && value.get<std::string>().rfind("err", 0) == 0
                                  ? Choice(value, where,
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
                                  : static_cast<std::uint8_t>(Number(value, where, 0xFF));
  if (status == OK) Fail(where, "a failure needs a status other than OK");
  return status;
}

std::uint8_t XorMask(const Json& value, const std::string& where) {
  const auto mask = static_cast<std::uint8_t>(Number(value, where, 0xFF));
  if (mask == 0) Fail(where, "0 changes nothing");
  return mask;
}

// A corrupted flash byte is no request's fault: it takes only an address and a mask.
SimFault CorruptFault(const Json& value, const std::string& where, SimFault f) {
  if (!value.contains("address")) Fail(where, "missing \"address\"");
  f.address = Number(value["address"], where + ".address", 0xFFFFFFFF);
  if (value.contains("xor")) f.xorMask = XorMask(value["xor"], where + ".xor");
  return f;
}

// Which request fails, and from which of them on, how often.
void FaultTrigger(const Json& value, const std::string& where, SimFault& f) {
  if (!value.contains("request")) Fail(where, "missing \"request\"");
  f.request = RequestKind(value["request"], where + ".request");
  if (value.contains("nth")) f.nth = Number(value["nth"], where + ".nth", 0xFFFFFFFF);
  if (value.contains("count")) f.count = Number(value["count"], where + ".count", 0xFFFFFFFF);
  if (f.nth == 0 || f.count == 0) Fail(where, "\"nth\" and \"count\" count from 1");
}

// The settings that shape a failed request's answer, read once the request suits the action.
void FaultAnswer(const Json& value, const std::string& where, SimFault& f) {
  if (value.contains("bytes")) f.bytes = Number(value["bytes"], where + ".bytes", kSimTransferSize);
  if (value.contains("offset")) {
    f.offset = Number(value["offset"], where + ".offset", kSimTransferSize - 1);
  }
  if (value.contains("xor")) f.xorMask = XorMask(value["xor"], where + ".xor");
  if (value.contains("state")) {
    f.state = static_cast<std::uint8_t>(Number(value["state"], where + ".state", 0xFF));
  }
  if (value.contains("pollMs")) {
    f.pollMs = Number(value["pollMs"], where + ".pollMs", 0xFFFFFF);  // 24 bits in GETSTATUS
  }
}

SimFault Fault(const Json& value, const std::string& where) {
  CheckKeys(value, where,
            {"action", "request", "nth", "count", "status", "address", "xor", "returnAfterMs",
             "stayAway", "bytes", "offset", "state", "pollMs"});
  SimFault f;
  if (!value.contains("action")) Fail(where, "missing \"action\"");
  f.action = FaultAction(value["action"], where + ".action");
  if (f.action == SimFaultAction::Corrupt) return CorruptFault(value, where, f);
  FaultTrigger(value, where, f);
  if (value.contains("status")) f.status = FaultStatus(value["status"], where + ".status");
  if (value.contains("returnAfterMs")) {
    f.returnAfterMs = Number(value["returnAfterMs"], where + ".returnAfterMs", kMaxDelayMs);
  }
  if (value.contains("stayAway")) f.stayAway = Flag(value["stayAway"], where + ".stayAway");
  CheckFaultRequest(f, where);
  FaultAnswer(value, where, f);
  return f;
}

// One device's settings, read in the order of its Read* steps so that the first problem named
// stays the same one.
class DeviceReader {
 public:
  DeviceReader(const Json& value, const std::string& where) : m_value(value), m_where(where) {}

  SimDeviceConfig Read(const std::string& fileFolder, const std::string& defaultImageFolder) {
    CheckKeys(m_value, m_where,
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
    ReadNames();
    ReadUsbIds();
    ReadFlash();
    ReadOptionBytes();
    ReadOtp();
    ReadReturn();
    if (Has("timing")) m_d.timing = Timing(m_value["timing"], At("timing"));
    if (Has("strictness")) m_d.strictness = Strictness(m_value["strictness"], At("strictness"));
    ReadFaults();
    ReadImageFolder(fileFolder, defaultImageFolder);
    return std::move(m_d);
  }

 private:
  bool Has(const char* key) const { return m_value.contains(key); }
  const Json& Value(const char* key) const { return m_value[key]; }
  std::string At(const char* key) const { return m_where + "." + key; }
  std::string At(const char* key, std::size_t index) const {
    return At(key) + "[" + std::to_string(index) + "]";
  }

  // The interface class, the unique ID and the serial number and instance derived from it.
  void ReadNames() {
    if (Has("interfaceClass")) {
      m_d.interfaceClass = Choice(
          Value("interfaceClass"), At("interfaceClass"),
          {std::pair{"first", SimInterfaceClass::First}, {"second", SimInterfaceClass::Second}});
    }
    if (Has("uniqueId")) {
      const auto bytes = HexBytes(Value("uniqueId"), At("uniqueId"));
      if (bytes.size() != m_d.uniqueId.size()) Fail(At("uniqueId"), "expected 12 bytes");
      std::copy(bytes.begin(), bytes.end(), m_d.uniqueId.begin());
    }
    m_d.serialNumber = Has("serialNumber") ? Text(Value("serialNumber"), At("serialNumber"))
                                           : SerialFromUniqueId(m_d.uniqueId);
    if (m_d.serialNumber.empty()) Fail(At("serialNumber"), "empty");
    m_d.instance = Has("instance") ? Text(Value("instance"), At("instance")) : m_d.serialNumber;
    if (!IsValidInstance(m_d.instance)) {
      Fail(At("instance"), "\"" + m_d.instance +
                               "\" may hold only letters, digits and & _ - . (it defaults to the "
                               "serial number)");
    }
  }

  void ReadUsbIds() {
    const std::pair<const char*, std::uint16_t SimDeviceConfig::*> ids[] = {
        {"vid", &SimDeviceConfig::vid},
        {"pid", &SimDeviceConfig::pid},
        {"bcdDevice", &SimDeviceConfig::bcdDevice},
        {"bcdDFUVersion", &SimDeviceConfig::bcdDFUVersion},
    };
    for (const auto& [name, field] : ids) {
      if (Has(name)) m_d.*field = static_cast<std::uint16_t>(Number(Value(name), At(name), 0xFFFF));
    }
  }

  // The flash size and the alternate settings' names, which default to the size's layout.
  void ReadFlash() {
    if (Has("flashKiB")) {
      m_d.flashKiB = Number(Value("flashKiB"), At("flashKiB"), 0xFFFFFFFF);
      if (!IsSupportedFlashSize(m_d.flashKiB)) {
        Fail(At("flashKiB"), "expected 256, 512, 1024 or 2048");
      }
    }
    m_d.interfaceStrings = BootLoaderInterfaceStrings(m_d.flashKiB);
    if (!Has("interfaceStrings")) return;
    const Json& list = Value("interfaceStrings");
    if (list == "f42x") {
      m_d.interfaceStrings = BootLoaderInterfaceStrings(m_d.flashKiB, SimStringVariant::F42x);
      return;
    }
    if (!list.is_array() || list.empty() || list.size() > kMaxAlternates) {
      Fail(At("interfaceStrings"), "expected \"f42x\" or a list of 1 to 16 texts");
    }
    m_d.interfaceStrings.clear();
    for (std::size_t i = 0; i < list.size(); ++i) {
      m_d.interfaceStrings.push_back(Text(list[i], At("interfaceStrings", i)));
    }
  }

  void ReadOptionBytes() {
    if (Has("optionComplements")) {
      m_d.optionComplements = Flag(Value("optionComplements"), At("optionComplements"));
    }
    if (!Has("optionBytes")) return;
    const auto bytes = HexBytes(Value("optionBytes"), At("optionBytes"));
    if (bytes.size() == 4) {
      m_d.optionBytes =
          WithOptionComplements({bytes[0], bytes[1], 0, 0, 0, 0, 0, 0, bytes[2], bytes[3]});
    } else if (bytes.size() == kSimOptionSize) {
      std::copy(bytes.begin(), bytes.end(), m_d.optionBytes.begin());
    } else {
      Fail(At("optionBytes"), "expected 4 bytes (0, 1, 8, 9) or all 16");
    }
  }

  // The OTP blocks by number, their lock bytes, and blocks locked by number.
  void ReadOtp() {
    if (Has("otp")) {
      CheckKeys(Value("otp"), At("otp"),
                {"0", "1", "2", "3", "4", "5", "6", "7", "8", "9", "10", "11", "12", "13", "14",
                 "15", "locks"});
      for (const auto& item : Value("otp").items()) {
        if (item.key() == "comment") continue;
        const std::string w = At("otp") + "." + item.key();
        const auto bytes = HexBytes(item.value(), w);
        if (item.key() == "locks") {
          if (bytes.size() != kSimOtpBlockCount) Fail(w, "expected 16 lock bytes");
          std::copy(bytes.begin(), bytes.end(), m_d.otpLocks.begin());
          continue;
        }
        if (bytes.size() > kSimOtpBlockSize) Fail(w, "a block has 32 bytes");
        std::copy(bytes.begin(), bytes.end(),
                  m_d.otp.begin() + std::stoul(item.key()) * kSimOtpBlockSize);
      }
    }
    if (!Has("otpLockedBlocks")) return;
    const Json& list = Value("otpLockedBlocks");
    if (!list.is_array()) Fail(At("otpLockedBlocks"), "expected a list of block numbers");
    for (std::size_t i = 0; i < list.size(); ++i) {
      m_d.lockedOtpBlocks.push_back(
          Number(list[i], At("otpLockedBlocks", i), kSimOtpBlockCount - 1));
    }
  }

  // How the device leaves when told to and how it comes back.
  void ReadReturn() {
    if (Has("leaveDelayMs")) {
      m_d.leaveDelayMs = Number(Value("leaveDelayMs"), At("leaveDelayMs"), kMaxDelayMs);
    }
    if (Has("returnInstance")) {
      m_d.returnInstance = Text(Value("returnInstance"), At("returnInstance"));
      if (!IsValidInstance(m_d.returnInstance)) {
        Fail(At("returnInstance"), "may hold only letters, digits and & _ - .");
      }
    }
    if (Has("returnInDfu")) m_d.returnInDfu = Flag(Value("returnInDfu"), At("returnInDfu"));
    if (Has("returnDelayMs")) {
      m_d.returnDelayMs = Number(Value("returnDelayMs"), At("returnDelayMs"), kMaxDelayMs);
    }
  }

  void ReadFaults() {
    if (!Has("faults")) return;
    const Json& list = Value("faults");
    if (!list.is_array()) Fail(At("faults"), "expected a list");
    for (std::size_t i = 0; i < list.size(); ++i)
      m_d.faults.push_back(Fault(list[i], At("faults", i)));
  }

  // Where the device's memory is kept between runs; none when it is not to be kept.
  void ReadImageFolder(const std::string& fileFolder, const std::string& defaultImageFolder) {
    if (Has("persist") && !Flag(Value("persist"), At("persist"))) return;
    std::filesystem::path folder = std::filesystem::path(defaultImageFolder) / m_d.instance;
    if (Has("folder")) {
      if (!Value("folder").is_string() || Value("folder").get<std::string>().empty()) {
        Fail(At("folder"), "expected a folder name");
      }
      folder = std::filesystem::path(fileFolder) / Value("folder").get<std::string>();
    }
    m_d.imageFolder = folder.string();
  }

  const Json& m_value;
  const std::string m_where;
  SimDeviceConfig m_d = DefaultSimDevice("");
};

SimDeviceConfig Device(const Json& value, const std::string& where, const std::string& fileFolder,
                       const std::string& defaultImageFolder) {
  return DeviceReader(value, where).Read(fileFolder, defaultImageFolder);
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
