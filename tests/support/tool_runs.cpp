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
