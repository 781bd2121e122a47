#include "support/sim.h"

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

namespace test {

void SimTest::SetUp() {
  char pattern[] = "/tmp/winsim-test-XXXXXX";
  root_ = mkdtemp(pattern);
  winsim::ResetMachine(root_);
}

void SimTest::TearDown() {
  ExpectNoLeaks();
  std::filesystem::remove_all(root_);
}

void SimTest::ExpectNoLeaks() {
  EXPECT_TRUE(winsim::M().heap.globalBlocks.empty()) << "GlobalAlloc blocks left";
  EXPECT_TRUE(winsim::M().heap.localBlocks.empty()) << "LocalAlloc blocks left";
  EXPECT_TRUE(winsim::M().heap.heapBlocks.empty()) << "HeapAlloc blocks left";
  EXPECT_EQ(winsim::DamagedBlocks(), "") << "blocks written past their end";
  EXPECT_TRUE(winsim::M().services.handles.empty()) << "service handles left open";
  EXPECT_TRUE(winsim::M().spooler.handles.open.empty()) << "printer handles left open";
  EXPECT_TRUE(winsim::M().files.open.empty()) << "file handles left open";
  EXPECT_TRUE(winsim::M().processes.handles.empty()) << "process, thread, mutex, token or namespace handles left open";
  EXPECT_TRUE(winsim::M().security.boundaries.empty()) << "boundary descriptors left";
}

std::string U8(const WCHAR* text) { return winsim::Utf8(text); }
std::u16string U16(const std::string& text) { return winsim::Wide(text); }

std::vector<std::string> LogLines(const inst::InstallContext& context) {
  std::string text = U8(inst::Text(context.logText));
  std::vector<std::string> lines;
  size_t start = 0;
  for (size_t at; (at = text.find("\r\n", start)) != std::string::npos; start = at + 2)
    lines.push_back(text.substr(start, at - start));
  EXPECT_EQ(start, text.size()) << "the log ends in CR LF";
  return lines;
}

void AddFault(const std::string& call, DWORD error, const std::string& match, uint32_t firstCall,
              uint32_t lastCall) {
  winsim::Fault fault;
  fault.call = call;
  fault.match = match;
  fault.error = error;
  fault.firstCall = firstCall;
  fault.lastCall = lastCall;
  winsim::M().faults.push_back(fault);
}

winsim::Service& Spooler() {
  winsim::Service* spooler = winsim::FindService("spooler");
  EXPECT_NE(spooler, nullptr);
  return *spooler;
}

std::vector<winsim::TraceEntry> Calls(const std::string& call) {
  std::vector<winsim::TraceEntry> calls;
  for (const winsim::TraceEntry& entry : winsim::M().trace)
    if (entry.call == call) calls.push_back(entry);
  return calls;
}

std::string Fixture(const std::string& name) {
  std::filesystem::path path = std::filesystem::path(__FILE__).parent_path().parent_path() / "fixtures" / name;
  std::ifstream in(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  EXPECT_TRUE(in.good()) << path;
  return bytes.str();
}

}  // namespace test
