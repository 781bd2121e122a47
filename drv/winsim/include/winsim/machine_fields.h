// The members each record of the machine keeps in machine.json, in the file's order. One list
// serves reading, writing and the tests that fill every member; `visit(name, member)` is called
// for each. Records whose file form is not member by member (registry values, the machine
// itself, the running processes) are written out in machine_io.cpp.
#pragma once
#include "winsim/machine.h"

namespace winsim {

// The version of machine.json this program writes; it reads this one and none newer.
constexpr uint32_t kMachineFormat = 1;

template <class V> void Fields(Fault& x, V&& v) {
  v("call", x.call); v("match", x.match); v("firstCall", x.firstCall); v("lastCall", x.lastCall);
  v("untilMs", x.untilMs); v("error", x.error); v("seen", x.seen);
}
template <class V> void Fields(ClockState& x, V&& v) { v("nowMs", x.nowMs); v("tickAtBoot", x.tickAtBoot); }
template <class V> void Fields(OsState& x, V&& v) {
  v("modulePath", x.modulePath); v("systemDir", x.systemDir); v("majorVersion", x.majorVersion);
  v("minorVersion", x.minorVersion); v("buildNumber", x.buildNumber); v("platformId", x.platformId);
  v("manifestDeclaresWindows10", x.manifestDeclaresWindows10); v("tempDir", x.tempDir);
  v("nativeMachine", x.nativeMachine); v("protectedPrint", x.protectedPrint);
}
template <class V> void Fields(Window& x, V&& v) {
  v("handle", x.handle); v("className", x.className); v("title", x.title);
  v("closeDelayMs", x.closeDelayMs); v("closeAtMs", x.closeAtMs); v("open", x.open); v("pid", x.pid);
}
template <class V> void Fields(DialogRecord& x, V&& v) {
  v("templateId", x.templateId); v("owner", x.owner); v("title", x.title); v("itemTexts", x.itemTexts);
  v("result", x.result);
}
template <class V> void Fields(UiState& x, V&& v) {
  v("windows", x.windows); v("shiftDown", x.shiftDown); v("dialogAnswer", x.dialogAnswer);
  v("dialogsFail", x.dialogsFail); v("dialogs", x.dialogs); v("windowStationVisible", x.windowStationVisible);
}
template <class V> void Fields(FileHold& x, V&& v) {
  v("path", x.path); v("owner", x.owner); v("untilMs", x.untilMs); v("deleteError", x.deleteError);
}
template <class V> void Fields(Junction& x, V&& v) { v("path", x.path); v("target", x.target); }
template <class V> void Fields(Ace& x, V&& v) { v("type", x.type); v("flags", x.flags); v("mask", x.mask); v("sid", x.sid); }
template <class V> void Fields(PathSecurity& x, V&& v) {
  v("path", x.path); v("owner", x.owner); v("isProtected", x.isProtected); v("entries", x.entries);
}
template <class V> void Fields(FileSwap& x, V&& v) {
  v("path", x.path); v("when", x.when); v("bytes", x.bytes); v("outcome", x.outcome);
}
template <class V> void Fields(FileState& x, V&& v) {
  v("currentDir", x.currentDir); v("holds", x.holds); v("junctions", x.junctions); v("freeBytes", x.freeBytes);
  v("openLatencyMs", x.openLatencyMs); v("security", x.security); v("swaps", x.swaps);
}
template <class V> void Fields(Printer& x, V&& v) {
  v("connection", x.connection); v("serverName", x.serverName); v("printerName", x.printerName);
  v("shareName", x.shareName); v("portName", x.portName); v("driverName", x.driverName);
  v("comment", x.comment); v("location", x.location); v("sepFile", x.sepFile);
  v("printProcessor", x.printProcessor); v("datatype", x.datatype); v("parameters", x.parameters);
  v("attributes", x.attributes); v("priority", x.priority); v("defaultPriority", x.defaultPriority);
  v("startTime", x.startTime); v("untilTime", x.untilTime); v("status", x.status); v("cJobs", x.cJobs);
  v("averagePPM", x.averagePPM); v("data", x.data);
}
template <class V> void Fields(SpoolerState& x, V&& v) {
  v("driverDirs", x.driverDirs); v("printers", x.printers); v("defaultPrinter", x.defaultPrinter);
  v("arriveAfterSizing", x.arriveAfterSizing); v("remoteChanges", x.remoteChanges);
}
template <class V> void Fields(PortMonitor& x, V&& v) {
  v("name", x.name); v("environment", x.environment); v("dllName", x.dllName); v("ports", x.ports);
}
template <class V> void Fields(MonitorState& x, V&& v) {
  v("monitors", x.monitors); v("portsOfNewMonitor", x.portsOfNewMonitor);
}
template <class V> void Fields(PrinterDriver& x, V&& v) {
  v("environment", x.environment); v("name", x.name); v("version", x.version);
  v("driverPath", x.driverPath); v("dataFile", x.dataFile); v("configFile", x.configFile);
  v("helpFile", x.helpFile); v("dependentFiles", x.dependentFiles); v("monitorName", x.monitorName);
  v("defaultDataType", x.defaultDataType); v("previousNames", x.previousNames);
  v("driverDate", x.driverDate); v("driverVersion", x.driverVersion); v("mfgName", x.mfgName);
  v("oemUrl", x.oemUrl); v("hardwareId", x.hardwareId); v("provider", x.provider);
  v("upgrades", x.upgrades);
}
template <class V> void Fields(MovedDriverFile& x, V&& v) { v("path", x.path); v("spoolerStart", x.spoolerStart); }
template <class V> void Fields(DriverState& x, V&& v) { v("installed", x.installed); v("moved", x.moved); }
template <class V> void Fields(Service& x, V&& v) {
  v("name", x.name); v("state", x.state); v("startDelayMs", x.startDelayMs);
  v("stopDelayMs", x.stopDelayMs); v("pendingSinceMs", x.pendingSinceMs); v("starts", x.starts);
}
template <class V> void Fields(CompanionBehaviour& x, V&& v) {
  v("createsWindow", x.createsWindow); v("quitDelayMs", x.quitDelayMs);
  v("windowCloseDelayMs", x.windowCloseDelayMs); v("releasesMutex", x.releasesMutex);
}
// Mutexes and handles end with the program that saves the machine: running processes take theirs
// back at load.
template <class V> void Fields(Identity& x, V&& v) {
  v("user", x.user); v("sid", x.sid); v("elevated", x.elevated); v("session", x.session);
}
template <class V> void Fields(Process& x, V&& v) {
  v("pid", x.pid); v("image", x.image); v("commandLine", x.commandLine); v("identity", x.identity);
  v("window", x.window); v("exitAtMs", x.exitAtMs); v("namedMutex", x.namedMutex);
  v("mutexAbandoned", x.mutexAbandoned); v("namedIsEvent", x.namedIsEvent); v("namedSddl", x.namedSddl);
  v("namespaceKey", x.namespaceKey); v("waitsForMutex", x.waitsForMutex); v("holdForMs", x.holdForMs);
}
template <class V> void Fields(ProcessState& x, V&& v) {
  v("running", x.processes); v("companion", x.companion); v("nextPid", x.nextPid);  // saved: the running ones
}
// Tokens, boundary descriptors and namespaces belong to the running program.
template <class V> void Fields(SecurityState& x, V&& v) { v("tool", x.tool); v("desktop", x.desktop); }
template <class V> void Fields(RegValue& x, V&& v) { v("name", x.name); }
template <class V> void Fields(RegValueChange& x, V&& v) {
  v("key", x.key); v("value", x.value); v("onQuery", x.onQuery); v("remove", x.remove); v("seen", x.seen);
}
template <class V> void Fields(RegKey& x, V&& v) { v("name", x.name); v("values", x.values); v("keys", x.keys); }
// Open keys belong to the running program and end with it.
template <class V> void Fields(RegistryState& x, V&& v) {
  v("localMachine", x.localMachine); v("currentUser", x.currentUser); v("changes", x.changes);
}
template <class V> void Fields(LoggedEvent& x, V&& v) {
  v("source", x.source); v("type", x.type); v("id", x.id); v("strings", x.strings); v("ms", x.ms);
}
// Open event sources end with the program.
template <class V> void Fields(EventLogState& x, V&& v) { v("events", x.events); }
template <class V> void Fields(Machine& x, V&& v) {
  v("os", x.os); v("clock", x.clock); v("faults", x.faults); v("ui", x.ui); v("spooler", x.spooler);
  v("files", x.files); v("services", x.services.services); v("registry", x.registry);
  v("monitors", x.monitors); v("drivers", x.drivers); v("processes", x.processes);
  v("eventLog", x.eventLog);
  v("security", x.security);
}

}  // namespace winsim
