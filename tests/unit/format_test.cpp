#include <gtest/gtest.h>

#include <string>

#include "core/format.h"
#include "support/sim.h"

using inst::FormatArg;
using inst::FormatTo;
using test::U16;
using test::U8;

namespace {

std::string Formatted(const WCHAR* format, std::initializer_list<FormatArg> args) {
  WCHAR out[inst::kMaxFormatted + 1];
  inst::FormatInto(out, inst::kMaxFormatted + 1, format, args.begin(), args.size());
  return U8(out);
}

TEST(Format, ConversionsAndLiteralPercent) {
  WCHAR out[64];
  FormatTo(out, 64, TEXT("%s=%d (0x%x) 100%%"), TEXT("code"), 1062, DWORD(1062));
  EXPECT_EQ(U8(out), "code=1062 (0x426) 100%");
}

TEST(Format, SignedAndHexExtremes) {
  WCHAR out[64];
  FormatTo(out, 64, TEXT("%d %d %x %x"), INT32_MIN, -1, DWORD(0x8007000E), -1);
  EXPECT_EQ(U8(out), "-2147483648 -1 8007000e ffffffff");
  FormatTo(out, 64, TEXT("%d"), DWORD(0xFFFFFFFF));
  EXPECT_EQ(U8(out), "-1") << "%d reads its argument as a signed 32-bit number";
}

TEST(Format, NullTextAndUnknownConversionsPassThrough) {
  WCHAR out[64];
  FormatTo(out, 64, TEXT("[%s]"), static_cast<const WCHAR*>(nullptr));
  EXPECT_EQ(U8(out), "[(null)]");
  EXPECT_EQ(Formatted(TEXT("%q %"), {}), "%q %") << "a literal format like this does not compile";
}

TEST(Format, LongTextIsCutAt1023Characters) {
  std::u16string name(5000, u'n');
  WCHAR out[inst::kMaxFormatted + 1 + 8];
  for (WCHAR& c : out) c = u'#';
  size_t n = FormatTo(out, inst::kMaxFormatted + 1, TEXT("Can`t add printer '%s'"), name.c_str());
  EXPECT_EQ(n, 1023u);
  EXPECT_EQ(out[1023], 0);
  EXPECT_EQ(out[1024], u'#') << "nothing is written past the buffer";
  EXPECT_EQ(U8(out).substr(0, 19), "Can`t add printer '");
}

TEST(Format, TinyBuffersStayTerminated) {
  WCHAR out[4] = {u'x', u'x', u'x', u'x'};
  EXPECT_EQ(FormatTo(out, 1, TEXT("abc")), 0u);
  EXPECT_EQ(out[0], 0);
  EXPECT_EQ(out[1], u'x');
  EXPECT_EQ(FormatTo(out, 3, TEXT("%d"), 12345), 2u);
  EXPECT_EQ(U8(out), "12");
}

TEST(Format, MismatchedArgumentsAtRunTimeAreMarkedNotRead) {
  FormatArg number{FormatArg::Number, nullptr, 7};
  FormatArg text{FormatArg::Text, TEXT("t"), 0};
  EXPECT_EQ(Formatted(TEXT("%s|%d"), {number, text}), "<?>|<?>");
  EXPECT_EQ(Formatted(TEXT("%d %d"), {number}), "7 <?>") << "a missing argument";
  EXPECT_EQ(Formatted(TEXT("%x"), {number, number}), "7") << "extra arguments are ignored";
}

// The compile-time check of literal formats.
constexpr char kText[] = {'s'};
constexpr char kNumbers[] = {'d', 'd'};
static_assert(inst::FormatMatches(TEXT("a %s b"), kText, 1));
static_assert(inst::FormatMatches(TEXT("%d (0x%x)"), kNumbers, 2));
static_assert(inst::FormatMatches(TEXT("100%%"), nullptr, 0));
static_assert(!inst::FormatMatches(TEXT("%d"), kText, 1), "a text for %d");
static_assert(!inst::FormatMatches(TEXT("%s %s"), kText, 1), "too few arguments");
static_assert(!inst::FormatMatches(TEXT("%s"), kNumbers, 2), "too many arguments");
static_assert(!inst::FormatMatches(TEXT("%ls"), kText, 1), "only s, d, x and %");
static_assert(inst::ArgKind<DWORD>() == 'd' && inst::ArgKind<int>() == 'd');
static_assert(inst::ArgKind<const WCHAR*>() == 's' && inst::ArgKind<WCHAR*>() == 's');
static_assert(inst::ArgKind<int64_t>() == '?' && inst::ArgKind<const char*>() == '?');

}  // namespace

TEST(Format, EscapedTextsShowEveryControlCharacter) {
  const std::pair<std::u16string, std::string> cases[] = {
      {u"\\\\h\\p", "\\\\h\\p"},
      {u"x\r\n  OK :)", "x\\r\\n  OK :)"},
      {u"\t\x01\x1f \x7f\u00e9", "\\t\\x01\\x1f \x7f\xc3\xa9"},
      // C1, separators and bidirectional controls; their neighbours stay as they are.
      {u"\u0080\u009f\u00a0\u2028\u2029\u2027", "\\u0080\\u009f\xc2\xa0\\u2028\\u2029\xe2\x80\xa7"},
      {u"\u200d\u200e\u200f\u2029\u202a\u202e\u202f", "\xe2\x80\x8d\\u200e\\u200f\\u2029\\u202a\\u202e\xe2\x80\xaf"},
      {u"\u2065\u2066\u2069\u206a", "\xe2\x81\xa5\\u2066\\u2069\xe2\x81\xaa"},
      // A pair stays; a half without its other half does not, at either end or between pairs.
      {u"\U0001F600", "\xf0\x9f\x98\x80"},
      {u"\xDE00x\xD83D", "\\ude00x\\ud83d"},
      {u"\xD83D\xD83D\xDE00\xDE00", "\\ud83d\xf0\x9f\x98\x80\\ude00"}};
  for (const auto& [text, shown] : cases) {
    const FormatArg args[] = {{FormatArg::Text, text.c_str(), 0}};
    EXPECT_EQ(Formatted(TEXT("[%s]"), {args[0]}), "[" + U8(text.c_str()) + "]") << "kept unless asked";
    WCHAR out[64];
    inst::FormatInto(out, 64, TEXT("[%s]"), args, 1, inst::Controls::Escaped);
    EXPECT_EQ(U8(out), "[" + shown + "]");
  }
}
