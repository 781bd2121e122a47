// Owners and DACLs of files and folders, kept as NTFS keeps them: each path's own entries, and
// what it inherits from the folder above it unless it is protected.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace winsim {

// ACE types and flags (winnt.h).
constexpr uint8_t kAllowAce = 0;  // ACCESS_ALLOWED_ACE_TYPE
constexpr uint8_t kDenyAce = 1;   // ACCESS_DENIED_ACE_TYPE
constexpr uint8_t kObjectInherit = 0x01, kContainerInherit = 0x02, kNoPropagate = 0x04, kInheritOnly = 0x08,
                  kInherited = 0x10;

// SIDs the default rights name besides the well-known ones of the tokens.
constexpr const char* kTrustedInstallerSid = "S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464";
constexpr const char* kCreatorOwnerSid = "S-1-3-0";

struct Ace {
  uint8_t type = kAllowAce;
  uint8_t flags = 0;
  uint32_t mask = 0;
  std::string sid;  // as text, "S-1-5-18"
};

// What was set on one path (its full Windows path): an owner (empty: the owner NTFS gave it,
// Administrators for what setup or an elevated administrator made) and its own entries. A path
// without a record has no entries of its own and the default owner.
struct PathSecurity {
  std::string path;
  std::string owner;
  bool isProtected = false;  // SE_DACL_PROTECTED: nothing inherited from above
  std::vector<Ace> entries;
};

// A path's owner and whole DACL as Windows reports them: its own entries first, then those it
// inherits (flagged kInherited), generic rights mapped and CREATOR OWNER replaced by the owner
// where they apply to the path itself.
struct Security {
  std::string owner;
  std::vector<Ace> dacl;
};
Security SecurityOf(const std::string& windowsPath);

// The record of a path, made (without entries) when missing.
PathSecurity& SecurityRecord(const std::string& windowsPath);

// Windows' default rights of the folders every machine has, for the user `user` with `sid`
// (the one profile folder of the machine).
std::vector<PathSecurity> DefaultSecurity(const std::string& user, const std::string& sid);

// "Everyone:(OI)(CI)M" or "S-1-5-11:0x4" as icacls writes a grant: an account (a name of
// AccountSid or a SID), its inherit flags, and rights (F, M, RX, R, W, AD, WD, or a number).
// False when it cannot be read.
bool ParseGrant(const std::string& text, Ace* ace);
// The SID of an account name ("Everyone", "Administrators", "SYSTEM", "Users",
// "Authenticated Users", "CREATOR OWNER", "TrustedInstaller", the desktop user's name), a SID
// given as text itself, or "".
std::string AccountSid(const std::string& name);
// What an SDDL text (the descriptor a program passes when it creates a file) sets: owner ("O:"),
// DACL ("D:"; given at creation, nothing is inherited with it) of allow and deny entries with
// inherit flags, rights as letters or a number, accounts as SIDs or the aliases SY, BA, BU, AU,
// WD, CO. False when it cannot be read.
bool SecurityFromSddl(const std::string& sddl, PathSecurity* record);
// A file deleted (`to` empty) or renamed takes its record with it.
void MoveSecurity(const std::string& from, const std::string& to);
// One line for people: "owner SID, protected, (OI)(CI)0x1f01ff SID; ...".
std::string SecurityText(const PathSecurity& record);

}  // namespace winsim
