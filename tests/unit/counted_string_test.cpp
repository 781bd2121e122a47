#include <gtest/gtest.h>

#include "core/counted_string.h"
#include "support/sim.h"

using namespace inst;
using test::U8;

namespace {

class CountedStringTest : public test::SimTest {
 protected:
  void TearDown() override {
    FreeString(s_);
    SimTest::TearDown();
  }
  CountedString s_ = nullptr;
};

TEST(CountedStringCapacity, GrowsInStepsOf32IncludingTheTerminator) {
  EXPECT_EQ(StringCapacity(1), 32u);
  EXPECT_EQ(StringCapacity(31), 32u);
  EXPECT_EQ(StringCapacity(32), 64u);
  EXPECT_EQ(StringCapacity(63), 64u);
  EXPECT_EQ(StringCapacity(64), 96u);
}

TEST_F(CountedStringTest, LengthChangesKeepTheCharactersThatFit) {
  ASSERT_TRUE(AssignString(s_, TEXT("0123456789012345678901234567890123456789")));
  CountedString before = s_;
  ASSERT_TRUE(SetStringLength(s_, 33));
  EXPECT_EQ(s_, before) << "33 characters need the same 64-character block";
  EXPECT_EQ(U8(Text(s_)), "012345678901234567890123456789012");
  ASSERT_TRUE(SetStringLength(s_, 10));
  EXPECT_EQ(Length(s_), 10u);
  EXPECT_EQ(U8(Text(s_)), "0123456789");
  ASSERT_TRUE(AppendString(s_, TEXT("ab")));
  EXPECT_EQ(U8(Text(s_)), "0123456789ab");
}

TEST_F(CountedStringTest, EmptyMeansNoBlock) {
  ASSERT_TRUE(AssignString(s_, TEXT("x")));
  ASSERT_TRUE(AssignString(s_, TEXT("")));
  EXPECT_EQ(s_, nullptr);
  ASSERT_TRUE(AssignString(s_, TEXT("x")));
  ASSERT_TRUE(SetStringLength(s_, 0));
  EXPECT_EQ(s_, nullptr);
  EXPECT_EQ(U8(Text(s_)), "");
  ASSERT_TRUE(AssignString(s_, nullptr));
  EXPECT_EQ(s_, nullptr);
  ASSERT_TRUE(AppendString(s_, TEXT("")));
  EXPECT_EQ(s_, nullptr) << "appending nothing allocates nothing";
}

TEST_F(CountedStringTest, AppendToEmptyIsAssign) {
  ASSERT_TRUE(AppendString(s_, TEXT("abc")));
  EXPECT_EQ(Length(s_), 3u);
  EXPECT_EQ(U8(Text(s_)), "abc");
}

TEST_F(CountedStringTest, ManyAppendsKeepLengthAndText) {
  std::string expected;
  for (int i = 0; i < 500; ++i) {
    ASSERT_TRUE(AppendString(s_, TEXT("0123456")));
    expected += "0123456";
  }
  EXPECT_EQ(Length(s_), expected.size());
  EXPECT_EQ(U8(Text(s_)), expected);
}

TEST_F(CountedStringTest, FromAnsiConvertsWindows1252) {
  s_ = StringFromAnsi("");
  EXPECT_EQ(s_, nullptr);
  s_ = StringFromAnsi("Lumascribes\\caf\xE9 \x80");
  EXPECT_EQ(U8(Text(s_)), "Lumascribes\\caf\xC3\xA9 \xE2\x82\xAC");
  EXPECT_EQ(Length(s_), 18u);
}

struct DirectoryCase {
  const char* path;
  const char* directory;
};

TEST_F(CountedStringTest, DirectoryPart) {
  const DirectoryCase cases[] = {
      {"C:\\dir\\file.dll", "C:\\dir"}, {"C:\\dir\\", "C:\\dir"}, {"\\file", ""},
      {"file.dll", ""},                 {"", ""},                 {"a/b\\c/d", "a/b"},
      {"a/b/c", "a/b"},                 {"/c", ""},
  };
  for (const DirectoryCase& c : cases) {
    ASSERT_TRUE(AssignString(s_, test::U16(c.path).c_str()));
    CountedString dir = DirectoryPart(s_);
    EXPECT_EQ(U8(Text(dir)), c.directory) << c.path;
    if (!*c.directory) {
      EXPECT_EQ(dir, nullptr) << c.path;
    }
    FreeString(dir);
  }
}

}  // namespace
