#include "win32/colour_brushes.h"

namespace kestrune::win32 {
namespace {

// The backgrounds of both dialogs: the four schemes of the main window, and white, pink and light
// green of the serial-number dialog.
std::vector<Rgb> Backgrounds() {
  std::vector<Rgb> colours;
  for (ColourScheme scheme : {ColourScheme::Bad, ColourScheme::Good, ColourScheme::Doubtful,
                              ColourScheme::IdentityPresent}) {
    colours.push_back(ColoursOf(scheme).background);
  }
  for (Rgb colour : {Rgb{255, 255, 255}, Rgb{230, 190, 190}, Rgb{190, 230, 190}}) {
    colours.push_back(colour);
  }
  return colours;
}

}  // namespace

COLORREF ColourRefOf(Rgb colour) {
  return RGB(colour.red, colour.green, colour.blue);
}

ColourBrushes::ColourBrushes() {
  for (Rgb colour : Backgrounds()) {
    if (BrushOf(colour) == nullptr)
      m_brushes.emplace_back(colour, CreateSolidBrush(ColourRefOf(colour)));
  }
}

ColourBrushes::~ColourBrushes() {
  for (auto& [colour, brush] : m_brushes) DeleteObject(brush);
}

HBRUSH ColourBrushes::BrushOf(Rgb colour) const {
  for (const auto& [known, brush] : m_brushes) {
    if (known == colour) return brush;
  }
  return nullptr;
}

INT_PTR ColourBrushes::Paint(HDC dc, const SchemeColours& colours) const {
  SetTextColor(dc, ColourRefOf(colours.text));
  SetBkColor(dc, ColourRefOf(colours.background));
  HBRUSH brush = BrushOf(colours.background);
  // A colour no brush was made for paints with the stock brush rather than allocating now.
  return reinterpret_cast<INT_PTR>(brush != nullptr ? brush : GetStockObject(WHITE_BRUSH));
}

}  // namespace kestrune::win32
