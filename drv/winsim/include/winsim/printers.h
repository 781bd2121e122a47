// The spooler's printers: each one's level-2 facts, and the printer handles a program holds.
#pragma once
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "winsim/named_list.h"
#include "winsim/registry_state.h"
#include "winsim/win_types.h"

namespace winsim {

// A local printer, or a connection to a printer shared by another machine (then serverName is
// "\\host" and printerName "\\host\share").
struct Printer {
  bool connection = false;
  std::string serverName;
  std::string printerName;
  std::string shareName;
  std::string portName;
  std::string driverName;
  std::string comment;
  std::string location;
  std::string sepFile;
  std::string printProcessor = "winprint";
  std::string datatype = "RAW";
  std::string parameters;
  DWORD attributes = 0x40;  // PRINTER_ATTRIBUTE_LOCAL
  DWORD priority = 1;
  DWORD defaultPriority = 0;
  DWORD startTime = 0;
  DWORD untilTime = 0;
  DWORD status = 0;  // PRINTER_STATUS_PENDING_DELETION while DeletePrinter waits for its jobs
  DWORD cJobs = 0;   // queued jobs; they never finish printing on their own here
  DWORD averagePPM = 0;
  // Printer data by key ("PrinterDriverData", "DsUser", ...); strings are stored wide.
  std::vector<RegKey> data;
};

// The spooler's printers by name and by share name, in the order it enumerates them.
using PrinterList = NamedList<Printer, &Printer::printerName, &Printer::shareName>;

struct PrinterHandle {
  std::string printer;  // empty for the local print server
  bool connection = false;
  DWORD access = 0;
  uint32_t spoolerStart = 0;  // the spooler process that issued it (Service::starts)
  bool printerDeleted = false;  // only ClosePrinter still works on it
};

struct PrinterHandles {
  std::map<uint64_t, PrinterHandle> open;  // in this run; not saved
  uint64_t next = 0x7A0010;
};

// The printer named `name` (case-insensitive; local printers before connections), or null.
Printer* FindPrinter(const std::string& name);
PrinterHandle* FindPrinterHandle(HANDLE handle);
// The printer behind an open printer handle, or null with the error Windows gives for the
// handle: invalid, spooler not running, issued by a spooler process that has since stopped,
// printer deleted, or a handle of the print server.
Printer* PrinterOf(HANDLE handle, DWORD* error);
// A new handle of the running spooler process.
HANDLE IssuePrinterHandle(PrinterHandle open);

// Every port of a printer's port list is one that a monitor provides.
bool PortListExists(const std::string& portList);
// Why `name` cannot be the name of `self` (null: of a new printer), or 0.
DWORD PrinterNameError(const Printer* self, const std::string& name);
// Why a printer with these attributes cannot have this share name, or 0: a shared printer
// needs a share name no other printer has.
DWORD ShareNameError(const Printer* self, DWORD attributes, const std::string& shareName);
// SetPrinterW level 0 on an open printer: pause, resume, purge its jobs, set its status.
DWORD ControlPrinter(Printer& printer, DWORD command, const BYTE* info);
// A change made through a connection: the server's printer takes it (a connection's handle is
// the server's handle, learn.microsoft.com "OpenPrinter": the name may be a remote printer,
// "\\server\printer"); the machine records `call` on its name.
void NoteRemoteChange(const Printer& printer, const std::string& call);
// The printer leaves the spooler; its handles fail from now on, except ClosePrinter.
void RemovePrinter(const Printer& printer);
// A printer pending deletion whose jobs are gone leaves when no handle refers to it any more:
// the spooler keeps a printer while a handle to it is open (localspl's reference count).
void ReleasePrinterIfUnused(const std::string& name, bool connection);
// The spooler hears of a handle its program closed, or ran down when the program ended: 0, or the
// error ClosePrinter gives (the spooler away, or a handle of an earlier spooler process).
DWORD LetGoOfPrinterHandle(const PrinterHandle& closed);

}  // namespace winsim
