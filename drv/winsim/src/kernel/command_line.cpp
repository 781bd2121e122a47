// shell32's command-line splitter and kernel32's command line, with Windows' quoting rules.
#include <cstdlib>
#include <cstring>
#include <vector>

#include "winsim/machine.h"
#include "winsim/windows.h"

using namespace winsim;

LPWSTR GetCommandLineW() { return M().os.commandLine.data(); }

static bool Blank(WCHAR c) { return c == u' ' || c == u'\t'; }

// The arguments in order. The program name ends at the next quote or blank without any
// backslash rules; the other arguments follow the backslash-and-quote rules.
static std::vector<std::u16string> Split(const WCHAR* s) {
  std::vector<std::u16string> args;
  std::u16string arg;
  if (*s == u'"') {
    for (++s; *s && *s != u'"'; ++s) arg += *s;
    if (*s) ++s;
  } else {
    for (; *s && !Blank(*s); ++s) arg += *s;
  }
  args.push_back(arg);
  while (Blank(*s)) ++s;
  if (!*s) return args;
  arg.clear();
  int quotes = 0, backslashes = 0;
  while (*s) {
    if (Blank(*s) && quotes == 0) {
      args.push_back(arg);
      arg.clear();
      backslashes = 0;
      while (Blank(*s)) ++s;
      if (!*s) return args;
    } else if (*s == u'\\') {
      arg += *s++;
      ++backslashes;
    } else if (*s == u'"') {
      // 2n backslashes before a quote are n and the quote opens or closes; 2n+1 are n and a quote.
      arg.resize(arg.size() - backslashes / 2);
      if (backslashes % 2 == 0) {
        ++quotes;
      } else {
        arg.back() = u'"';
      }
      ++s;
      backslashes = 0;
      while (*s == u'"') {
        if (++quotes == 3) {
          arg += u'"';
          quotes = 0;
        }
        ++s;
      }
      if (quotes == 2) quotes = 0;
    } else {
      arg += *s++;
      backslashes = 0;
    }
  }
  args.push_back(arg);
  return args;
}

LPWSTR* CommandLineToArgvW(LPCWSTR commandLine, int* count) {
  Trace("CommandLineToArgvW", Utf8(commandLine));
  if (!count) return Fail(ERROR_INVALID_PARAMETER, static_cast<LPWSTR*>(nullptr));
  std::vector<std::u16string> args;
  if (!commandLine || !*commandLine)
    args.push_back(Wide(M().os.modulePath));
  else
    args = Split(commandLine);
  // One LocalFree releases all: the pointer array, then the strings.
  size_t bytes = (args.size() + 1) * sizeof(LPWSTR);
  for (const std::u16string& a : args) bytes += (a.size() + 1) * sizeof(WCHAR);
  auto* block = static_cast<char*>(std::malloc(bytes));
  auto** argv = reinterpret_cast<LPWSTR*>(block);
  auto* text = reinterpret_cast<WCHAR*>(block + (args.size() + 1) * sizeof(LPWSTR));
  for (size_t i = 0; i < args.size(); ++i) {
    argv[i] = text;
    std::memcpy(text, args[i].c_str(), (args[i].size() + 1) * sizeof(WCHAR));
    text += args[i].size() + 1;
  }
  argv[args.size()] = nullptr;
  M().heap.localBlocks[block] = bytes;
  *count = int(args.size());
  return argv;
}
