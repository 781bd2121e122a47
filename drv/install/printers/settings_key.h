// The name of a product printer's per-user settings key, kept in its printer data, and the
// "deleted" mark in that key.
#pragma once
#include "win32.h"

namespace inst {

// Room a settings-key name may take in printer data, terminator included.
constexpr DWORD kSubKeyBytes = 64;
// The relative path of a settings key is this prefix and the name.
#define SETTINGS_KEY_PREFIX "Lumascribes\\"
constexpr size_t kSettingsKeyPrefixChars = 12;

// Leaves the printer's "SubKey" (or "DsUser"/"SubKey") string in `output`, which offers
// kSubKeyBytes bytes, or an empty string. Terminated only when the caller zero-filled more room.
// ERROR_SUCCESS when the printer answered, with a name or without one (a value that is not
// there, too long or not a string); else the error of the read that failed, output empty.
DWORD ReadPrinterSubKey(HANDLE printer, char* output);
// Stores `name` as "SubKey" in both places; true when the "DsUser" write succeeded.
bool WritePrinterSubKey(HANDLE printer, const char* name);
// Deletes the value "deleted" in the current user's settings key at `relativePath`
// ("Lumascribes\" + name); true when a value was deleted.
bool ClearDeletedMark(const char* relativePath);

}  // namespace inst
