// The log file of an install or uninstall run: every log line as the window shows it, written as
// it comes, in a new file in the temporary folder. It never changes the run: a file that cannot
// be made or written is said once in the log, and the run goes on without it. It also keeps what
// the run's event tells: whether it was made, and the first error line.
#pragma once
#include "core/format.h"
#include "win32.h"

namespace inst {

struct InstallContext;

struct LogFile {
  HANDLE handle = INVALID_HANDLE_VALUE;
  WCHAR path[MAX_PATH + 64] = {};
  DWORD error = 0;        // why it could not be made or written; 0 while it is fine
  bool reported = false;  // the error is in the log
  bool created = false;   // the file was made, whatever became of it later
  WCHAR firstError[kMaxFormatted + 1] = {};  // the run's first error line; empty while there is none

  LogFile() = default;
  LogFile(const LogFile&) = delete;
  LogFile& operator=(const LogFile&) = delete;
  ~LogFile();
};

// Creates "Lumascribe-<word>-<yyyyMMdd-HHmmss>-<pid>.log" (word in lower case, local time) with
// CREATE_NEW, so that nothing already there under that name is opened or followed, and with
// rights for SYSTEM, Administrators and the running account only; when the name is taken, the
// same with "-2" up to "-9" before ".log". Writes its first line: the build, the word, the
// date and time and the Windows version.
void OpenLogFile(LogFile* file, const WCHAR* word);
// Writes the log text from `from` on (the lines just added), and says once in the log why the
// file is missing lines when it is.
void CopyToLogFile(InstallContext* context, size_t from);
// The last line, "exit code N".
void EndLogFile(LogFile* file, int exitCode);

}  // namespace inst
