#include "core/format.h"

namespace inst {

namespace {

// Appends to a bounded buffer, dropping what does not fit.
struct Writer {
  WCHAR* out;
  size_t capacity;
  size_t length = 0;
  void Put(WCHAR c) {
    if (length + 1 < capacity) out[length++] = c;
  }
  void Put(const char* ascii) {
    while (*ascii) Put(WCHAR(*ascii++));
  }
};

const char kHexDigits[] = "0123456789abcdef";

// C1 controls, line and paragraph separators, and the marks and embeddings that reorder text
// on screen (U+200E/F, U+202A-E, U+2066-9): a name from the machine could otherwise break a line
// or make the rest of one read backwards.
bool Invisible(WCHAR c) {
  return (c >= 0x80 && c <= 0x9F) || c == 0x2028 || c == 0x2029 || c == 0x200E || c == 0x200F ||
         (c >= 0x202A && c <= 0x202E) || (c >= 0x2066 && c <= 0x2069);
}

bool IsHigh(WCHAR c) { return c >= 0xD800 && c <= 0xDBFF; }
bool IsLow(WCHAR c) { return c >= 0xDC00 && c <= 0xDFFF; }

void PutText(Writer& w, const WCHAR* text, Controls controls) {
  if (!text) return w.Put("(null)");
  for (const WCHAR* at = text; *at; ++at) {
    WCHAR c = *at;
    // A surrogate stands only as half of a pair.
    bool lone = (IsHigh(c) && !IsLow(at[1])) || (IsLow(c) && (at == text || !IsHigh(at[-1])));
    if (controls == Controls::Kept || (c >= 0x20 && !Invisible(c) && !lone)) {
      w.Put(c);
    } else if (c == '\r' || c == '\n' || c == '\t') {
      w.Put('\\');
      w.Put(c == '\r' ? 'r' : c == '\n' ? 'n' : 't');
    } else if (c < 0x20) {
      w.Put("\\x");
      w.Put(WCHAR(kHexDigits[c >> 4]));
      w.Put(WCHAR(kHexDigits[c & 15]));
    } else {
      w.Put("\\u");
      for (int shift = 12; shift >= 0; shift -= 4) w.Put(WCHAR(kHexDigits[(c >> shift) & 15]));
    }
  }
}

void PutNumber(Writer& w, uint32_t value, bool hex) {
  char digits[16];
  int n = 0;
  uint64_t magnitude = value;
  if (!hex && int32_t(value) < 0) {
    w.Put('-');
    magnitude = uint64_t(-int64_t(int32_t(value)));
  }
  uint32_t base = hex ? 16 : 10;
  do {
    digits[n++] = kHexDigits[magnitude % base];
    magnitude /= base;
  } while (magnitude);
  while (n) w.Put(WCHAR(digits[--n]));
}

}  // namespace

size_t FormatInto(WCHAR* out, size_t capacity, const WCHAR* format, const FormatArg* args,
                  size_t count, Controls controls) {
  if (!out || capacity == 0) return 0;
  Writer w{out, capacity};
  size_t used = 0;
  for (; format && *format; ++format) {
    if (*format != '%') {
      w.Put(*format);
      continue;
    }
    WCHAR c = format[1];
    if (c == '%') {
      w.Put('%');
      ++format;
      continue;
    }
    if (c != 's' && c != 'd' && c != 'x') {
      w.Put('%');
      continue;
    }
    ++format;
    FormatArg::Kind want = c == 's' ? FormatArg::Text : FormatArg::Number;
    if (used >= count || args[used].kind != want) {
      w.Put("<?>");
    } else if (want == FormatArg::Text) {
      PutText(w, args[used].text, controls);
    } else {
      PutNumber(w, args[used].number, c == 'x');
    }
    ++used;
  }
  out[w.length] = 0;
  return w.length;
}

}  // namespace inst
