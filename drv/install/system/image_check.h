// Whether a product DLL can be whole, read from its headers as the loader reads them.
#pragma once
#include <cstddef>
#include <cstdint>

#include "win32.h"

namespace inst {

constexpr WORD kMachineX64 = 0x8664;  // IMAGE_FILE_MACHINE_AMD64
constexpr WORD kMachineX86 = 0x014C;  // IMAGE_FILE_MACHINE_I386

// How many of a file's first bytes ImageEnd is given: linkers put the headers and the section
// table within the first few hundred bytes.
constexpr size_t kImageHeadBytes = 8192;

// `head` holds a file's first `length` bytes. The length the file must have at least for a DLL
// for `machine` (PE32+ for x64, PE32 for x86) with its headers, section table and every
// section's raw data in it; 0 when it is no such DLL or its headers lie beyond `head`.
uint64_t ImageEnd(const BYTE* head, size_t length, WORD machine);

}  // namespace inst
