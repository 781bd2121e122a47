// Who runs what on the simulated machine: accounts and their SIDs, the tokens of the running
// program and of the other processes, boundary descriptors and private namespaces.
#pragma once
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "winsim/win_types.h"

namespace winsim {

// Well-known SIDs (learn.microsoft.com, "Well-known SIDs").
constexpr const char* kSystemSid = "S-1-5-18";
constexpr const char* kAdministratorsSid = "S-1-5-32-544";
constexpr const char* kUsersSid = "S-1-5-32-545";
constexpr const char* kEveryoneSid = "S-1-1-0";
constexpr const char* kAuthenticatedUsersSid = "S-1-5-11";

// The user a token stands for, whether it is elevated, and its session. An elevated token holds
// the Administrators group enabled; SYSTEM's token counts as elevated
// (learn.microsoft.com, TOKEN_ELEVATION; "How User Account Control works": a filtered admin
// token has Administrators for deny only).
struct Identity {
  std::string user;  // the account's name, "Admin", "Bob", "SYSTEM"
  std::string sid;   // its SID as text
  bool elevated = false;
  uint32_t session = 1;
};

Identity AdminIdentity();  // the tool's default: an administrator elevated in session 1
Identity BobIdentity();    // the standard user at the desk, unelevated in session 1
Identity SystemIdentity(); // a deployment system's run: SYSTEM in session 0

// Whether a token of `who` holds `sid` as an enabled group or as its user.
bool HoldsSid(const Identity& who, const std::string& sid);
// Whether the DACL of an SDDL text lets `who` in at all: the allow and deny entries of
// accounts written as aliases (SY, BA, BU, WD, AU) or SIDs; no DACL lets everyone in, an empty
// one nobody. Enough for the objects winsim names; it is no full access check.
bool DaclAdmits(const std::string& sddl, const Identity& who);

// A token the running program opened or made.
struct Token {
  Identity identity;
  bool primary = true;
  DWORD access = 0;
};

struct BoundaryDescriptor {
  std::string name;
  std::vector<std::string> sids;  // as text, in the order they were added
};

// A private namespace: the boundary (name and SIDs) identifies it; it lives while a handle of
// the running program or a running process has it open.
struct PrivateNamespace {
  uint64_t id = 0;
  std::string key;   // NamespaceKey of its boundary
  std::string sddl;  // the security it was created with; empty: the default
  bool destroyed = false;
};

struct SecurityState {
  Identity tool = AdminIdentity();    // who the running program runs as
  Identity desktop = BobIdentity();   // who signs in at logon and owns the shell
  // The running program's; not saved.
  std::map<uint64_t, Token> tokens;
  std::map<uint64_t, BoundaryDescriptor> boundaries;  // by the descriptor's handle value
  std::vector<PrivateNamespace> namespaces;
  uint64_t nextId = 1;
};

// The security descriptor a caller passed as text (ConvertStringSecurityDescriptorToSecurity-
// DescriptorW's blocks hold it); empty: none, the default.
std::string DescriptorText(const SECURITY_ATTRIBUTES* attributes);

// The text that names a namespace by its boundary: "name{sid,sid}".
std::string NamespaceKey(const BoundaryDescriptor& boundary);
// A namespace a running process holds (as another run of a tool would), created when missing;
// its id.
uint64_t HoldNamespace(const std::string& key);
// Where the objects of a namespace are named among the machine's.
std::string NamespacePrefix(uint64_t id);
// An object's name as the running program gives it, among the machine's: "alias\name" in the
// namespace the program opened under that alias; `*error` ERROR_PATH_NOT_FOUND for an alias it
// has none of.
std::string ResolveObjectName(const std::string& name, DWORD* error);
PrivateNamespace* FindNamespace(const std::string& key);
PrivateNamespace* FindNamespace(uint64_t id);
// Drops namespaces no handle or running process refers to any more.
void PruneNamespaces();

// SIDs laid out as Windows keeps them in memory: revision 1, the count of sub-authorities, the
// 6-byte authority (big-endian), then the sub-authorities as DWORDs.
std::vector<uint8_t> SidBytes(const std::string& text);  // empty: not a SID or alias
std::string SidText(const void* sid);                    // empty: not a valid SID
size_t SidLength(const void* sid);                       // 0: not a valid SID

}  // namespace winsim
