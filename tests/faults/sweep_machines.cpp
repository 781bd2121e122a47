#include "sweep_machines.h"

#include <filesystem>

#include "support/product_printers.h"
#include "support/tool_start.h"
#include "winsim/version_files.h"
#include "winsim/windows.h"

namespace sweep {

namespace {

const char kProductDriver[] = "Lumascribe Server";
const std::string kSystem = "C:\\Windows\\system32\\";

// A printer data string as the tool reads a settings key: REG_SZ and at most 63 characters.
std::string SettingsKeyIn(const winsim::Printer& printer, const std::string& key) {
  for (const winsim::RegKey& k : printer.data) {
    if (!winsim::EqualNoCase(k.name, key)) continue;
    for (const winsim::RegValue& v : k.values) {
      if (!winsim::EqualNoCase(v.name, "SubKey") || v.type != REG_SZ) continue;
      std::u16string wide;
      for (size_t i = 0; i + 1 < v.data.size(); i += 2)
        wide += char16_t(uint8_t(v.data[i]) | uint8_t(v.data[i + 1]) << 8);
      std::string text = winsim::AnsiFromWide(wide.substr(0, wide.find(u'\0')));
      return text.size() <= 63 ? text : "";
    }
  }
  return "";
}

std::string Describe(const winsim::Printer& p, bool isDefault) {
  std::string text = p.printerName + "|" + p.shareName + "|" + p.portName + "|" + p.driverName + "|" + p.comment +
                     "|" + p.location + "|" + std::to_string(p.attributes) + "|" + (isDefault ? "default" : "");
  for (const winsim::RegKey& k : p.data)
    for (const winsim::RegValue& v : k.values) text += "|" + k.name + "\\" + v.name + "=" + v.data;
  return text;
}

void NewRoot(const std::string& root) {
  std::filesystem::remove_all(root);
  std::filesystem::create_directories(root);
  winsim::ResetMachine(root);
}

winsim::Printer& ConfiguredPrinter(const std::string& name, const std::string& dataKey, const std::string& subKey,
                                   const std::string& comment, const std::string& location) {
  winsim::Printer& p = test::AddProductPrinter(name, "");
  if (!subKey.empty()) test::SetPrinterString(p, dataKey, "SubKey", subKey);
  p.comment = comment;
  p.location = location;
  return p;
}

void DropPrinter(const std::string& name) {
  winsim::M().spooler.printers.RemoveNamed(name);
}

std::string RandomText(std::mt19937& random, size_t maxLength) {
  static const char kChars[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789 -_.";
  size_t length = 1 + random() % maxLength;
  std::string text;
  for (size_t i = 0; i < length; ++i) text += kChars[random() % (sizeof(kChars) - 1)];
  return text;
}

}  // namespace

Keep KeepOf(const winsim::Machine& machine) {
  Keep keep;
  for (const winsim::Printer& p : machine.spooler.printers) {
    bool isDefault = winsim::EqualNoCase(p.printerName, machine.spooler.defaultPrinter);
    if (p.driverName != kProductDriver || p.connection) {
      keep.foreignPrinters.push_back(Describe(p, isDefault));
      continue;
    }
    std::string subKey = SettingsKeyIn(p, "PrinterDriverData");
    if (subKey.empty()) subKey = SettingsKeyIn(p, "DsUser");
    if (subKey.empty()) continue;  // deleted and not recreated, as written
    keep.captured.push_back({p.printerName, subKey, p.comment, p.location,
                             p.shareName.empty() ? p.printerName : p.shareName, isDefault,
                             (p.attributes & PRINTER_ATTRIBUTE_SHARED) != 0});
  }
  std::string data;
  if (winsim::GetRegValue(winsim::kSessionManagerKey, winsim::kPendingRenamesValue, nullptr, &data))
    keep.foreignPending = winsim::MultiSzStrings(data);
  std::vector<std::string> paths;
  for (const winsim::PortMonitor& monitor : machine.monitors.monitors)
    if (monitor.name == "LumascribeServer:") paths.push_back(kSystem + monitor.dllName);
  for (const winsim::PrinterDriver& d : machine.drivers.installed)
    if (d.name == kProductDriver) paths.insert(paths.end(), {d.driverPath, d.configFile, d.helpFile});
  for (const std::string& path : paths) {
    std::string bytes = "(none)";
    winsim::ReadMachineFile(path, &bytes);
    keep.installedFiles.push_back(path + "|" + bytes);
  }
  return keep;
}

void FreshMachine(const std::string& root) { NewRoot(root); }

void InstalledMachine(const std::string& root) {
  NewRoot(root);
  test::RunTool("install");
  winsim::M().trace.clear();
  winsim::M().ui.dialogs.clear();
}

void ConfiguredMachine(const std::string& root) {
  InstalledMachine(root);
  DropPrinter("lumServer");
  winsim::Printer& desk =
      ConfiguredPrinter("Lumascribe Front Desk", "PrinterDriverData", "front-desk", "Reception", "Ground floor");
  desk.shareName = "FrontDesk";
  desk.attributes |= PRINTER_ATTRIBUTE_SHARED;
  ConfiguredPrinter("Lumascribe Archive", "DsUser", "archive", "Scans to archive", "Basement");
  winsim::M().spooler.defaultPrinter = "Lumascribe Front Desk";
  winsim::Printer office;
  office.printerName = "Office Laser";
  office.portName = "LPT1:";
  office.driverName = "Microsoft Print To PDF";
  office.comment = "Second floor";
  winsim::M().spooler.printers.push_back(office);
  // Another program's queue: a rename, a directory, a file already gone and one held open.
  winsim::WriteMachineFile(kSystem + "scanner.dat", "x");
  winsim::HoldFile(kSystem + "scanner.dat", "virus scanner");
  std::filesystem::create_directories(winsim::ResolvePath(kSystem + "oldcache").path);
  winsim::SetRegValue(winsim::kSessionManagerKey, winsim::kPendingRenamesValue, REG_MULTI_SZ,
                      winsim::RegMultiSzBytes({"\\??\\C:\\Windows\\a.new", "!\\??\\C:\\Windows\\a.dll",
                                               "\\??\\" + kSystem + "oldcache", "", "\\??\\C:\\Windows\\gone.dll",
                                               "", "\\??\\" + kSystem + "scanner.dat", ""}));
}

namespace {

enum class Defect { Missing, Empty, CutShort, OtherArchitecture, NoVersion, OlderMonitor, SmallDisk, NoSpooler };
struct BadCase {
  Defect defect;
  std::string file;  // in the package; empty for the machine's own defects
};

const char* const kDefectNames[] = {"missing", "empty", "cut short", "of the other architecture",
                                    "without version", "an older monitor installed, package's", "disk too small",
                                    "spooler cannot start"};
const std::string kPackage = "C:\\Program Files\\Lumascribe\\install\\";

std::vector<BadCase> BadCases() {
  std::vector<BadCase> cases;
  for (std::string file : {"lmsmon64.dll", "lmsdrv64.dll", "lmsui64.dll", "lmsdrv32.dll", "lmsui32.dll", "lmshelp.chm"}) {
    bool dll = file.ends_with(".dll"), build = file.starts_with("lmsmon") || file.starts_with("lmsdrv");
    for (Defect d : {Defect::Missing, Defect::Empty, Defect::CutShort, Defect::OtherArchitecture, Defect::NoVersion})
      if (dll || d == Defect::Missing || d == Defect::Empty)
        if (build || d != Defect::NoVersion) cases.push_back({d, file});
  }
  cases.push_back({Defect::OlderMonitor, ""});
  cases.push_back({Defect::OlderMonitor, "lmsmon64.dll"});
  cases.push_back({Defect::SmallDisk, ""});
  cases.push_back({Defect::NoSpooler, ""});
  return cases;
}

// The image without its resource directory: no version resource to find.
std::string WithoutResources(std::string image) {
  auto u32 = [&image](size_t at) { return uint32_t(uint8_t(image[at])) | uint32_t(uint8_t(image[at + 1])) << 8 |
                                          uint32_t(uint8_t(image[at + 2])) << 16 | uint32_t(uint8_t(image[at + 3])) << 24; };
  size_t optional = u32(0x3C) + 24;
  size_t directories = optional + (uint8_t(image[optional + 1]) == 2 ? 112 : 96);
  image.replace(directories + 16, 8, 8, '\0');
  return image;
}

}  // namespace

int BadPackageCount() { return int(BadCases().size()); }

std::string BadPackageMachine(const std::string& root, int index) {
  ConfiguredMachine(root);
  const BadCase c = BadCases().at(size_t(index));
  winsim::Machine& m = winsim::M();
  const std::string path = kPackage + c.file;
  std::string bytes;
  winsim::ReadMachineFile(path, &bytes);
  switch (c.defect) {
    case Defect::Missing: std::filesystem::remove(winsim::ResolvePath(path).path); break;
    case Defect::Empty: winsim::WriteMachineFile(path, ""); break;
    case Defect::CutShort: winsim::WriteMachineFile(path, bytes.substr(0, bytes.size() * 2 / 3)); break;
    case Defect::OtherArchitecture: {
      std::string other = c.file.find("64.") != std::string::npos ? "64." : "32.";
      std::string name = c.file;
      name.replace(name.find(other), 3, other == "64." ? "32." : "64.");
      winsim::ReadMachineFile(kPackage + name, &bytes);
      winsim::WriteMachineFile(path, bytes);
      break;
    }
    case Defect::NoVersion: winsim::WriteMachineFile(path, WithoutResources(bytes)); break;
    case Defect::OlderMonitor:
      // Missing when no file is named, else empty.
      winsim::WriteVersionedFile(kSystem + "lmsmon64.dll", 1, 0, 0, 2440, "", winsim::ProductExports("lmsmon64.dll"));
      if (c.file.empty())
        std::filesystem::remove(winsim::ResolvePath(kPackage + "lmsmon64.dll").path);
      else
        winsim::WriteMachineFile(path, "");
      break;
    case Defect::SmallDisk: {
      // One byte less than the staged and the spooler's copies of both environments' driver files.
      uint64_t needed = 0;
      for (const char* name : {"lmsdrv64.dll", "lmsui64.dll", "lmsdrv32.dll", "lmsui32.dll", "lmshelp.chm", "lmshelp.chm"})
        needed += 2 * std::filesystem::file_size(winsim::ResolvePath(kPackage + name).path);
      m.files.freeBytes = needed - 1;
      break;
    }
    case Defect::NoSpooler: {
      winsim::Service* spooler = winsim::FindService("Spooler");
      spooler->state = SERVICE_STOPPED;
      spooler->startDelayMs = -1;
      break;
    }
  }
  return c.file + (c.file.empty() ? "" : " ") + kDefectNames[int(c.defect)];
}

void UpgradeMachine(const std::string& root, std::mt19937& random) {
  InstalledMachine(root);
  winsim::Machine& m = winsim::M();
  if (random() % 2) DropPrinter("lumServer");
  auto build = [&] { return WORD(2440 + random() % 71); };
  winsim::WriteVersionedFile(kSystem + "lmsmon64.dll", 1, 0, 0, build(), "", winsim::ProductExports("lmsmon64.dll"));
  for (const winsim::PrinterDriver& driver : m.drivers.installed)
    if (driver.name == kProductDriver && driver.environment == "Windows x64")
      winsim::WriteVersionedFile(driver.driverPath, 1, 0, 0, build());
  std::vector<std::string> names;
  int products = int(random() % 5), foreign = int(random() % 4);
  for (int i = 0; i < products + foreign; ++i) {
    bool product = i < products;
    std::string name = (product ? "Lumascribe " : "Office ") + std::to_string(i) + " " + RandomText(random, 30);
    winsim::Printer& p = product ? test::AddProductPrinter(name, "") : (m.spooler.printers.push_back({}),
                                                                         m.spooler.printers.back());
    if (!product) {
      p.printerName = name;
      p.portName = random() % 2 ? "LPT1:" : "FILE:";
      p.driverName = "Microsoft Print To PDF";
    }
    switch (random() % 5) {
      case 0: break;  // no settings key
      case 1: test::SetPrinterString(p, "PrinterDriverData", "SubKey", RandomText(random, 63)); break;
      case 2: test::SetPrinterString(p, "DsUser", "SubKey", RandomText(random, 63)); break;
      case 3: test::SetPrinterString(p, "PrinterDriverData", "SubKey", std::string(64, 'k')); break;
      default:
        p.data.push_back({"PrinterDriverData", {{"SubKey", REG_DWORD, winsim::RegDwordBytes(7)}}, {}});
        test::SetPrinterString(p, "DsUser", "SubKey", RandomText(random, 20));
    }
    if (random() % 2) p.comment = RandomText(random, 60);
    if (random() % 2) p.location = RandomText(random, 40);
    if (random() % 2) {
      p.attributes |= PRINTER_ATTRIBUTE_SHARED;
      p.shareName = "share" + std::to_string(i);
    }
    names.push_back(name);
  }
  if (!names.empty() && random() % 3) m.spooler.defaultPrinter = names[random() % names.size()];
  // A scanner holds product files for a while.
  if (random() % 2) winsim::HoldFile(kSystem + "lmsmon64.dll", "virus scanner", m.clock.nowMs + random() % 15000);
  if (random() % 2)
    winsim::HoldFile("C:\\Program Files\\Lumascribe\\install\\lmsdrv64.dll", "virus scanner", m.clock.nowMs + random() % 15000);
}

}  // namespace sweep
