// Version resources in a file's own bytes.
//
// The version calls read the VS_VERSION_INFO block of the RT_VERSION resource (type 16, name 1,
// first language) of a PE image, 32- or 64-bit, found through its resource directory. Files the
// machine makes for tests and for its default installation are real images too, PE32 for x86 when
// the name ends in "32.dll" (the product's x86 files) and PE32+ for x64 otherwise: headers,
// one ".rsrc" section holding only that resource, an ".edata" section when they export names,
// then the payload bytes as an overlay. Windows reads them as it reads any resource-only DLL.
#pragma once
#include <string>
#include <vector>

#include "winsim/win_types.h"

namespace winsim {

// The entry point the spooler looks up in a port monitor's DLL.
constexpr const char* kMonitorEntry = "InitializePrintMonitor2";

// Writes a PE image at `windowsPath` whose file and product version are a.b.c.d, exporting
// `exports`, followed by `payload`. A name ending in ".exe" makes an application, anything else
// a DLL; one ending in "32.dll" an x86 DLL.
bool WriteVersionedFile(const std::string& windowsPath, WORD a, WORD b, WORD c, WORD d,
                        const std::string& payload = std::string(),
                        const std::vector<std::string>& exports = {});

// The version resource of a PE image, or the error Windows gives when it has none:
// ERROR_RESOURCE_DATA_NOT_FOUND (not a PE image, or no resource section),
// ERROR_RESOURCE_TYPE_NOT_FOUND, _NAME_NOT_FOUND or _LANG_NOT_FOUND.
DWORD FindVersionResource(const std::string& image, std::string* resource);

// What a product DLL of that name (any letter case) exports for the spooler: the monitor DLLs
// their entry point.
std::vector<std::string> ProductExports(const std::string& name);

// The product's files as a fresh installation has them, beside the tool and in its parent.
void WriteProductFiles();
// Their names: "lmsmon64.dll", ..., "lumtray.exe".
extern const char* const kProductFileNames[8];

}  // namespace winsim
