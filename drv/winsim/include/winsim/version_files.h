// Version resources in a file's own bytes.
//
// The version calls read the VS_VERSION_INFO block of the RT_VERSION resource (type 16, name 1,
// first language) of a PE image, 32- or 64-bit, found through its resource directory. Files the
// machine makes for tests and for its default installation are real PE32+ images too: headers,
// one ".rsrc" section holding only that resource, then the payload bytes as an overlay after the
// section. Windows reads them as it reads any resource-only DLL.
#pragma once
#include <string>

#include "winsim/win_types.h"

namespace winsim {

// Writes a PE image at `windowsPath` whose file and product version are a.b.c.d, followed by
// `payload`. A name ending in ".exe" makes an application, anything else a DLL.
bool WriteVersionedFile(const std::string& windowsPath, WORD a, WORD b, WORD c, WORD d,
                        const std::string& payload = std::string());

// The version resource of a PE image, or the error Windows gives when it has none:
// ERROR_RESOURCE_DATA_NOT_FOUND (not a PE image, or no resource section),
// ERROR_RESOURCE_TYPE_NOT_FOUND, _NAME_NOT_FOUND or _LANG_NOT_FOUND.
DWORD FindVersionResource(const std::string& image, std::string* resource);

// The product's files as a fresh installation has them, beside the tool and in its parent.
void WriteProductFiles();
// Their names: "lmsmon64.dll", ..., "lumtray.exe".
extern const char* const kProductFileNames[8];

}  // namespace winsim
