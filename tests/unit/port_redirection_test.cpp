#include <gtest/gtest.h>

#include "spooler/port_redirection.h"
#include "support/sim.h"

using namespace inst;
using test::U16;
using test::U8;

namespace {

// A port string in storage with room behind it, as the printer snapshot holds it.
struct Port {
  std::u16string storage;
  explicit Port(const std::string& text) : storage(U16(text) + u'\0' + std::u16string(40, u'#')) {}
  WCHAR* text() { return storage.data(); }
  std::string Text() { return U8(storage.c_str()); }
};

TEST(PortRedirectionTest, TheProductPortBecomesFileAndBack) {
  Port port("LumascribeServer:");
  ASSERT_TRUE(RedirectPortToFile(port.text()));
  EXPECT_EQ(port.Text(), "file:");
  ASSERT_TRUE(RestorePortFromFile(port.text()));
  EXPECT_EQ(port.Text(), "LumascribeServer:");
  EXPECT_EQ(port.storage.substr(18, 40), std::u16string(40, u'#')) << "nothing written behind the string";
}

TEST(PortRedirectionTest, InAListOnlyTheFirstOccurrenceMovesAndTheOthersKeepTheirPlace) {
  Port port("LPT1:,LumascribeServer:,COM1:,LumascribeServer:");
  ASSERT_TRUE(RedirectPortToFile(port.text()));
  EXPECT_EQ(port.Text(), "LPT1:,file:,COM1:,LumascribeServer:");
  ASSERT_TRUE(RestorePortFromFile(port.text()));
  EXPECT_EQ(port.Text(), "LPT1:,LumascribeServer:,COM1:,LumascribeServer:");

  Port tail("LumascribeServer:,FILE:");
  ASSERT_TRUE(RedirectPortToFile(tail.text()));
  EXPECT_EQ(tail.Text(), "file:,FILE:");
  ASSERT_TRUE(RestorePortFromFile(tail.text()));
  EXPECT_EQ(tail.Text(), "LumascribeServer:,FILE:") << "the comparison is case-sensitive";
}

TEST(PortRedirectionTest, OtherPortsAreLeftAlone) {
  for (const char* text : {"lumascribeserver:", "LumascribeServer", "", "FILE:"}) {
    Port port(text);
    EXPECT_FALSE(RedirectPortToFile(port.text())) << text;
    EXPECT_EQ(port.Text(), text);
  }
  for (const char* text : {"FILE:", "LPT1:", "", "file"}) {
    Port port(text);
    EXPECT_FALSE(RestorePortFromFile(port.text())) << text;
    EXPECT_EQ(port.Text(), text);
  }
  EXPECT_FALSE(RedirectPortToFile(nullptr));
  EXPECT_FALSE(RestorePortFromFile(nullptr));
}

}  // namespace
