// winspool: SetPrinterW, which changes a printer's level-2 settings or controls its queue.
#include "winsim/machine.h"
#include "winsim/windows.h"

using namespace winsim;

namespace {

// Attributes the spooler keeps to itself: where the printer lives, and the Windows 9x default
// flag that NT ignores (the default printer is a per-user setting).
const DWORD kFixedAttributes = PRINTER_ATTRIBUTE_DEFAULT | PRINTER_ATTRIBUTE_NETWORK | PRINTER_ATTRIBUTE_LOCAL;

// Open handles and the default printer follow a renamed printer.
void Rename(Printer& printer, const std::string& name) {
  for (auto& entry : M().spooler.handles.open)
    if (entry.second.connection == printer.connection && EqualNoCase(entry.second.printer, printer.printerName))
      entry.second.printer = name;
  if (EqualNoCase(M().spooler.defaultPrinter, printer.printerName)) M().spooler.defaultPrinter = name;
  M().spooler.printers.Rename(printer, name);
}

}  // namespace

namespace winsim {

bool PortListExists(const std::string& portList) {
  std::vector<std::string> ports = SplitPorts(portList);
  if (ports.empty()) return false;
  for (const std::string& port : ports)
    if (!PortExists(port)) return false;
  return true;
}

DWORD PrinterNameError(const Printer* self, const std::string& name) {
  if (name.empty() || name.find_first_of(",!\\") != std::string::npos) return ERROR_INVALID_PRINTER_NAME;
  const Printer* other = FindPrinter(name);
  if (other && other != self) return ERROR_PRINTER_ALREADY_EXISTS;
  return 0;
}

DWORD ShareNameError(const Printer* self, DWORD attributes, const std::string& shareName) {
  if (!(attributes & PRINTER_ATTRIBUTE_SHARED)) return 0;
  if (shareName.empty() || shareName.find_first_of("\\/,") != std::string::npos) return ERROR_INVALID_SHARENAME;
  auto sharedByOther = [&](const Printer& other) {
    return &other != self && !other.connection && (other.attributes & PRINTER_ATTRIBUTE_SHARED);
  };
  return M().spooler.printers.Find<1>(shareName, sharedByOther) ? DWORD(ERROR_INVALID_SHARENAME) : 0;
}

}  // namespace winsim

BOOL SetPrinterW(HANDLE printer, DWORD level, LPBYTE info, DWORD command) {
  PrinterHandle* open = FindPrinterHandle(printer);
  std::string handleName = open ? open->printer : "?";
  Trace("SetPrinterW", handleName + " " + std::to_string(level) + " " + std::to_string(command));
  if (DWORD error = FaultFor("SetPrinterW", handleName)) return Fail(error, FALSE);
  DWORD error = 0;
  Printer* found = PrinterOf(printer, &error);
  if (!found) return Fail(error, FALSE);
  if (level != 0 && level != 2) return Fail(DWORD(ERROR_INVALID_LEVEL), FALSE);
  if (!(open->access & PRINTER_ACCESS_ADMINISTER)) return Fail(DWORD(ERROR_ACCESS_DENIED), FALSE);
  if (level == 0) {
    if (DWORD refused = ControlPrinter(*found, command, info)) return Fail(refused, FALSE);
    NoteRemoteChange(*found, "SetPrinterW 0 " + std::to_string(command));
    return TRUE;
  }
  if (command != 0) return Fail(DWORD(ERROR_INVALID_PRINTER_COMMAND), FALSE);
  if (!info) return Fail(DWORD(ERROR_INVALID_PARAMETER), FALSE);
  const auto* record = reinterpret_cast<const PRINTER_INFO_2W*>(info);
  std::string name = Utf8(record->pPrinterName);
  if (DWORD refused = PrinterNameError(found, name)) return Fail(refused, FALSE);
  std::string ports = Utf8(record->pPortName);
  if (!PortListExists(ports)) return Fail(DWORD(ERROR_UNKNOWN_PORT), FALSE);
  if (Utf8(record->pDriverName).empty()) return Fail(DWORD(ERROR_UNKNOWN_PRINTER_DRIVER), FALSE);
  if (!EqualNoCase(Utf8(record->pPrintProcessor), "winprint"))
    return Fail(DWORD(ERROR_UNKNOWN_PRINTPROCESSOR), FALSE);
  if (DWORD refused = ShareNameError(found, record->Attributes, Utf8(record->pShareName))) return Fail(refused, FALSE);
  NoteRemoteChange(*found, "SetPrinterW 2");
  if (name != found->printerName) Rename(*found, name);
  M().spooler.printers.Rename<1>(*found, Utf8(record->pShareName));
  found->portName = ports;
  found->driverName = Utf8(record->pDriverName);
  found->comment = Utf8(record->pComment);
  found->location = Utf8(record->pLocation);
  found->sepFile = Utf8(record->pSepFile);
  found->printProcessor = Utf8(record->pPrintProcessor);
  if (record->pDatatype) found->datatype = Utf8(record->pDatatype);
  found->parameters = Utf8(record->pParameters);
  found->attributes = (found->attributes & kFixedAttributes) | (record->Attributes & ~kFixedAttributes);
  found->priority = record->Priority;
  found->defaultPriority = record->DefaultPriority;
  found->startTime = record->StartTime;
  found->untilTime = record->UntilTime;
  return TRUE;
}
