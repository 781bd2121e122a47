// advapi32: a file's owner and DACL as a self-relative security descriptor, and its ACEs.
#include <cstdlib>
#include <cstring>

#include "winsim/file_security.h"
#include "winsim/machine.h"
#include "winsim/security.h"
#include "winsim/windows.h"

using namespace winsim;

namespace {

// SECURITY_DESCRIPTOR_RELATIVE (winnt.h): revision, Sbz1, control, then the offsets of owner,
// group, SACL and DACL from the block's start.
constexpr size_t kHeaderBytes = 20;
constexpr WORD kSelfRelative = 0x8000, kDaclPresent = 0x0004, kDaclProtected = 0x1000, kDaclAutoInherited = 0x0400;

void Put(std::vector<uint8_t>& out, size_t at, uint64_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out[at + size_t(i)] = uint8_t(value >> (8 * i));
}

uint16_t Word(const void* at) {
  const uint8_t* p = static_cast<const uint8_t*>(at);
  return uint16_t(p[0] | p[1] << 8);
}

// The ACL's bytes as Windows lays them out ("ACL", "ACE_HEADER", "ACCESS_ALLOWED_ACE",
// Microsoft Learn): an 8-byte header, then each ACE's header, mask and SID.
std::vector<uint8_t> AclBytes(const std::vector<Ace>& dacl) {
  std::vector<uint8_t> out(8);
  for (const Ace& ace : dacl) {
    std::vector<uint8_t> sid = SidBytes(ace.sid);
    size_t at = out.size(), size = 8 + sid.size();
    out.resize(at + size);
    out[at] = ace.type;
    out[at + 1] = ace.flags;
    Put(out, at + 2, size, 2);
    Put(out, at + 4, ace.mask, 4);
    std::memcpy(out.data() + at + 8, sid.data(), sid.size());
  }
  out[0] = ACL_REVISION;
  Put(out, 2, out.size(), 2);
  Put(out, 4, dacl.size(), 2);
  return out;
}

// The ACE at `index`, walked by each header's size; null past the end or in a damaged list.
const uint8_t* AceAt(PACL acl, DWORD index) {
  const uint8_t* base = reinterpret_cast<const uint8_t*>(acl);
  size_t at = 8, size = Word(base + 2);
  for (DWORD i = 0; at + 4 <= size; ++i) {
    size_t length = Word(base + at + 2);
    if (length < 4 || at + length > size) return nullptr;
    if (i == index) return base + at;
    at += length;
  }
  return nullptr;
}

}  // namespace

// GetNamedSecurityInfoW (aclapi.h, Microsoft Learn): the error code is the result, and the
// pointers asked for point into the one descriptor block, released with LocalFree.
DWORD GetNamedSecurityInfoW(LPCWSTR objectName, SE_OBJECT_TYPE objectType, SECURITY_INFORMATION securityInfo,
                            PSID* owner, PSID* group, PACL* dacl, PACL* sacl, PSECURITY_DESCRIPTOR* descriptor) {
  std::string name = objectName ? Utf8(objectName) : std::string();
  Trace("GetNamedSecurityInfoW", name);
  if (DWORD error = FaultFor("GetNamedSecurityInfoW", name)) return error;
  if (!objectName || objectType != SE_FILE_OBJECT || !descriptor || group || sacl)
    return ERROR_INVALID_PARAMETER;
  HostPath found;
  if (DWORD error = LocateExisting(name, &found)) return error;
  Security security = SecurityOf(name);
  std::vector<uint8_t> block(kHeaderBytes);
  block[0] = 1;
  Put(block, 2, kSelfRelative | kDaclPresent | kDaclAutoInherited, 2);
  if (securityInfo & OWNER_SECURITY_INFORMATION) {
    std::vector<uint8_t> sid = SidBytes(security.owner);
    Put(block, 4, block.size(), 4);
    block.insert(block.end(), sid.begin(), sid.end());
  }
  if (securityInfo & DACL_SECURITY_INFORMATION) {
    std::vector<uint8_t> acl = AclBytes(security.dacl);
    Put(block, 16, block.size(), 4);
    block.insert(block.end(), acl.begin(), acl.end());
  }
  auto* out = static_cast<uint8_t*>(std::malloc(block.size()));
  if (!out) return ERROR_NOT_ENOUGH_MEMORY;
  std::memcpy(out, block.data(), block.size());
  M().heap.localBlocks[out] = block.size();
  auto offset = [&](size_t at) { return uint32_t(out[at] | out[at + 1] << 8 | out[at + 2] << 16 | uint32_t(out[at + 3]) << 24); };
  if (owner) *owner = offset(4) ? out + offset(4) : nullptr;
  if (dacl) *dacl = offset(16) ? reinterpret_cast<PACL>(out + offset(16)) : nullptr;
  *descriptor = out;
  return ERROR_SUCCESS;
}

BOOL GetAclInformation(PACL acl, LPVOID information, DWORD length, ACL_INFORMATION_CLASS informationClass) {
  Trace("GetAclInformation", std::to_string(informationClass));
  if (DWORD error = FaultFor("GetAclInformation", "")) return Fail(error, FALSE);
  if (!acl || !information || informationClass != AclSizeInformation || length < sizeof(ACL_SIZE_INFORMATION))
    return Fail(ERROR_INVALID_PARAMETER, FALSE);
  auto* size = static_cast<ACL_SIZE_INFORMATION*>(information);
  size->AceCount = acl->AceCount;
  size->AclBytesInUse = acl->AclSize;
  size->AclBytesFree = 0;
  return TRUE;
}

BOOL GetAce(PACL acl, DWORD index, LPVOID* ace) {
  Trace("GetAce", std::to_string(index));
  if (DWORD error = FaultFor("GetAce", "")) return Fail(error, FALSE);
  const uint8_t* found = acl && ace && index < acl->AceCount ? AceAt(acl, index) : nullptr;
  if (!found) return Fail(ERROR_INVALID_PARAMETER, FALSE);
  *ace = const_cast<uint8_t*>(found);
  return TRUE;
}
