// The RT_VERSION resource of a PE image, found through its resource directory.
#include <cstdint>

#include "winsim/version_files.h"
#include "winsim/win_errors.h"

namespace winsim {

namespace {

constexpr uint32_t kSubdirectory = 0x80000000;
constexpr uint32_t kVersionType = 16;  // RT_VERSION
constexpr uint32_t kVersionName = 1;   // VS_VERSION_INFO

// Little-endian reads that fail at the end of the image instead of reading past it.
struct Image {
  const std::string& bytes;
  bool U16(uint64_t at, uint32_t* value) const {
    if (at > bytes.size() || bytes.size() - at < 2) return false;
    *value = uint32_t(uint8_t(bytes[at])) | uint32_t(uint8_t(bytes[at + 1])) << 8;
    return true;
  }
  bool U32(uint64_t at, uint32_t* value) const {
    uint32_t low, high;
    if (!U16(at, &low) || !U16(at + 2, &high)) return false;
    *value = low | high << 16;
    return true;
  }
};

struct Sections {
  const Image& image;
  uint64_t table;
  uint32_t count;
  // The file offset of a relative virtual address, when it lies in a section's raw data.
  bool Offset(uint32_t rva, uint64_t* offset) const {
    for (uint32_t i = 0; i < count; ++i) {
      uint64_t header = table + 40ull * i;
      uint32_t address, rawSize, rawAt;
      if (!image.U32(header + 12, &address) || !image.U32(header + 16, &rawSize) ||
          !image.U32(header + 20, &rawAt))
        return false;
      if (rva >= address && rva - address < rawSize) {
        *offset = uint64_t(rawAt) + (rva - address);
        return true;
      }
    }
    return false;
  }
};

enum class Lookup { Found, Missing, Broken };

// In the resource directory at `directory`, the entry with the numeric id `id` (any entry when
// id is 0); its target, a subdirectory offset or a data entry offset, goes to `target`.
Lookup FindEntry(const Image& image, uint64_t directory, uint32_t id, bool wantDirectory,
                 uint32_t* target) {
  uint32_t named, ids;
  if (!image.U16(directory + 12, &named) || !image.U16(directory + 14, &ids)) return Lookup::Broken;
  for (uint32_t i = 0; i < named + ids; ++i) {
    uint32_t name, offset;
    if (!image.U32(directory + 16 + 8ull * i, &name) || !image.U32(directory + 20 + 8ull * i, &offset))
      return Lookup::Broken;
    if (id != 0 && ((name & kSubdirectory) || name != id)) continue;
    if (bool(offset & kSubdirectory) != wantDirectory) return Lookup::Broken;
    *target = offset & ~kSubdirectory;
    return Lookup::Found;
  }
  return Lookup::Missing;
}

}  // namespace

DWORD FindVersionResource(const std::string& bytes, std::string* resource) {
  Image image{bytes};
  uint32_t peAt, signature, sectionCount, optionalSize, magic;
  if (bytes.size() < 64 || bytes[0] != 'M' || bytes[1] != 'Z' || !image.U32(0x3C, &peAt) ||
      !image.U32(peAt, &signature) || signature != 0x00004550)
    return ERROR_RESOURCE_DATA_NOT_FOUND;
  uint64_t coff = uint64_t(peAt) + 4;
  uint64_t optional = coff + 20;
  if (!image.U16(coff + 2, &sectionCount) || !image.U16(coff + 16, &optionalSize) ||
      !image.U16(optional, &magic))
    return ERROR_RESOURCE_DATA_NOT_FOUND;
  // The data directories follow the optional header's fixed part, which differs for PE32+.
  uint32_t directories = magic == 0x20B ? 112 : magic == 0x10B ? 96 : 0;
  uint32_t directoryCount, rootRva, rootSize;
  if (!directories || directories + 3 * 8 > optionalSize ||
      !image.U32(optional + directories - 4, &directoryCount) || directoryCount < 3 ||
      !image.U32(optional + directories + 2 * 8, &rootRva) ||
      !image.U32(optional + directories + 2 * 8 + 4, &rootSize) || rootRva == 0 || rootSize == 0)
    return ERROR_RESOURCE_DATA_NOT_FOUND;
  Sections sections{image, optional + optionalSize, sectionCount};
  uint64_t root;
  if (!sections.Offset(rootRva, &root)) return ERROR_RESOURCE_DATA_NOT_FOUND;

  uint32_t names, languages, entry;
  Lookup found = FindEntry(image, root, kVersionType, true, &names);
  if (found != Lookup::Found)
    return found == Lookup::Missing ? ERROR_RESOURCE_TYPE_NOT_FOUND : ERROR_RESOURCE_DATA_NOT_FOUND;
  found = FindEntry(image, root + names, kVersionName, true, &languages);
  if (found != Lookup::Found)
    return found == Lookup::Missing ? ERROR_RESOURCE_NAME_NOT_FOUND : ERROR_RESOURCE_DATA_NOT_FOUND;
  found = FindEntry(image, root + languages, 0, false, &entry);
  if (found != Lookup::Found)
    return found == Lookup::Missing ? ERROR_RESOURCE_LANG_NOT_FOUND : ERROR_RESOURCE_DATA_NOT_FOUND;

  uint32_t dataRva, dataSize;
  uint64_t dataAt;
  if (!image.U32(root + entry, &dataRva) || !image.U32(root + entry + 4, &dataSize) ||
      !sections.Offset(dataRva, &dataAt) || dataSize == 0 || dataAt > bytes.size() ||
      bytes.size() - dataAt < dataSize)
    return ERROR_RESOURCE_DATA_NOT_FOUND;
  *resource = bytes.substr(dataAt, dataSize);
  return ERROR_SUCCESS;
}

}  // namespace winsim
