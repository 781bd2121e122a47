// user32: top-level windows, the keyboard, and modal dialogs answered by the simulated user.
#include <cstring>

#include "winsim/machine.h"
#include "winsim/windows.h"

using namespace winsim;

static uint64_t Id(HWND window) { return reinterpret_cast<uint64_t>(window); }

static bool IsOpen(const Window& w) {
  return w.open && (w.closeAtMs < 0 || M().clock.nowMs < uint64_t(w.closeAtMs));
}

static Window* Find(uint64_t handle) {
  for (Window& w : M().ui.windows)
    if (w.handle == handle && IsOpen(w)) return &w;
  return nullptr;
}

BOOL IsWindow(HWND window) {
  Trace("IsWindow", std::to_string(Id(window)));
  return Find(Id(window)) != nullptr;
}

HWND FindWindowW(LPCWSTR className, LPCWSTR windowName) {
  Trace("FindWindowW", Utf8(className) + "|" + Utf8(windowName));
  for (Window& w : M().ui.windows) {
    if (!IsOpen(w)) continue;
    if (className && !EqualNoCase(w.className, Utf8(className))) continue;
    if (windowName && !EqualNoCase(w.title, Utf8(windowName))) continue;
    return reinterpret_cast<HWND>(w.handle);
  }
  return Fail(DWORD(0), HWND(nullptr));
}

BOOL PostMessageW(HWND window, UINT message, WPARAM wParam, LPARAM) {
  Trace("PostMessageW", std::to_string(Id(window)) + " " + std::to_string(message) + " " +
                            std::to_string(wParam));
  Window* w = Find(Id(window));
  if (!w) return Fail(ERROR_INVALID_WINDOW_HANDLE, FALSE);
  bool closeRequest = (message == WM_SYSCOMMAND && (wParam & 0xFFF0) == SC_CLOSE) || message == WM_CLOSE;
  if (closeRequest && w->closeDelayMs >= 0 && w->closeAtMs < 0)
    w->closeAtMs = int64_t(M().clock.nowMs) + w->closeDelayMs;
  DeliverMessage(w->handle, message);
  return TRUE;
}

// The shell's desktop window; null when no shell runs (learn.microsoft.com, GetShellWindow).
HWND GetShellWindow() {
  Trace("GetShellWindow");
  for (Window& w : M().ui.windows)
    if (IsOpen(w) && w.className == "Progman" && w.pid) return reinterpret_cast<HWND>(w.handle);
  return nullptr;
}

// The thread's id, and the process's through `processId`; 0 for no window
// (learn.microsoft.com, GetWindowThreadProcessId). Threads are numbered pid + 4.
DWORD GetWindowThreadProcessId(HWND window, LPDWORD processId) {
  Trace("GetWindowThreadProcessId", std::to_string(Id(window)));
  if (DWORD error = FaultFor("GetWindowThreadProcessId")) return Fail(error, DWORD(0));
  Window* w = Find(Id(window));
  if (!w) return Fail(ERROR_INVALID_WINDOW_HANDLE, DWORD(0));
  DWORD pid = w->pid ? w->pid : GetCurrentProcessId();
  if (processId) *processId = pid;
  return pid + 4;
}

SHORT GetAsyncKeyState(int key) {
  Trace("GetAsyncKeyState", std::to_string(key));
  return key == VK_SHIFT && M().ui.shiftDown ? SHORT(-32768) : SHORT(0);
}

namespace {
// The dialog being shown: its window, its record, and the result EndDialog gave it.
struct OpenDialog {
  uint64_t handle = 0;
  bool ended = false;
  INT_PTR result = 0;
};
OpenDialog g_dialog;
}  // namespace

static DialogRecord* Current(HWND dialog) {
  if (!g_dialog.handle || Id(dialog) != g_dialog.handle || M().ui.dialogs.empty()) return nullptr;
  return &M().ui.dialogs.back();
}

static int SimulatedAnswer() {
  switch (M().ui.dialogAnswer) {
    case DialogAnswer::CloseButton:
    case DialogAnswer::Enter:
      return IDOK;  // the default push button takes Enter
    case DialogAnswer::Escape:
    case DialogAnswer::CloseBox:
      return IDCANCEL;  // the close box reaches a dialog as IDCANCEL
  }
  return IDCANCEL;
}

INT_PTR DialogBoxParamW(HINSTANCE, LPCWSTR templateName, HWND owner, DLGPROC dialogProc,
                        LPARAM initParam) {
  int templateId = int(reinterpret_cast<ULONG_PTR>(templateName));
  Trace("DialogBoxParamW", std::to_string(templateId) + " owner " + std::to_string(Id(owner)));
  if (templateId != 101) return Fail(DWORD(1814), INT_PTR(-1));  // ERROR_RESOURCE_NAME_NOT_FOUND
  if (M().ui.dialogsFail) return Fail(DWORD(ERROR_INVALID_WINDOW_HANDLE), INT_PTR(-1));
  if (owner && !Find(Id(owner))) return Fail(DWORD(ERROR_INVALID_WINDOW_HANDLE), INT_PTR(-1));
  DialogRecord record;
  record.templateId = templateId;
  record.owner = Id(owner);
  M().ui.dialogs.push_back(record);
  g_dialog = OpenDialog();
  g_dialog.handle = AddWindow("#32770", "", -1);
  HWND hwnd = reinterpret_cast<HWND>(g_dialog.handle);
  dialogProc(hwnd, WM_INITDIALOG, 0, initParam);
  int command = M().ui.presenter ? M().ui.presenter(M().ui.dialogs.back()) : SimulatedAnswer();
  dialogProc(hwnd, WM_COMMAND, WPARAM(command), 0);
  Find(g_dialog.handle)->open = false;
  INT_PTR result = g_dialog.ended ? g_dialog.result : 0;
  M().ui.dialogs.back().result = result;
  g_dialog = OpenDialog();
  return result;
}

BOOL SetDlgItemTextW(HWND dialog, int itemId, LPCWSTR text) {
  Trace("SetDlgItemTextW", std::to_string(itemId));
  DialogRecord* d = Current(dialog);
  if (!d || itemId != 1001) return Fail(ERROR_INVALID_WINDOW_HANDLE, FALSE);
  d->itemTexts[itemId] = Utf8(text);
  return TRUE;
}

BOOL SetWindowTextW(HWND window, LPCWSTR text) {
  Trace("SetWindowTextW", Utf8(text));
  if (DialogRecord* d = Current(window)) {
    d->title = Utf8(text);
    return TRUE;
  }
  Window* w = Find(Id(window));
  if (!w) return Fail(ERROR_INVALID_WINDOW_HANDLE, FALSE);
  w->title = Utf8(text);
  return TRUE;
}

BOOL EndDialog(HWND dialog, INT_PTR result) {
  Trace("EndDialog", std::to_string(result));
  if (!Current(dialog)) return Fail(ERROR_INVALID_WINDOW_HANDLE, FALSE);
  g_dialog.ended = true;
  g_dialog.result = result;
  return TRUE;
}

// The one window station of the program; its handle is never closed (learn.microsoft.com,
// GetProcessWindowStation).
static const uint64_t kWindowStation = 0x7A10;

HWINSTA GetProcessWindowStation() {
  Trace("GetProcessWindowStation");
  if (DWORD error = FaultFor("GetProcessWindowStation")) return Fail(error, HWINSTA(nullptr));
  return reinterpret_cast<HWINSTA>(kWindowStation);
}

// UOI_FLAGS fills a USEROBJECTFLAGS whose dwFlags has WSF_VISIBLE for a station with a visible
// display (learn.microsoft.com, USEROBJECTFLAGS); Wine 8 gives 0 for a station of its own
// (shared/notes/wine8.md). Only UOI_FLAGS is simulated.
BOOL GetUserObjectInformationW(HANDLE object, int index, PVOID info, DWORD length, LPDWORD lengthNeeded) {
  Trace("GetUserObjectInformationW", std::to_string(index));
  if (DWORD error = FaultFor("GetUserObjectInformationW")) return Fail(error, FALSE);
  if (reinterpret_cast<uint64_t>(object) != kWindowStation) return Fail(ERROR_INVALID_HANDLE, FALSE);
  if (index != UOI_FLAGS) return Fail(ERROR_INVALID_PARAMETER, FALSE);
  if (lengthNeeded) *lengthNeeded = sizeof(USEROBJECTFLAGS);
  if (!info || length < sizeof(USEROBJECTFLAGS)) return Fail(ERROR_INSUFFICIENT_BUFFER, FALSE);
  USEROBJECTFLAGS flags{};
  flags.dwFlags = M().ui.windowStationVisible ? WSF_VISIBLE : 0;
  std::memcpy(info, &flags, sizeof(flags));
  return TRUE;
}
