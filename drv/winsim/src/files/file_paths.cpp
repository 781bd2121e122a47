// Windows paths on the machine's host directory, and the holds other programs keep on files.
#include <fstream>
#include <sstream>

#include "winsim/host_dirs.h"
#include "winsim/machine.h"
#include "winsim/win_errors.h"

namespace winsim {

namespace {

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

bool IsDriveLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

// Win32 drops trailing dots and spaces from every name before the file system sees it.
std::string TrimName(const std::string& name) {
  if (name == "." || name == "..") return name;
  size_t end = name.size();
  while (end > 0 && (name[end - 1] == '.' || name[end - 1] == ' ')) --end;
  return name.substr(0, end);
}

bool ValidName(const std::string& name) {
  for (unsigned char c : name)
    if (c < 32 || c == '<' || c == '>' || c == ':' || c == '"' || c == '|' || c == '?' || c == '*')
      return false;
  return true;
}

// The existing entry of `dir` that matches `name` without regard to case, else `name` itself.
std::filesystem::path MatchEntry(const std::filesystem::path& dir, const std::string& name, bool* found) {
  std::error_code ec;
  *found = std::filesystem::exists(dir / name, ec);
  if (*found) return dir / name;
  std::string entry = EntryNamed(dir, name);
  *found = !entry.empty();
  return dir / (*found ? entry : name);
}

}  // namespace

std::string FullWindowsPath(const std::string& windowsPath, DWORD* error) {
  *error = 0;
  std::string path = windowsPath;
  // "\\?\" and the NT form "\??\" name the same Win32 path without normalisation.
  if (path.rfind("\\\\?\\", 0) == 0 || path.rfind("\\??\\", 0) == 0) path = path.substr(4);
  if (path.empty() || (path.size() >= 2 && IsSeparator(path[0]) && IsSeparator(path[1]))) {
    *error = ERROR_PATH_NOT_FOUND;  // nothing, or a network share this machine lacks
    return std::string();
  }
  const std::string& current = M().files.currentDir;
  if (path.size() >= 2 && IsDriveLetter(path[0]) && path[1] == ':') {
    if (path.size() == 2 || !IsSeparator(path[2])) path.insert(2, "\\");
  } else if (IsSeparator(path[0])) {
    path = current.substr(0, 2) + path;
  } else {
    path = current + "\\" + path;
  }
  std::vector<std::string> names;
  std::string name;
  for (size_t i = 3; i <= path.size(); ++i) {
    if (i == path.size() || IsSeparator(path[i])) {
      name = TrimName(name);
      if (name == "..") {
        if (!names.empty()) names.pop_back();
      } else if (!name.empty() && name != ".") {
        if (!ValidName(name)) {
          *error = ERROR_INVALID_NAME;
          return std::string();
        }
        names.push_back(name);
      }
      name.clear();
    } else {
      name += path[i];
    }
  }
  std::string full = path.substr(0, 2) + "\\";
  for (size_t i = 0; i < names.size(); ++i) full += (i ? "\\" : "") + names[i];
  return full;
}

namespace {

// The junction whose folder is `folder` (a full path), or null.
const Junction* JunctionAt(const std::string& folder) {
  for (const Junction& j : M().files.junctions)
    if (EqualNoCase(j.path, folder)) return &j;
  return nullptr;
}

// Windows allows at most 63 reparse points in one path ("Symbolic Link Programming
// Considerations", Microsoft docs); a loop of junctions ends there.
constexpr int kMaxReparsePoints = 63;

// The full path with every junction among its names followed, the last name included;
// `*last` tells whether that last name is itself a junction.
std::string FollowJunctions(std::string path, bool* last, DWORD* error) {
  *last = false;
  if (M().files.junctions.empty()) return path;
  for (int hops = 0;; ++hops) {
    const Junction* found = nullptr;
    size_t end = 3;
    for (; end <= path.size(); ++end)
      if ((end == path.size() || path[end] == '\\') && (found = JunctionAt(path.substr(0, end)))) break;
    if (!found) return path;
    if (hops == kMaxReparsePoints) {
      *error = ERROR_CANT_RESOLVE_FILENAME;
      return std::string();
    }
    // Junctions met before only led to the folders above; this one is the name itself.
    *last = *last || end == path.size();
    path = FullWindowsPath(found->target + path.substr(end), error);
    if (*error) return std::string();
  }
}

}  // namespace

HostPath ResolvePath(const std::string& windowsPath) {
  HostPath result;
  std::string path = FullWindowsPath(windowsPath, &result.error);
  if (!result.error) path = FollowJunctions(path, &result.junction, &result.error);
  if (result.error) return result;
  std::vector<std::string> names;
  for (size_t start = 3, end; start < path.size(); start = end + 1) {
    end = path.find('\\', start);
    if (end == std::string::npos) end = path.size();
    names.push_back(path.substr(start, end - start));
  }
  char drive = char(path[0] | 0x20);
  std::filesystem::path host = std::filesystem::path(M().root) / (std::string("drive_") + drive);
  bool found = std::filesystem::is_directory(host);
  result.parentExists = found;
  for (size_t i = 0; i < names.size(); ++i) {
    if (i + 1 == names.size()) result.parentExists = found && std::filesystem::is_directory(host);
    host = found ? MatchEntry(host, names[i], &found) : host / names[i];
  }
  result.path = host;
  return result;
}

DWORD PathError(const HostPath& path) {
  if (path.error) return path.error;
  return path.parentExists ? 0 : DWORD(ERROR_PATH_NOT_FOUND);
}

DWORD LocateExisting(const std::string& windowsPath, HostPath* found) {
  *found = ResolvePath(windowsPath);
  if (DWORD error = PathError(*found)) return error;
  std::error_code ec;
  return std::filesystem::exists(found->path, ec) ? 0 : DWORD(ERROR_FILE_NOT_FOUND);
}

std::string MakeJunction(const std::string& path, const std::string& target) {
  DWORD error = 0;
  std::string folder = FullWindowsPath(path, &error), to = error ? "" : FullWindowsPath(target, &error);
  if (error || folder.size() <= 3) return path + " -> " + target + ": not a folder and a folder to point to";
  HostPath place = ResolvePath(folder);
  std::error_code ec;
  if (place.error || (std::filesystem::exists(place.path, ec) && !std::filesystem::is_empty(place.path, ec)))
    return folder + ": must be absent or an empty folder";
  // The junction takes the folder's place: its own name now stands for the target.
  std::filesystem::remove(place.path, ec);
  M().files.junctions.push_back({folder, to});
  return "";
}

bool WriteMachineFile(const std::string& windowsPath, const std::string& bytes) {
  HostPath target = ResolvePath(windowsPath);
  if (target.error) return false;
  std::error_code ec;
  std::filesystem::create_directories(target.path.parent_path(), ec);
  std::ofstream out(target.path, std::ios::binary | std::ios::trunc);
  out << bytes;
  return bool(out);
}

bool ReadMachineFile(const std::string& windowsPath, std::string* bytes) {
  HostPath source = ResolvePath(windowsPath);
  if (source.error || !std::filesystem::is_regular_file(source.path)) return false;
  std::ifstream in(source.path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  *bytes = text.str();
  return bool(in);
}

bool MachineFileExists(const std::string& windowsPath) {
  HostPath target = ResolvePath(windowsPath);
  return !target.error && std::filesystem::is_regular_file(target.path);
}

void HoldFile(const std::string& windowsPath, const std::string& owner, uint64_t untilMs, DWORD deleteError) {
  M().files.holds.push_back({windowsPath, owner, untilMs, deleteError});
}

void ReleaseHolds(const std::string& owner) {
  std::vector<FileHold>& holds = M().files.holds;
  std::erase_if(holds, [&](const FileHold& h) { return h.owner == owner; });
}

const FileHold* HoldOn(const std::string& windowsPath) {
  if (const FileHold* hold = MonitorHold(windowsPath)) return hold;
  if (const FileHold* loaded = DriverHold(windowsPath)) return loaded;
  std::filesystem::path target = ResolvePath(windowsPath).path;
  for (const FileHold& h : M().files.holds)
    if (M().clock.nowMs < h.untilMs && ResolvePath(h.path).path == target) return &h;
  return nullptr;
}

}  // namespace winsim

