#pragma once
// One open connection to a device in its DFU boot loader. It closes itself when it goes out of
// scope, and can be closed earlier (a run frees the device before it shows a box). Closing is
// done once, whatever the path: a closed connection ignores further closes.

#include <cstdint>
#include <string>

#include "dfu/stdfu.h"

namespace kestrune {

class DfuConnection {
 public:
  explicit DfuConnection(StdfuLibrary& dfu) : m_dfu(dfu) {}
  // Opens the device at `path` at once; IsOpen() tells whether that worked.
  DfuConnection(StdfuLibrary& dfu, const std::string& path) : m_dfu(dfu) { Open(path); }
  ~DfuConnection() { Close(); }
  DfuConnection(const DfuConnection&) = delete;
  DfuConnection& operator=(const DfuConnection&) = delete;

  // Closes a connection held before, then opens the device at `path`.
  bool Open(const std::string& path);
  void Close();
  bool IsOpen() const { return m_handle != nullptr; }
  DfuHandle Handle() const { return m_handle; }
  // Selects the alternate setting that later uploads and downloads address.
  bool SelectAlternate(std::uint32_t alternate);

 private:
  StdfuLibrary& m_dfu;
  DfuHandle m_handle = nullptr;
};

}  // namespace kestrune
