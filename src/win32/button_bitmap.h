#pragma once
// A bitmap from the program's resources on a push button with the bitmap style, right with and
// without visual styles: themed, a six-image list whose disabled image is a light-grey copy,
// light grey 192,192,192 transparent; classic, the bitmap with its 3D greys in the system's
// colours. GUI thread only.

#include <windows.h>

#include <cstdint>

namespace kestrune::win32 {

bool SetButtonBitmap(HWND button, int bitmapId);
// Deletes the bitmap the classic way left on the button; nothing under visual styles.
void ReleaseButtonBitmap(HWND button);

// The grey level of the disabled copy for a colour other than light grey (never light grey).
std::uint8_t DisabledGrey(std::uint8_t red, std::uint8_t green, std::uint8_t blue);

}  // namespace kestrune::win32
