// The machine's global state, its fresh installation, and the helpers every area shares.
#include "winsim/machine.h"

#include <filesystem>

#include "winsim/windows.h"
#include "winsim/version_files.h"

namespace winsim {

namespace {
Machine g_machine;
}

Machine& M() { return g_machine; }

void ResetMachine(const std::string& root) {
  g_machine = Machine();
  g_machine.root = root;
  // A disk that is already there keeps its files: only a new one gets the product's files.
  // A directory that cannot be made shows later, as the calls that need it fail.
  std::error_code ec;
  bool newDisk = !std::filesystem::exists(root + "/drive_c", ec);
  std::filesystem::create_directories(root + "/drive_c", ec);
  g_machine.os.commandLine = u"\"" + Wide(g_machine.os.modulePath) + u"\"";
  g_machine.spooler.driverDirs["Windows x64"] = "C:\\Windows\\system32\\spool\\DRIVERS\\x64";
  g_machine.spooler.driverDirs["Windows NT x86"] = "C:\\Windows\\system32\\spool\\DRIVERS\\W32X86";
  for (const char* dir : {"C:\\Windows\\system32\\spool\\DRIVERS\\x64\\3",
                          "C:\\Windows\\system32\\spool\\DRIVERS\\W32X86\\3",
                          "C:\\Program Files\\Lumascribe\\install", "C:\\Windows\\SystemTemp"})
    std::filesystem::create_directories(ResolvePath(dir).path, ec);
  InstallInboxDrivers(newDisk);
  g_machine.files.security = DefaultSecurity(g_machine.security.desktop.user, g_machine.security.desktop.sid);
  Service spooler;
  spooler.name = "Spooler";
  spooler.state = SERVICE_RUNNING;
  spooler.starts = 1;
  g_machine.services.services.push_back(spooler);
  const DWORD local = PRINTER_ATTRIBUTE_LOCAL | PRINTER_ATTRIBUTE_DO_COMPLETE_FIRST;
  Printer pdf;
  pdf.printerName = "Microsoft Print to PDF";
  pdf.portName = "PORTPROMPT:";
  pdf.driverName = "Microsoft Print To PDF";
  pdf.attributes = local;
  Printer xps = pdf;
  xps.printerName = "Microsoft XPS Document Writer";
  xps.driverName = "Microsoft XPS Document Writer v4";
  Printer fax;
  fax.printerName = "Fax";
  fax.portName = "SHRFAX:";
  fax.driverName = "Microsoft Shared Fax Driver";
  fax.attributes = local | PRINTER_ATTRIBUTE_FAX;
  g_machine.spooler.printers = {pdf, xps, fax};
  g_machine.spooler.defaultPrinter = pdf.printerName;
  g_machine.monitors = DefaultMonitors();
  if (newDisk) WriteProductFiles();
  for (const char* key : {"HKLM\\SYSTEM\\CurrentControlSet\\Control\\Session Manager",
                          "HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run",
                          "HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Run"})
    FindRegKey(key, true);
  // Someone has signed in at the desk.
  StartShell();
}

std::string Utf8(const std::u16string& text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    uint32_t c = text[i];
    if (c >= 0xD800 && c < 0xDC00 && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
        text[i + 1] < 0xE000) {
      c = 0x10000 + ((c - 0xD800) << 10) + (text[++i] - 0xDC00);
    }
    if (c < 0x80) {
      out += char(c);
    } else if (c < 0x800) {
      out += char(0xC0 | (c >> 6));
      out += char(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      out += char(0xE0 | (c >> 12));
      out += char(0x80 | ((c >> 6) & 0x3F));
      out += char(0x80 | (c & 0x3F));
    } else {
      out += char(0xF0 | (c >> 18));
      out += char(0x80 | ((c >> 12) & 0x3F));
      out += char(0x80 | ((c >> 6) & 0x3F));
      out += char(0x80 | (c & 0x3F));
    }
  }
  return out;
}

std::string Utf8(const WCHAR* text) { return text ? Utf8(std::u16string(text)) : std::string(); }

std::u16string Wide(const std::string& text) {
  std::u16string out;
  for (size_t i = 0; i < text.size();) {
    unsigned char b = text[i];
    uint32_t c = b;
    size_t extra = b >= 0xF0 ? 3 : b >= 0xE0 ? 2 : b >= 0xC0 ? 1 : 0;
    if (extra) c = b & (0x3F >> extra);
    for (size_t k = 1; k <= extra && i + k < text.size(); ++k) c = (c << 6) | (text[i + k] & 0x3F);
    i += extra + 1;
    if (c >= 0x10000) {
      c -= 0x10000;
      out += char16_t(0xD800 + (c >> 10));
      out += char16_t(0xDC00 + (c & 0x3FF));
    } else {
      out += char16_t(c);
    }
  }
  return out;
}

static char Lower(char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; }

std::string FoldName(const std::string& name) {
  std::string folded = name;
  for (char& c : folded) c = Lower(c);
  return folded;
}

bool EqualNoCase(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (Lower(a[i]) != Lower(b[i])) return false;
  return true;
}

static bool ContainsNoCase(const std::string& text, const std::string& part) {
  if (part.empty()) return true;
  for (size_t i = 0; i + part.size() <= text.size(); ++i)
    if (EqualNoCase(text.substr(i, part.size()), part)) return true;
  return false;
}

void Trace(const std::string& call, const std::string& detail) {
  // Every call before this one has had its whole effect.
  if (g_machine.os.stopAfterCalls && g_machine.trace.size() >= g_machine.os.stopAfterCalls) StopDead();
  g_machine.trace.push_back({g_machine.clock.nowMs, call, detail});
  RunFileSwaps(call);
}

int CountCalls(const std::string& call) {
  int n = 0;
  for (const TraceEntry& e : g_machine.trace) n += e.call == call;
  return n;
}

DWORD FaultFor(const std::string& call, const std::string& key) {
  for (Fault& f : g_machine.faults) {
    if (f.call != call || !ContainsNoCase(key, f.match)) continue;
    ++f.seen;
    if (f.seen >= f.firstCall && f.seen <= f.lastCall && g_machine.clock.nowMs < f.untilMs)
      return f.error;
  }
  return 0;
}

void AdvanceClock(uint64_t ms) {
  g_machine.clock.nowMs += ms;
  SettleProcesses();
}

uint64_t NewKernelHandle() {
  uint64_t handle = g_machine.os.nextHandle;
  g_machine.os.nextHandle += 4;
  return handle;
}

uint64_t AddWindow(const std::string& className, const std::string& title, int64_t closeDelayMs) {
  uint64_t handle = 0x10010 + 0x10 * g_machine.ui.windows.size();
  g_machine.ui.windows.push_back({handle, className, title, closeDelayMs, -1, true, 0});
  return handle;
}

}  // namespace winsim
