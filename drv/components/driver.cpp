// Stand-in printer driver DLL: the tool copies and registers it and reads its version; nothing
// here loads it, so it holds nothing but its version resource.
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) { return TRUE; }
