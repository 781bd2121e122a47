// winspool: the printers, their handles and the user's default printer.
#include <cstring>
#include <vector>

#include "winsim/machine.h"
#include "winsim/record_strings.h"
#include "winsim/windows.h"

using namespace winsim;

namespace {

// Local printers in their order, then connections in theirs: the order of every enumeration.
std::vector<Printer*> PrintersInOrder(DWORD flags) {
  std::vector<Printer*> list;
  for (int pass = 0; pass < 2; ++pass) {
    bool connections = pass == 1;
    if (!(flags & (connections ? PRINTER_ENUM_CONNECTIONS : PRINTER_ENUM_LOCAL))) continue;
    for (Printer& printer : M().spooler.printers)
      if (printer.connection == connections) list.push_back(&printer);
  }
  return list;
}

// One level-2 record at `at` (null: only counts its strings).
void PackLevel2(const Printer& p, LPBYTE at, StringPacker& strings) {
  PRINTER_INFO_2W record{};
  record.pServerName = p.connection ? strings.Put(Plain(p.serverName)) : nullptr;
  record.pPrinterName = strings.Put(Plain(p.printerName));
  record.pShareName = strings.Put(Plain(p.shareName));
  record.pPortName = strings.Put(Plain(p.portName));
  record.pDriverName = strings.Put(Plain(p.driverName));
  record.pComment = strings.Put(Plain(p.comment));
  record.pLocation = strings.Put(Plain(p.location));
  record.pSepFile = strings.Put(Plain(p.sepFile));
  record.pPrintProcessor = strings.Put(Plain(p.printProcessor));
  record.pDatatype = strings.Put(Plain(p.datatype));
  record.pParameters = strings.Put(Plain(p.parameters));
  record.Attributes = p.attributes;
  record.Priority = p.priority;
  record.DefaultPriority = p.defaultPriority;
  record.StartTime = p.startTime;
  record.UntilTime = p.untilTime;
  record.Status = p.status;
  record.cJobs = p.cJobs;
  record.AveragePPM = p.averagePPM;
  StoreRecord(at, record);
}

DWORD Level2Bytes(const Printer& p) {
  StringPacker counter(nullptr, 0);
  PackLevel2(p, nullptr, counter);
  return sizeof(PRINTER_INFO_2W) + counter.bytes();
}

// Level-2 records from the start of the buffer, their strings packed behind them.
void PackLevel2(const std::vector<Printer*>& printers, LPBYTE buffer, DWORD size) {
  StringPacker strings(buffer, size);
  for (size_t i = 0; i < printers.size(); ++i)
    PackLevel2(*printers[i], buffer + i * sizeof(PRINTER_INFO_2W), strings);
}

// Generic rights mapped as the print server and printer objects map them. The caller is an
// administrator: every right the object has is granted, any other is refused.
bool GrantAccess(bool server, DWORD& access) {
  DWORD all = server ? SERVER_ALL_ACCESS : PRINTER_ALL_ACCESS | PRINTER_ACCESS_MANAGE_LIMITED;
  DWORD read = server ? 0x00020002 : PRINTER_READ;  // SERVER_READ
  DWORD write = server ? 0x00020003 : PRINTER_WRITE;
  if (access & GENERIC_READ) access |= read;
  if (access & GENERIC_WRITE) access |= write;
  if (access & GENERIC_EXECUTE) access |= read;
  if (access & GENERIC_ALL) access |= all;
  access &= ~DWORD(GENERIC_READ | GENERIC_WRITE | GENERIC_EXECUTE | GENERIC_ALL);
  return (access & ~all) == 0;
}

std::string HandleName(HANDLE handle) {
  PrinterHandle* open = FindPrinterHandle(handle);
  return open ? open->printer : "?";
}

}  // namespace

namespace winsim {

Printer* FindPrinter(const std::string& name) {
  PrinterList& printers = M().spooler.printers;
  if (Printer* local = printers.Find(name, [](const Printer& p) { return !p.connection; })) return local;
  return printers.Find(name, [](const Printer& p) { return p.connection; });
}

PrinterHandle* FindPrinterHandle(HANDLE handle) {
  auto found = M().spooler.handles.open.find(reinterpret_cast<uint64_t>(handle));
  return found == M().spooler.handles.open.end() ? nullptr : &found->second;
}

Printer* PrinterOf(HANDLE handle, DWORD* error) {
  PrinterHandle* open = FindPrinterHandle(handle);
  *error = ERROR_INVALID_HANDLE;
  if (!open) return nullptr;
  if ((*error = SpoolerUnavailable())) return nullptr;
  *error = ERROR_INVALID_HANDLE;
  if (open->spoolerStart != SpoolerStarts() || open->printer.empty() || open->printerDeleted) return nullptr;
  bool connection = open->connection;
  Printer* printer = M().spooler.printers.Find(open->printer, [&](const Printer& p) { return p.connection == connection; });
  if (printer) *error = 0;
  return printer;
}

HANDLE IssuePrinterHandle(PrinterHandle open) {
  open.spoolerStart = SpoolerStarts();
  PrinterHandles& handles = M().spooler.handles;
  uint64_t key = handles.next;
  handles.next += 0x10;
  handles.open[key] = open;
  return reinterpret_cast<HANDLE>(key);
}

}  // namespace winsim

BOOL EnumPrintersW(DWORD flags, LPWSTR name, DWORD level, LPBYTE buffer, DWORD size, LPDWORD needed,
                   LPDWORD returned) {
  Trace("EnumPrintersW", std::to_string(flags) + " " + std::to_string(level) + " " + std::to_string(size));
  if (DWORD error = FaultFor("EnumPrintersW", Utf8(name))) return Fail(error, FALSE);
  if (DWORD error = SpoolerUnavailable()) return Fail(error, FALSE);
  if (name && *name) return Fail(DWORD(RPC_S_SERVER_UNAVAILABLE), FALSE);  // no other machines
  if (level != 2) return Fail(DWORD(ERROR_INVALID_LEVEL), FALSE);
  if (!needed || !returned) return Fail(DWORD(RPC_X_NULL_REF_POINTER), FALSE);
  if (!buffer && size) return Fail(DWORD(ERROR_INVALID_USER_BUFFER), FALSE);
  *returned = 0;
  std::vector<Printer*> printers = PrintersInOrder(flags);
  DWORD total = 0;
  for (const Printer* printer : printers) total += Level2Bytes(*printer);
  *needed = total;
  if (size < total) {
    std::vector<Printer>& arriving = M().spooler.arriveAfterSizing;
    if (!arriving.empty()) {
      M().spooler.printers.push_back(arriving.front());
      arriving.erase(arriving.begin());
    }
    return Fail(DWORD(ERROR_INSUFFICIENT_BUFFER), FALSE);
  }
  PackLevel2(printers, buffer, size);
  *returned = DWORD(printers.size());
  SetLastError(ERROR_SUCCESS);
  return TRUE;
}

BOOL OpenPrinterW(LPWSTR printerName, LPHANDLE printer, LPPRINTER_DEFAULTSW defaults) {
  std::string name = Utf8(printerName);
  Trace("OpenPrinterW", name);
  if (DWORD error = FaultFor("OpenPrinterW", name)) return Fail(error, FALSE);
  if (!printer) return Fail(DWORD(ERROR_INVALID_PARAMETER), FALSE);
  if (DWORD error = SpoolerUnavailable()) return Fail(error, FALSE);
  bool server = !printerName;
  DWORD access = defaults ? defaults->DesiredAccess : 0;
  if (!access) access = server ? SERVER_ACCESS_ENUMERATE : PRINTER_ACCESS_USE;
  if (!GrantAccess(server, access)) return Fail(DWORD(ERROR_ACCESS_DENIED), FALSE);
  PrinterHandle open;
  if (!server) {
    const Printer* found = FindPrinter(name);
    if (!found) return Fail(DWORD(ERROR_INVALID_PRINTER_NAME), FALSE);
    open.printer = found->printerName;
    open.connection = found->connection;
  }
  open.access = access;
  *printer = IssuePrinterHandle(open);
  return TRUE;
}

BOOL ClosePrinter(HANDLE printer) {
  Trace("ClosePrinter", HandleName(printer));
  if (DWORD error = FaultFor("ClosePrinter", HandleName(printer))) return Fail(error, FALSE);
  PrinterHandle* open = FindPrinterHandle(printer);
  if (!open) return Fail(DWORD(ERROR_INVALID_HANDLE), FALSE);
  PrinterHandle closed = *open;
  // The client side lets go of the handle even when the spooler cannot hear of it.
  M().spooler.handles.open.erase(reinterpret_cast<uint64_t>(printer));
  if (DWORD error = LetGoOfPrinterHandle(closed)) return Fail(error, FALSE);
  return TRUE;
}

BOOL GetPrinterW(HANDLE printer, DWORD level, LPBYTE buffer, DWORD size, LPDWORD needed) {
  Trace("GetPrinterW", HandleName(printer) + " " + std::to_string(level) + " " + std::to_string(size));
  if (DWORD error = FaultFor("GetPrinterW", HandleName(printer))) return Fail(error, FALSE);
  DWORD error = 0;
  Printer* found = PrinterOf(printer, &error);
  if (!found) return Fail(error, FALSE);
  if (level != 2) return Fail(DWORD(ERROR_INVALID_LEVEL), FALSE);
  if (!needed) return Fail(DWORD(RPC_X_NULL_REF_POINTER), FALSE);
  if (!buffer && size) return Fail(DWORD(ERROR_INVALID_USER_BUFFER), FALSE);
  const DWORD reading = PRINTER_ACCESS_USE | PRINTER_ACCESS_ADMINISTER | PRINTER_ACCESS_MANAGE_LIMITED;
  if (!(FindPrinterHandle(printer)->access & reading)) return Fail(DWORD(ERROR_ACCESS_DENIED), FALSE);
  *needed = Level2Bytes(*found);
  if (size < *needed) return Fail(DWORD(ERROR_INSUFFICIENT_BUFFER), FALSE);
  PackLevel2({found}, buffer, size);
  return TRUE;
}

BOOL GetDefaultPrinterW(LPWSTR buffer, LPDWORD size) {
  Trace("GetDefaultPrinterW", size ? std::to_string(*size) : "null");
  if (DWORD error = FaultFor("GetDefaultPrinterW")) return Fail(error, FALSE);
  if (!size) return Fail(DWORD(ERROR_INVALID_PARAMETER), FALSE);
  if (DWORD error = SpoolerUnavailable()) return Fail(error, FALSE);
  const std::string& name = M().spooler.defaultPrinter;
  if (name.empty()) return Fail(DWORD(ERROR_FILE_NOT_FOUND), FALSE);
  std::u16string wide = Wide(name);
  DWORD chars = DWORD(wide.size() + 1);
  if (!buffer || *size < chars) {
    *size = chars;
    return Fail(DWORD(ERROR_INSUFFICIENT_BUFFER), FALSE);
  }
  std::memcpy(buffer, wide.c_str(), chars * sizeof(WCHAR));
  *size = chars;
  return TRUE;
}

BOOL SetDefaultPrinterW(LPCWSTR printer) {
  std::string name = Utf8(printer);
  Trace("SetDefaultPrinterW", name);
  if (DWORD error = FaultFor("SetDefaultPrinterW", name)) return Fail(error, FALSE);
  if (DWORD error = SpoolerUnavailable()) return Fail(error, FALSE);
  std::string& current = M().spooler.defaultPrinter;
  if (name.empty()) {
    // No name keeps the default, or makes the first printer the default when there is none.
    if (!current.empty()) return TRUE;
    std::vector<Printer*> all = PrintersInOrder(PRINTER_ENUM_LOCAL | PRINTER_ENUM_CONNECTIONS);
    if (all.empty()) return Fail(DWORD(ERROR_INVALID_PRINTER_NAME), FALSE);
    current = all.front()->printerName;
    return TRUE;
  }
  const Printer* found = FindPrinter(name);
  if (!found) return Fail(DWORD(ERROR_INVALID_PRINTER_NAME), FALSE);
  current = found->printerName;
  return TRUE;
}
