#pragma once
// The serial-number dialog (template 103) around the portable SerialNumberDialog: it shows the
// texts the logic derives while the operator types, and paints the fields in its colours.

#include "app/serial_number_dialog.h"
#include "win32/colour_brushes.h"
#include "win32/dialog_base.h"
#include "win32/win32_window.h"

namespace kestrune::win32 {

class SerialNumberWindow final : public DialogBase {
 public:
  SerialNumberWindow(SerialNumberDialog& logic, const ColourBrushes& brushes)
      : m_logic(logic), m_brushes(brushes) {}

 private:
  std::optional<INT_PTR> OnMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

  SerialNumberDialog& m_logic;
  const ColourBrushes& m_brushes;
  Win32Window m_window{false};
  // The serial field is filled while the dialog opens; that is no typing.
  bool m_opened = false;
};

}  // namespace kestrune::win32
