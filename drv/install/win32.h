// The tool's one platform include: the real Win32 headers on Windows, the simulated machine's
// elsewhere. Windows' A/W macros that would rename the tool's own operations are undone here.
#pragma once

#ifdef _WIN32
#ifndef UNICODE
#define UNICODE
#endif
#ifndef _UNICODE
#define _UNICODE
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#include <winspool.h>
#include <shellapi.h>
#include <sddl.h>
#include <aclapi.h>
#undef CopyFile
#undef AddMonitor
#undef DeleteMonitor
#undef AddPrinter
#undef AddPrinterDriver
#undef DeletePrinterDriver
#undef DeletePrinterDriverEx
#undef EnumMonitors
#undef EnumPrinters
#undef EnumPrinterDrivers
#else
#include <winsim/windows.h>
#endif

static_assert(sizeof(PRINTER_INFO_2W) == 136, "PRINTER_INFO_2W has its x64 layout");
static_assert(sizeof(PRINTER_DEFAULTSW) == 24, "PRINTER_DEFAULTSW has its x64 layout");
static_assert(sizeof(MONITOR_INFO_1W) == 8, "MONITOR_INFO_1W has its x64 layout");
static_assert(sizeof(MONITOR_INFO_2W) == 24, "MONITOR_INFO_2W has its x64 layout");
static_assert(sizeof(SERVICE_STATUS) == 28, "SERVICE_STATUS has its x64 layout");
static_assert(sizeof(VS_FIXEDFILEINFO) == 52, "VS_FIXEDFILEINFO has its Windows layout");
static_assert(sizeof(OSVERSIONINFOA) == 148, "OSVERSIONINFOA has its Windows layout");
static_assert(sizeof(STARTUPINFOW) == 104 && sizeof(PROCESS_INFORMATION) == 24,
              "STARTUPINFOW and PROCESS_INFORMATION have their x64 layouts");
static_assert(sizeof(OSVERSIONINFOW) == 276 && sizeof(SYSTEMTIME) == 16 && sizeof(USEROBJECTFLAGS) == 12,
              "OSVERSIONINFOW, SYSTEMTIME and USEROBJECTFLAGS have their Windows layouts");
static_assert(sizeof(DWORD) == 4 && sizeof(LONG) == 4, "Win32 integer widths");
static_assert(sizeof(WCHAR) == 2, "UTF-16");
static_assert(sizeof(DRIVER_INFO_1W) == 8 && sizeof(DRIVER_INFO_2W) == 48 && sizeof(DRIVER_INFO_3W) == 80 &&
                  sizeof(DRIVER_INFO_4W) == 88 && sizeof(DRIVER_INFO_5W) == 64 && sizeof(DRIVER_INFO_6W) == 136,
              "DRIVER_INFO_1W to DRIVER_INFO_6W have their x64 layouts");
