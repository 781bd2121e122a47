// Stand-in tray companion: one instance at a time (its named mutex, held while it runs), a
// hidden window that the installer finds by class, and an orderly exit on the quit message.
#include <windows.h>

namespace {

const char kMutexName[] = "{6F3B2D10-4C7A-4E19-9B52-3A7D0C1E8F64}";
const WCHAR kWindowClass[] = L"lsv::{2E8D4A61-7B90-4C3F-A1D5-6C0B9E27F4A8}";
const UINT kQuitMessage = WM_USER + 2;

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == kQuitMessage) {
    DestroyWindow(window);
    return 0;
  }
  if (message == WM_DESTROY) {
    PostQuitMessage(0);
    return 0;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, LPWSTR, int) {
  // Owned from the start, so that a successful wait on it means this companion has gone.
  HANDLE mutex = CreateMutexA(nullptr, TRUE, kMutexName);
  if (!mutex) return 1;
  if (GetLastError() == ERROR_ALREADY_EXISTS) {
    CloseHandle(mutex);
    return 0;
  }
  WNDCLASSW windowClass = {};
  windowClass.lpfnWndProc = WindowProc;
  windowClass.hInstance = instance;
  windowClass.lpszClassName = kWindowClass;
  int code = 1;
  // A top-level window, never shown: FindWindowW does not see message-only windows.
  if (RegisterClassW(&windowClass) &&
      CreateWindowExW(0, kWindowClass, L"Lumascribe", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT,
                      CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr, instance, nullptr)) {
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
      TranslateMessage(&message);
      DispatchMessageW(&message);
    }
    code = 0;
  }
  ReleaseMutex(mutex);
  CloseHandle(mutex);
  return code;
}
