// A machine directory: machine.json beside drive_c, and the call trace of the last run.
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "machine_json.h"
#include "winsim/host.h"
#include "winsim/machine.h"

namespace winsim {

namespace {

const std::pair<DialogAnswer, const char*> kDialogAnswers[] = {{DialogAnswer::CloseButton, "close"},
                                                               {DialogAnswer::Enter, "enter"},
                                                               {DialogAnswer::Escape, "escape"},
                                                               {DialogAnswer::CloseBox, "closebox"}};

const std::pair<NativeMachine, const char*> kNativeMachines[] = {{NativeMachine::X64, "x64"},
                                                                 {NativeMachine::Arm64, "arm64"}};

std::string Escaped(const std::string& member) {
  std::string out;
  for (char c : member) out += c == '~' ? "~0" : c == '/' ? "~1" : std::string(1, c);
  return out;
}

// The format is checked first: a newer file's members are not this program's to judge.
void ReadMachine(JsonReader& r, const Json& j, Machine& m) {
  if (!j.is_object()) return Expected(r, "an object", j);
  size_t mark = Enter(r, "format");
  if (!j.contains("format"))
    return Expected(r, "the file's format version, " + std::to_string(kMachineFormat) + ", found nothing");
  uint32_t format = 0;
  Read(r, j["format"], format);
  if (Failed(r)) return;
  if (format < 1 || format > kMachineFormat)
    return Expected(r, "format version " + std::to_string(kMachineFormat) + " or older (a newer winsim wrote this machine)",
                    j["format"]);
  Leave(r, mark);
  for (auto it = j.begin(); it != j.end() && !Failed(r); ++it)
    if (it.key() != "format" && !ReadMember(r, it.key(), it.value(), m)) UnknownMember(r, it.key(), m);
}

// Control characters would break the message's one line.
std::string OneLine(std::string text) {
  for (char& c : text)
    if (static_cast<unsigned char>(c) < 0x20) c = '?';
  return text;
}

bool ReadWholeFile(const std::string& file, std::string* text, std::string* problem) {
  std::error_code ec;
  if (!std::filesystem::is_regular_file(file, ec)) {
    *problem = file + ": expected a file, found " + (ec ? ec.message() : "a directory or device");
    return false;
  }
  std::ifstream in(file, std::ios::binary);
  text->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  if (in.bad() || !in.is_open()) {
    *problem = file + ": cannot be read (" + std::strerror(errno) + ")";
    return false;
  }
  return true;
}

// Where the text nests arrays and objects deeper than `limit`, or npos. The parser builds any
// depth, but taking a value apart recurses, so text deeper than any machine is refused first.
size_t TooDeep(const std::string& text, size_t limit) {
  size_t depth = 0;
  bool inString = false;
  for (size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (inString) {
      if (c == '\\') ++i;
      else if (c == '"') inString = false;
    } else if (c == '"') {
      inString = true;
    } else if ((c == '[' || c == '{') && ++depth > limit) {
      return i;
    } else if ((c == ']' || c == '}') && depth > 0) {
      --depth;
    }
  }
  return std::string::npos;
}

std::string LineAndColumn(const std::string& text, size_t byte) {
  size_t line = 1, column = 1;
  for (size_t i = 0; i < byte; ++i) {
    column = text[i] == '\n' ? 1 : column + 1;
    line += text[i] == '\n';
  }
  return "line " + std::to_string(line) + ", column " + std::to_string(column);
}

// Replaces `name` in `dir` whole: the text goes to a new file beside it, reaches the disk, and
// takes the name in one rename, so a reader sees the old file or the new one, never a part.
bool ReplaceFile(const std::string& dir, const std::string& name, const std::string& text, std::string* problem) {
  std::string temp = dir + "/." + name + ".XXXXXX";
  int fd = mkstemp(temp.data());
  bool ok = fd >= 0 && fchmod(fd, 0644) == 0;
  for (size_t done = 0; ok && done < text.size();) {
    ssize_t n = write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    ok = n > 0;
    done += ok ? size_t(n) : 0;
  }
  ok = ok && fsync(fd) == 0;
  if (fd >= 0) ok = close(fd) == 0 && ok;
  ok = ok && std::rename(temp.c_str(), (dir + "/" + name).c_str()) == 0;
  if (!ok) {
    *problem = dir + "/" + name + ": cannot be saved (" + std::strerror(errno) + ")";
    if (fd >= 0) unlink(temp.c_str());
  }
  return ok;
}

}  // namespace

std::string DescribeJson(const Json& j) {
  if (j.is_object() || j.is_array() || j.is_null()) return j.type_name();
  std::string value = j.dump(-1, ' ', false, Json::error_handler_t::replace);
  if (value.size() > 40) value = value.substr(0, 37) + "...";
  return std::string(j.type_name()) + " " + value;
}

void Expected(JsonReader& r, const std::string& what, const Json& found) {
  Expected(r, what + ", found " + DescribeJson(found));
}

void Expected(JsonReader& r, const std::string& what) {
  r.problem = (r.pointer.empty() ? "(top level)" : r.pointer) + ": expected " + what;
}

size_t Enter(JsonReader& r, const std::string& member) {
  size_t mark = r.pointer.size();
  r.pointer += "/" + Escaped(member);
  return mark;
}

void Leave(JsonReader& r, size_t mark) { r.pointer.resize(mark); }

void Read(JsonReader& r, const Json& j, bool& x) {
  if (!j.is_boolean()) return Expected(r, "true or false", j);
  x = j.get<bool>();
}

void Read(JsonReader& r, const Json& j, std::string& x) {
  if (!j.is_string()) return Expected(r, "a string", j);
  x = j.get<std::string>();
}

// An enumeration saved by name: `names` pairs each value with its name.
template <typename E, size_t N>
void ReadNamed(JsonReader& r, const Json& j, E& x, const std::pair<E, const char*> (&names)[N], const char* expected) {
  for (const auto& [value, name] : names)
    if (j.is_string() && j.get<std::string>() == name) {
      x = value;
      return;
    }
  Expected(r, expected, j);
}

template <typename E, size_t N>
void WriteNamed(Json& j, const E& x, const std::pair<E, const char*> (&names)[N]) {
  for (const auto& [value, name] : names)
    if (value == x) j = name;
}

void Read(JsonReader& r, const Json& j, DialogAnswer& x) {
  ReadNamed(r, j, x, kDialogAnswers, "\"close\", \"enter\", \"escape\" or \"closebox\"");
}
void Write(Json& j, const DialogAnswer& x) { WriteNamed(j, x, kDialogAnswers); }
void Read(JsonReader& r, const Json& j, NativeMachine& x) { ReadNamed(r, j, x, kNativeMachines, "\"x64\" or \"arm64\""); }
void Write(Json& j, const NativeMachine& x) { WriteNamed(j, x, kNativeMachines); }

// Dialog item texts by control id: {"1001": "text"}.
void Read(JsonReader& r, const Json& j, std::map<int, std::string>& x) {
  if (!j.is_object()) return Expected(r, "an object", j);
  x.clear();
  for (auto it = j.begin(); it != j.end() && !Failed(r); ++it) {
    size_t mark = Enter(r, it.key());
    int id = 0;
    Read(r, Json::parse(it.key(), nullptr, false), id);
    if (Failed(r)) return Expected(r, "a control id (a decimal number) as the member's name");
    Read(r, it.value(), x[id]);
    if (!Failed(r)) Leave(r, mark);
  }
}

void Write(Json& j, const std::map<int, std::string>& x) {
  j = Json::object();
  for (const auto& [id, text] : x) j[std::to_string(id)] = text;
}

void Write(Json& j, const ProcessState& x) {
  ProcessState running = x;
  std::erase_if(running.processes, [](const Process& p) { return p.exited; });
  WriteRecord(j, running);
}

bool LoadMachine(const std::string& dir, std::string* problem) {
  std::string unused, text, file = dir + "/machine.json";
  std::string& said = problem ? *problem : unused;
  said.clear();
  std::error_code ec;
  std::string disk = dir + "/drive_c";
  if (std::filesystem::exists(disk, ec) && !std::filesystem::is_directory(disk, ec)) {
    said = disk + ": expected the directory of the machine's C: drive, found a file";
    return false;
  }
  if (!std::filesystem::exists(std::filesystem::symlink_status(file, ec))) return false;
  if (!ReadWholeFile(file, &text, &said)) return false;
  // A registry tree of 512 levels takes about 1030.
  constexpr size_t kMaxNesting = 2000;
  if (size_t at = TooDeep(text, kMaxNesting); at != std::string::npos) {
    said = file + ": " + LineAndColumn(text, at) + ": expected nesting at most " + std::to_string(kMaxNesting) +
           " levels deep";
    return false;
  }
  Json j;
  try {
    j = Json::parse(text);
  } catch (const Json::parse_error& e) {  // the library reports where the text stops being JSON
    std::string what = e.what();
    said = OneLine(file + ": expected JSON: " + what.substr(what.find("] ") + 2));
    return false;
  }
  // Every problem shows before the directory is touched: a scratch machine takes the first read.
  JsonReader reader;
  Machine scratch;
  ReadMachine(reader, j, scratch);
  if (Failed(reader)) {
    said = OneLine(file + ": " + reader.problem);
    return false;
  }
  ResetMachine(dir);
  ReadMachine(reader, j, M());
  AttachRunningProcesses();
  return true;
}

std::string MachineJson() {
  Json j = Json::object();
  j["format"] = kMachineFormat;
  WriteRecord(j, M());
  return j.dump(2, ' ', false, Json::error_handler_t::replace) + "\n";
}

bool SaveMachine(const std::string& dir, std::string* problem) {
  std::string unused;
  std::string& said = problem ? *problem : unused;
  std::string trace;
  for (const TraceEntry& e : M().trace)
    trace += std::to_string(e.ms) + " " + e.call + " " + e.detail + "\n";
  std::error_code ec;
  std::filesystem::create_directories(dir, ec);
  return ReplaceFile(dir, "machine.json", MachineJson(), &said) &&
         ReplaceFile(dir, "trace.txt", trace, &said);
}

}  // namespace winsim
