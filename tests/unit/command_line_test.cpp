// Windows' command-line splitting, which the tool relies on for its words and owner handle.
#include <gtest/gtest.h>

#include "support/sim.h"
#include "winsim/host.h"
#include "winsim/windows.h"

using test::U16;
using test::U8;

namespace {

class CommandLineTest : public test::SimTest {
 protected:
  std::vector<std::string> Split(const std::string& line) {
    std::u16string wide = U16(line);
    int count = -1;
    LPWSTR* argv = CommandLineToArgvW(wide.c_str(), &count);
    std::vector<std::string> args;
    for (int i = 0; i < count; ++i) args.push_back(U8(argv[i]));
    EXPECT_EQ(argv[count], nullptr);
    LocalFree(argv);
    return args;
  }
  using Args = std::vector<std::string>;
};

TEST_F(CommandLineTest, ProgramNameTakesNoEscapes) {
  EXPECT_EQ(Split("\"C:\\a b\\x.exe\" in"), (Args{"C:\\a b\\x.exe", "in"}));
  EXPECT_EQ(Split("C:\\a\\\"b in"), (Args{"C:\\a\\\"b", "in"}));
  EXPECT_EQ(Split("x.exe"), (Args{"x.exe"}));
  EXPECT_EQ(Split("x.exe    "), (Args{"x.exe"}));
}

TEST_F(CommandLineTest, EmptyLineGivesTheProgramPath) {
  EXPECT_EQ(Split(""), (Args{winsim::M().os.modulePath}));
}

TEST_F(CommandLineTest, BlanksQuotesAndBackslashes) {
  EXPECT_EQ(Split("p  a\tb  "), (Args{"p", "a", "b"}));
  EXPECT_EQ(Split("p \"a b\" c"), (Args{"p", "a b", "c"}));
  EXPECT_EQ(Split("p \"\""), (Args{"p", ""}));
  EXPECT_EQ(Split("p a\\\\b"), (Args{"p", "a\\\\b"})) << "backslashes before a letter stay";
  EXPECT_EQ(Split("p a\\\\\"b c\""), (Args{"p", "a\\b c"})) << "2n backslashes: n and a quote";
  EXPECT_EQ(Split("p a\\\"b"), (Args{"p", "a\"b"})) << "2n+1 backslashes: n and a literal quote";
  EXPECT_EQ(Split("p \"a\"\"b\""), (Args{"p", "a\"b"})) << "a doubled quote inside quotes";
  EXPECT_EQ(Split("p \"\"\"a\"\"\""), (Args{"p", "\"a\""}));
  EXPECT_EQ(Split("p \"unclosed arg"), (Args{"p", "unclosed arg"}));
}

TEST_F(CommandLineTest, JoinedLinesSplitBackIntoTheSameArguments) {
  const Args cases[] = {
      {"C:\\Program Files\\x.exe", "install"},
      {"x.exe", "", "a b", "tab\there"},
      {"x.exe", "q\"uote", "trail\\", "dir with\\", "\\\\\"", "\"\""},
  };
  for (const Args& args : cases) EXPECT_EQ(Split(U8(winsim::JoinCommandLine(args).c_str())), args);
}

}  // namespace
