#include "system/image_check.h"

namespace inst {

namespace {

// The fields read, as the PE Format (Microsoft Learn) places them: the signature's offset at 0x3C
// of the MS-DOS stub; "PE\0\0", then the COFF file header (Machine, NumberOfSections,
// SizeOfOptionalHeader at 16, Characteristics at 18); the optional header (Magic 0x10B PE32 or
// 0x20B PE32+, SizeOfHeaders at 60 in both); the section table, 40 bytes an entry
// (SizeOfRawData at 16, PointerToRawData at 20).
constexpr uint64_t kStubSignatureAt = 0x3C;
constexpr uint32_t kSignature = 0x00004550;
constexpr uint64_t kFileHeaderSize = 20;
constexpr uint64_t kSizeOfHeadersAt = 60;
constexpr uint64_t kSectionEntrySize = 40;
constexpr WORD kExecutableDll = 0x2002;  // IMAGE_FILE_EXECUTABLE_IMAGE | IMAGE_FILE_DLL

struct Head {
  const BYTE* bytes;
  size_t length;
  bool U16(uint64_t at, uint32_t* value) const {
    if (at > length || length - at < 2) return false;
    *value = uint32_t(bytes[at]) | uint32_t(bytes[at + 1]) << 8;
    return true;
  }
  bool U32(uint64_t at, uint32_t* value) const {
    uint32_t low = 0, high = 0;
    if (!U16(at, &low) || !U16(at + 2, &high)) return false;
    *value = low | high << 16;
    return true;
  }
};

}  // namespace

uint64_t ImageEnd(const BYTE* bytes, size_t length, WORD machine) {
  Head head{bytes, length};
  uint32_t signatureAt = 0, signature = 0, fileMachine = 0, sections = 0, optionalSize = 0, flags = 0, magic = 0,
           headersSize = 0;
  if (length < 64 || bytes[0] != 'M' || bytes[1] != 'Z' || !head.U32(kStubSignatureAt, &signatureAt) ||
      !head.U32(signatureAt, &signature) || signature != kSignature)
    return 0;
  const uint64_t file = uint64_t(signatureAt) + 4, optional = file + kFileHeaderSize;
  if (!head.U16(file, &fileMachine) || !head.U16(file + 2, &sections) || !head.U16(file + 16, &optionalSize) ||
      !head.U16(file + 18, &flags) || !head.U16(optional, &magic) || optionalSize < kSizeOfHeadersAt + 4 ||
      !head.U32(optional + kSizeOfHeadersAt, &headersSize))
    return 0;
  const uint32_t wantedMagic = machine == kMachineX64 ? 0x20B : 0x10B;
  if (fileMachine != machine || magic != wantedMagic || (flags & kExecutableDll) != kExecutableDll) return 0;
  const uint64_t table = optional + optionalSize;
  uint64_t end = table + sections * kSectionEntrySize;
  if (end > length) return 0;
  if (headersSize > end) end = headersSize;
  for (uint32_t i = 0; i < sections; ++i) {
    uint32_t rawSize = 0, rawAt = 0;
    head.U32(table + i * kSectionEntrySize + 16, &rawSize);
    head.U32(table + i * kSectionEntrySize + 20, &rawAt);
    if (rawSize != 0 && uint64_t(rawAt) + rawSize > end) end = uint64_t(rawAt) + rawSize;
  }
  return end;
}

}  // namespace inst
