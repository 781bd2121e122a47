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
    keep.printers.push_back(p.printerName);
    if (p.driverName != kProductDriver || p.connection) {
      keep.foreignPrinters.push_back(Describe(p, isDefault));
      continue;
    }
    keep.productPrinters.push_back(Describe(p, isDefault));
    std::string subKey = SettingsKeyIn(p, "PrinterDriverData");
    if (subKey.empty()) subKey = SettingsKeyIn(p, "DsUser");
    if (subKey.empty()) continue;  // deleted and not recreated, as written
    keep.captured.push_back({p.printerName, subKey, p.comment, p.location,
                             p.shareName.empty() ? p.printerName : p.shareName, isDefault});
  }
  std::string data;
  if (winsim::GetRegValue(winsim::kSessionManagerKey, winsim::kPendingRenamesValue, nullptr, &data))
    keep.foreignPending = winsim::MultiSzStrings(data);
  std::vector<std::string> paths = {kSystem + "lmsmon64.dll"};
  for (const winsim::PrinterDriver& d : machine.drivers.installed)
    if (d.name == kProductDriver) paths.insert(paths.end(), {d.driverPath, d.configFile, d.helpFile});
  for (std::string& path : paths)
    if (std::string bytes; winsim::ReadMachineFile(path, &bytes)) keep.installedFiles.push_back(path + "|" + bytes);
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

std::string BadPackageMachine(const std::string& root, int index) {
  static const char* const files[] = {"lmsmon64.dll", "lmsdrv64.dll", "lmsui64.dll", "lmsdrv32.dll", "lmsui32.dll",
                                      "lmshelp.chm"};
  static const char* const defects[] = {"missing", "empty", "cut short", "of the other architecture", "versionless"};
  const std::string dir = "C:\\Program Files\\Lumascribe\\install\\", file = files[index / 5 % 6];
  const int defect = index % 5;
  if (index < 30 && defect > (!file.ends_with(".dll") ? 1 : file.starts_with("lmsui") ? 3 : 4)) return "";
  ConfiguredMachine(root);
  if (index == 32) winsim::M().os.nativeMachine = winsim::NativeMachine::Arm64;
  if (index == 33)
    winsim::SetRegValue(winsim::kProtectedPrintPolicyKey, winsim::kProtectedPrintPolicyValue, REG_DWORD,
                        winsim::RegDwordBytes(1));
  if (index >= 32) return index == 32 ? "an Arm64 processor" : "protected print mode by policy";
  if (index >= 30) {
    // A help file of a real one's size: copied for both environments, its copies outweigh the log.
    winsim::WriteMachineFile(dir + "lmshelp.chm", "ITSF" + std::string(65536, 'h'));
    uint64_t copies = 0;  // the staged and the spooler's copies of both environments' driver files
    for (const char* name : {"lmsdrv64.dll", "lmsui64.dll", "lmsdrv32.dll", "lmsui32.dll", "lmshelp.chm", "lmshelp.chm"})
      copies += 2 * std::filesystem::file_size(winsim::ResolvePath(dir + name).path);
    winsim::Service* spooler = winsim::FindService("Spooler");
    if (index == 30) winsim::M().files.freeBytes = copies - 1;
    if (index == 31) spooler->state = SERVICE_STOPPED, spooler->startDelayMs = -1;
    return index == 30 ? "disk one byte too small" : "spooler cannot start";
  }
  // The monitor's defects matter only to a reinstall that must copy it: over an older one.
  if (index < 5) winsim::WriteVersionedFile(kSystem + file, 1, 0, 0, 2440, "", winsim::ProductExports(file));
  std::string bytes, other = file;
  if (defect == 3) other.replace(other.find_first_of("36"), 2, file.find("64") != std::string::npos ? "32" : "64");
  winsim::ReadMachineFile(dir + other, &bytes);
  if (defect == 4)  // without its resource directory
    bytes.replace(uint8_t(bytes[0x3C]) + 24 + (bytes[uint8_t(bytes[0x3C]) + 25] == 2 ? 112 : 96) + 16, 8, 8, '\0');
  if (defect == 0) std::filesystem::remove(winsim::ResolvePath(dir + file).path);
  if (defect > 0)
    winsim::WriteMachineFile(dir + file, defect == 1 ? "" : defect == 2 ? bytes.substr(0, bytes.size() * 2 / 3) : bytes);
  return file + " " + defects[defect];
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
