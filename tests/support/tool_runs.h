// Whole runs of the tool as Windows starts it, and what they leave on the simulated machine.
#pragma once
#include <string>
#include <vector>

#include "support/tool_start.h"
#include "winsim/machine.h"

namespace test {

const std::string kSystem = "C:\\Windows\\system32\\";
const std::string kDriversX64 = kSystem + "spool\\DRIVERS\\x64\\";
const std::string kDriversX86 = kSystem + "spool\\DRIVERS\\W32X86\\";
const std::string kToolDir = "C:\\Program Files\\Lumascribe\\install\\";
const std::string kTrayExe = "C:\\Program Files\\Lumascribe\\lumtray.exe";
const std::string kRunKey = "HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";

// The lines of the text the log window of this run showed; fails the test when none was shown.
std::vector<std::string> ShownLog();
std::vector<std::string> SplitLines(const std::string& text);
// Whether a shown line contains `part`.
bool Shows(const std::vector<std::string>& log, const std::string& part);
// Index of the first line at or after `from` that contains `part`, or -1.
int LineOf(const std::vector<std::string>& log, const std::string& part, int from = 0);

const std::string kEventSource = "HKLM\\SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\Lumascribe Setup";
// Checks that the run wrote exactly one more event, the last one, for `word` with its exit code
// as ID, the type for that code and its first error line (or "none"), naming a log file that
// exists.
void ExpectRunEvent(size_t events, const std::string& word, int exitCode, const std::string& firstError);
// Whether the event source is registered as an install registers it.
bool EventSourceRegistered();

// The Run value of the tray companion; "" when it is absent.
std::string TrayRunValue();
// The pending file rename operations as UTF-8 strings (source, target, ...).
std::vector<std::string> PendingRenames();
// What DeletePrinterDriverExW queues for the restart when it removes the loaded x64 product
// driver: its DLL and configuration DLL, moved aside into "3\Old\<n>\".
std::vector<std::string> SpoolersPendingDriverDeletions(int n = 1);
// The installed "Lumascribe Server" of an environment, or null.
const winsim::PrinterDriver* ProductDriver(const std::string& environment);
// The printers of the product driver, by name.
std::vector<std::string> ProductPrinters();

}  // namespace test
