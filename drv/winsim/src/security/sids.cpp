// SIDs: their text and binary forms, and advapi32's calls on them.
#include <cstdlib>
#include <cstring>

#include "winsim/machine.h"
#include "winsim/security.h"
#include "winsim/windows.h"

namespace winsim {

namespace {

// SDDL's account aliases that winsim's descriptors use (learn.microsoft.com, "SID Strings").
const std::pair<const char*, const char*> kAliases[] = {
    {"SY", kSystemSid}, {"BA", kAdministratorsSid}, {"BU", kUsersSid}, {"WD", kEveryoneSid},
    {"AU", kAuthenticatedUsersSid}, {"CO", "S-1-3-0"}, {"LS", "S-1-5-19"}, {"NS", "S-1-5-20"}};

bool Number(const std::string& text, uint64_t limit, uint64_t* value) {
  bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
  if (text.empty() || text.size() > 20) return false;
  char* end = nullptr;
  unsigned long long v = std::strtoull(text.c_str(), &end, hex ? 16 : 10);
  if (*end || !(text[0] >= '0' && text[0] <= '9') || v > limit) return false;
  *value = v;
  return true;
}

}  // namespace

std::vector<uint8_t> SidBytes(const std::string& text) {
  for (const auto& [alias, sid] : kAliases)
    if (text == alias) return SidBytes(sid);
  if (text.size() < 2 || (text[0] != 'S' && text[0] != 's') || text[1] != '-') return {};
  std::vector<uint64_t> parts;
  for (size_t start = 2;;) {
    size_t dash = text.find('-', start);
    uint64_t v = 0;
    // The authority takes 48 bits, the revision and each sub-authority 32.
    uint64_t limit = parts.size() == 1 ? 0xFFFFFFFFFFFFull : 0xFFFFFFFFull;
    if (!Number(text.substr(start, dash == std::string::npos ? dash : dash - start), limit, &v)) return {};
    parts.push_back(v);
    if (dash == std::string::npos) break;
    start = dash + 1;
  }
  if (parts.size() < 2 || parts[0] != 1 || parts.size() - 2 > SID_MAX_SUB_AUTHORITIES) return {};
  std::vector<uint8_t> sid(8 + 4 * (parts.size() - 2));
  sid[0] = 1;
  sid[1] = uint8_t(parts.size() - 2);
  for (int i = 0; i < 6; ++i) sid[2 + i] = uint8_t(parts[1] >> (8 * (5 - i)));
  for (size_t i = 2; i < parts.size(); ++i) {
    DWORD sub = DWORD(parts[i]);
    std::memcpy(&sid[8 + 4 * (i - 2)], &sub, 4);
  }
  return sid;
}

size_t SidLength(const void* sid) {
  const uint8_t* b = static_cast<const uint8_t*>(sid);
  if (!b || b[0] != 1 || b[1] > SID_MAX_SUB_AUTHORITIES) return 0;
  return 8 + 4 * size_t(b[1]);
}

// The authority in decimal below 2^32, else in hex (learn.microsoft.com, ConvertSidToStringSidW;
// the SID string format "S-R-I-S-S...").
std::string SidText(const void* sid) {
  if (!SidLength(sid)) return std::string();
  const uint8_t* b = static_cast<const uint8_t*>(sid);
  uint64_t authority = 0;
  for (int i = 0; i < 6; ++i) authority = (authority << 8) | b[2 + i];
  char head[32];
  std::snprintf(head, sizeof head, authority >> 32 ? "S-1-0x%llX" : "S-1-%llu",
                static_cast<unsigned long long>(authority));
  std::string text = head;
  for (int i = 0; i < b[1]; ++i) {
    DWORD sub = 0;
    std::memcpy(&sub, b + 8 + 4 * i, 4);
    text += "-" + std::to_string(sub);
  }
  return text;
}

}  // namespace winsim

using namespace winsim;

namespace {

// A LocalAlloc block, as the Convert* calls hand out (their pages: "call LocalFree").
void* LocalBlock(size_t bytes) {
  void* block = std::malloc(bytes);
  if (block) M().heap.localBlocks[block] = bytes;
  return block;
}

}  // namespace

// Only the well-known SIDs without a domain that winsim's callers need; others are refused
// (learn.microsoft.com, CreateWellKnownSid; WELL_KNOWN_SID_TYPE for the values).
BOOL CreateWellKnownSid(WELL_KNOWN_SID_TYPE type, PSID, PSID sid, DWORD* sidBytes) {
  Trace("CreateWellKnownSid", std::to_string(int(type)));
  if (DWORD error = FaultFor("CreateWellKnownSid")) return Fail(error, FALSE);
  const char* text = type == WinWorldSid                   ? kEveryoneSid
                     : type == WinCreatorOwnerSid          ? "S-1-3-0"
                     : type == WinAuthenticatedUserSid     ? kAuthenticatedUsersSid
                     : type == WinLocalSystemSid           ? kSystemSid
                     : type == WinBuiltinAdministratorsSid ? kAdministratorsSid
                     : type == WinBuiltinUsersSid          ? kUsersSid
                                                           : nullptr;
  if (!text || !sidBytes) return Fail(ERROR_INVALID_PARAMETER, FALSE);
  std::vector<uint8_t> bytes = SidBytes(text);
  // Too small a buffer: the size needed and ERROR_INSUFFICIENT_BUFFER (the page's cbSid).
  bool fits = sid && *sidBytes >= bytes.size();
  *sidBytes = DWORD(bytes.size());
  if (!fits) return Fail(ERROR_INSUFFICIENT_BUFFER, FALSE);
  std::memcpy(sid, bytes.data(), bytes.size());
  return TRUE;
}

// "If either SID structure is not valid, the return value is undefined" (EqualSid): here FALSE.
BOOL EqualSid(PSID sid1, PSID sid2) {
  size_t length = SidLength(sid1);
  SetLastError(ERROR_SUCCESS);
  return length && length == SidLength(sid2) && std::memcmp(sid1, sid2, length) == 0;
}

// Undefined for an invalid SID (GetLengthSid page): here 0.
DWORD GetLengthSid(PSID sid) { return DWORD(SidLength(sid)); }

BOOL IsValidSid(PSID sid) { return SidLength(sid) != 0; }

BOOL ConvertSidToStringSidW(PSID sid, LPWSTR* text) {
  std::string sidText = SidText(sid);
  Trace("ConvertSidToStringSidW", sidText);
  if (DWORD error = FaultFor("ConvertSidToStringSidW", sidText)) return Fail(error, FALSE);
  if (sidText.empty()) return Fail(ERROR_INVALID_SID, FALSE);
  if (!text) return Fail(ERROR_INVALID_PARAMETER, FALSE);
  std::u16string wide = Wide(sidText);
  auto* block = static_cast<WCHAR*>(LocalBlock((wide.size() + 1) * sizeof(WCHAR)));
  if (!block) return Fail(ERROR_NOT_ENOUGH_MEMORY, FALSE);
  std::memcpy(block, wide.c_str(), (wide.size() + 1) * sizeof(WCHAR));
  *text = block;
  return TRUE;
}

// Takes "S-1-..." and the SDDL aliases (learn.microsoft.com, ConvertStringSidToSidW).
BOOL ConvertStringSidToSidW(LPCWSTR text, PSID* sid) {
  std::string sidText = Utf8(text);
  Trace("ConvertStringSidToSidW", sidText);
  if (DWORD error = FaultFor("ConvertStringSidToSidW", sidText)) return Fail(error, FALSE);
  if (!text || !sid) return Fail(ERROR_INVALID_PARAMETER, FALSE);
  std::vector<uint8_t> bytes = SidBytes(sidText);
  if (bytes.empty()) return Fail(ERROR_INVALID_SID, FALSE);
  void* block = LocalBlock(bytes.size());
  if (!block) return Fail(ERROR_NOT_ENOUGH_MEMORY, FALSE);
  std::memcpy(block, bytes.data(), bytes.size());
  *sid = block;
  return TRUE;
}
