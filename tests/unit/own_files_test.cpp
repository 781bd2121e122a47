#include <gtest/gtest.h>

#include "support/sim.h"
#include "system/own_files.h"

using namespace inst;

namespace {

void Put(WCHAR* into, const std::u16string& text) {
  for (size_t i = 0; i <= text.size(); ++i) into[i] = text.c_str()[i];
}

// The names other programs queue, read against the product's folders as Windows reports them.
TEST(OwnFilesTest, OnlyTheProductsOwnFilesInItsFoldersAreItsOwn) {
  ProductFolders folders{};
  folders.read = true;
  Put(folders.systemDir, u"C:\\Windows\\system32\\");
  Put(folders.driverDirs[0], u"C:\\Windows\\system32\\spool\\DRIVERS\\x64\\");
  Put(folders.driverDirs[1], u"C:\\Windows\\system32\\spool\\DRIVERS\\W32X86\\");
  const struct {
    std::u16string name;
    bool own;
  } kNames[] = {
      {u"\\??\\C:\\Windows\\system32\\lmsmon64.dll", true},
      {u"\\??\\c:\\WINDOWS\\System32\\LMSMON64.DLL", true},
      {u"\\??\\C:\\Windows\\system32\\spool\\DRIVERS\\x64\\lmsdrv64.dll", true},
      {u"\\??\\C:\\Windows\\system32\\spool\\drivers\\x64\\3\\lmsui64.dll", true},
      {u"\\??\\C:\\Windows\\system32\\spool\\DRIVERS\\x64\\3\\Old\\12\\lmshelp.chm", true},
      {u"\\??\\C:\\Windows\\system32\\spool\\DRIVERS\\W32X86\\3\\old\\1\\lmsdrv32.dll", true},
      {u"C:\\Windows\\system32\\lmsmon64.dll", false},
      {u"\\\\?\\C:\\Windows\\system32\\lmsmon64.dll", false},
      {u"\\SystemRoot\\system32\\lmsmon64.dll", false},
      {u"\\Device\\HarddiskVolume3\\Windows\\system32\\lmsmon64.dll", false},
      {u"\\??\\UNC\\srv\\share\\lmsmon64.dll", false},
      {u"\\??\\C:\\Users\\bob\\AppData\\Local\\Temp\\lmsmon64.dll", false},
      {u"\\??\\C:\\Windows\\system32\\lmsmon32.dll", false},
      {u"\\??\\C:\\Windows\\system32\\tcpmon.dll", false},
      {u"\\??\\C:\\Windows\\system32\\lmsmon64.dll.", false},
      {u"\\??\\C:\\Windows\\system32\\lmsmon64.dll\\x", false},
      {u"\\??\\C:\\Windows\\system32\\\\lmsmon64.dll", false},
      {u"\\??\\C:\\Windows\\system32\\..\\system32\\lmsmon64.dll", false},
      {u"\\??\\C:\\Windows\\system32\\spool\\DRIVERS\\x64\\lmsdrv32.dll", false},
      {u"\\??\\C:\\Windows\\system32\\spool\\DRIVERS\\x64\\3\\Old\\lmsdrv64.dll", false},
      {u"\\??\\C:\\Windows\\system32\\spool\\DRIVERS\\x64\\3\\Old\\1a\\lmsdrv64.dll", false},
      {u"\\??\\C:\\Windows\\system32\\spool\\DRIVERS\\x64\\Old\\1\\lmsdrv64.dll", false},
      {u"\\??\\C:\\Windows\\system32\\spool\\DRIVERS\\x64\\3\\3\\lmsdrv64.dll", false},
      {u"\\??\\C:\\Windows\\system32\\spool\\DRIVERS\\x64\\3\\Old\\1\\settings.db", false},
      {u"\\??\\C:\\Windows\\system32\\spool\\DRIVERS\\x64\\4\\lmsdrv64.dll", false},
      {u"\\??\\", false},
  };
  for (const auto& c : kNames) EXPECT_EQ(IsOwnFile(&folders, c.name.c_str()), c.own) << test::U8(c.name.c_str());
  folders = ProductFolders{};
  folders.read = true;  // none known: nothing is the product's
  EXPECT_FALSE(IsOwnFile(&folders, u"\\??\\lmsmon64.dll"));
  EXPECT_FALSE(IsOwnFile(&folders, u"\\??\\3\\lmsdrv64.dll"));
}

}  // namespace
