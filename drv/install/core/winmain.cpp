// Windows starts the tool here, as a GUI program without a console. The entry restricts the DLL
// search before anything else.
#include "core/entry.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, LPWSTR, int) { return inst::Entry(instance); }
