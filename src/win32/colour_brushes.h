#pragma once
// The brushes of the colour schemes, made once when the program starts and deleted when it ends;
// every paint of a scheme colour shares them.

#include <windows.h>

#include <optional>
#include <utility>
#include <vector>

#include "app/colour_scheme.h"

namespace kestrune::win32 {

class ColourBrushes {
 public:
  ColourBrushes();
  ~ColourBrushes();
  ColourBrushes(const ColourBrushes&) = delete;
  ColourBrushes& operator=(const ColourBrushes&) = delete;

  // Sets text and background colour of `dc` for a WM_CTLCOLOR* message and returns the brush of
  // the background, as the dialog procedure's answer.
  INT_PTR Paint(HDC dc, const SchemeColours& colours) const;

 private:
  HBRUSH BrushOf(Rgb colour) const;
  std::vector<std::pair<Rgb, HBRUSH>> m_brushes;
};

COLORREF ColourRefOf(Rgb colour);

}  // namespace kestrune::win32
