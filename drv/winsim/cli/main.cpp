// winsim: the simulated machine as a command-line tool. It makes machines, shows them, compares
// two, and changes them as other programs and the person at the machine would, saving each
// change as a run of the tool does.
#include <CLI/CLI.hpp>
#include <cstdio>
#include <filesystem>
#include <functional>

#include "machine_edits.h"
#include "machine_items.h"
#include "winsim/host.h"

namespace {

using winsim::kMachineUnusable;

int Fail(const std::string& problem, int code = 1) {
  std::fprintf(stderr, "winsim: %s\n", problem.c_str());
  return code;
}

// Loads a machine to look at; no lock is needed, as saving replaces machine.json whole.
int LoadToRead(const std::string& dir) {
  std::string problem;
  if (winsim::LoadMachine(dir, &problem)) return 0;
  if (!problem.empty()) return Fail(problem, kMachineUnusable);
  return Fail(dir + ": holds no machine.json (`winsim new` makes one)");
}

// Runs `change` on the machine in `dir` (a fresh default one when it holds none) and saves it.
int Change(const std::string& dir, const std::function<std::string()>& change) {
  if (!winsim::OpenMachineDirectory(dir)) return kMachineUnusable;
  winsim::M().trace.clear();
  if (std::string problem = change(); !problem.empty()) return Fail(problem);
  return winsim::SaveMachineDirectory(dir) ? 0 : kMachineUnusable;
}

struct NewMachine {
  bool installed = false, force = false, noDesktop = false, arm64 = false, protectedPrint = false, asSystem = false;
};

int New(const std::string& dir, const NewMachine& o) {
  namespace fs = std::filesystem;
  std::error_code ec;
  bool taken = fs::exists(fs::path(dir) / "machine.json", ec) || fs::exists(fs::path(dir) / "drive_c", ec);
  if (taken && !o.force) return Fail(dir + ": already holds a machine (--force replaces it)");
  if (!winsim::LockMachineDirectory(dir)) return kMachineUnusable;
  for (const char* part : {"machine.json", "trace.txt", "drive_c"}) fs::remove_all(fs::path(dir) / part, ec);
  if (ec) return Fail(dir + ": cannot be emptied (" + ec.message() + ")");
  winsim::ResetMachine(dir);
  if (o.arm64) winsim::M().os.nativeMachine = winsim::NativeMachine::Arm64;
  if (o.asSystem) {
    // A deployment system's run: nobody has signed in, so no shell runs.
    winsim::M().security.tool = winsim::SystemIdentity();
    winsim::EndAllProcesses();
  }
  if (o.installed)
    if (std::string problem = winsim::InstallProduct(); !problem.empty()) return Fail(problem);
  if (o.protectedPrint) winsim::TurnOnProtectedPrint();
  winsim::M().ui.windowStationVisible = !o.noDesktop;
  return winsim::SaveMachineDirectory(dir) ? 0 : kMachineUnusable;
}

int Show(const std::string& dir, bool json) {
  if (int code = LoadToRead(dir)) return code;
  if (json) {
    std::fputs(winsim::MachineJson().c_str(), stdout);
    return 0;
  }
  std::printf("machine %s at %llu ms of simulated time\n", dir.c_str(),
              static_cast<unsigned long long>(winsim::M().clock.nowMs));
  for (const winsim::MachineItem& item : winsim::DescribeMachine()) std::printf("%s\n", winsim::ItemLine(item).c_str());
  return 0;
}

int Diff(const std::string& before, const std::string& after) {
  if (int code = LoadToRead(before)) return code;
  std::vector<winsim::MachineItem> old = winsim::DescribeMachine();
  if (int code = LoadToRead(after)) return code;
  std::vector<std::string> lines = winsim::DiffItems(old, winsim::DescribeMachine());
  for (const std::string& line : lines) std::printf("%s\n", line.c_str());
  if (lines.empty()) std::printf("no changes\n");
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{"The simulated Windows machine that the Linux `install` runs on: makes, shows, compares and "
               "changes machine directories (machine.json beside drive_c)."};
  app.require_subcommand(1);
  app.fallthrough();
  std::string dir = winsim::MachineDirectory();
  app.add_option("--machine", dir, "The machine directory (default: $WINSIM_MACHINE, else ./machine)");

  NewMachine made;
  bool json = false;
  CLI::App* make = app.add_subcommand("new", "Make a fresh default machine");
  make->add_flag("--installed", made.installed,
                 "Install the product with the tool, with two printers whose settings it kept: \"Office\" "
                 "(the default) and the shared \"Home\"");
  make->add_flag("--force", made.force, "Replace a machine the directory already holds");
  make->add_flag("--no-desktop", made.noDesktop,
                 "A window station nobody sees (a service or a SYSTEM deployment): no window can be answered");
  make->add_flag("--arm64", made.arm64, "Windows on an Arm64 processor, where this x64 program is emulated");
  make->add_flag("--protected-print", made.protectedPrint,
                 "Windows 11 24H2 (build 26100) with protected print mode switched on in Settings, after "
                 "--installed: the printers of third-party drivers and those drivers are removed");
  make->add_flag("--as-system", made.asSystem,
                 "The tool runs as SYSTEM in session 0, as a deployment system runs it; nobody is signed in");

  CLI::App* show = app.add_subcommand("show", "Summarise the machine: services, monitors, drivers, printers, "
                                              "Run values, programs, pending renames, product files, holds, junctions, rights set, faults");
  show->add_flag("--json", json, "Print machine.json as the machine saves it");

  std::string before, after;
  CLI::App* diff = app.add_subcommand("diff", "What changed from one machine to another ('+' added, '-' gone, '~' changed)");
  diff->add_option("DIR_A", before, "The machine before")->required();
  diff->add_option("DIR_B", after, "The machine after")->required();

  CLI::App* reboot = app.add_subcommand("reboot", "Restart Windows: pending renames carried out, Run keys started");

  winsim::PrinterSpec spec;
  std::string removed;
  CLI::App* printer = app.add_subcommand("printer", "Add or remove a printer through the spooler");
  printer->require_subcommand(1);
  CLI::App* add = printer->add_subcommand("add", "Add a local printer (AddPrinterW)");
  add->add_option("NAME", spec.name, "The printer's name")->required();
  add->add_option("--driver", spec.driver, "Its driver")->capture_default_str();
  add->add_option("--port", spec.port, "Its port")->capture_default_str();
  add->add_option("--comment", spec.comment, "Its comment");
  add->add_option("--location", spec.location, "Its location");
  add->add_option("--share", spec.share, "Share it under this name");
  add->add_flag("--default", spec.makeDefault, "Make it the default printer");
  add->add_option("--subkey", spec.subKey, "The product's settings key name for it (\"SubKey\")");
  CLI::App* remove = printer->add_subcommand("remove", "Delete a printer (DeletePrinter)");
  remove->add_option("NAME", removed, "The printer's name")->required();

  std::string path;
  int64_t ms = -1;
  uint32_t deleteError = 5;
  CLI::App* hold = app.add_subcommand("hold", "Have another program keep a file open");
  hold->add_option("PATH", path, "The file's Windows path")->required();
  hold->add_option("--ms", ms, "For this long in simulated time (default: until a restart)");
  hold->add_option("--error", deleteError, "Deleting it fails with 5 (a loaded image) or 32 (an open file)")
      ->check(CLI::IsMember({5, 32}))
      ->capture_default_str();

  winsim::NamedObject object;
  std::string boundary;
  bool denying = false;
  CLI::App* mutex = app.add_subcommand("mutex", "Have another program hold a named mutex (or squat its name)");
  mutex->add_option("NAME", object.name, "The mutex's name, e.g. Global\\LumascribeSetup")->required();
  CLI::Option* mutexMs = mutex->add_option("--ms", ms, "For this long in simulated time (default: until a restart)");
  CLI::Option* abandon = mutex->add_flag("--abandoned", object.abandoned, "Its owner died holding it: the next wait gets it abandoned")
      ->excludes(mutexMs);
  CLI::Option* event = mutex->add_flag("--event", object.event, "An event of that name, made by a standard user")
      ->excludes(abandon);
  mutex->add_flag("--denying", denying, "A standard user's mutex whose DACL lets only that user in")->excludes(event);
  CLI::Option* privateOption =
      mutex->add_option("--private", boundary,
                        "In the private namespace of this boundary name bounded by Administrators, held by "
                        "an elevated administrator (another run of a tool)")
          ->excludes(event);
  mutex->add_flag("--waits", object.waits, "It waits for the mutex's owner, then holds it for --ms")
      ->needs(privateOption)
      ->excludes(abandon);
  std::string junctionTarget;
  CLI::App* junction = app.add_subcommand("junction", "Make a folder a junction (a reparse point) to another folder");
  junction->add_option("PATH", path, "The folder's Windows path: absent or empty")->required();
  junction->add_option("TARGET", junctionTarget, "The folder it leads to")->required();

  std::string owner;
  bool protect = false;
  std::vector<std::string> grants, removals;
  CLI::App* acl = app.add_subcommand("acl", "Change a file's or folder's owner and allow entries, as icacls does");
  acl->add_option("PATH", path, "The file's or folder's Windows path")->required();
  acl->add_option("--owner", owner, "The new owner: an account name (Bob, Everyone, Administrators, ...) or a SID");
  acl->add_flag("--protect", protect, "Stop inheriting from the folder above, keeping a copy of what was inherited");
  acl->add_option("--grant", grants, "Add an allow entry, e.g. \"Everyone:(OI)(CI)M\" (rights F, M, RX, R, W, AD, WD or a number)");
  acl->add_option("--remove", removals, "Remove the account's own entries");

  winsim::Fault fault;
  CLI::App* fail = app.add_subcommand("fault", "Make calls of a Win32 function fail");
  fail->add_option("CALL", fault.call, "The function, e.g. DeleteMonitorW")->required();
  fail->add_option("--error", fault.error, "The error code they fail with")->required();
  fail->add_option("--match", fault.match, "Only calls whose key argument contains this text");
  fail->add_option("--first", fault.firstCall, "From the K-th matching call")->capture_default_str();
  fail->add_option("--last", fault.lastCall, "To the K-th matching call (default: every later one)");

  uint16_t build = 0;
  CLI::App* file = app.add_subcommand("file", "Put files on the machine's disk");
  file->require_subcommand(1);
  CLI::App* put = file->add_subcommand("put", "Write a product file of another build");
  put->add_option("PATH", path, "The file's Windows path")->required();
  put->add_option("--build", build, "The build its version resource gives (1.0.0.N)")->required();
  bool readOnly = false;
  put->add_flag("--readonly", readOnly, "Give it the read-only attribute, as a file copied from a CD has");

  CLI::App* doom = file->add_subcommand("delete-at-restart", "Queue a file's deletion at the next restart "
                                                            "(PendingFileRenameOperations), as a program does");
  doom->add_option("PATH", path, "The file's Windows path")->required();

  std::string state;
  int64_t startDelay = 0, stopDelay = 0;
  CLI::App* service = app.add_subcommand("service", "Set a service's state");
  service->require_subcommand(1);
  CLI::App* spooler = service->add_subcommand("spooler", "The print spooler");
  spooler->add_option("--state", state, "running or stopped")->required()->check(CLI::IsMember({"running", "stopped"}));
  CLI::Option* startOption = spooler->add_option("--start-delay", startDelay, "How long a start takes, ms (-1 never)");
  CLI::Option* stopOption = spooler->add_option("--stop-delay", stopDelay, "How long a stop takes, ms (-1 never)");

  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    return app.exit(e) == 0 ? 0 : 2;
  }

  if (*make) return New(dir, made);
  if (*show) return Show(dir, json);
  if (*diff) return Diff(before, after);
  if (*reboot) return Change(dir, [] { winsim::Reboot(); return std::string(); });
  if (*add) return Change(dir, [&] { return winsim::AddPrinter(spec); });
  if (*remove) return Change(dir, [&] { return winsim::RemovePrinter(removed); });
  if (*hold) return Change(dir, [&] { return winsim::HoldPath(path, ms, deleteError); });
  if (*mutex)
    return Change(dir, [&] {
      if (denying) object.sddl = "D:P(A;;GA;;;" + winsim::BobIdentity().sid + ")";
      if (!boundary.empty()) object.namespaceKey = winsim::NamespaceKey({boundary, {winsim::kAdministratorsSid}});
      winsim::StartObjectHolder(object, ms);
      return std::string();
    });
  if (*acl) return Change(dir, [&] { return winsim::SetAcl(path, owner, protect, grants, removals); });
  if (*junction) return Change(dir, [&] { return winsim::MakeJunction(path, junctionTarget); });
  if (*fail)
    return Change(dir, [&] {
      winsim::M().faults.push_back(fault);
      return std::string();
    });
  if (*doom) return Change(dir, [&] { return winsim::DeleteAtRestart(path); });
  if (*put) return Change(dir, [&] { return winsim::PutProductFile(path, build, readOnly); });
  std::optional<int64_t> start, stop;
  if (startOption->count()) start = startDelay;
  if (stopOption->count()) stop = stopDelay;
  return Change(dir, [&] { return winsim::SetSpooler(state == "running", start, stop); });
}
