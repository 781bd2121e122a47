#include "system/file_copy.h"

#include "core/install_context.h"
#include "core/install_log.h"
#include "core/wide.h"
#include "system/read_only.h"

namespace inst {

namespace {

constexpr DWORD kChunk = 8192;
constexpr int kOpenAttempts = 100;
constexpr DWORD kOpenPauseMs = 50;
constexpr DWORD kOpenBudgetMs = 10000;

// `directory`, a backslash unless it is empty or ends in one, then `name`.
bool JoinPath(CountedString& path, const WCHAR* directory, const WCHAR* name) {
  size_t n = StrLen(directory);
  return AssignString(path, directory) &&
         (n == 0 || directory[n - 1] == '\\' || AppendString(path, TEXT("\\"))) &&
         AppendString(path, name);
}

HANDLE OpenDestination(const WCHAR* path) {
  return CreateFileW(path, GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS, 0, nullptr);
}

// Copies the source's bytes in chunks. A read that fails would leave a truncated copy looking
// complete, so it fails the copy just as a short write does.
HRESULT CopyContents(InstallContext* context, HANDLE source, HANDLE destination, const WCHAR* destinationPath) {
  BYTE chunk[kChunk];
  for (;;) {
    DWORD read = 0;
    if (!ReadFile(source, chunk, kChunk, &read, nullptr)) {
      ReportError(context, 8, TEXT("CopyFile(..,%s)"), destinationPath);
      return E_FAIL;
    }
    if (read > 0) {
      DWORD written = 0;
      WriteFile(destination, chunk, read, &written, nullptr);
      if (written != read) {
        ReportError(context, 8, TEXT("CopyFile(..,%s)"), destinationPath);
        return E_FAIL;
      }
    }
    if (read < kChunk) return S_OK;
  }
}

HRESULT CopyBetween(InstallContext* context, const WCHAR* source, const WCHAR* destination,
                    const WCHAR* fileName, bool reportOpenErrors) {
  HANDLE in = CreateFileW(source, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (in == INVALID_HANDLE_VALUE) {
    if (reportOpenErrors) ReportError(context, 10, TEXT("Cant't open source file: %s"), fileName);
    return E_FAIL;
  }
  HANDLE out = MakeWritable(destination) ? OpenForWriteWithRetry(context, destination) : INVALID_HANDLE_VALUE;
  if (out == INVALID_HANDLE_VALUE) {
    if (reportOpenErrors) ReportError(context, 9, TEXT("Cant't open destination file: %s"), destination);
    CloseHandle(in);
    return E_FAIL;
  }
  HRESULT result = CopyContents(context, in, out, destination);
  // A destination cut short stays: it was truncated when opened, so nothing older is lost.
  CloseHandle(out);
  CloseHandle(in);
  return result;
}

}  // namespace

HRESULT CopyFile(InstallContext* context, const WCHAR* targetDir, const WCHAR* fileName,
                 CountedString* outPath, bool reportOpenErrors) {
  LogLine(context, TEXT(">CopyFile %s to %s [%d])"), fileName, targetDir, reportOpenErrors ? 1 : 0);
  context->indent += 1;
  CountedString source = nullptr;
  CountedString destination = nullptr;
  bool built = JoinPath(source, Text(context->moduleDir), fileName) && JoinPath(destination, targetDir, fileName);
  // A caller's path that could not be filled in would name another file: it is left empty.
  if (outPath && !(built && AssignString(*outPath, Text(destination)))) {
    FreeString(*outPath);
    built = false;
  }
  HRESULT result = E_FAIL;
  if (built) {
    result = CopyBetween(context, Text(source), Text(destination), fileName, reportOpenErrors);
  } else {
    // Reported like a file that cannot be opened: a first try without reports is tried again.
    SetLastError(DWORD(E_OUTOFMEMORY));
    if (reportOpenErrors) ReportError(context, 8, TEXT("CopyFile(..,%s)"), fileName);
  }
  FreeString(source);
  FreeString(destination);
  if (result == S_OK)
    LogLine(context, TEXT("Copy Succeeded :)"));
  else
    LogLine(context, TEXT("Copy Failed :("));
  context->indent -= 1;
  return result;
}

HANDLE OpenForWriteWithRetry(InstallContext* context, const WCHAR* path) {
  DWORD start = GetTickCount();
  for (int attempt = 1; attempt <= kOpenAttempts; ++attempt) {
    HANDLE file = OpenDestination(path);
    if (file != INVALID_HANDLE_VALUE) return file;
    // Unsigned, so the budget holds across the counter's wrap after 49.7 days.
    if (GetTickCount() - start > kOpenBudgetMs) {
      DWORD error = GetLastError();
      LogLine(context, TEXT("CreateFile - timeout"));
      SetLastError(error);
      return INVALID_HANDLE_VALUE;
    }
    if (attempt < kOpenAttempts) Sleep(kOpenPauseMs);
  }
  return INVALID_HANDLE_VALUE;
}

}  // namespace inst
