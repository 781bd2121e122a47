// Names in the machine's host directories, found without regard to case as NTFS finds them.
#pragma once
#include <filesystem>
#include <string>

namespace winsim {

// The name of an entry of the host directory `dir` that matches `name` without regard to case
// (ASCII letters), or empty when there is none.
std::string EntryNamed(const std::filesystem::path& dir, const std::string& name);

}  // namespace winsim
