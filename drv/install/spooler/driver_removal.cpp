#include "spooler/driver_removal.h"

#include "core/install_log.h"
#include "core/product.h"
#include "system/spooler_service.h"

namespace inst {

namespace {

BOOL RemoveProductDriver(InstallContext* context) {
  return DeletePrinterDriverExW(nullptr, const_cast<WCHAR*>(context->environment),
                                const_cast<WCHAR*>(PRODUCT_DRIVER_NAME), DPD_DELETE_ALL_FILES, 0);
}

void LogDrivers(InstallContext* context, const DriverList& drivers) {
  if (drivers.count == 0) {
    LogLine(context, TEXT("BTW, there is no printer drivers on this system."));
    return;
  }
  LogLine(context, TEXT("------------ %d existing drivers-----------"), drivers.count);
  const auto* records = reinterpret_cast<const DRIVER_INFO_6W*>(drivers.records);
  for (DWORD i = 0; i < drivers.count; ++i) {
    const WCHAR* name = records[i].pName ? records[i].pName : TEXT("***EMPTY***");
    LogLine(context, TEXT("%d. %s"), i + 1, name);
  }
  LogLine(context, TEXT("-------------------------------------------"));
}

}  // namespace

void DeletePrinterDriver(InstallContext* context, const DriverList& drivers) {
  LogLine(context, TEXT(">DeletePrinterDriver for %s"), context->environment);
  ++context->indent;
  LogDrivers(context, drivers);
  int32_t index = FindProductDriver(drivers);
  if (index < 0) {
    LogLine(context, TEXT("No Lumascribe driver was found"));
    --context->indent;
    return;
  }
  LogLine(context, TEXT("Driver is found. Index=%d"), index + 1);
  if (!RemoveProductDriver(context)) {
    LogLine(context, TEXT("Can't delete driver. Trying to restart spooler"));
    {
      SpoolerRestart restart;
      RestartSpooler(&restart, context);
    }
    if (!RemoveProductDriver(context)) {
      ReportError(context, 14, TEXT("Can`t remove the printer-driver 'Lumascribe Server'"));
      --context->indent;
      return;
    }
  }
  LogLine(context, TEXT("OK :)"));
  --context->indent;
}

}  // namespace inst
