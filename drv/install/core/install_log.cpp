#include "core/install_log.h"

#include "core/log_file.h"
#include "core/wide.h"

namespace inst {

void WriteLogLine(InstallContext* context, const WCHAR* text) {
  static const WCHAR kSpaces[] = TEXT("                    ");
  const size_t from = Length(context->logText);
  if (context->indent > 0) {
    int levels = context->indent < kMaxIndent ? context->indent : kMaxIndent;
    AppendChars(context->logText, kSpaces, size_t(levels) * 2);
  }
  AppendString(context->logText, text);
  AppendString(context->logText, TEXT("\r\n"));
  CopyToLogFile(context, from);
}

void LogLineArgs(InstallContext* context, const WCHAR* format, const FormatArg* args, size_t count) {
  WCHAR line[kMaxFormatted + 1];
  FormatInto(line, kMaxFormatted + 1, format, args, count, Controls::Escaped);
  WriteLogLine(context, line);
}

WCHAR* SystemErrorText(DWORD code) {
  WCHAR* text = nullptr;
  DWORD flags = FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_FROM_SYSTEM;
  if (!FormatMessageW(flags, nullptr, code, MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US),
                      reinterpret_cast<LPWSTR>(&text), 0, nullptr) ||
      !text) {
    return nullptr;
  }
  size_t n = StrLen(text);
  while (n > 0 && (text[n - 1] == '\r' || text[n - 1] == '\n')) text[--n] = 0;
  return text;
}

void ReportErrorArgs(InstallContext* context, int number, const WCHAR* format, const FormatArg* args,
                     size_t count) {
  WCHAR line[kMaxFormatted + 1];
  const size_t capacity = kMaxFormatted + 1;
  size_t length = FormatTo(line, capacity, TEXT("Error(%d): "), number);
  length += FormatInto(line + length, capacity - length, format, args, count, Controls::Escaped);
  DWORD code = GetLastError();
  WCHAR* text = SystemErrorText(code);
  if (code != 0) {
    if (text)
      FormatTo(line + length, capacity - length, TEXT(" - (%s)"), static_cast<const WCHAR*>(text));
    else
      FormatTo(line + length, capacity - length, TEXT(" - ( No Description )"));
  }
  WriteLogLine(context, line);
  LogFile* file = context->logFile;
  if (file && !file->firstError[0])
    FormatTo(file->firstError, kMaxFormatted + 1, TEXT("%s"), static_cast<const WCHAR*>(line));
  ++context->errorCount;
  if (text) LocalFree(text);
}

}  // namespace inst
