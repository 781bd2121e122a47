// user32 and shell32: command line, windows, keyboard, dialogs.
#pragma once
#include "winsim/win_types.h"

#define WM_INITDIALOG 0x0110
#define WM_COMMAND 0x0111
#define WM_SYSCOMMAND 0x0112
#define WM_CLOSE 0x0010
#define SC_CLOSE 0xF060
#define VK_SHIFT 0x10
#define IDOK 1
#define IDCANCEL 2
#define SW_SHOWNORMAL 1

LPWSTR GetCommandLineW();
LPWSTR* CommandLineToArgvW(LPCWSTR commandLine, int* count);

BOOL IsWindow(HWND window);
HWND FindWindowW(LPCWSTR className, LPCWSTR windowName);
BOOL PostMessageW(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
SHORT GetAsyncKeyState(int key);
HWND GetShellWindow();
DWORD GetWindowThreadProcessId(HWND window, LPDWORD processId);

INT_PTR DialogBoxParamW(HINSTANCE instance, LPCWSTR templateName, HWND owner, DLGPROC dialogProc,
                        LPARAM initParam);
BOOL SetDlgItemTextW(HWND dialog, int itemId, LPCWSTR text);
BOOL SetWindowTextW(HWND window, LPCWSTR text);
BOOL EndDialog(HWND dialog, INT_PTR result);

// Window stations: whether the program's one has a display anybody sees.
struct HWINSTA__;
typedef HWINSTA__* HWINSTA;
#define UOI_FLAGS 1
#define WSF_VISIBLE 0x0001L
typedef struct tagUSEROBJECTFLAGS {
  BOOL fInherit;
  BOOL fReserved;
  DWORD dwFlags;
} USEROBJECTFLAGS, *PUSEROBJECTFLAGS;

HWINSTA GetProcessWindowStation();
BOOL GetUserObjectInformationW(HANDLE object, int index, PVOID info, DWORD length, LPDWORD lengthNeeded);
