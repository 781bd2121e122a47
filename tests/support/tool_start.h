// Starting the tool as Windows does, without GoogleTest: for the tests and the benchmarks.
#pragma once
#include <string>

namespace test {

// Sets the command line as Windows hands it to the tool.
void SetCommandLine(const std::string& arguments);
// Starts the tool with `arguments` after its own name; returns its exit code. The trace and the
// dialogs of earlier runs are cleared first.
int RunTool(const std::string& arguments);

}  // namespace test
