// The tool's one formatter: "%s" (UTF-16 text), "%d" (32-bit signed), "%x" (32-bit,
// lower-case hex) and "%%", into a bounded buffer. A literal format is checked against its
// arguments when the program is compiled.
#pragma once
#include <cstddef>
#include <cstdint>
#include <type_traits>

#include "win32.h"

namespace inst {

// One formatted text holds at most this many characters, terminator not counted.
constexpr size_t kMaxFormatted = 1023;

struct FormatArg {
  enum Kind : char { Text = 's', Number = 'd' } kind;
  const WCHAR* text;
  uint32_t number;
};

template <typename T>
constexpr char ArgKind() {
  using U = std::decay_t<T>;
  if constexpr (std::is_same_v<U, const WCHAR*> || std::is_same_v<U, WCHAR*>)
    return FormatArg::Text;
  else if constexpr (std::is_integral_v<U> && sizeof(U) == 4)
    return FormatArg::Number;
  else
    return '?';
}

template <typename T>
FormatArg MakeArg(T value) {
  static_assert(ArgKind<T>() != '?', "format arguments are UTF-16 texts or 32-bit integers");
  if constexpr (ArgKind<T>() == FormatArg::Text)
    return FormatArg{FormatArg::Text, value, 0};
  else
    return FormatArg{FormatArg::Number, nullptr, static_cast<uint32_t>(value)};
}

// Whether `format` asks for exactly the argument kinds given, in order.
constexpr bool FormatMatches(const WCHAR* format, const char* kinds, size_t count) {
  size_t used = 0;
  for (; *format; ++format) {
    if (*format != '%') continue;
    WCHAR c = *++format;
    if (c == '%') continue;
    char want = c == 's' ? 's' : (c == 'd' || c == 'x') ? 'd' : '?';
    if (want == '?' || used == count || kinds[used] != want) return false;
    ++used;
  }
  return used == count;
}

// Not constexpr: calling it while a literal format is checked stops the compilation.
void FormatDoesNotMatchItsArguments();

template <typename... Args>
struct Format {
  const WCHAR* text;
  template <size_t N>
  consteval Format(const WCHAR (&literal)[N]) : text(literal) {
    constexpr char kinds[] = {ArgKind<Args>()..., 0};
    if (!FormatMatches(literal, kinds, sizeof...(Args))) FormatDoesNotMatchItsArguments();
  }
};

// How "%s" texts are written: as they are, or with every character below 0x20 as an escape
// ("\r", "\n", "\t", "\x01"), so that a name from the machine cannot make log lines of its own,
// and C1 controls, U+2028/9, the bidirectional marks and controls and lone surrogates as "\u202e".
enum class Controls { Kept, Escaped };

// Formats into out[0..capacity-1], always terminated, cut at capacity - 1 characters; an
// argument of the wrong kind is written as "<?>". Returns the length written.
size_t FormatInto(WCHAR* out, size_t capacity, const WCHAR* format, const FormatArg* args,
                  size_t count, Controls controls = Controls::Kept);

template <typename... Args>
size_t FormatTo(WCHAR* out, size_t capacity, Format<std::type_identity_t<Args>...> format,
                Args... args) {
  const FormatArg list[] = {MakeArg(args)..., FormatArg{FormatArg::Number, nullptr, 0}};
  return FormatInto(out, capacity, format.text, list, sizeof...(Args));
}

}  // namespace inst
