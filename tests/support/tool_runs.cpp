#include "support/tool_runs.h"

#include <gtest/gtest.h>

#include "support/sim.h"
#include "winsim/windows.h"

namespace test {

std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  for (size_t at; (at = text.find("\r\n", start)) != std::string::npos; start = at + 2)
    lines.push_back(text.substr(start, at - start));
  EXPECT_EQ(start, text.size()) << "the log ends in CR LF";
  return lines;
}

std::vector<std::string> ShownLog() {
  const std::vector<winsim::DialogRecord>& dialogs = winsim::M().ui.dialogs;
  EXPECT_EQ(dialogs.size(), 1u) << "one log window";
  if (dialogs.empty()) return {};
  auto text = dialogs.back().itemTexts.find(1001);
  EXPECT_NE(text, dialogs.back().itemTexts.end());
  return text == dialogs.back().itemTexts.end() ? std::vector<std::string>() : SplitLines(text->second);
}

bool Shows(const std::vector<std::string>& log, const std::string& part) { return LineOf(log, part) >= 0; }

int LineOf(const std::vector<std::string>& log, const std::string& part, int from) {
  for (size_t i = size_t(from < 0 ? 0 : from); i < log.size(); ++i)
    if (log[i].find(part) != std::string::npos) return int(i);
  return -1;
}

void ExpectRunEvent(size_t events, const std::string& word, int exitCode, const std::string& firstError) {
  const std::vector<winsim::LoggedEvent>& logged = winsim::M().eventLog.events;
  ASSERT_EQ(logged.size(), events) << "one event per run";
  const winsim::LoggedEvent& e = logged.back();
  EXPECT_EQ(e.source, "Lumascribe Setup");
  EXPECT_EQ(e.id, uint32_t(exitCode));
  EXPECT_EQ(e.type, exitCode == 100 ? EVENTLOG_ERROR_TYPE : exitCode == 101 ? EVENTLOG_WARNING_TYPE
                                                                            : EVENTLOG_INFORMATION_TYPE);
  ASSERT_EQ(e.strings.size(), 1u);
  std::vector<std::string> lines = SplitLines(e.strings[0] + "\r\n");
  ASSERT_EQ(lines.size(), 3u) << e.strings[0];
  EXPECT_EQ(lines[0], "Lumascribe setup " + word + ": exit code " + std::to_string(exitCode));
  const std::string logFile = "Log file: C:\\Windows\\SystemTemp\\Lumascribe-";
  EXPECT_EQ(lines[1].substr(0, logFile.size()), logFile);
  EXPECT_TRUE(winsim::MachineFileExists(lines[1].substr(10))) << lines[1];
  EXPECT_EQ(lines[2], "First error: " + firstError);
}

bool EventSourceRegistered() {
  DWORD type = 0;
  std::string file, types;
  return winsim::GetRegValue(kEventSource, "EventMessageFile", &type, &file) && type == REG_EXPAND_SZ &&
         file == winsim::RegSzBytes("%SystemRoot%\\System32\\EventCreate.exe") &&
         winsim::GetRegValue(kEventSource, "TypesSupported", &type, &types) && type == REG_DWORD &&
         types == winsim::RegDwordBytes(7);
}

std::string TrayRunValue() {
  std::string data;
  if (!winsim::GetRegValue(kRunKey, "LumascribeTray", nullptr, &data)) return "";
  std::vector<std::u16string> strings = winsim::MultiSzStrings(data);
  return strings.empty() ? "" : winsim::Utf8(strings[0]);
}

std::vector<std::string> PendingRenames() {
  std::string data;
  std::vector<std::string> names;
  if (!winsim::GetRegValue(winsim::kSessionManagerKey, winsim::kPendingRenamesValue, nullptr, &data)) return names;
  for (const std::u16string& name : winsim::MultiSzStrings(data)) names.push_back(winsim::Utf8(name));
  return names;
}

std::vector<std::string> SpoolersPendingDriverDeletions(int n) {
  const std::string old = "\\??\\" + kDriversX64 + "3\\Old\\" + std::to_string(n) + "\\";
  return {old + "lmsdrv64.dll", "", old + "lmsui64.dll", ""};
}

const winsim::PrinterDriver* ProductDriver(const std::string& environment) {
  for (const winsim::PrinterDriver& driver : winsim::M().drivers.installed)
    if (driver.name == "Lumascribe Server" && driver.environment == environment) return &driver;
  return nullptr;
}

std::vector<std::string> ProductPrinters() {
  std::vector<std::string> names;
  for (const winsim::Printer& printer : winsim::M().spooler.printers)
    if (printer.driverName == "Lumascribe Server") names.push_back(printer.printerName);
  return names;
}

}  // namespace test
