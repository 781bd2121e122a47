// winspool: printers coming and going: AddPrinterW, DeletePrinter, and the queue control of
// SetPrinterW level 0 (a purge lets a printer that waits for deletion go once its last handle
// is closed).
#include <algorithm>
#include <cstring>

#include "winsim/machine.h"
#include "winsim/windows.h"

using namespace winsim;

namespace {

// The datatypes the built-in print processor accepts.
const char* const kDatatypes[] = {"RAW", "RAW [FF appended]", "RAW [FF auto]", "NT EMF 1.003", "NT EMF 1.006",
                                  "NT EMF 1.007", "NT EMF 1.008", "TEXT", "XPS2GDI"};

bool KnownDatatype(const std::string& datatype) {
  return std::any_of(std::begin(kDatatypes), std::end(kDatatypes),
                     [&](const char* known) { return EqualNoCase(known, datatype); });
}

// Printers use the drivers of the machine's own environment.
bool DriverInstalled(const std::string& name) {
  std::string own;
  FindDriverEnvironment(nullptr, &own, nullptr);
  auto ownEnvironment = [&](const PrinterDriver& d) { return EqualNoCase(d.environment, own); };
  return M().drivers.installed.Find(name, ownEnvironment) != nullptr;
}

// The checks of the spooler's AddPrinter, in its order; 0 when the record may become a printer.
DWORD RecordError(const PRINTER_INFO_2W& record) {
  if (record.pDatatype && !KnownDatatype(Utf8(record.pDatatype))) return ERROR_INVALID_DATATYPE;
  if (!record.pPrintProcessor || !EqualNoCase(Utf8(record.pPrintProcessor), "winprint"))
    return ERROR_UNKNOWN_PRINTPROCESSOR;
  if (record.pSepFile && *record.pSepFile && !MachineFileExists(Utf8(record.pSepFile)))
    return ERROR_INVALID_SEPARATOR_FILE;
  if (!record.pPortName || !PortListExists(Utf8(record.pPortName))) return ERROR_UNKNOWN_PORT;
  if (!record.pDriverName || !DriverInstalled(Utf8(record.pDriverName))) return ERROR_UNKNOWN_PRINTER_DRIVER;
  if (DWORD error = ShareNameError(nullptr, record.Attributes, Utf8(record.pShareName))) return error;
  return PrinterNameError(nullptr, Utf8(record.pPrinterName));
}

Printer FromRecord(const PRINTER_INFO_2W& record) {
  Printer p;
  p.printerName = Utf8(record.pPrinterName);
  p.shareName = Utf8(record.pShareName);
  p.portName = Utf8(record.pPortName);
  p.driverName = Utf8(record.pDriverName);
  p.comment = Utf8(record.pComment);
  p.location = Utf8(record.pLocation);
  p.sepFile = Utf8(record.pSepFile);
  p.printProcessor = Utf8(record.pPrintProcessor);
  if (record.pDatatype) p.datatype = Utf8(record.pDatatype);
  p.parameters = Utf8(record.pParameters);
  // Where the printer lives is the spooler's to say; the default is a per-user setting.
  const DWORD spoolerOwn = PRINTER_ATTRIBUTE_DEFAULT | PRINTER_ATTRIBUTE_NETWORK;
  p.attributes = (record.Attributes & ~spoolerOwn) | PRINTER_ATTRIBUTE_LOCAL;
  p.priority = record.Priority ? record.Priority : 1;
  p.defaultPriority = record.DefaultPriority;
  p.startTime = record.StartTime;
  p.untilTime = record.UntilTime;
  return p;  // status, jobs and speed are the spooler's: the caller's values are ignored
}

}  // namespace

namespace winsim {

DWORD ControlPrinter(Printer& printer, DWORD command, const BYTE* info) {
  switch (command) {
    case PRINTER_CONTROL_PAUSE:
      printer.status |= PRINTER_STATUS_PAUSED;
      return 0;
    case PRINTER_CONTROL_RESUME:
      printer.status &= ~DWORD(PRINTER_STATUS_PAUSED);
      return 0;
    case PRINTER_CONTROL_PURGE:
      printer.cJobs = 0;  // the purging handle is open, so a printer pending deletion stays for now
      return 0;
    case PRINTER_CONTROL_SET_STATUS:
      if (!info) return ERROR_INVALID_PARAMETER;
      std::memcpy(&printer.status, info, sizeof(DWORD));
      return 0;
    default:
      return ERROR_INVALID_PRINTER_COMMAND;
  }
}

void NoteRemoteChange(const Printer& printer, const std::string& call) {
  if (printer.connection) M().spooler.remoteChanges.push_back(call + " " + printer.printerName);
}

void RemovePrinter(const Printer& printer) {
  for (auto& entry : M().spooler.handles.open)
    if (entry.second.connection == printer.connection && EqualNoCase(entry.second.printer, printer.printerName))
      entry.second.printerDeleted = true;
  if (!printer.connection && EqualNoCase(M().spooler.defaultPrinter, printer.printerName))
    M().spooler.defaultPrinter.clear();
  M().spooler.printers.Remove(printer);
}

void ReleasePrinterIfUnused(const std::string& name, bool connection) {
  Printer* printer = M().spooler.printers.Find(name, [&](const Printer& p) { return p.connection == connection; });
  if (!printer || !(printer->status & PRINTER_STATUS_PENDING_DELETION) || printer->cJobs) return;
  for (const auto& entry : M().spooler.handles.open)
    if (entry.second.connection == connection && !entry.second.printerDeleted &&
        entry.second.spoolerStart == SpoolerStarts() && EqualNoCase(entry.second.printer, name))
      return;
  RemovePrinter(*printer);
}

DWORD LetGoOfPrinterHandle(const PrinterHandle& closed) {
  if (DWORD error = SpoolerUnavailable()) return error;
  if (closed.spoolerStart != SpoolerStarts()) return ERROR_INVALID_HANDLE;
  if (!closed.printer.empty() && !closed.printerDeleted) ReleasePrinterIfUnused(closed.printer, closed.connection);
  return 0;
}

}  // namespace winsim

HANDLE AddPrinterW(LPWSTR name, DWORD level, LPBYTE printer) {
  const auto* record = reinterpret_cast<const PRINTER_INFO_2W*>(printer);
  std::string printerName = record && level == 2 ? Utf8(record->pPrinterName) : std::string();
  Trace("AddPrinterW", printerName + " " + std::to_string(level));
  if (DWORD error = FaultFor("AddPrinterW", printerName)) return Fail(error, HANDLE(nullptr));
  if (DWORD error = SpoolerUnavailable()) return Fail(error, HANDLE(nullptr));
  if (name && *name) return Fail(DWORD(RPC_S_SERVER_UNAVAILABLE), HANDLE(nullptr));  // no other machines
  if (level != 2) return Fail(DWORD(ERROR_INVALID_LEVEL), HANDLE(nullptr));
  if (!record) return Fail(DWORD(ERROR_INVALID_PARAMETER), HANDLE(nullptr));
  if (DWORD error = RecordError(*record)) return Fail(error, HANDLE(nullptr));
  PrinterList& printers = M().spooler.printers;
  // After the last local printer: connections are few, so the search starts from the end.
  auto afterLocals = printers.end();
  while (afterLocals != printers.begin() && std::prev(afterLocals)->connection) --afterLocals;
  printers.insert(afterLocals, FromRecord(*record));
  PrinterHandle open;
  open.printer = printerName;
  open.access = PRINTER_ALL_ACCESS;
  return IssuePrinterHandle(open);
}

BOOL DeletePrinter(HANDLE printer) {
  PrinterHandle* open = FindPrinterHandle(printer);
  std::string handleName = open ? open->printer : "?";
  Trace("DeletePrinter", handleName);
  if (DWORD error = FaultFor("DeletePrinter", handleName)) return Fail(error, FALSE);
  DWORD error = 0;
  Printer* found = PrinterOf(printer, &error);
  if (!found) return Fail(error, FALSE);
  if (!(open->access & DELETE)) return Fail(DWORD(ERROR_ACCESS_DENIED), FALSE);
  // A held printer keeps its jobs; otherwise it goes once they are gone.
  if (found->cJobs && (found->status & PRINTER_STATUS_PAUSED)) return Fail(DWORD(ERROR_ACCESS_DENIED), FALSE);
  NoteRemoteChange(*found, "DeletePrinter");
  if (found->cJobs == 0) {
    RemovePrinter(*found);
    return TRUE;
  }
  found->status |= PRINTER_STATUS_PENDING_DELETION;
  return TRUE;
}
