#include "win32/window_decorations.h"

#include "win32/button_bitmap.h"
#include "win32/file_drop.h"
#include "win32/resource.h"

namespace kestrune::win32 {

void BrowseButtonBitmap::Decorate(int id) {
  SetButtonBitmap(GetDlgItem(m_window.Handle(), id), IDB_FOLDER);
}

void ComboFileDrop::Attach(int id) {
  AttachFileDrop(GetDlgItem(m_window.Handle(), id));
}

}  // namespace kestrune::win32
