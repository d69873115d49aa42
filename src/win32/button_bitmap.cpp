#include "win32/button_bitmap.h"

#include <commctrl.h>

#include <cstdlib>
#include <vector>

namespace kestrune::win32 {
namespace {

constexpr COLORREF kTransparent = RGB(192, 192, 192);
constexpr int kStateImages = 6;
constexpr int kDisabledImage = 3;

using IsThemeActiveFunction = BOOL(WINAPI*)();

bool g_probed = false;
IsThemeActiveFunction g_isThemeActive = nullptr;

// One image list per bitmap id for the whole run; the button keeps a pointer to the settings.
struct ButtonImageCache {
  BUTTON_IMAGELIST settings;
  int key;
  ButtonImageCache* next;
};
ButtonImageCache* g_cache = nullptr;

void DestroyCache() {
  while (g_cache != nullptr) {
    ButtonImageCache* entry = g_cache;
    g_cache = entry->next;
    ImageList_Destroy(entry->settings.himl);
    delete entry;
  }
}

void AppendToCache(ButtonImageCache* entry) {
  if (g_cache == nullptr) {
    std::atexit(DestroyCache);
    g_cache = entry;
    return;
  }
  ButtonImageCache* last = g_cache;
  while (last->next != nullptr) last = last->next;
  last->next = entry;
}

bool ThemeActive() {
  if (!g_probed) {
    g_probed = true;
    if (HMODULE theme = LoadLibraryA("UxTheme.dll")) {
      g_isThemeActive = reinterpret_cast<IsThemeActiveFunction>(
          reinterpret_cast<void*>(GetProcAddress(theme, "IsThemeActive")));
    }
  }
  return g_isThemeActive != nullptr && g_isThemeActive() != 0;
}

HBITMAP LoadOwnBitmap(int id) {
  return LoadBitmapA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(id));
}

// Greys one blue-green-red triple in place, leaving the transparent colour alone.
void GreyPixel(BYTE* bgr) {
  if (bgr[0] == 192 && bgr[1] == 192 && bgr[2] == 192) return;
  bgr[0] = bgr[1] = bgr[2] = DisabledGrey(bgr[2], bgr[1], bgr[0]);
}

void GreyBuffer(BITMAPINFO& info, RGBQUAD* table, int tableEntries, BYTE* pixels) {
  const BITMAPINFOHEADER& header = info.bmiHeader;
  const int width = header.biWidth;
  const int height = std::abs(header.biHeight);
  switch (header.biBitCount) {
    case 32:
      for (int i = 0; i < width * height; ++i) GreyPixel(pixels + 4 * i);
      break;
    case 24: {
      const int stride = (width * 3 + 3) & ~3;
      for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) GreyPixel(pixels + y * stride + 3 * x);
      }
      break;
    }
    case 15:
    case 16:
      break;
    default:
      for (int i = 0; i < tableEntries; ++i) GreyPixel(&table[i].rgbBlue);
      break;
  }
}

// The light-grey copy of `bitmap` for the disabled state, or null when its pixels cannot be had.
HBITMAP DisabledCopy(HWND button, HBITMAP bitmap) {
  HDC dc = GetDC(button);
  // Room for the header and the largest colour table.
  std::vector<BYTE> infoBytes(sizeof(BITMAPINFOHEADER) + 256 * sizeof(RGBQUAD), 0);
  auto& info = *reinterpret_cast<BITMAPINFO*>(infoBytes.data());
  info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  info.bmiHeader.biPlanes = 1;
  HBITMAP copy = nullptr;
  if (GetDIBits(dc, bitmap, 0, 0, nullptr, &info, DIB_RGB_COLORS) != 0) {
    BITMAPINFOHEADER& header = info.bmiHeader;
    const int entries = header.biBitCount <= 8 ? 1 << header.biBitCount : 0;
    header.biClrUsed = header.biClrImportant = static_cast<DWORD>(entries);
    header.biCompression = BI_RGB;
    const DWORD size = header.biSizeImage != 0
                           ? header.biSizeImage
                           : static_cast<DWORD>(header.biWidth * 4 * std::abs(header.biHeight));
    std::vector<BYTE> pixels(size);
    if (GetDIBits(dc, bitmap, 0, static_cast<UINT>(std::abs(header.biHeight)), pixels.data(), &info,
                  DIB_RGB_COLORS) != 0) {
      GreyBuffer(info, info.bmiColors, entries, pixels.data());
      copy = CreateDIBitmap(dc, &header, CBM_INIT, pixels.data(), &info, DIB_RGB_COLORS);
    }
  }
  ReleaseDC(button, dc);
  return copy;
}

// The themed way; false when the classic way must be taken.
bool SetThemedImageList(HWND button, int id, bool& loadFailed) {
  for (ButtonImageCache* entry = g_cache; entry != nullptr; entry = entry->next) {
    if (entry->key == id) {
      return SendMessageA(button, BCM_SETIMAGELIST, 0, reinterpret_cast<LPARAM>(entry)) != 0;
    }
  }
  HBITMAP images[kStateImages] = {};
  images[0] = LoadOwnBitmap(id);
  if (images[0] == nullptr) {
    loadFailed = true;
    return false;
  }
  images[kDisabledImage] = DisabledCopy(button, images[0]);
  if (images[kDisabledImage] == nullptr) {
    DeleteObject(images[0]);
    return false;
  }
  BITMAP size{};
  GetObjectA(images[0], sizeof size, &size);
  for (int i = 1; i < kStateImages; ++i) {
    if (i != kDisabledImage) images[i] = LoadOwnBitmap(id);
  }
  HIMAGELIST list = ImageList_Create(size.bmWidth, size.bmHeight, ILC_COLORDDB | ILC_MASK, 5, 1);
  for (HBITMAP image : images) {
    if (image != nullptr) ImageList_AddMasked(list, image, kTransparent);
    DeleteObject(image);
  }
  auto* entry =
      new ButtonImageCache{{list, {0, 0, 0, 0}, BUTTON_IMAGELIST_ALIGN_CENTER}, id, nullptr};
  if (SendMessageA(button, BCM_SETIMAGELIST, 0, reinterpret_cast<LPARAM>(entry)) == 0) {
    ImageList_Destroy(list);
    delete entry;
    return false;
  }
  AppendToCache(entry);
  return true;
}

}  // namespace

std::uint8_t DisabledGrey(std::uint8_t red, std::uint8_t green, std::uint8_t blue) {
  const int level = (128 * blue + 85 * green + 44 * red) >> 8;
  if (level > 192) return static_cast<std::uint8_t>((level + 579) >> 2);
  if (level == 192) return 191;
  return static_cast<std::uint8_t>((level >> 2) + 144);
}

bool SetButtonBitmap(HWND button, int bitmapId) {
  if (ThemeActive()) {
    bool loadFailed = false;
    if (SetThemedImageList(button, bitmapId, loadFailed)) return true;
    if (loadFailed) return false;
  }
  HANDLE bitmap = LoadImageA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(bitmapId), IMAGE_BITMAP, 0,
                             0, LR_LOADMAP3DCOLORS);
  if (bitmap == nullptr) return false;
  SendMessageA(button, BM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(bitmap));
  return true;
}

void ReleaseButtonBitmap(HWND button) {
  const LRESULT bitmap = SendMessageA(button, BM_GETIMAGE, IMAGE_BITMAP, 0);
  if (bitmap != 0) DeleteObject(reinterpret_cast<HGDIOBJ>(bitmap));
}

}  // namespace kestrune::win32
