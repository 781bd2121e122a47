// Stand-in printer configuration DLL: answers the document-settings questions of the spooler and
// of applications with a plain default DEVMODE, and shows no property sheets.
#include <windows.h>
#include <compstui.h>

namespace {

// The driver interface's header for DrvDocumentPropertySheets without a property-sheet call.
struct DOCUMENTPROPERTYHEADER {
  WORD cbSize;
  WORD Reserved;
  HANDLE hPrinter;
  LPWSTR pszPrinterName;
  PDEVMODEW pdmIn;
  PDEVMODEW pdmOut;
  DWORD cbOut;
  DWORD fMode;
};

const WCHAR kPrintersKey[] = L"System\\CurrentControlSet\\Control\\Print\\Printers\\";
const WCHAR kDefaultDatatype[] = L"RAW";

// Windows gives a printer added without a datatype its print processor's default. Wine writes
// no "Datatype" value then, and cannot open the printer it just added; as Wine asks the
// configuration DLL for the document defaults in between, the default datatype is filled in here.
void FillMissingDatatype(const WCHAR* printer) {
  if (!printer || !*printer) return;
  WCHAR path[MAX_PATH + 64];
  if (lstrlenW(kPrintersKey) + lstrlenW(printer) >= static_cast<int>(ARRAYSIZE(path))) return;
  lstrcpyW(path, kPrintersKey);
  lstrcatW(path, printer);
  HKEY key;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, path, 0, KEY_QUERY_VALUE | KEY_SET_VALUE, &key) != ERROR_SUCCESS)
    return;
  if (RegQueryValueExW(key, L"Datatype", nullptr, nullptr, nullptr, nullptr) == ERROR_FILE_NOT_FOUND)
    RegSetValueExW(key, L"Datatype", 0, REG_SZ, reinterpret_cast<const BYTE*>(kDefaultDatatype),
                   sizeof(kDefaultDatatype));
  RegCloseKey(key);
}

void FillDefaults(DEVMODEW* mode, const WCHAR* printer) {
  ZeroMemory(mode, sizeof(DEVMODEW));
  lstrcpynW(mode->dmDeviceName, printer ? printer : L"", CCHDEVICENAME);
  mode->dmSpecVersion = DM_SPECVERSION;
  mode->dmSize = sizeof(DEVMODEW);
  mode->dmFields = DM_ORIENTATION | DM_PAPERSIZE | DM_COPIES | DM_PRINTQUALITY;
  mode->dmOrientation = DMORIENT_PORTRAIT;
  mode->dmPaperSize = DMPAPER_A4;
  mode->dmCopies = 1;
  mode->dmPrintQuality = 600;
}

}  // namespace

extern "C" __declspec(dllexport) LONG WINAPI DrvDocumentPropertySheets(PPROPSHEETUI_INFO sheet, LPARAM param) {
  if (sheet) return 1;  // no property sheets to add
  auto* header = reinterpret_cast<DOCUMENTPROPERTYHEADER*>(param);
  if (!header) return -1;
  FillMissingDatatype(header->pszPrinterName);
  if (header->fMode == 0 || !header->pdmOut) return sizeof(DEVMODEW);
  if (!(header->fMode & DM_OUT_BUFFER)) return 1;
  if (header->cbOut < sizeof(DEVMODEW)) return -1;
  // A caller's own settings of this driver's size come back as given.
  if ((header->fMode & DM_IN_BUFFER) && header->pdmIn && header->pdmIn->dmSize == sizeof(DEVMODEW) &&
      header->pdmIn->dmDriverExtra == 0)
    CopyMemory(header->pdmOut, header->pdmIn, sizeof(DEVMODEW));
  else
    FillDefaults(header->pdmOut, header->pszPrinterName);
  return 1;
}
