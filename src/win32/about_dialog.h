#pragma once
// The about box (template 100): the program's icon, name and version, and "OK".

#include "win32/dialog_base.h"

namespace kestrune::win32 {

class AboutDialog final : public DialogBase {
 private:
  std::optional<INT_PTR> OnMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
};

}  // namespace kestrune::win32
