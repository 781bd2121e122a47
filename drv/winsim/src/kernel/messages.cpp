// FormatMessageW: the US-English system message table, each text ending in CR LF as on Windows.
#include <cstdlib>
#include <cstring>
#include <map>

#include "winsim/machine.h"
#include "winsim/windows.h"

using namespace winsim;

static const std::map<DWORD, const char*>& SystemTexts() {
  static const std::map<DWORD, const char*> texts = {
      {0, "The operation completed successfully."},
      {2, "The system cannot find the file specified."},
      {3, "The system cannot find the path specified."},
      {5, "Access is denied."},
      {6, "The handle is invalid."},
      {8, "Not enough memory resources are available to process this command."},
      {11, "An attempt was made to load a program with an incorrect format."},
      {13, "The data is invalid."},
      {14, "Not enough storage is available to complete this operation."},
      {23, "Data error (cyclic redundancy check)."},
      {29, "The system cannot write to the specified device."},
      {32, "The process cannot access the file because it is being used by another process."},
      {38, "Reached the end of the file."},
      {39, "The disk is full."},
      {50, "The request is not supported."},
      {80, "The file exists."},
      {87, "The parameter is incorrect."},
      {112, "There is not enough space on the disk."},
      {122, "The data area passed to a system call is too small."},
      {123, "The filename, directory name, or volume label syntax is incorrect."},
      {124, "The system call level is not correct."},
      {126, "The specified module could not be found."},
      {161, "The specified path is invalid."},
      {127, "The specified procedure could not be found."},
      {183, "Cannot create a file when that file already exists."},
      {193, "%1 is not a valid Win32 application."},
      {234, "More data is available."},
      {258, "The wait operation timed out."},
      {259, "No more data is available."},
      {288, "Attempt to release mutex not owned by caller."},
      {487, "Attempt to access invalid address."},
      {1053, "The service did not respond to the start or control request in a timely fashion."},
      {1056, "An instance of the service is already running."},
      {1060, "The specified service does not exist as an installed service."},
      {1061, "The service cannot accept control messages at this time."},
      {1062, "The service has not been started."},
      {1065, "The database specified does not exist."},
      {1117, "The request could not be performed because of an I/O device error."},
      {1131, "A potential deadlock condition has been detected."},
      {1215, "The format of the specified share name is invalid."},
      {1305, "The revision level is unknown."},
      {1400, "Invalid window handle."},
      {1502, "The event log file is full."},
      {1722, "The RPC server is unavailable."},
      {1780, "A null reference pointer was passed to the stub."},
      {1784, "The supplied user buffer is not valid for the requested operation."},
      {1796, "The specified port is unknown."},
      {1797, "The printer driver is unknown."},
      {1798, "The print processor is unknown."},
      {1799, "The specified separator file is invalid."},
      {1801, "The printer name is invalid."},
      {1802, "The printer already exists."},
      {1803, "The printer command is invalid."},
      {1804, "The specified datatype is invalid."},
      {1805, "The environment specified is invalid."},
      {1812, "The specified image file did not contain a resource section."},
      {1813, "The specified resource type cannot be found in the image file."},
      {1814, "The specified resource name cannot be found in the image file."},
      {1815, "The specified resource language ID cannot be found in the image file."},
      {1921, "The name of the file cannot be resolved by the system."},
      {3000, "The specified print monitor is unknown."},
      {3001, "The specified printer driver is currently in use."},
      {3006, "The specified print monitor has already been installed."},
      {3008, "The specified print monitor is currently in use."},
      {0x8007000E, "Not enough memory resources are available to complete this operation."},
      {0x80004002, "No such interface supported"},
      {0x80004003, "Invalid pointer"},
      {0x80040154, "Class not registered"},
      {0x800401F0, "CoInitialize has not been called."},
  };
  return texts;
}

DWORD FormatMessageW(DWORD flags, LPCVOID, DWORD messageId, DWORD languageId, LPWSTR buffer,
                     DWORD size, void*) {
  Trace("FormatMessageW", std::to_string(messageId));
  if (!(flags & FORMAT_MESSAGE_FROM_SYSTEM)) return Fail(ERROR_INVALID_PARAMETER, DWORD(0));
  if (languageId != 0 && languageId != MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US))
    return Fail(DWORD(15100), DWORD(0));  // ERROR_MUI_FILE_NOT_FOUND: only en-US is installed
  auto found = SystemTexts().find(messageId);
  if (found == SystemTexts().end()) return Fail(DWORD(317), DWORD(0));  // ERROR_MR_MID_NOT_FOUND
  std::u16string text = Wide(found->second) + u"\r\n";
  DWORD chars = DWORD(text.size());
  if (flags & FORMAT_MESSAGE_ALLOCATE_BUFFER) {
    auto* block = static_cast<WCHAR*>(std::malloc((chars + 1) * sizeof(WCHAR)));
    std::memcpy(block, text.c_str(), (chars + 1) * sizeof(WCHAR));
    M().heap.localBlocks[block] = (chars + 1) * sizeof(WCHAR);
    *reinterpret_cast<WCHAR**>(buffer) = block;
    return chars;
  }
  if (size <= chars) return Fail(ERROR_INSUFFICIENT_BUFFER, DWORD(0));
  std::memcpy(buffer, text.c_str(), (chars + 1) * sizeof(WCHAR));
  return chars;
}
