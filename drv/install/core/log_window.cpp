// The log window: dialog 101 with the log in a read-only edit control and a Close button.
#include "core/install_log.h"
#include "core/module.h"
#include "core/product.h"
#include "res/resource.h"

namespace inst {

// Whether someone can see a window of this process: a window station with a visible display
// (WSF_VISIBLE in the UOI_FLAGS of GetUserObjectInformationW; learn.microsoft.com,
// USEROBJECTFLAGS), outside session 0, which holds services and SYSTEM deployments and no
// user's desktop ("Session 0 isolation"), whatever its station says. A service, or a deployment
// running as SYSTEM, has neither; when the question cannot be answered, no window either.
// The station's handle is not to be closed (learn.microsoft.com, GetProcessWindowStation).
bool SomeoneSees() {
  DWORD session = 0;
  if (!ProcessIdToSessionId(GetCurrentProcessId(), &session) || session == 0) return false;
  HWINSTA station = GetProcessWindowStation();
  USEROBJECTFLAGS flags{};
  DWORD needed = 0;
  return station && GetUserObjectInformationW(station, UOI_FLAGS, &flags, sizeof(flags), &needed) &&
         (flags.dwFlags & WSF_VISIBLE);
}

void ShowLogWindow(InstallContext* context, HWND owner) {
  if (context->errorCount == 0 && !(GetAsyncKeyState(VK_SHIFT) & 0x8000)) return;
  if (!SomeoneSees()) return;
  DialogBoxParamW(g_module, MAKEINTRESOURCEW(IDD_LOG_WINDOW), owner, LogWindowProc,
                  reinterpret_cast<LPARAM>(context));
}

INT_PTR CALLBACK LogWindowProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_INITDIALOG) {
    auto* context = reinterpret_cast<InstallContext*>(lParam);
    SetDlgItemTextW(dialog, IDC_LOG_TEXT, Text(context->logText));
    WCHAR title[264];
    size_t length = FormatTo(title, 264, TEXT("Lumascribe build %d- Install"), kBuildNumber);
    if (context->errorCount > 0)
      FormatTo(title + length, 264 - length, TEXT(" error log!"));
    else
      FormatTo(title + length, 264 - length, TEXT(" log."));
    SetWindowTextW(dialog, title);
  } else if (message == WM_COMMAND) {
    if (LOWORD(wParam) == IDOK) EndDialog(dialog, 1);
    if (LOWORD(wParam) == IDCANCEL) EndDialog(dialog, 0);
  }
  return 0;
}

}  // namespace inst
