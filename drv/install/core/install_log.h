// The install log: indented lines in the context's logText, numbered error lines with the
// system's text for the last error, and the window that shows the log at the end of a run.
#pragma once
#include <cstddef>

#include "core/format.h"
#include "core/install_context.h"

namespace inst {

constexpr int kMaxIndent = 10;

// Appends the indentation, the text (none or empty: nothing) and CR LF.
void WriteLogLine(InstallContext* context, const WCHAR* text);

// Text arguments come from the machine: their control characters are written escaped.
void LogLineArgs(InstallContext* context, const WCHAR* format, const FormatArg* args, size_t count);
template <typename... Args>
void LogLine(InstallContext* context, Format<std::type_identity_t<Args>...> format, Args... args) {
  const FormatArg list[] = {MakeArg(args)..., FormatArg{FormatArg::Number, nullptr, 0}};
  LogLineArgs(context, format.text, list, sizeof...(Args));
}

// Reads the last error itself, so it must run before anything else can change it.
void ReportErrorArgs(InstallContext* context, int number, const WCHAR* format, const FormatArg* args,
                     size_t count);
template <typename... Args>
void ReportError(InstallContext* context, int number, Format<std::type_identity_t<Args>...> format,
                 Args... args) {
  const FormatArg list[] = {MakeArg(args)..., FormatArg{FormatArg::Number, nullptr, 0}};
  ReportErrorArgs(context, number, format.text, list, sizeof...(Args));
}

// The system's US-English text for an error code without its trailing line break, or null.
// The caller releases it with LocalFree.
WCHAR* SystemErrorText(DWORD code);

// SystemErrorText held for one log line: "No Description" when there is none.
struct SystemText {
  WCHAR* text;
  explicit SystemText(DWORD code) : text(SystemErrorText(code)) {}
  SystemText(const SystemText&) = delete;
  SystemText& operator=(const SystemText&) = delete;
  ~SystemText() {
    if (text) LocalFree(text);
  }
  const WCHAR* Shown() const { return text ? text : TEXT("No Description"); }
};

// Whether anybody can see this process's windows: a visible window station outside session 0.
bool SomeoneSees();

// Shows the log modally when an error was reported or Shift is held, and only on a window station
// someone sees: elsewhere nobody could close the window, and the run would never end.
void ShowLogWindow(InstallContext* context, HWND owner);
INT_PTR CALLBACK LogWindowProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

}  // namespace inst
