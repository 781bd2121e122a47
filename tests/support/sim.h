// Test helpers: a fresh default machine per test, and the tool's texts as UTF-8.
#pragma once
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/install_context.h"
#include "support/tool_start.h"
#include "winsim/machine.h"

namespace test {

// Each test starts on its own fresh default machine (in a temporary directory) and ends with
// nothing left allocated or open.
class SimTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;
  // Fails the test when a block of the platform heaps is still allocated or was written past its
  // end, or a service, printer, file, process, thread or mutex handle still open.
  void ExpectNoLeaks();
  std::string root_;
};

std::string U8(const WCHAR* text);
std::u16string U16(const std::string& text);
// The context's log, split into its lines (without CR LF).
std::vector<std::string> LogLines(const inst::InstallContext& context);
// Makes calls of `call` whose key contains `match` fail with `error`, from the firstCall-th
// such call to the lastCall-th.
void AddFault(const std::string& call, DWORD error, const std::string& match = std::string(),
              uint32_t firstCall = 1, uint32_t lastCall = UINT32_MAX);
// The machine's spooler service.
winsim::Service& Spooler();
// The trace entries of one call, in order.
std::vector<winsim::TraceEntry> Calls(const std::string& call);
// The bytes of tests/fixtures/<name>: DLLs written by the GNU toolchain (make_fixtures.sh).
std::string Fixture(const std::string& name);

}  // namespace test
