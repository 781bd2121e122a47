#include <gtest/gtest.h>

#include "support/sim.h"
#include "system/file_version.h"
#include "winsim/version_files.h"

using namespace inst;

namespace {

class FileVersionTest : public test::SimTest {
 protected:
  int32_t Build(const std::string& path) { return GetFileBuildNumber(test::U16(path).c_str()); }
};

TEST_F(FileVersionTest, BuildIsTheFourthPartOfTheProductVersion) {
  ASSERT_TRUE(winsim::WriteVersionedFile("C:\\t\\a.dll", 3, 1, 7, 2450));
  EXPECT_EQ(Build("C:\\t\\a.dll"), 2450);
  ASSERT_TRUE(winsim::WriteVersionedFile("C:\\t\\b.dll", 0, 0, 1, 65535));
  EXPECT_EQ(Build("C:\\t\\b.dll"), 65535) << "zero-extended, not a negative 16-bit value";
  EXPECT_EQ(Build("C:\\Program Files\\Lumascribe\\install\\lmsdrv32.dll"), 2501);
}

TEST_F(FileVersionTest, NoReadableVersionIsMinusOne) {
  ASSERT_TRUE(winsim::WriteMachineFile("C:\\t\\plain.dll", "no image"));
  EXPECT_EQ(Build("C:\\t\\plain.dll"), -1);
  EXPECT_EQ(Build("C:\\t\\missing.dll"), -1);
  EXPECT_EQ(Build("C:\\Program Files\\Lumascribe\\install\\lmshelp.chm"), -1);

  winsim::Fault f;
  f.call = "GetFileVersionInfoW";
  f.error = ERROR_ACCESS_DENIED;
  winsim::M().faults.push_back(f);
  EXPECT_EQ(Build("C:\\Program Files\\Lumascribe\\install\\lmsdrv64.dll"), -1);
  winsim::M().faults[0].call = "GlobalAlloc";
  EXPECT_EQ(Build("C:\\Program Files\\Lumascribe\\install\\lmsdrv64.dll"), -1);
}

}  // namespace
