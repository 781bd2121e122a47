// kernel32: last error, message texts, heaps, clock, module and system directory, DLL search.
#pragma once
#include "winsim/win_types.h"

#define FORMAT_MESSAGE_ALLOCATE_BUFFER 0x00000100
#define FORMAT_MESSAGE_IGNORE_INSERTS 0x00000200
#define FORMAT_MESSAGE_FROM_STRING 0x00000400
#define FORMAT_MESSAGE_FROM_HMODULE 0x00000800
#define FORMAT_MESSAGE_FROM_SYSTEM 0x00001000
#define LANG_NEUTRAL 0x00
#define LANG_ENGLISH 0x09
#define SUBLANG_DEFAULT 0x01
#define SUBLANG_ENGLISH_US 0x01
#define MAKELANGID(p, s) ((((WORD)(s)) << 10) | (WORD)(p))

#define GMEM_FIXED 0x0000
#define GMEM_ZEROINIT 0x0040
#define GPTR (GMEM_FIXED | GMEM_ZEROINIT)

#define LOAD_LIBRARY_SEARCH_APPLICATION_DIR 0x00000200
#define LOAD_LIBRARY_SEARCH_USER_DIRS 0x00000400
#define LOAD_LIBRARY_SEARCH_SYSTEM32 0x00000800
#define LOAD_LIBRARY_SEARCH_DEFAULT_DIRS 0x00001000

#define HEAP_ZERO_MEMORY 0x00000008

#define CP_ACP 0
#define MB_PRECOMPOSED 0x00000001

DWORD GetLastError();
void SetLastError(DWORD code);

DWORD FormatMessageW(DWORD flags, LPCVOID source, DWORD messageId, DWORD languageId,
                     LPWSTR buffer, DWORD size, void* arguments);
HLOCAL LocalFree(HLOCAL memory);
HGLOBAL GlobalAlloc(UINT flags, SIZE_T bytes);
HGLOBAL GlobalFree(HGLOBAL memory);
// The process heap. Like Windows without HEAP_GENERATE_EXCEPTIONS, a failed allocation returns
// null and leaves the last error alone.
HANDLE GetProcessHeap();
LPVOID HeapAlloc(HANDLE heap, DWORD flags, SIZE_T bytes);
LPVOID HeapReAlloc(HANDLE heap, DWORD flags, LPVOID memory, SIZE_T bytes);
BOOL HeapFree(HANDLE heap, DWORD flags, LPVOID memory);

void Sleep(DWORD milliseconds);
DWORD GetTickCount();

DWORD GetModuleFileNameW(HMODULE module, LPWSTR filename, DWORD size);
UINT GetSystemDirectoryW(LPWSTR buffer, UINT size);
// The folder for temporary files, with its separator. GetTempPath2W is found only through
// GetProcAddress, as Windows builds before it lack the export.
DWORD GetTempPathW(DWORD bufferLength, LPWSTR buffer);

typedef INT_PTR (*FARPROC)();
HMODULE GetModuleHandleW(LPCWSTR moduleName);
FARPROC GetProcAddress(HMODULE module, LPCSTR procName);
// Loads a system DLL from the system directory (flags must hold LOAD_LIBRARY_SEARCH_SYSTEM32 or
// the name be a full path there): only those whose exports winsim has, combase.dll. A second load
// gives the same handle, counted; FreeLibrary undoes one.
HMODULE LoadLibraryExW(LPCWSTR fileName, HANDLE file, DWORD flags);
BOOL FreeLibrary(HMODULE module);
// Where the process looks for the DLLs it loads from now on (no DLL is loaded on this machine:
// the call is traced, so a test can see where it comes).
BOOL SetDefaultDllDirectories(DWORD directoryFlags);

int MultiByteToWideChar(UINT codePage, DWORD flags, LPCSTR text, int bytes, LPWSTR wide, int wideChars);
