// A machine directory: machine.json beside drive_c, and the call trace of the last run.
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>

#include "winsim/machine.h"

namespace winsim {

NLOHMANN_JSON_SERIALIZE_ENUM(DialogAnswer, {{DialogAnswer::CloseButton, "close"},
                                            {DialogAnswer::Enter, "enter"},
                                            {DialogAnswer::Escape, "escape"},
                                            {DialogAnswer::CloseBox, "closebox"}})
NLOHMANN_DEFINE_TYPE_NON_INTRUSIVE_WITH_DEFAULT(Fault, call, match, firstCall, lastCall, untilMs, error, seen)
NLOHMANN_DEFINE_TYPE_NON_INTRUSIVE_WITH_DEFAULT(ClockState, nowMs, tickAtBoot)
NLOHMANN_DEFINE_TYPE_NON_INTRUSIVE_WITH_DEFAULT(Window, handle, className, title, closeDelayMs, closeAtMs, open)
NLOHMANN_DEFINE_TYPE_NON_INTRUSIVE_WITH_DEFAULT(DialogRecord, templateId, owner, title, itemTexts, result)
NLOHMANN_DEFINE_TYPE_NON_INTRUSIVE_WITH_DEFAULT(FileHold, path, owner, untilMs, deleteError)
NLOHMANN_DEFINE_TYPE_NON_INTRUSIVE_WITH_DEFAULT(FileState, currentDir, holds, freeBytes, openLatencyMs)
NLOHMANN_DEFINE_TYPE_NON_INTRUSIVE_WITH_DEFAULT(Printer, connection, serverName, printerName, shareName,
                                                portName, driverName, comment, location, sepFile,
                                                printProcessor, datatype, parameters, attributes,
                                                priority, defaultPriority, startTime, untilTime,
                                                status, cJobs, averagePPM, data)
NLOHMANN_DEFINE_TYPE_NON_INTRUSIVE_WITH_DEFAULT(SpoolerState, driverDirs, printers, defaultPrinter,
                                                arriveAfterSizing)
NLOHMANN_DEFINE_TYPE_NON_INTRUSIVE_WITH_DEFAULT(PortMonitor, name, environment, dllName, ports)
NLOHMANN_DEFINE_TYPE_NON_INTRUSIVE_WITH_DEFAULT(MonitorState, monitors, portsOfNewMonitor)
NLOHMANN_DEFINE_TYPE_NON_INTRUSIVE_WITH_DEFAULT(PrinterDriver, environment, name, version, driverPath,
                                                dataFile, configFile, helpFile, dependentFiles,
                                                monitorName, defaultDataType, previousNames,
                                                driverDate, driverVersion, mfgName, oemUrl,
                                                hardwareId, provider, upgrades)
NLOHMANN_DEFINE_TYPE_NON_INTRUSIVE_WITH_DEFAULT(MovedDriverFile, path, spoolerStart)
NLOHMANN_DEFINE_TYPE_NON_INTRUSIVE_WITH_DEFAULT(DriverState, installed, moved)
NLOHMANN_DEFINE_TYPE_NON_INTRUSIVE_WITH_DEFAULT(Service, name, state, startDelayMs, stopDelayMs,
                                                pendingSinceMs, starts)
NLOHMANN_DEFINE_TYPE_NON_INTRUSIVE_WITH_DEFAULT(CompanionBehaviour, createsWindow, quitDelayMs,
                                                windowCloseDelayMs, releasesMutex)
// Mutexes and handles end with the program that saves the machine: running processes take theirs
// back at load.
NLOHMANN_DEFINE_TYPE_NON_INTRUSIVE_WITH_DEFAULT(Process, pid, image, commandLine, window, exitAtMs)

static void to_json(nlohmann::json& j, const ProcessState& s) {
  std::vector<Process> running;
  for (const Process& p : s.processes)
    if (!p.exited) running.push_back(p);
  j = {{"running", running}, {"companion", s.companion}, {"nextPid", s.nextPid}};
}
static void from_json(const nlohmann::json& j, ProcessState& s) {
  s.processes = j.value("running", s.processes);
  s.companion = j.value("companion", s.companion);
  s.nextPid = j.value("nextPid", s.nextPid);
}

static void to_json(nlohmann::json& j, const OsState& s) {
  j = {{"modulePath", s.modulePath}, {"systemDir", s.systemDir}, {"majorVersion", s.majorVersion},
       {"minorVersion", s.minorVersion}, {"buildNumber", s.buildNumber}, {"platformId", s.platformId},
       {"manifestDeclaresWindows10", s.manifestDeclaresWindows10}};
}
static void from_json(const nlohmann::json& j, OsState& s) {
  s.modulePath = j.value("modulePath", s.modulePath);
  s.systemDir = j.value("systemDir", s.systemDir);
  s.majorVersion = j.value("majorVersion", s.majorVersion);
  s.minorVersion = j.value("minorVersion", s.minorVersion);
  s.buildNumber = j.value("buildNumber", s.buildNumber);
  s.platformId = j.value("platformId", s.platformId);
  s.manifestDeclaresWindows10 = j.value("manifestDeclaresWindows10", s.manifestDeclaresWindows10);
}
static void to_json(nlohmann::json& j, const UiState& s) {
  j = {{"windows", s.windows}, {"shiftDown", s.shiftDown}, {"dialogAnswer", s.dialogAnswer},
       {"dialogsFail", s.dialogsFail}, {"dialogs", s.dialogs}};
}
static void from_json(const nlohmann::json& j, UiState& s) {
  s.windows = j.value("windows", s.windows);
  s.shiftDown = j.value("shiftDown", s.shiftDown);
  s.dialogAnswer = j.value("dialogAnswer", s.dialogAnswer);
  s.dialogsFail = j.value("dialogsFail", s.dialogsFail);
  s.dialogs = j.value("dialogs", s.dialogs);
}

bool LoadMachine(const std::string& dir) {
  std::ifstream in(dir + "/machine.json");
  if (!in) return false;
  nlohmann::json j = nlohmann::json::parse(in, nullptr, false);
  if (j.is_discarded()) return false;
  ResetMachine(dir);
  Machine& m = M();
  m.os = j.value("os", m.os);
  m.clock = j.value("clock", m.clock);
  m.faults = j.value("faults", m.faults);
  m.ui = j.value("ui", m.ui);
  m.spooler = j.value("spooler", m.spooler);
  m.files = j.value("files", m.files);
  m.services.services = j.value("services", m.services.services);
  m.registry = j.value("registry", m.registry);
  m.monitors = j.value("monitors", m.monitors);
  m.drivers = j.value("drivers", m.drivers);
  m.processes = j.value("processes", m.processes);
  AttachRunningProcesses();
  return true;
}

bool SaveMachine(const std::string& dir) {
  const Machine& m = M();
  nlohmann::json j = {{"os", m.os}, {"clock", m.clock}, {"faults", m.faults}, {"ui", m.ui},
                      {"spooler", m.spooler}, {"files", m.files}, {"services", m.services.services},
                      {"registry", m.registry}, {"monitors", m.monitors}, {"drivers", m.drivers},
                      {"processes", m.processes}};
  std::filesystem::create_directories(dir);
  std::ofstream out(dir + "/machine.json");
  out << j.dump(2) << "\n";
  std::ofstream trace(dir + "/trace.txt");
  for (const TraceEntry& e : m.trace) trace << e.ms << " " << e.call << " " << e.detail << "\n";
  return bool(out) && bool(trace);
}

}  // namespace winsim
