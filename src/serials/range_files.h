#pragma once
// Loading the two files the operator keeps in Infos: MacList.cfg (the ranges) and NextSerial.cfg
// (the serial number proposed first). Both are read once at start and never written. The
// warnings come back in the order they arose; the front end shows each and waits for OK.

#include <cstdint>
#include <string>
#include <vector>

#include "serials/operator_message.h"
#include "support/record_array.h"

namespace kestrune {

// More ranges than anyone keeps by hand: a longer list is refused instead of read on and on.
inline constexpr std::uint32_t kMaxMacRanges = 1000;

struct MacRangeLoad {
  // Whether "MAC setzen" is offered: false when the file is missing, a count is out of range,
  // serial numbers overlap, or the list is too long.
  bool usable = false;
  std::vector<OperatorMessage> warnings;
};

// Reads `path` into `ranges` (which must be empty; it is configured for MacRange records), sorts
// the list by first MAC and checks it. Lines end at CR, LF or CR LF and are read in pieces of at
// most 1022 characters, each piece counting as a line. A line with a bad MAC (not twelve
// hexadecimal digits, or all zero), a count out of range or a negative first serial is left out
// with a warning; of the overlaps, the first few are shown and the rest counted in one warning.
MacRangeLoad LoadMacRanges(const std::string& path, RecordArray& ranges);

struct NextSerialLoad {
  std::int32_t nextSerial = 0;
  std::vector<OperatorMessage> warnings;
  bool fromFile = false;  // the file held the number (else the first range proposed it)
};

// Reads the decimal number on the first line of `path`. A missing file proposes the first serial
// number of the first range (0 without ranges); so does, with a warning, a first line that holds
// no number or a negative one. A number outside every range is kept, with a warning.
NextSerialLoad LoadNextSerial(const std::string& path, const RecordArray& ranges);

}  // namespace kestrune
