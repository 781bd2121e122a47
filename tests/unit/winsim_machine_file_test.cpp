#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <limits>
#include <map>
#include <nlohmann/json.hpp>
#include <sstream>

#include "support/sim.h"
#include "winsim/machine_fields.h"
#include "winsim/processes.h"
#include "winsim/windows.h"

using namespace winsim;
namespace fs = std::filesystem;

namespace {

class WinsimMachineFileTest : public test::SimTest {};

std::string Slurp(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

// Every path below `dir` with its bytes ("/" for a directory).
std::map<std::string, std::string> Snapshot(const fs::path& dir) {
  std::map<std::string, std::string> out;
  for (const fs::directory_entry& e : fs::recursive_directory_iterator(dir))
    out[fs::relative(e.path(), dir).string()] = e.is_directory() ? "/" : Slurp(e.path());
  return out;
}

// Gives every member a value unlike its default, 64-bit extremes included, so that a member the
// file forgets shows as a difference.
struct Filler {
  int n = 0;
  int depth = 0;
  void operator()(const char*, bool& x) { x = !x; }
  void operator()(const char*, std::string& x) { x = "välue \"" + std::to_string(++n) + "\"\\"; }
  void operator()(const char*, DialogAnswer& x) { x = DialogAnswer::CloseBox; }
  void operator()(const char*, NativeMachine& x) { x = NativeMachine::Arm64; }
  void operator()(const char*, std::map<int, std::string>& x) { x = {{-7, "a"}, {1001, "b"}}; }
  template <class T>
    requires std::integral<T>
  void operator()(const char*, T& x) {
    x = ++n % 2 ? std::numeric_limits<T>::max() - T(n) : std::numeric_limits<T>::min() + T(n);
  }
  template <class L>
    requires requires(L& list) { list.push_back(typename L::value_type{}); } && (!std::same_as<L, std::string>)
  void operator()(const char*, L& x) {
    x.clear();
    for (int i = 0; i < (depth < 4 ? 2 : 0); ++i) x.push_back(typename L::value_type{});
    for (auto& element : x) (*this)("", element);
  }
  template <class T>
  void operator()(const char*, std::map<std::string, T>& x) {
    (*this)("", x["first"]);
    (*this)("", x["second"]);
  }
  // Registry data in each of its saved forms: text, strings, dword and raw bytes.
  template <class T>
    requires std::same_as<T, RegValue> || std::same_as<T, RegValueChange>
  void operator()(const char*, T& x) {
    Fields(x, *this);
    static const std::pair<DWORD, std::string> forms[] = {
        {REG_SZ, RegSzBytes("C:\\ü")}, {REG_MULTI_SZ, RegMultiSzBytes({"a", "", "b"})},
        {REG_DWORD, RegDwordBytes(0xFFFFFFFF)}, {0xABCDEF, std::string("\x00\xff\x10", 3)}};
    std::tie(x.type, x.data) = forms[++n % 4];
  }
  template <class T>
    requires(!std::same_as<T, RegValue> && !std::same_as<T, RegValueChange> && requires(T& t) { Fields(t, *(Filler*)nullptr); })
  void operator()(const char*, T& x) {
    ++depth;
    Fields(x, *this);
    --depth;
  }
};

TEST_F(WinsimMachineFileTest, SavingALoadedMachineGivesBackTheSameFile) {
  Filler fill;
  fill("", M());
  AttachRunningProcesses();  // as a load leaves it: each running program holds its image
  const fs::path first = fs::path(root_) / "first", second = fs::path(root_) / "second";
  std::string problem;
  ASSERT_TRUE(SaveMachine(first.string(), &problem)) << problem;
  ASSERT_TRUE(LoadMachine(first.string(), &problem)) << problem;
  ASSERT_TRUE(SaveMachine(second.string(), &problem)) << problem;
  const std::string saved = Slurp(first / "machine.json");
  EXPECT_EQ(saved, Slurp(second / "machine.json"));
  EXPECT_NE(saved.find("18446744073709551"), std::string::npos) << "64-bit values written whole";
  EXPECT_EQ(saved.find("e+"), std::string::npos) << "no integer written as a float";
  for (const char* part : {"\"text\"", "\"strings\"", "\"dword\"", "\"hex\""}) EXPECT_NE(saved.find(part), std::string::npos) << part;
  for (const fs::directory_entry& e : fs::directory_iterator(first))
    EXPECT_NE(e.path().filename().string()[0], '.') << "a temporary file was left: " << e.path();
}

struct Damage {
  const char* what;
  std::string pointer;  // where in the file; empty: the file is replaced by `raw`
  std::string value;    // JSON text put at `pointer`, or the whole file
  std::string named;    // what the message must name
};

std::string Nested(int levels, const std::string& open, const std::string& inner, const std::string& close) {
  std::string out;
  for (int i = 0; i < levels; ++i) out += open;
  out += inner;
  for (int i = 0; i < levels; ++i) out += close;
  return out;
}

// Each damaged file: exit 125, one line on stderr naming the file, the place and what was
// expected, and the directory exactly as it was.
TEST_F(WinsimMachineFileTest, AnUnusableFileStopsTheProgramAndChangesNothing) {
  const std::string deepKeys = Nested(600, R"({"name": "k", "keys": [)", "", "]}");
  const std::vector<Damage> cases = {
      {"empty", "", "", "machine.json: expected JSON"},
      {"truncated", "", R"({"format": 1, "spooler": {"printers": [)", "machine.json: expected JSON"},
      {"binary", "", std::string("\x7f" "ELF\x02\x01\x00\xff", 8), "machine.json: expected JSON"},
      {"invalid UTF-8", "", "{\"format\": 1, \"os\": {\"modulePath\": \"\xc3\x28\"}}", "machine.json: expected JSON"},
      {"null", "", "null", "(top level): expected an object"},
      {"no format", "", "{}", "/format: expected"},
      {"newer format", "", R"({"spooler": {"queues": []}, "format": 2})", "/format: expected format version 1 or older"},
      {"wrong record type", "/spooler", R"("x")", "/spooler: expected an object, found string \"x\""},
      {"negative unsigned", "/spooler/printers/2/attributes", "-1", "/spooler/printers/2/attributes: expected an unsigned 32-bit"},
      {"32-bit overflow", "/spooler/printers/0/cJobs", "4294967296", "/spooler/printers/0/cJobs: expected an unsigned 32-bit"},
      {"float for integer", "/services/0/state", "4.0", "/services/0/state: expected an unsigned 32-bit"},
      {"2^64", "/files/freeBytes", "18446744073709551616", "/files/freeBytes: expected an unsigned 64-bit"},
      {"signed overflow", "/ui/windows", R"([{"closeDelayMs": 9223372036854775808}])", "/ui/windows/0/closeDelayMs: expected a signed 64-bit"},
      {"string for number", "/processes/nextPid", R"("4096")", "/processes/nextPid: expected an unsigned 32-bit"},
      {"string for bool", "/ui/shiftDown", R"("true")", "/ui/shiftDown: expected true or false"},
      {"unknown enum name", "/ui/dialogAnswer", R"("later")", "/ui/dialogAnswer: expected \"close\""},
      {"unknown member", "/spooler/printers/1/colour", "true", "/spooler/printers/1/colour: expected one of the record's members (connection, serverName"},
      {"bad hex", "/registry/localMachine/values", R"([{"name": "x", "type": "REG_BINARY", "hex": "zz"}])", "/registry/localMachine/values/0/hex: expected pairs of hexadecimal digits"},
      {"odd hex", "/registry/currentUser/values", R"([{"type": 3, "hex": "abc"}])", "/registry/currentUser/values/0/hex"},
      {"unknown registry type", "/registry/changes", R"([{"type": "REG_WHATEVER"}])", "/registry/changes/0/type: expected a registry type"},
      {"two data forms", "/registry/localMachine/values", R"([{"type": "REG_SZ", "text": "a", "dword": 1}])", "/registry/localMachine/values/0/dword: expected no other data"},
      {"control id", "/ui/dialogs", R"([{"itemTexts": {"ok": "x"}}])", "/ui/dialogs/0/itemTexts/ok: expected a control id"},
      {"registry deeper than Windows allows", "/registry/currentUser/keys", "[" + deepKeys + "]", "levels deep"},
      {"deep nesting elsewhere", "/os", Nested(100000, "[", "", "]"), "expected nesting at most 2000 levels deep"},
      {"escaped member name", "/spooler/a~0b~1c", "1", "/spooler/a~0b~1c: expected one of the record's members"},
  };
  const fs::path dir = fs::path(root_) / "m", json = dir / "machine.json";
  ASSERT_TRUE(SaveMachine(dir.string()));
  const std::string good = Slurp(json);
  auto run = [&](const std::string& what, const std::string& named) {
    SCOPED_TRACE(what);
    const auto before = Snapshot(dir);
    const fs::path err = fs::path(root_) / "stderr";
    std::string command = "WINSIM_MACHINE='" + dir.string() + "' '" INSTALL_PROGRAM "' install >/dev/null 2>'" + err.string() + "'";
    int status = std::system(command.c_str());
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 125);
    std::string message = Slurp(err);
    EXPECT_EQ(std::count(message.begin(), message.end(), '\n'), 1) << message;
    EXPECT_NE(message.find(named), std::string::npos) << message;
    EXPECT_NE(message.find(dir.string() + "/"), std::string::npos) << message;
    EXPECT_TRUE(Snapshot(dir) == before) << "the directory changed";
  };
  for (const Damage& d : cases) {
    std::string text = d.value;
    if (!d.pointer.empty()) {
      nlohmann::json j = nlohmann::json::parse(good);
      j[nlohmann::json::json_pointer(d.pointer)] = "\x01marker";
      text = j.dump(1);
      text.replace(text.find("\"\\u0001marker\""), 14, d.value);
    }
    std::ofstream(json, std::ios::binary | std::ios::trunc) << text;
    run(d.what, d.named);
  }
  std::ofstream(json, std::ios::binary | std::ios::trunc) << good;
  fs::remove_all(dir / "drive_c");
  std::ofstream(dir / "drive_c") << "a file";
  run("drive_c a file", "drive_c: expected the directory");
  fs::remove(dir / "drive_c");
  fs::create_directory(dir / "drive_c");
  fs::remove(json);
  fs::create_directory(json);
  run("machine.json a directory", "machine.json: expected a file");
}

}  // namespace
