#include <gtest/gtest.h>

#include "support/sim.h"
#include "system/own_files.h"

namespace {

// The names other programs queue, read against the product's folders as Windows reports them.
TEST(OwnFilesTest, OnlyTheProductsOwnFilesInItsFoldersAreItsOwn) {
  const std::u16string sys = u"C:\\Windows\\system32\\", nt = u"\\??\\" + sys, x64 = nt + u"spool\\DRIVERS\\x64\\";
  inst::ProductFolders folders{true, {}, {}};
  std::u16string dirs[] = {sys, sys + u"spool\\DRIVERS\\x64\\", sys + u"spool\\DRIVERS\\W32X86\\"};
  for (int i = 0; i < 3; ++i) dirs[i].copy(i ? folders.driverDirs[i - 1] : folders.systemDir, dirs[i].size());
  const std::pair<std::u16string, bool> kNames[] = {
      {nt + u"lmsmon64.dll", true}, {u"\\??\\c:\\WINDOWS\\System32\\LMSMON64.DLL", true},
      {x64 + u"lmsdrv64.dll", true}, {x64 + u"3\\lmsui64.dll", true}, {x64 + u"3\\Old\\12\\lmshelp.chm", true},
      {nt + u"spool\\drivers\\W32X86\\3\\old\\1\\lmsdrv32.dll", true},
      {sys + u"lmsmon64.dll", false}, {u"\\\\?\\" + sys + u"lmsmon64.dll", false},
      {u"\\SystemRoot\\system32\\lmsmon64.dll", false}, {u"\\Device\\HarddiskVolume3\\Windows\\system32\\lmsmon64.dll", false},
      {u"\\??\\UNC\\srv\\share\\lmsmon64.dll", false}, {u"\\??\\C:\\Users\\bob\\Temp\\lmsmon64.dll", false},
      {nt + u"lmsmon32.dll", false}, {nt + u"tcpmon.dll", false}, {nt + u"lmsmon64.dll.", false},
      {nt + u"lmsmon64.dll\\x", false}, {nt + u"\\lmsmon64.dll", false}, {nt + u"..\\system32\\lmsmon64.dll", false},
      {x64 + u"lmsdrv32.dll", false}, {x64 + u"3\\Old\\lmsdrv64.dll", false}, {x64 + u"3\\Old\\1a\\lmsdrv64.dll", false},
      {x64 + u"Old\\1\\lmsdrv64.dll", false}, {x64 + u"3\\3\\lmsdrv64.dll", false}, {x64 + u"4\\lmsdrv64.dll", false},
      {x64 + u"3\\Old\\1\\settings.db", false}, {u"\\??\\", false},
  };
  for (const auto& [name, own] : kNames) EXPECT_EQ(inst::IsOwnFile(&folders, name.c_str()), own) << test::U8(name.c_str());
  folders = inst::ProductFolders{true, {}, {}};  // none known: nothing is the product's
  EXPECT_FALSE(inst::IsOwnFile(&folders, u"\\??\\lmsmon64.dll"));
}

}  // namespace
