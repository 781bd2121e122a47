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

INT_PTR DialogBoxParamW(HINSTANCE instance, LPCWSTR templateName, HWND owner, DLGPROC dialogProc,
                        LPARAM initParam);
BOOL SetDlgItemTextW(HWND dialog, int itemId, LPCWSTR text);
BOOL SetWindowTextW(HWND window, LPCWSTR text);
BOOL EndDialog(HWND dialog, INT_PTR result);
