#include "spooler/driver_install.h"

#include "core/install_log.h"
#include "core/product.h"
#include "system/file_copy.h"
#include "system/pending_deletes.h"
#include "system/read_only.h"

namespace inst {

namespace {

const WCHAR kMaker[] = TEXT("Veldrin Software Kft.");
const WCHAR kProductUrl[] = TEXT("https://www.veldrin-software.example/lumascribe");
const DWORD kDriverVersion = 3;

void DeleteStagedCopy(InstallContext* context, const WCHAR* path) {
  if (!(MakeWritable(path) && DeleteFileW(path)) && *path) AddPendingDelete(context->pendingDeletes, path);
}

}  // namespace

void AddPrinterDriver(InstallContext* context) {
  LogLine(context, TEXT(">Add Printer Driver"));
  ++context->indent;
  CountedString driverPath = nullptr;
  CountedString configPath = nullptr;
  CountedString helpPath = nullptr;
  const WCHAR* dir = Text(context->driverDir);
  if (CopyFile(context, dir, context->driverFile, &driverPath, true) != S_OK ||
      CopyFile(context, dir, context->uiFile, &configPath, true) != S_OK) {
    FreeString(driverPath);
    FreeString(configPath);
    --context->indent;
    return;
  }
  if (CopyFile(context, dir, context->helpFile, &helpPath, true) != S_OK) FreeString(helpPath);

  DRIVER_INFO_6W info = {};
  info.cVersion = kDriverVersion;
  info.pName = const_cast<WCHAR*>(PRODUCT_DRIVER_NAME);
  info.pEnvironment = const_cast<WCHAR*>(context->environment);
  info.pDriverPath = const_cast<WCHAR*>(Text(driverPath));
  info.pDataFile = const_cast<WCHAR*>(Text(driverPath));
  info.pConfigFile = const_cast<WCHAR*>(Text(configPath));
  info.pHelpFile = const_cast<WCHAR*>(Text(helpPath));
  info.pszMfgName = const_cast<WCHAR*>(kMaker);
  info.pszOEMUrl = const_cast<WCHAR*>(kProductUrl);
  info.pszProvider = const_cast<WCHAR*>(kMaker);
  if (AddPrinterDriverExW(nullptr, 6, reinterpret_cast<LPBYTE>(&info), APD_COPY_ALL_FILES))
    LogLine(context, TEXT("OK :)"));
  else
    ReportError(context, 13, TEXT("Can`t install a printer driver 'Lumascribe Server'"));

  DeleteStagedCopy(context, Text(driverPath));
  DeleteStagedCopy(context, Text(configPath));
  DeleteStagedCopy(context, Text(helpPath));
  FreeString(driverPath);
  FreeString(configPath);
  FreeString(helpPath);
  --context->indent;
}

}  // namespace inst
