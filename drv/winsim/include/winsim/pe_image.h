// What the loader reads of a PE image: its headers, sections and data directories, bounds-checked
// so that a broken file is refused instead of read past its end.
#pragma once
#include <cstdint>
#include <string>

#include "winsim/win_types.h"

namespace winsim {

// Little-endian reads that fail at the end of the image instead of reading past it.
struct PeBytes {
  const std::string& bytes;
  bool U16(uint64_t at, uint32_t* value) const;
  bool U32(uint64_t at, uint32_t* value) const;
};

struct PeHeaders {
  uint32_t machine = 0;          // 0x8664 x64, 0x14C x86
  uint32_t characteristics = 0;  // 0x2000: a DLL
  uint32_t magic = 0;            // 0x20B PE32+, 0x10B PE32
  uint64_t optional = 0;         // file offset of the optional header
  uint32_t optionalSize = 0;
  uint32_t sectionCount = 0;
};

// The headers of an image, or false when it is no PE image.
bool ReadPeHeaders(const PeBytes& image, PeHeaders* headers);
// Data directory `index` (0 exports, 2 resources): its address and size; false when absent.
bool PeDataDirectory(const PeBytes& image, const PeHeaders& headers, uint32_t index, uint32_t* rva, uint32_t* size);
// The file offset of a relative virtual address, when it lies in a section's raw data.
bool PeOffset(const PeBytes& image, const PeHeaders& headers, uint32_t rva, uint64_t* offset);

// Whether LoadLibrary in a 64-bit process and GetProcAddress would find `procedure` in `image`:
// ERROR_SUCCESS, ERROR_BAD_EXE_FORMAT (not a PE image, or not one for x64) or ERROR_PROC_NOT_FOUND.
DWORD FindExport(const std::string& image, const std::string& procedure);

}  // namespace winsim
