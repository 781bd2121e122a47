#include "sweep_checks.h"

#include <algorithm>

#include "winsim/windows.h"

namespace sweep {

namespace {

const char kProductDriver[] = "Lumascribe Server";

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  for (size_t at; (at = text.find("\r\n", start)) != std::string::npos; start = at + 2)
    lines.push_back(text.substr(start, at - start));
  return lines;
}

// The log as the log window showed it (the sweep holds Shift, so it always shows).
std::vector<std::string> ShownLog() {
  const std::vector<winsim::DialogRecord>& dialogs = winsim::M().ui.dialogs;
  if (dialogs.empty()) return {};
  auto text = dialogs.back().itemTexts.find(1001);
  return text == dialogs.back().itemTexts.end() ? std::vector<std::string>() : Lines(text->second);
}

bool HasErrorLine(const std::vector<std::string>& log) {
  for (const std::string& line : log)
    if (line.find_first_not_of(' ') != std::string::npos && line.compare(line.find_first_not_of(' '), 6, "Error(") == 0)
      return true;
  return false;
}

std::string DataString(const winsim::Printer& printer, const std::string& key) {
  for (const winsim::RegKey& k : printer.data)
    if (winsim::EqualNoCase(k.name, key))
      for (const winsim::RegValue& v : k.values)
        if (winsim::EqualNoCase(v.name, "SubKey") && v.type == REG_SZ) {
          std::u16string wide;
          for (size_t i = 0; i + 1 < v.data.size(); i += 2)
            wide += char16_t(uint8_t(v.data[i]) | uint8_t(v.data[i + 1]) << 8);
          return winsim::AnsiFromWide(wide.substr(0, wide.find(u'\0')));
        }
  return "";
}

// Why the captured printer is not back as it was; empty when it is.
std::string Missing(const Captured& c) {
  const winsim::Printer* p = winsim::FindPrinter(c.name);
  if (!p || p->driverName != kProductDriver) return "printer";
  std::string subKey = DataString(*p, "PrinterDriverData");
  if (subKey.empty()) subKey = DataString(*p, "DsUser");
  if (subKey != c.subKey) return "settings key";
  if (p->comment != c.comment) return "comment";
  if (p->location != c.location) return "location";
  if (c.isDefault && !winsim::EqualNoCase(winsim::M().spooler.defaultPrinter, c.name)) return "default";
  if (!(p->attributes & PRINTER_ATTRIBUTE_SHARED) || p->shareName != c.shareName) return "share";
  return "";
}

bool ProductDriverOf(const std::string& environment) {
  for (const winsim::PrinterDriver& d : winsim::M().drivers.installed)
    if (d.name == kProductDriver && d.environment == environment) return true;
  return false;
}

void Note(Findings* findings, bool* flag, const std::string& note) {
  *flag = true;
  findings->notes.push_back(note);
}

}  // namespace

void CheckRun(const Keep& keep, bool install, int exitCode, bool mustRestore, bool checkLeaks, Findings* findings) {
  const winsim::Machine& m = winsim::M();
  std::vector<std::string> log = ShownLog();
  int success = install ? 1 : 2;
  if (exitCode != success && exitCode != 100 && exitCode != 101)
    Note(findings, &findings->mismatch, "exit code " + std::to_string(exitCode));
  if ((exitCode == 100) != HasErrorLine(log))
    Note(findings, &findings->mismatch, "exit " + std::to_string(exitCode) + " with" +
                                            (HasErrorLine(log) ? "" : "out") + " an error line");
  for (const std::string& line : log)
    if (line.find("( No Description )") != std::string::npos) Note(findings, &findings->undescribed, line);
  bool monitor = winsim::FindMonitor("LumascribeServer:") != nullptr;
  bool x64 = ProductDriverOf("Windows x64"), x86 = ProductDriverOf("Windows NT x86");
  if (exitCode == success || exitCode == 101) {
    if (install && (!monitor || !x64 || !x86))
      Note(findings, &findings->silent, std::string("installed without ") + (!monitor ? "monitor" : "a driver"));
    if (install)
      for (const Captured& c : keep.captured)
        if (std::string what = Missing(c); !what.empty())
          Note(findings, &findings->silent, "success without the " + what + " of " + c.name);
    bool printers = false;
    // A connection is another machine's printer: the uninstall leaves it.
    for (const winsim::Printer& p : m.spooler.printers)
      printers = printers || (p.driverName == kProductDriver && !p.connection);
    if (!install && (monitor || x64 || x86 || printers)) Note(findings, &findings->silent, "uninstalled, but left");
  }
  if (mustRestore)
    for (const Captured& c : keep.captured)
      if (std::string what = Missing(c); !what.empty()) Note(findings, &findings->lost, c.name + ": " + what);
  Keep now = KeepOf(m);
  for (const std::string& foreign : keep.foreignPrinters) {
    bool found = false;
    for (const std::string& f : now.foreignPrinters) found = found || f == foreign;
    if (!found) Note(findings, &findings->lost, "foreign printer changed: " + foreign.substr(0, foreign.find('|')));
  }
  // The stand-in printer comes only where no printer was captured to come back.
  for (const winsim::Printer& p : m.spooler.printers) {
    bool known = keep.captured.empty() && p.printerName == "lumServer";
    for (size_t i = 0; !known && i < keep.printers.size(); ++i)
      known = winsim::EqualNoCase(keep.printers[i], p.printerName);
    if (!known) Note(findings, &findings->lost, "printer appeared: " + p.printerName);
  }
  bool pendingKept = now.foreignPending.size() >= keep.foreignPending.size();
  for (size_t i = 0; pendingKept && i < keep.foreignPending.size(); ++i)
    pendingKept = now.foreignPending[i] == keep.foreignPending[i];
  if (!pendingKept) Note(findings, &findings->lost, "foreign pending operations changed");
  if (!winsim::DamagedBlocks().empty()) Note(findings, &findings->leak, "blocks written past their end");
  if (checkLeaks && (!m.heap.globalBlocks.empty() || !m.heap.heapBlocks.empty() || !m.spooler.handles.open.empty() ||
                     !m.files.open.empty() || !m.services.handles.empty() || winsim::OpenRegKeyCount() != 0 ||
                     !m.eventLog.handles.empty() || !m.runtime.Empty()))
    Note(findings, &findings->leak, "blocks or handles left open");
}

void CheckStillPrinting(const Keep& keep, Findings* findings) {
  const Keep now = KeepOf(winsim::M());
  if (now.productPrinters != keep.productPrinters) Note(findings, &findings->lost, "a product printer changed");
  if (!winsim::FindMonitor("LumascribeServer:") || !ProductDriverOf("Windows x64") || !ProductDriverOf("Windows NT x86"))
    Note(findings, &findings->lost, "monitor or driver gone");
  if (now.installedFiles != keep.installedFiles) Note(findings, &findings->lost, "an installed file changed or went");
  for (const std::string& file : now.installedFiles)
    if (std::count(keep.installedFiles.begin(), keep.installedFiles.end(), file) == 0)
      Note(findings, &findings->badFile, "installed anew: " + file.substr(0, file.find('|')));
  // Stopped before anything went: a run that removes and makes everything again may look the same.
  for (const winsim::TraceEntry& e : winsim::M().trace)
    if (e.call == "DeletePrinter" || e.call == "DeletePrinterDriverExW" || e.call == "DeleteMonitorW")
      return Note(findings, &findings->lost, "went on to " + e.call);
}

}  // namespace sweep
