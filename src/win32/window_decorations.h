#pragma once
// The Win32 front end's additions to the main window: bitmap 129 on the browse button and file
// drop on the path box.

#include "app/front_end_services.h"
#include "win32/win32_window.h"

namespace kestrune::win32 {

class BrowseButtonBitmap final : public BrowseButtonDecoration {
 public:
  explicit BrowseButtonBitmap(const Win32Window& window) : m_window(window) {}
  void Decorate(int id) override;

 private:
  const Win32Window& m_window;
};

class ComboFileDrop final : public FileDropAttachment {
 public:
  explicit ComboFileDrop(const Win32Window& window) : m_window(window) {}
  void Attach(int id) override;

 private:
  const Win32Window& m_window;
};

}  // namespace kestrune::win32
