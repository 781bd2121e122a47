#include "core/entry.h"

#include "core/install_context.h"
#include "core/install_log.h"
#include "core/log_file.h"
#include "core/module.h"
#include "core/product.h"
#include "core/reinstall.h"
#include "core/setup_lock.h"
#include "core/uninstall.h"
#include "core/wide.h"
#include "printers/tray_companion.h"
#include "probes/status_probes.h"

namespace inst {

HINSTANCE g_module = nullptr;

Command FindCommand(const WCHAR* word) {
  static const struct {
    const WCHAR* word;
    Command command;
  } kFolded[] = {
      {TEXT("onChkDrv"), Command::CheckDriver}, {TEXT("onInit"), Command::Init},
      {TEXT("un"), Command::Uninstall},         {TEXT("uninstall"), Command::Uninstall},
      {TEXT("removetray"), Command::RemoveTray}, {TEXT("in"), Command::Install},
      {TEXT("install"), Command::Install},      {TEXT("serverinstall"), Command::Install},
      {TEXT("in_notray"), Command::Install},
  };
  for (const auto& row : kFolded)
    if (StrEqualNoCase(word, row.word)) return row.command;
  if (StrEqual(word, TEXT("def.set"))) return Command::SetDefault;
  return Command::Unknown;
}

HWND OwnerWindow(const WCHAR* text) {
  HWND window = reinterpret_cast<HWND>(static_cast<INT_PTR>(ParseDecimal(text)));
  return IsWindow(window) ? window : nullptr;
}

// Any program may make a window of that class and title that never closes: after 10 s the run
// goes on, and a help file the viewer still holds is handled as any locked file.
void CloseHelpWindows() {
  const int kPauses = 200;
  const DWORD kPauseMs = 50;
  for (int pause = 0; pause < kPauses; ++pause) {
    HWND help = FindWindowW(TEXT("HH Parent"), TEXT("Lumascribe Help"));
    if (!help) return;
    PostMessageW(help, WM_SYSCOMMAND, SC_CLOSE, 0);
    Sleep(kPauseMs);
  }
}

// A run that could not take the setup lock changes nothing: it says why, and ends.
static int RefuseSecondRun(const SetupLock& lock, LogFile* file, HWND owner) {
  InstallContext context{};
  context.logFile = file;
  LogLine(&context, TEXT("Lumascribe %d"), kBuildNumber);
  SetLastError(lock.error);
  ReportError(&context, 27, TEXT("Another install or uninstall holds the setup lock: nothing was changed."));
  ShowLogWindow(&context, owner);
  DestroyInstallContext(&context);
  return kExitErrors;
}

static int RunCommand(Command command, HWND owner, LogFile* file) {
  switch (command) {
    case Command::CheckDriver:
      return ProbeDriverVersion() ? kExitDriverCurrent : kExitProbesNo;
    case Command::Init:
      if (ProbePendingUpdate()) return kExitUpdatePending;
      return ProbeDefaultPrinter() ? kExitNoProductDefault : kExitProbesNo;
    case Command::Uninstall: {
      CloseHelpWindows();
      UninstallResult result = UninstallCommand(owner, file);
      if (result.errors) return kExitErrors;
      return result.scheduled > 0 ? kExitRestartNeeded : kExitUninstalled;
    }
    case Command::RemoveTray:
      StopTrayCompanion(TrayFile::Delete);
      return kExitNoCommand;
    case Command::Install:
      return InstallCommand(owner, file);
    case Command::SetDefault:
      SetProductPrinterDefault();
      return kExitDefaultSet;
    case Command::Unknown:
      break;
  }
  return kExitNoCommand;
}

int Entry(HINSTANCE module) {
  g_module = module;
  // The tool runs elevated from a folder a user may write to: before anything loads a DLL (the
  // spooler and version DLLs are delay-loaded), only the system directory may supply one. When
  // that cannot be ensured the tool does nothing at all.
  if (!SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32)) return kExitNoCommand;
  int count = 0;
  LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &count);
  if (!argv) return kExitNoCommand;
  int code = kExitNoCommand;
  if (count >= 2) {
    Command command = FindCommand(argv[1]);
    if (command == Command::Install || command == Command::Uninstall) {
      // Before anything else: a second run waits here for the first one to end.
      SetupLock lock;
      TakeSetupLock(&lock);
      HWND owner = count == 3 ? OwnerWindow(argv[2]) : nullptr;
      LogFile file;
      OpenLogFile(&file, argv[1]);
      code = lock.owned ? RunCommand(command, owner, &file) : RefuseSecondRun(lock, &file, owner);
      EndLogFile(&file, code);
    } else {
      code = RunCommand(command, count == 3 ? OwnerWindow(argv[2]) : nullptr, nullptr);
    }
  }
  LocalFree(argv);
  return code;
}

}  // namespace inst
