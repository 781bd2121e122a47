// Owners and DACLs of files and folders: what was set on each path, and what NTFS's inheritance
// gives every path below.
#include "winsim/file_security.h"

#include <cstdio>
#include <filesystem>

#include "winsim/machine.h"
#include "winsim/security.h"
#include "winsim/windows.h"

namespace winsim {

namespace {

// "Default owner for objects created by members of the Administrators group" is the
// Administrators group for an elevated administrator (Microsoft Learn, security policy setting
// "System objects: Default owner for objects created by members of the Administrators group").
constexpr const char* kDefaultOwner = "S-1-5-32-544";

constexpr uint32_t kFull = FILE_ALL_ACCESS, kModify = 0x1301BF, kReadExecute = 0x1200A9;
constexpr uint32_t kGenericAll = GENERIC_ALL, kGenericReadExecute = GENERIC_READ | GENERIC_EXECUTE;

std::string FullPath(const std::string& windowsPath) {
  DWORD error = 0;
  std::string full = FullWindowsPath(windowsPath, &error);
  return error ? windowsPath : full;
}

std::string Parent(const std::string& full) {
  size_t slash = full.find_last_of('\\');
  if (full.size() <= 3 || slash == std::string::npos) return "";
  return slash == 2 ? full.substr(0, 3) : full.substr(0, slash);
}

const PathSecurity* FindRecord(const std::string& full) {
  for (const PathSecurity& record : M().files.security)
    if (EqualNoCase(record.path, full)) return &record;
  return nullptr;
}

// What a child receives of its folder's DACL when it is made (or when a change of the folder
// propagates), as "ACE inheritance rules" (Microsoft Learn, "Inheritance of ACEs" / "ACE
// Inheritance Rules") give it: folders take container-inherit entries as their own and keep
// object-inherit ones inherit-only for their files; files take object-inherit entries. An entry
// naming CREATOR OWNER or generic rights applies to the child as the owner with mapped rights,
// and is kept beside that, inherit-only, where it propagates further.
std::vector<Ace> Inherit(const std::vector<Ace>& parent, bool folder, const std::string& owner) {
  std::vector<Ace> out;
  for (const Ace& ace : parent) {
    uint8_t inherit = ace.flags & (kObjectInherit | kContainerInherit);
    bool propagate = !(ace.flags & kNoPropagate);
    bool applies = folder ? (ace.flags & kContainerInherit) != 0 : (ace.flags & kObjectInherit) != 0;
    bool passesOn = folder && propagate && inherit;
    if (!applies && !passesOn) continue;
    bool special = ace.sid == kCreatorOwnerSid || (ace.mask & (GENERIC_READ | GENERIC_WRITE | GENERIC_EXECUTE | GENERIC_ALL));
    if (applies && (special || !passesOn)) {
      Ace own = ace;
      own.flags = kInherited;
      own.mask = FileRights(ace.mask);
      if (ace.sid == kCreatorOwnerSid) own.sid = owner;
      out.push_back(own);
    }
    if (passesOn && (special || !applies)) {
      Ace below = ace;
      below.flags = uint8_t(inherit | kInheritOnly | kInherited);
      out.push_back(below);
    } else if (passesOn) {
      Ace both = ace;
      both.flags = uint8_t(inherit | kInherited);
      out.push_back(both);
    }
  }
  return out;
}

void Add(PathSecurity& record, uint8_t flags, uint32_t mask, const std::string& sid) {
  record.entries.push_back({kAllowAce, flags, mask, sid});
}

}  // namespace

Security SecurityOf(const std::string& windowsPath) {
  std::string full = FullPath(windowsPath);
  const PathSecurity* record = FindRecord(full);
  Security security;
  security.owner = record && !record->owner.empty() ? record->owner : kDefaultOwner;
  if (record) security.dacl = record->entries;
  std::string parent = Parent(full);
  if ((record && record->isProtected) || parent.empty()) return security;
  std::error_code ec;
  bool folder = std::filesystem::is_directory(ResolvePath(full).path, ec);
  std::vector<Ace> inherited = Inherit(SecurityOf(parent).dacl, folder, security.owner);
  security.dacl.insert(security.dacl.end(), inherited.begin(), inherited.end());
  return security;
}

PathSecurity& SecurityRecord(const std::string& windowsPath) {
  std::string full = FullPath(windowsPath);
  for (PathSecurity& record : M().files.security)
    if (EqualNoCase(record.path, full)) return record;
  M().files.security.push_back({full, "", false, {}});
  return M().files.security.back();
}

void MoveSecurity(const std::string& from, const std::string& to) {
  std::string full = FullPath(from);
  std::vector<PathSecurity>& all = M().files.security;
  for (size_t i = 0; i < all.size(); ++i)
    if (EqualNoCase(all[i].path, full)) {
      if (to.empty())
        all.erase(all.begin() + long(i));
      else
        all[i].path = FullPath(to);
      return;
    }
}

// The rights of a default Windows 10/11 installation as shared/notes/windows-2026.md gives them
// from public icacls listings (C:\Windows as C:\Program Files); the owners as Get-Acl shows
// them. The deployment caches are made by agents running as SYSTEM: SYSTEM and Administrators
// only (assumed; no published table was found).
std::vector<PathSecurity> DefaultSecurity(const std::string& user, const std::string& sid) {
  const uint8_t oici = kObjectInherit | kContainerInherit, below = oici | kInheritOnly;
  std::vector<PathSecurity> all;
  PathSecurity root{"C:\\", kTrustedInstallerSid, true, {}};
  Add(root, oici, kFull, "S-1-5-32-544");
  Add(root, oici, kFull, "S-1-5-18");
  Add(root, oici, kReadExecute, "S-1-5-32-545");
  Add(root, below, kModify, "S-1-5-11");
  Add(root, 0, FILE_APPEND_DATA, "S-1-5-11");  // create folders in the root itself
  all.push_back(root);
  for (const char* path : {"C:\\Windows", "C:\\Program Files"}) {
    PathSecurity system{path, kTrustedInstallerSid, true, {}};
    Add(system, 0, kFull, kTrustedInstallerSid);
    Add(system, kContainerInherit | kInheritOnly, kGenericAll, kTrustedInstallerSid);
    for (const char* admin : {"S-1-5-18", "S-1-5-32-544"}) {
      Add(system, 0, kModify, admin);
      Add(system, below, kGenericAll, admin);
    }
    Add(system, 0, kReadExecute, "S-1-5-32-545");
    Add(system, below, kGenericReadExecute, "S-1-5-32-545");
    Add(system, below, kGenericAll, kCreatorOwnerSid);
    all.push_back(system);
  }
  PathSecurity temp{"C:\\Windows\\Temp", "S-1-5-18", true, {}};
  // Users may add files and folders and pass through, but not list.
  Add(temp, kContainerInherit, SYNCHRONIZE | FILE_ADD_FILE | FILE_ADD_SUBDIRECTORY | FILE_TRAVERSE, "S-1-5-32-545");
  for (const char* admin : {"S-1-5-32-544", "S-1-5-18"}) {
    Add(temp, 0, kFull, admin);
    Add(temp, below, kGenericAll, admin);
  }
  Add(temp, below, kGenericAll, kCreatorOwnerSid);
  all.push_back(temp);
  PathSecurity users{"C:\\Users", "S-1-5-18", true, {}};
  Add(users, oici, kFull, "S-1-5-18");
  Add(users, oici, kFull, "S-1-5-32-544");
  for (const char* reader : {"S-1-5-32-545", "S-1-1-0"}) {
    Add(users, 0, kReadExecute, reader);
    Add(users, below, kGenericReadExecute, reader);
  }
  all.push_back(users);
  PathSecurity profile{"C:\\Users\\" + user, sid, true, {}};
  for (const std::string& who : {std::string("S-1-5-18"), std::string("S-1-5-32-544"), sid}) Add(profile, oici, kFull, who);
  all.push_back(profile);
  for (const char* path : {"C:\\Windows\\SystemTemp", "C:\\Windows\\ccmcache", "C:\\Windows\\IMECache"}) {
    PathSecurity own{path, "S-1-5-18", true, {}};
    Add(own, oici, kFull, "S-1-5-18");
    // "Inaccessible to non-SYSTEM processes" (GetTempPath2W, Microsoft Learn).
    if (std::string(path) != "C:\\Windows\\SystemTemp") Add(own, oici, kFull, "S-1-5-32-544");
    all.push_back(own);
  }
  return all;
}

std::string AccountSid(const std::string& name) {
  static const struct {
    const char* name;
    const char* sid;
  } kAccounts[] = {{"Everyone", "S-1-1-0"},          {"Administrators", "S-1-5-32-544"},
                   {"SYSTEM", "S-1-5-18"},           {"Users", "S-1-5-32-545"},
                   {"Authenticated Users", "S-1-5-11"}, {"CREATOR OWNER", kCreatorOwnerSid},
                   {"TrustedInstaller", kTrustedInstallerSid}};
  for (const auto& account : kAccounts)
    if (EqualNoCase(name, account.name)) return account.sid;
  for (const Identity& who : {M().security.desktop, M().security.tool})
    if (EqualNoCase(name, who.user)) return who.sid;
  if (name.rfind("S-1-", 0) == 0 && name.find_first_not_of("S0123456789-") == std::string::npos) return name;
  return "";
}

bool ParseGrant(const std::string& text, Ace* ace) {
  size_t colon = text.rfind(':');
  if (colon == std::string::npos) return false;
  *ace = Ace{};
  ace->sid = AccountSid(text.substr(0, colon));
  std::string rest = text.substr(colon + 1);
  static const std::pair<const char*, uint8_t> kFlags[] = {
      {"(OI)", kObjectInherit}, {"(CI)", kContainerInherit}, {"(NP)", kNoPropagate}, {"(IO)", kInheritOnly}};
  for (bool found = true; found;) {
    found = false;
    for (const auto& [spelling, flag] : kFlags)
      if (rest.rfind(spelling, 0) == 0) {
        ace->flags |= flag;
        rest.erase(0, 4);
        found = true;
      }
  }
  static const std::pair<const char*, uint32_t> kRights[] = {{"F", kFull},          {"M", kModify},
                                                             {"RX", kReadExecute},  {"R", 0x120089},
                                                             {"W", 0x100116},       {"AD", FILE_APPEND_DATA},
                                                             {"WD", FILE_WRITE_DATA}};
  for (const auto& [spelling, mask] : kRights)
    if (rest == spelling) ace->mask = mask;
  if (!ace->mask && !rest.empty()) {
    char* end = nullptr;
    unsigned long value = std::strtoul(rest.c_str(), &end, 0);
    if (*end == 0 && value <= UINT32_MAX) ace->mask = uint32_t(value);
  }
  return !ace->sid.empty() && ace->mask != 0;
}

// The letters and aliases of "Security Descriptor String Format", "ACE Strings" and "SID
// Strings" (Microsoft Learn).
bool SecurityFromSddl(const std::string& sddl, PathSecurity* record) {
  static const std::pair<const char*, const char*> kAliases[] = {
      {"SY", "S-1-5-18"}, {"BA", "S-1-5-32-544"}, {"BU", "S-1-5-32-545"},
      {"AU", "S-1-5-11"}, {"WD", "S-1-1-0"},      {"CO", kCreatorOwnerSid}};
  auto sid = [&](const std::string& text) {
    for (const auto& [alias, value] : kAliases)
      if (text == alias) return std::string(value);
    return text.rfind("S-1-", 0) == 0 ? AccountSid(text) : std::string();
  };
  static const std::pair<const char*, uint32_t> kRights[] = {
      {"GA", GENERIC_ALL}, {"GR", GENERIC_READ}, {"GW", GENERIC_WRITE}, {"GX", GENERIC_EXECUTE},
      {"FA", kFull},       {"FR", 0x120089},     {"FW", 0x120116},      {"FX", 0x1200A0},
      {"SD", DELETE},      {"RC", READ_CONTROL}, {"WD", WRITE_DAC},     {"WO", WRITE_OWNER}};
  static const std::pair<const char*, uint8_t> kFlags[] = {
      {"OI", kObjectInherit}, {"CI", kContainerInherit}, {"NP", kNoPropagate}, {"IO", kInheritOnly}, {"ID", kInherited}};
  if (sddl.empty()) return false;
  size_t i = 0;
  while (i < sddl.size()) {
    if (i + 1 >= sddl.size() || sddl[i + 1] != ':') return false;
    char part = sddl[i];
    size_t end = i + 2;
    // No SID, flag or ACE string holds a colon: the next "X:" starts the next part.
    while (end < sddl.size() && !(end + 1 < sddl.size() && sddl[end + 1] == ':')) ++end;
    std::string value = sddl.substr(i + 2, end - i - 2);
    i = end;
    if (part == 'O') {
      record->owner = sid(value);
      if (record->owner.empty()) return false;
    } else if (part == 'D') {
      size_t open = value.find('(');
      std::string flags = value.substr(0, open);
      record->isProtected = true;
      record->entries.clear();
      if (flags.find_first_not_of("PAIR") != std::string::npos) return false;
      while (open != std::string::npos) {
        size_t close = value.find(')', open);
        if (close == std::string::npos) return false;
        std::vector<std::string> fields(1);
        for (char c : value.substr(open + 1, close - open - 1))
          c == ';' ? fields.push_back("") : void(fields.back() += c);
        if (fields.size() != 6 || (fields[0] != "A" && fields[0] != "D")) return false;
        Ace ace{fields[0] == "A" ? kAllowAce : kDenyAce, 0, 0, sid(fields[5])};
        for (size_t k = 0; k < fields[1].size(); k += 2) {
          bool known = false;
          for (const auto& [spelling, flag] : kFlags)
            if (fields[1].compare(k, 2, spelling) == 0) ace.flags |= flag, known = true;
          if (!known) return false;
        }
        if (fields[2].rfind("0x", 0) == 0) {
          ace.mask = uint32_t(std::strtoul(fields[2].c_str(), nullptr, 16));
        } else {
          for (size_t k = 0; k < fields[2].size(); k += 2) {
            bool known = false;
            for (const auto& [spelling, mask] : kRights)
              if (fields[2].compare(k, 2, spelling) == 0) ace.mask |= mask, known = true;
            if (!known) return false;
          }
        }
        if (ace.sid.empty()) return false;
        record->entries.push_back(ace);
        open = value.find('(', close);
      }
    } else if (part != 'G' && part != 'S') {
      return false;
    }
  }
  return true;
}

std::string SecurityText(const PathSecurity& record) {
  std::string text = "owner " + (record.owner.empty() ? std::string(kDefaultOwner) : record.owner);
  if (record.isProtected) text += ", protected";
  for (const Ace& ace : record.entries) {
    char mask[16];
    std::snprintf(mask, sizeof(mask), "0x%x", ace.mask);
    text += std::string(&ace == &record.entries.front() ? ": " : "; ") + (ace.type == kDenyAce ? "deny " : "");
    for (const auto& [spelling, flag] : {std::pair<const char*, uint8_t>{"(OI)", kObjectInherit},
                                         {"(CI)", kContainerInherit}, {"(NP)", kNoPropagate}, {"(IO)", kInheritOnly}})
      if (ace.flags & flag) text += spelling;
    text += std::string(mask) + " " + ace.sid;
  }
  return text;
}

}  // namespace winsim
