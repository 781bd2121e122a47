// The program's entry: the command word, the owner of the log window, and the exit code.
#pragma once
#include "win32.h"

namespace inst {

enum ExitCode {
  kExitInstalled = 1,
  kExitUninstalled = 2,
  kExitProbesNo = 3,
  kExitDefaultSet = 4,
  kExitNoCommand = 6,
  kExitErrors = 100,
  kExitRestartNeeded = 101,
  kExitNoProductDefault = 102,  // the default printer is not the product's, or there is none
  kExitDriverCurrent = 103,
  kExitUpdatePending = 200,
};

// The rows of the command table, in the order the words are tested.
enum class Command { CheckDriver, Init, Uninstall, RemoveTray, Install, SetDefault, Unknown };

Command FindCommand(const WCHAR* word);
// argument 2 of the command line as the log window's owner: a window, or null.
HWND OwnerWindow(const WCHAR* text);
// Closes every open help window of the product, giving up after 10 seconds.
void CloseHelpWindows();
int Entry(HINSTANCE module);

}  // namespace inst
