#include "win32/file_dialog_hook.h"

#include <cstring>

namespace kestrune::win32 {
namespace {

using FileDialogFunction = BOOL(WINAPI*)(OPENFILENAMEA*);

constexpr int kFirstWidth = 600;
constexpr int kFirstHeight = 450;
constexpr int kMaxDescriptors = 256;
constexpr int kMaxImports = 4096;

FileDialogFunction g_savedOpen = nullptr;
FileDialogFunction g_savedSave = nullptr;
LPOFNHOOKPROC g_callerHook = nullptr;
DLGPROC g_frameProcedure = nullptr;
bool g_resizedOnce = false;

void Patch(ULONG_PTR* slot, FileDialogFunction replacement, FileDialogFunction& saved) {
  DWORD oldProtection = 0;
  if (!VirtualProtect(slot, sizeof *slot, PAGE_WRITECOPY, &oldProtection)) return;
  saved = reinterpret_cast<FileDialogFunction>(*slot);
  *slot = reinterpret_cast<ULONG_PTR>(replacement);
}

BOOL CallThrough(OPENFILENAMEA* request, FileDialogFunction platform) {
  const DWORD callerFlags = request->Flags;
  if ((callerFlags & OFN_ENABLETEMPLATE) == 0) request->Flags |= OFN_ENABLESIZING;
  g_frameProcedure = nullptr;
  g_callerHook = (callerFlags & OFN_ENABLEHOOK) != 0 ? request->lpfnHook : nullptr;
  request->lpfnHook = FileDialogHookProc;
  request->Flags |= OFN_ENABLEHOOK;
  const BOOL result = platform(request);
  request->lpfnHook = g_callerHook;
  request->Flags = (callerFlags & ~OFN_READONLY) | (request->Flags & OFN_READONLY);
  return result;
}

}  // namespace

int InstallFileDialogHook(HMODULE module) {
  if (module == nullptr) module = GetModuleHandleA(nullptr);
  auto* base = reinterpret_cast<BYTE*>(module);
  const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
  if (dos->e_magic != IMAGE_DOS_SIGNATURE) return 1;
  const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
  const IMAGE_DATA_DIRECTORY& directory =
      nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
  if (directory.VirtualAddress == 0) return 1;
  const auto* descriptor =
      reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(base + directory.VirtualAddress);
  for (int d = 0; d < kMaxDescriptors && descriptor->Name != 0 && descriptor->FirstThunk != 0;
       ++d, ++descriptor) {
    if (_stricmp(reinterpret_cast<const char*>(base + descriptor->Name), "comdlg32.dll") != 0) {
      continue;
    }
    auto* slots = reinterpret_cast<IMAGE_THUNK_DATA*>(base + descriptor->FirstThunk);
    const auto* names = reinterpret_cast<const IMAGE_THUNK_DATA*>(
        base + (descriptor->OriginalFirstThunk != 0 ? descriptor->OriginalFirstThunk
                                                    : descriptor->FirstThunk));
    for (int i = 0; i < kMaxImports && names[i].u1.AddressOfData != 0; ++i) {
      if (IMAGE_SNAP_BY_ORDINAL(names[i].u1.Ordinal)) continue;
      const char* name =
          reinterpret_cast<const IMAGE_IMPORT_BY_NAME*>(base + names[i].u1.AddressOfData)->Name;
      auto* slot = reinterpret_cast<ULONG_PTR*>(&slots[i].u1.Function);
      if (std::strcmp(name, "GetOpenFileNameA") == 0) {
        Patch(slot, HookedGetOpenFileName, g_savedOpen);
      }
      if (std::strcmp(name, "GetSaveFileNameA") == 0) {
        Patch(slot, HookedGetSaveFileName, g_savedSave);
      }
    }
    break;
  }
  return 1;
}

BOOL WINAPI HookedGetOpenFileName(OPENFILENAMEA* request) {
  return CallThrough(request, g_savedOpen);
}

BOOL WINAPI HookedGetSaveFileName(OPENFILENAMEA* request) {
  return CallThrough(request, g_savedSave);
}

UINT_PTR CALLBACK FileDialogHookProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  if (g_frameProcedure == nullptr) {
    HWND frame = GetParent(dialog);
    g_frameProcedure = reinterpret_cast<DLGPROC>(GetWindowLongPtrA(frame, DWLP_DLGPROC));
    SetWindowLongPtrA(frame, DWLP_DLGPROC, reinterpret_cast<LONG_PTR>(FileDialogFrameProc));
  }
  return g_callerHook != nullptr ? g_callerHook(dialog, message, wParam, lParam) : 0;
}

INT_PTR CALLBACK FileDialogFrameProc(HWND frame, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_SHOWWINDOW && wParam != 0 && !g_resizedOnce) {
    g_resizedOnce = true;
    SetWindowPos(frame, nullptr, 0, 0, kFirstWidth, kFirstHeight, SWP_NOZORDER | SWP_NOMOVE);
  }
  return CallWindowProcA(reinterpret_cast<WNDPROC>(g_frameProcedure), frame, message, wParam,
                         lParam);
}

}  // namespace kestrune::win32
