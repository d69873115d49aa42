#include "dfu/dfu_connection.h"

namespace kestrune {

bool DfuConnection::Open(const std::string& path) {
  Close();
  // A failed open may leave anything in the handle; it must not be closed later.
  if (m_dfu.STDFU_Open(path.c_str(), &m_handle) != STDFU_NOERROR) m_handle = nullptr;
  return IsOpen();
}

void DfuConnection::Close() {
  if (m_handle != nullptr) m_dfu.STDFU_Close(&m_handle);
  m_handle = nullptr;
}

bool DfuConnection::SelectAlternate(std::uint32_t alternate) {
  DfuHandle handle = m_handle;
  return m_dfu.STDFU_SelectCurrentConfiguration(&handle, 0, 0, alternate) == STDFU_NOERROR;
}

}  // namespace kestrune
