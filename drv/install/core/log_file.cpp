#include "core/log_file.h"

#include "core/install_context.h"
#include "core/install_log.h"
#include "core/product.h"
#include "core/system_calls.h"
#include "core/wide.h"
#include "system/package_rights.h"

namespace inst {

namespace {

typedef DWORD(WINAPI* TempPathCall)(DWORD, LPWSTR);

// GetTempPath2W gives SYSTEM its own folder, which other users cannot reach; Windows 10 has
// it only since the updates of 2025.
DWORD TempFolder(WCHAR* out, DWORD capacity) {
  auto call = As<TempPathCall>(SystemExport(TEXT("kernel32.dll"), "GetTempPath2W"));
  DWORD length = call ? call(capacity, out) : GetTempPathW(capacity, out);
  if (length < capacity) return length;
  SetLastError(ERROR_INSUFFICIENT_BUFFER);
  return 0;
}

// Appends `value` in decimal with at least `width` digits.
size_t Digits(WCHAR* out, uint32_t value, int width) {
  WCHAR reversed[10];
  int n = 0;
  do {
    reversed[n++] = WCHAR('0' + value % 10);
    value /= 10;
  } while (value && n < 10);
  while (n < width) reversed[n++] = '0';
  for (int i = 0; i < n; ++i) out[i] = reversed[n - 1 - i];
  return size_t(n);
}

// "yyyyMMdd<between>HHmmss".
size_t Stamp(WCHAR* out, const SYSTEMTIME& t, WCHAR dateEnd, WCHAR between, WCHAR timeEnd) {
  const uint32_t parts[] = {t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond};
  const WCHAR after[] = {dateEnd, dateEnd, between, timeEnd, timeEnd, 0};
  size_t n = 0;
  for (int i = 0; i < 6; ++i) {
    n += Digits(out + n, parts[i], i == 0 ? 4 : 2);
    if (after[i]) out[n++] = after[i];
  }
  out[n] = 0;
  return n;
}

// UTF-16 to UTF-8, a lone surrogate as U+FFFD; false when the file refused a write.
bool WriteUtf8(LogFile* file, const WCHAR* text, size_t length) {
  char buffer[1024];
  size_t used = 0;
  for (size_t i = 0; i <= length; ++i) {
    if (i == length || used + 4 > sizeof(buffer)) {
      DWORD written = 0;
      if (used && !WriteFile(file->handle, buffer, DWORD(used), &written, nullptr)) {
        file->error = GetLastError();
        return false;
      }
      if (written != used) {
        file->error = ERROR_DISK_FULL;
        return false;
      }
      used = 0;
      if (i == length) break;
    }
    uint32_t c = uint16_t(text[i]);
    if (c >= 0xD800 && c < 0xDC00 && i + 1 < length && uint16_t(text[i + 1]) >= 0xDC00 && uint16_t(text[i + 1]) < 0xE000)
      c = 0x10000 + ((c - 0xD800) << 10) + (uint16_t(text[++i]) - 0xDC00);
    else if (c >= 0xD800 && c < 0xE000)
      c = 0xFFFD;
    if (c < 0x80) {
      buffer[used++] = char(c);
    } else if (c < 0x800) {
      buffer[used++] = char(0xC0 | c >> 6);
      buffer[used++] = char(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      buffer[used++] = char(0xE0 | c >> 12);
      buffer[used++] = char(0x80 | (c >> 6 & 0x3F));
      buffer[used++] = char(0x80 | (c & 0x3F));
    } else {
      buffer[used++] = char(0xF0 | c >> 18);
      buffer[used++] = char(0x80 | (c >> 12 & 0x3F));
      buffer[used++] = char(0x80 | (c >> 6 & 0x3F));
      buffer[used++] = char(0x80 | (c & 0x3F));
    }
  }
  return true;
}

// When its name is taken the file gets another: "-2" to "-9" before ".log".
constexpr int kNameTries = 8;

// Only SYSTEM, Administrators and the account the tool runs as may open it: given explicitly,
// so nothing a user may hold in the folder (C:\Windows\Temp lets users add files) is inherited.
HANDLE CreateNew(const WCHAR* path) {
  WCHAR* self = RunningAccountSid();
  WCHAR sddl[256];
  size_t length = FormatTo(sddl, 256, TEXT("D:P(A;;FA;;;SY)(A;;FA;;;BA)"));
  if (self) FormatTo(sddl + length, 256 - length, TEXT("(A;;FA;;;%s)"), static_cast<const WCHAR*>(self));
  LocalFree(self);
  SECURITY_ATTRIBUTES security = {sizeof(security), nullptr, FALSE};
  if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl, SDDL_REVISION_1, &security.lpSecurityDescriptor,
                                                            nullptr))
    return INVALID_HANDLE_VALUE;
  HANDLE file = CreateFileW(path, GENERIC_WRITE, FILE_SHARE_READ, &security, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
  DWORD error = GetLastError();
  LocalFree(security.lpSecurityDescriptor);
  SetLastError(error);
  return file;
}

// A file that failed is closed at once: what it has stays, and nothing more is tried.
void Write(LogFile* file, const WCHAR* text, size_t length) {
  if (file->handle == INVALID_HANDLE_VALUE || WriteUtf8(file, text, length)) return;
  CloseHandle(file->handle);
  file->handle = INVALID_HANDLE_VALUE;
}

}  // namespace

LogFile::~LogFile() {
  if (handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
}

void OpenLogFile(LogFile* file, const WCHAR* word) {
  SYSTEMTIME now{};
  GetLocalTime(&now);
  DWORD folder = TempFolder(file->path, MAX_PATH + 1);
  if (!folder) {
    DWORD error = GetLastError();
    file->error = error ? error : DWORD(ERROR_PATH_NOT_FOUND);
  }
  WCHAR lower[32] = {};
  for (size_t i = 0; word[i] && i + 1 < 32; ++i)
    lower[i] = FoldAscii(word[i]);
  WCHAR stamp[24];
  Stamp(stamp, now, 0, '-', 0);
  const size_t capacity = sizeof(file->path) / sizeof(WCHAR) - folder;
  size_t name = FormatTo(file->path + folder, capacity, TEXT("Lumascribe-%s-%s-%d"), static_cast<const WCHAR*>(lower),
                         static_cast<const WCHAR*>(stamp), GetCurrentProcessId());
  FormatTo(file->path + folder + name, capacity - name, TEXT(".log"));
  if (!folder) return;
  // A name someone else took (a file or folder planted under it) is passed over, never opened.
  for (int tries = 1;; ++tries) {
    file->handle = CreateNew(file->path);
    if (file->handle != INVALID_HANDLE_VALUE) break;
    file->error = GetLastError();
    if (tries > kNameTries ||
        (file->error != ERROR_FILE_EXISTS && file->error != ERROR_ALREADY_EXISTS && file->error != ERROR_ACCESS_DENIED))
      return;
    FormatTo(file->path + folder + name, capacity - name, TEXT("-%d.log"), tries + 1);
  }
  file->error = 0;
  file->created = true;
  OSVERSIONINFOW version = TrueWindowsVersion();
  Stamp(stamp, now, '-', ' ', ':');
  WCHAR line[kMaxFormatted + 1];
  size_t length = FormatTo(line, kMaxFormatted + 1, TEXT("\uFEFFLumascribe build %d %s %s Windows %d.%d.%d\r\n"),
                           kBuildNumber, word, static_cast<const WCHAR*>(stamp), version.dwMajorVersion,
                           version.dwMinorVersion, version.dwBuildNumber);
  Write(file, line, length);
}

void CopyToLogFile(InstallContext* context, size_t from) {
  LogFile* file = context->logFile;
  if (!file) return;
  Write(file, Text(context->logText) + from, Length(context->logText) - from);
  if (!file->error || file->reported) return;
  file->reported = true;
  WCHAR* text = SystemErrorText(file->error);
  WCHAR line[kMaxFormatted + 1];
  FormatTo(line, kMaxFormatted + 1, TEXT("The log file %s could not be written - (%s)\r\n"),
           static_cast<const WCHAR*>(file->path), static_cast<const WCHAR*>(text ? text : TEXT("No Description")));
  if (text) LocalFree(text);
  AppendString(context->logText, line);
}

void EndLogFile(LogFile* file, int exitCode) {
  WCHAR line[32];
  size_t length = FormatTo(line, 32, TEXT("exit code %d\r\n"), exitCode);
  Write(file, line, length);
}

}  // namespace inst
