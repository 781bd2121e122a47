// The one Application-log event of an install or uninstall run, for fleets that watch event logs
// rather than windows, and the event source that gives it a description in the viewer.
#pragma once
#include "win32.h"

namespace inst {

struct InstallContext;
struct LogFile;

// Registers the source "Lumascribe Setup" with EventCreate.exe's messages, which pass the text
// through. A failure is logged and changes nothing else; a key made for it does not stay half-set.
void AddEventSource(InstallContext* context);
// Writes the run's event: its ID the exit code, Error for 100, Warning for 101, else Information;
// its text the word, the code, the log file and the first error line. Nothing else changes when
// it cannot be written.
void ReportRunEvent(const WCHAR* word, int exitCode, const LogFile& file);
// Unregisters the source, once the uninstall's own event is written.
void RemoveEventSource();

}  // namespace inst
