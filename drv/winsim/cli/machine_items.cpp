#include "machine_items.h"

#include <algorithm>
#include <filesystem>
#include <map>
#include <set>

#include "winsim/machine.h"
#include "winsim/version_files.h"
#include "winsim/windows.h"

namespace winsim {

namespace {

const char kRunKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";

std::string Join(const std::vector<std::string>& parts, const char* separator = ", ") {
  std::string out;
  for (const std::string& part : parts) out += (out.empty() ? "" : separator) + part;
  return out;
}

std::string Delay(int64_t ms) { return ms < 0 ? "never" : std::to_string(ms) + " ms"; }

std::string ServiceStateName(DWORD state) {
  static const char* const names[] = {"?", "stopped", "start pending", "stop pending", "running"};
  return state >= 1 && state <= 4 ? names[state] : "state " + std::to_string(state);
}

// The build a file's version resource gives (the last part of its file version), "no version",
// or "missing".
std::string BuildOf(const std::string& windowsPath) {
  std::u16string path = Wide(windowsPath);
  if (!MachineFileExists(windowsPath)) return "missing";
  DWORD handle = 0, size = GetFileVersionInfoSizeW(path.c_str(), &handle);
  std::vector<BYTE> block(size);
  VS_FIXEDFILEINFO* info = nullptr;
  UINT length = 0;
  if (size == 0 || !GetFileVersionInfoW(path.c_str(), 0, size, block.data()) ||
      !VerQueryValueW(block.data(), u"\\", reinterpret_cast<LPVOID*>(&info), &length) || !info)
    return "no version";
  return "build " + std::to_string(info->dwFileVersionLS & 0xFFFF);
}

std::string FileName(const std::string& windowsPath) { return windowsPath.substr(windowsPath.rfind('\\') + 1); }

// A printer data string as the ANSI calls store it ("SubKey"), or "".
std::string PrinterText(const Printer& printer, const std::string& key, const std::string& value) {
  for (const RegKey& k : printer.data) {
    if (!EqualNoCase(k.name, key)) continue;
    for (const RegValue& v : k.values) {
      if (!EqualNoCase(v.name, value)) continue;
      std::u16string wide;
      for (size_t i = 0; i + 1 < v.data.size(); i += 2)
        wide += char16_t(uint8_t(v.data[i]) | uint8_t(v.data[i + 1]) << 8);
      return AnsiFromWide(wide.substr(0, wide.find(u'\0')));
    }
  }
  return "";
}

struct Builder {
  std::vector<MachineItem> items;
  std::set<std::pair<std::string, std::string>> names;

  // Without a summary of its own an item's facts become it: "key value" for each one that says
  // something, the value quoted when it has spaces.
  void Add(const std::string& kind, std::string name, std::vector<std::pair<std::string, std::string>> facts,
           std::string summary = "") {
    for (int n = 2; !names.insert({kind, name}).second; ++n) name += " #" + std::to_string(n);
    if (summary.empty()) {
      std::vector<std::string> parts;
      for (const auto& [key, value] : facts)
        if (!value.empty() && value != "no")
          parts.push_back(value == "yes"                         ? key
                          : value.find(' ') == std::string::npos ? key + " " + value
                                                                 : key + " '" + value + "'");
      summary = Join(parts);
    }
    items.push_back({kind, name, summary, std::move(facts)});
  }
};

void AddServices(Builder& b) {
  for (const Service& s : M().services.services)
    b.Add("service", s.name,
          {{"state", ServiceStateName(s.state)}, {"start", Delay(s.startDelayMs)}, {"stop", Delay(s.stopDelayMs)}},
          ServiceStateName(s.state) + " (start " + Delay(s.startDelayMs) + ", stop " + Delay(s.stopDelayMs) + "), " +
              std::to_string(s.starts) + (s.starts == 1 ? " start" : " starts"));
}

void AddMonitors(Builder& b) {
  for (const PortMonitor& m : M().monitors.monitors) {
    std::string ports = Join(m.ports);
    b.Add("monitor", m.name, {{"dll", m.dllName}, {"environment", m.environment}, {"ports", ports}},
          "(" + m.dllName + ")" + (ports.empty() ? "" : " ports " + ports));
  }
}

void AddDrivers(Builder& b) {
  for (const PrinterDriver& d : M().drivers.installed) {
    std::vector<std::string> files;
    for (const std::string& path : {d.driverPath, d.dataFile, d.configFile, d.helpFile})
      if (!path.empty() && std::find(files.begin(), files.end(), path) == files.end()) files.push_back(path);
    for (const std::string& path : d.dependentFiles)
      if (std::find(files.begin(), files.end(), path) == files.end()) files.push_back(path);
    std::vector<std::string> described;
    for (const std::string& path : files) described.push_back(FileName(path) + " (" + BuildOf(path) + ")");
    std::string directory = d.driverPath.substr(0, d.driverPath.rfind('\\') + 1);
    b.Add("driver", d.name + " [" + d.environment + "]",
          {{"version", std::to_string(d.version)}, {"directory", directory}, {"files", Join(described)}},
          "version " + std::to_string(d.version) + ", " + Join(described) + (directory.empty() ? "" : " in " + directory));
  }
}

void AddPrinters(Builder& b) {
  for (const Printer& p : M().spooler.printers) {
    std::string settings = PrinterText(p, "PrinterDriverData", "SubKey");
    if (settings.empty()) settings = PrinterText(p, "DsUser", "SubKey");
    bool shared = p.attributes & PRINTER_ATTRIBUTE_SHARED;
    b.Add("printer", p.printerName,
          {{"port", p.portName}, {"driver", p.driverName}, {"share", shared ? p.shareName : ""},
           {"comment", p.comment}, {"location", p.location},
           {"default", EqualNoCase(M().spooler.defaultPrinter, p.printerName) ? "yes" : "no"},
           {"jobs", p.cJobs ? std::to_string(p.cJobs) : ""}, {"settings key", settings},
           {"status", p.status ? std::to_string(p.status) : ""}});
  }
}

// Numbered, so that the same change made twice shows twice.
void AddRemoteChanges(Builder& b) {
  const std::vector<std::string>& changes = M().spooler.remoteChanges;
  for (size_t i = 0; i < changes.size(); ++i) b.Add("remote change", std::to_string(i + 1), {{"call", changes[i]}}, changes[i]);
}

void AddRunValues(Builder& b) {
  for (const char* tree : {"HKLM", "HKCU"}) {
    RegKey* key = FindRegKey(std::string(tree) + "\\" + kRunKey);
    if (!key) continue;
    for (const RegValue& v : key->values) {
      std::u16string wide;
      for (size_t i = 0; i + 1 < v.data.size(); i += 2) wide += char16_t(uint8_t(v.data[i]) | uint8_t(v.data[i + 1]) << 8);
      std::string command = Utf8(wide.substr(0, wide.find(u'\0')));
      b.Add("run", std::string(tree) + " " + v.name, {{"command", command}}, command);
    }
  }
}

std::string RunsAs(const Identity& who) {
  return who.user + (who.elevated ? ", elevated" : ", not elevated") + ", session " + std::to_string(who.session);
}

void AddPrograms(Builder& b) {
  b.Add("tool", "install.exe", {{"runs as", RunsAs(M().security.tool)}, {"sid", M().security.tool.sid}},
        "runs as " + RunsAs(M().security.tool));
  const Process* companion = RunningCompanion();
  b.Add("companion", "lumtray.exe",
        {{"running", companion ? "yes, pid " + std::to_string(companion->pid) : "no"},
         {"runs as", companion ? RunsAs(companion->identity) : ""}},
        companion ? "running (pid " + std::to_string(companion->pid) + ") as " + RunsAs(companion->identity)
                  : "not running");
  for (const Process& p : M().processes.processes) {
    if (p.exited || &p == companion) continue;
    if (p.namedMutex.empty()) {
      b.Add("process", p.image, {{"pid", std::to_string(p.pid)}, {"runs as", RunsAs(p.identity)}},
            "pid " + std::to_string(p.pid) + " as " + RunsAs(p.identity));
      continue;
    }
    std::string state = p.mutexAbandoned  ? "abandoned by its dead owner"
                        : p.waitsForMutex ? "waited for by process " + std::to_string(p.pid)
                        : p.exitAtMs < 0  ? "held by process " + std::to_string(p.pid) + " until a restart"
                                          : "held by process " + std::to_string(p.pid) + " until " +
                                               std::to_string(p.exitAtMs) + " ms";
    std::string what = p.namedIsEvent ? "an event" : p.namedSddl.empty() ? "a mutex" : "a mutex with DACL " + p.namedSddl;
    std::string where = p.namespaceKey.empty() ? "" : " in private namespace " + p.namespaceKey;
    std::string held = what + where + ", " + state + " as " + RunsAs(p.identity);
    b.Add("mutex", (p.namespaceKey.empty() ? "" : p.namespaceKey + "\\") + p.namedMutex + (p.waitsForMutex ? " (waiter " + std::to_string(p.pid) + ")" : ""),
          {{"state", held}}, held);
  }
  if (!M().ui.windowStationVisible) b.Add("desktop", "window station", {{"visible", "no"}}, "not visible");
}

void AddPendingRenames(Builder& b) {
  std::string queued;
  if (!GetRegValue(kSessionManagerKey, kPendingRenamesValue, nullptr, &queued)) return;
  std::vector<std::u16string> strings = MultiSzStrings(queued);
  for (size_t i = 0; i + 1 < strings.size(); i += 2) {
    std::string target = Utf8(strings[i + 1]);
    b.Add("pending", Utf8(strings[i]), {{"at restart", target.empty() ? "delete" : "move to " + target}},
          target.empty() ? "deleted at restart" : "moved to " + target + " at restart");
  }
}

// Every file on the disk with one of the product's names, wherever the tool put it.
void AddProductFiles(Builder& b) {
  std::filesystem::path disk = std::filesystem::path(M().root) / "drive_c";
  std::vector<std::string> found;
  std::error_code ec;
  for (auto it = std::filesystem::recursive_directory_iterator(disk, ec);
       !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
    if (!it->is_regular_file(ec)) continue;
    std::string name = it->path().filename().string();
    bool product = false;
    for (const char* productName : kProductFileNames) product = product || EqualNoCase(name, productName);
    if (!product) continue;
    std::string relative = std::filesystem::relative(it->path(), disk, ec).string();
    for (char& c : relative) c = c == '/' ? '\\' : c;
    found.push_back("C:\\" + relative);
  }
  std::sort(found.begin(), found.end());
  for (const std::string& path : found) {
    std::string build = BuildOf(path);
    bool readOnly = IsReadOnly(ResolvePath(path).path);
    b.Add("file", path, {{"build", build}, {"read-only", readOnly ? "yes" : "no"}}, build + (readOnly ? ", read-only" : ""));
  }
}

void AddHoldsAndFaults(Builder& b) {
  const uint64_t now = M().clock.nowMs;
  // A running program's hold on its own executable shows as the program.
  for (const FileHold& h : M().files.holds) {
    if (h.untilMs <= now || h.owner.rfind("process ", 0) == 0) continue;
    std::string until = h.untilMs == UINT64_MAX ? "until released" : "until " + std::to_string(h.untilMs) + " ms";
    b.Add("hold", h.path, {{"by", h.owner}, {"until", until}, {"delete error", std::to_string(h.deleteError)}},
          "by " + h.owner + " " + until + ", delete fails with " + std::to_string(h.deleteError));
  }
  for (const Junction& j : M().files.junctions) b.Add("junction", j.path, {{"target", j.target}}, "to " + j.target);
  for (const FileSwap& s : M().files.swaps)
    b.Add("swap", s.path, {{"when", s.when}, {"outcome", s.outcome}},
          "another program's, at the first " + s.when + (s.outcome.empty() ? "" : ": " + s.outcome));
  // Rights as every machine has them are not worth a line; what was set on top of them is.
  const std::vector<PathSecurity> defaults = DefaultSecurity(M().security.desktop.user, M().security.desktop.sid);
  for (const PathSecurity& s : M().files.security) {
    HostPath found;
    if (LocateExisting(s.path, &found)) continue;  // left by a deletion at restart or by the spooler
    std::string text = SecurityText(s);
    if (std::none_of(defaults.begin(), defaults.end(),
                     [&](const PathSecurity& d) { return EqualNoCase(d.path, s.path) && SecurityText(d) == text; }))
      b.Add("rights", s.path, {{"set", text}}, text);
  }
  for (const Fault& f : M().faults) {
    std::string calls = f.firstCall == 1 && f.lastCall == UINT32_MAX
                            ? "every call"
                            : "calls " + std::to_string(f.firstCall) + " to " +
                                  (f.lastCall == UINT32_MAX ? "the last" : std::to_string(f.lastCall));
    std::string until = f.untilMs == UINT64_MAX ? "" : "until " + std::to_string(f.untilMs) + " ms";
    std::string match = f.match.empty() ? "" : "match '" + f.match + "', ";
    b.Add("fault", f.call,
          {{"error", std::to_string(f.error)}, {"match", f.match}, {"calls", calls}, {"until", until},
           {"seen", std::to_string(f.seen)}},
          "error " + std::to_string(f.error) + ", " + match + calls + (until.empty() ? "" : ", " + until) +
              ", seen " + std::to_string(f.seen));
  }
}

}  // namespace

// What kind of Windows it is, where the tool meets it: the processor and protected print mode.
void AddWindows(Builder& b) {
  const OsState& os = M().os;
  std::string machine = os.nativeMachine == NativeMachine::Arm64 ? "arm64" : "x64";
  std::string mode = !ProtectedPrintOn() ? "no" : os.protectedPrint ? "on in Settings" : "on by policy";
  b.Add("windows", "version",
        {{"build", std::to_string(os.buildNumber)}, {"processor", machine}, {"protected print", mode}},
        std::to_string(os.majorVersion) + "." + std::to_string(os.minorVersion) + "." + std::to_string(os.buildNumber) +
            " " + machine + (mode == "no" ? "" : ", protected print mode " + mode));
}

// The Application log's events, numbered, their texts on one line.
void AddEvents(Builder& b) {
  const std::vector<LoggedEvent>& events = M().eventLog.events;
  for (size_t i = 0; i < events.size(); ++i) {
    const LoggedEvent& e = events[i];
    std::string type = e.type == EVENTLOG_ERROR_TYPE     ? "error"
                       : e.type == EVENTLOG_WARNING_TYPE ? "warning"
                       : e.type == EVENTLOG_INFORMATION_TYPE ? "information"
                                                             : "type " + std::to_string(e.type);
    std::string text;
    for (const std::string& part : e.strings)
      for (char c : part) text += c == '\r' ? std::string() : c == '\n' ? std::string(" | ") : std::string(1, c);
    b.Add("event", std::to_string(i + 1),
          {{"source", e.source}, {"type", type}, {"id", std::to_string(e.id)}, {"text", text}},
          e.source + " " + type + " " + std::to_string(e.id) + ": " + text);
  }
}

std::vector<MachineItem> DescribeMachine() {
  Builder b;
  AddWindows(b);
  AddServices(b);
  AddMonitors(b);
  AddDrivers(b);
  AddPrinters(b);
  AddRemoteChanges(b);
  AddRunValues(b);
  AddPrograms(b);
  AddPendingRenames(b);
  AddProductFiles(b);
  AddHoldsAndFaults(b);
  AddEvents(b);
  return b.items;
}

// "printer Office: ", or "monitor LumascribeServer: " for a name that ends with its own colon.
static std::string Head(const MachineItem& item) {
  bool colon = !item.name.empty() && item.name.back() == ':';
  return item.kind + " " + item.name + (colon ? " " : ": ");
}

std::string ItemLine(const MachineItem& item) { return Head(item) + item.summary; }

std::vector<std::string> DiffItems(const std::vector<MachineItem>& before, const std::vector<MachineItem>& after) {
  std::map<std::pair<std::string, std::string>, const MachineItem*> old, now;
  for (const MachineItem& item : before) old[{item.kind, item.name}] = &item;
  for (const MachineItem& item : after) now[{item.kind, item.name}] = &item;
  std::vector<std::string> lines;
  for (const MachineItem& item : before)
    if (!now.count({item.kind, item.name})) lines.push_back("- " + ItemLine(item));
  for (const MachineItem& item : after) {
    auto was = old.find({item.kind, item.name});
    if (was == old.end()) {
      lines.push_back("+ " + ItemLine(item));
      continue;
    }
    std::map<std::string, std::string> earlier(was->second->facts.begin(), was->second->facts.end());
    for (const auto& [key, value] : item.facts) {
      if (earlier[key] == value) continue;
      lines.push_back("~ " + Head(item) + key + " '" + earlier[key] + "' → '" + value + "'");
    }
  }
  return lines;
}

}  // namespace winsim
