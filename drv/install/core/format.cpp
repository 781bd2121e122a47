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

void PutText(Writer& w, const WCHAR* text, Controls controls) {
  if (!text) return w.Put("(null)");
  for (; *text; ++text) {
    WCHAR c = *text;
    if (c >= 0x20 || controls == Controls::Kept) {
      w.Put(c);
    } else if (c == '\r' || c == '\n' || c == '\t') {
      w.Put('\\');
      w.Put(c == '\r' ? 'r' : c == '\n' ? 'n' : 't');
    } else {
      w.Put("\\x");
      w.Put(WCHAR(kHexDigits[c >> 4]));
      w.Put(WCHAR(kHexDigits[c & 15]));
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
