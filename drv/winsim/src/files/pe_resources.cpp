// The RT_VERSION resource of a PE image, found through its resource directory.
#include <cstdint>

#include "winsim/pe_image.h"
#include "winsim/version_files.h"
#include "winsim/win_errors.h"

namespace winsim {

namespace {

constexpr uint32_t kSubdirectory = 0x80000000;
constexpr uint32_t kVersionType = 16;  // RT_VERSION
constexpr uint32_t kVersionName = 1;   // VS_VERSION_INFO

enum class Lookup { Found, Missing, Broken };

// In the resource directory at `directory`, the entry with the numeric id `id` (any entry when
// id is 0); its target, a subdirectory offset or a data entry offset, goes to `target`.
Lookup FindEntry(const PeBytes& image, uint64_t directory, uint32_t id, bool wantDirectory,
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
  PeBytes image{bytes};
  PeHeaders headers;
  uint32_t rootRva, rootSize;
  uint64_t root;
  if (!ReadPeHeaders(image, &headers) || !PeDataDirectory(image, headers, 2, &rootRva, &rootSize) ||
      !PeOffset(image, headers, rootRva, &root))
    return ERROR_RESOURCE_DATA_NOT_FOUND;

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
      !PeOffset(image, headers, dataRva, &dataAt) || dataSize == 0 || dataAt > bytes.size() ||
      bytes.size() - dataAt < dataSize)
    return ERROR_RESOURCE_DATA_NOT_FOUND;
  *resource = bytes.substr(dataAt, dataSize);
  return ERROR_SUCCESS;
}

}  // namespace winsim
