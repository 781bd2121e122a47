// The machine's accounts, the groups a token holds, and the entries of a DACL written as text.
#include "winsim/machine.h"
#include "winsim/security.h"

namespace winsim {

namespace {

// The machine's own accounts: RIDs from 1000 up, as the first accounts made on a Windows
// installation get them (learn.microsoft.com, "Security identifiers": relative identifiers).
constexpr const char* kMachineDomain = "S-1-5-21-3623811015-3361044348-30300820";

// One entry "(type;flags;rights;object;inherited object;account)".
struct Entry {
  std::string type, flags, account;
};

std::vector<Entry> Entries(const std::string& dacl) {
  std::vector<Entry> entries;
  for (size_t open = dacl.find('('); open != std::string::npos; open = dacl.find('(', open + 1)) {
    size_t close = dacl.find(')', open);
    if (close == std::string::npos) break;
    std::vector<std::string> fields(1);
    for (char c : dacl.substr(open + 1, close - open - 1)) {
      if (c == ';') fields.emplace_back();
      else fields.back() += c;
    }
    if (fields.size() >= 6) entries.push_back({fields[0], fields[1], fields[5]});
  }
  return entries;
}

}  // namespace

Identity AdminIdentity() { return {"Admin", std::string(kMachineDomain) + "-1001", true, 1}; }
Identity BobIdentity() { return {"Bob", std::string(kMachineDomain) + "-1002", false, 1}; }
// Services and deployment systems run in session 0 (learn.microsoft.com, "Session 0 isolation").
Identity SystemIdentity() { return {"SYSTEM", kSystemSid, true, 0}; }

bool HoldsSid(const Identity& who, const std::string& sid) {
  std::vector<uint8_t> wanted = SidBytes(sid);
  if (wanted.empty()) return false;
  for (const std::string& held : {who.sid, std::string(kEveryoneSid), std::string(kAuthenticatedUsersSid)})
    if (SidBytes(held) == wanted) return true;
  bool system = who.sid == kSystemSid;
  // SYSTEM's token holds Administrators but not Users.
  if (wanted == SidBytes(kUsersSid)) return !system;
  return wanted == SidBytes(kAdministratorsSid) && (who.elevated || system);
}

// Entries are taken in order, deny and allow alike: winsim's descriptors are in canonical order.
// An inherit-only entry (IO) applies to what is below, not to the object.
bool DaclAdmits(const std::string& sddl, const Identity& who) {
  size_t d = sddl.find("D:");
  if (d == std::string::npos) return true;
  size_t end = sddl.find_first_of("SO", d + 2);
  while (end != std::string::npos && sddl[end + 1] != ':') end = sddl.find_first_of("SO", end + 1);
  std::string dacl = sddl.substr(d + 2, end == std::string::npos ? end : end - d - 2);
  if (dacl.find("NO_ACCESS_CONTROL") == 0) return true;
  for (const Entry& e : Entries(dacl)) {
    if (e.flags.find("IO") != std::string::npos || !HoldsSid(who, e.account)) continue;
    if (e.type == "D") return false;
    if (e.type == "A") return true;
  }
  return false;
}

// The security descriptors ConvertStringSecurityDescriptorToSecurityDescriptorW hands out: a
// LocalAlloc block holding the text, so that an object created with one keeps it as text.
std::string DescriptorText(const SECURITY_ATTRIBUTES* attributes) {
  if (!attributes || !attributes->lpSecurityDescriptor ||
      !M().heap.localBlocks.count(attributes->lpSecurityDescriptor))
    return std::string();
  return static_cast<const char*>(attributes->lpSecurityDescriptor);
}

}  // namespace winsim
