// PE headers and the export directory, as the loader reads them.
#include "winsim/pe_image.h"

#include "winsim/win_errors.h"

namespace winsim {

bool PeBytes::U16(uint64_t at, uint32_t* value) const {
  if (at > bytes.size() || bytes.size() - at < 2) return false;
  *value = uint32_t(uint8_t(bytes[at])) | uint32_t(uint8_t(bytes[at + 1])) << 8;
  return true;
}

bool PeBytes::U32(uint64_t at, uint32_t* value) const {
  uint32_t low, high;
  if (!U16(at, &low) || !U16(at + 2, &high)) return false;
  *value = low | high << 16;
  return true;
}

bool ReadPeHeaders(const PeBytes& image, PeHeaders* headers) {
  const std::string& bytes = image.bytes;
  uint32_t peAt, signature;
  if (bytes.size() < 64 || bytes[0] != 'M' || bytes[1] != 'Z' || !image.U32(0x3C, &peAt) ||
      !image.U32(peAt, &signature) || signature != 0x00004550)
    return false;
  uint64_t coff = uint64_t(peAt) + 4;
  headers->optional = coff + 20;
  return image.U16(coff, &headers->machine) && image.U16(coff + 2, &headers->sectionCount) &&
         image.U16(coff + 16, &headers->optionalSize) && image.U16(coff + 18, &headers->characteristics) &&
         image.U16(headers->optional, &headers->magic);
}

bool PeDataDirectory(const PeBytes& image, const PeHeaders& headers, uint32_t index, uint32_t* rva, uint32_t* size) {
  // The data directories follow the optional header's fixed part, which differs for PE32+.
  uint32_t directories = headers.magic == 0x20B ? 112 : headers.magic == 0x10B ? 96 : 0;
  uint32_t count;
  return directories && directories + (index + 1) * 8 <= headers.optionalSize &&
         image.U32(headers.optional + directories - 4, &count) && count > index &&
         image.U32(headers.optional + directories + index * 8, rva) &&
         image.U32(headers.optional + directories + index * 8 + 4, size) && *rva != 0 && *size != 0;
}

bool PeOffset(const PeBytes& image, const PeHeaders& headers, uint32_t rva, uint64_t* offset) {
  uint64_t table = headers.optional + headers.optionalSize;
  for (uint32_t i = 0; i < headers.sectionCount; ++i) {
    uint64_t header = table + 40ull * i;
    uint32_t address, rawSize, rawAt;
    if (!image.U32(header + 12, &address) || !image.U32(header + 16, &rawSize) || !image.U32(header + 20, &rawAt))
      return false;
    if (rva >= address && rva - address < rawSize) {
      *offset = uint64_t(rawAt) + (rva - address);
      return true;
    }
  }
  return false;
}

DWORD FindExport(const std::string& bytes, const std::string& procedure) {
  PeBytes image{bytes};
  PeHeaders headers;
  if (!ReadPeHeaders(image, &headers) || headers.machine != 0x8664 || headers.magic != 0x20B)
    return ERROR_BAD_EXE_FORMAT;
  uint32_t rva, size, nameCount, namesRva;
  uint64_t directory, names;
  if (!PeDataDirectory(image, headers, 0, &rva, &size) || !PeOffset(image, headers, rva, &directory) ||
      !image.U32(directory + 24, &nameCount) || !image.U32(directory + 32, &namesRva) ||
      (nameCount && !PeOffset(image, headers, namesRva, &names)))
    return ERROR_PROC_NOT_FOUND;
  for (uint32_t i = 0; i < nameCount; ++i) {
    uint32_t nameRva;
    uint64_t at;
    if (!image.U32(names + 4ull * i, &nameRva) || !PeOffset(image, headers, nameRva, &at)) break;
    if (at < bytes.size() && bytes.size() - at > procedure.size() && bytes.compare(at, procedure.size() + 1, procedure.c_str(), procedure.size() + 1) == 0)
      return ERROR_SUCCESS;
  }
  return ERROR_PROC_NOT_FOUND;
}

}  // namespace winsim
