#include <gtest/gtest.h>

#include <algorithm>

#include "support/sim.h"
#include "system/image_check.h"

using namespace inst;

namespace {

uint64_t End(const std::string& bytes, WORD machine) {
  return ImageEnd(reinterpret_cast<const BYTE*>(bytes.data()), std::min(bytes.size(), kImageHeadBytes), machine);
}

// GNU-built DLLs, and winsim's product files, cut or relabelled where a copy or a mix-up would.
TEST(ImageCheckTest, WholeOnlyForItsOwnMachine) {
  const std::string x64 = test::Fixture("versioned64.dll"), x86 = test::Fixture("versioned32.dll");
  ASSERT_GT(End(x64, kMachineX64), 0u);
  EXPECT_LE(End(x64, kMachineX64), x64.size());
  EXPECT_LE(End(x86, kMachineX86), x86.size());
  EXPECT_GT(End(x86, kMachineX86), 0u);
  EXPECT_EQ(End(x86, kMachineX64), 0u);
  EXPECT_EQ(End(x64, kMachineX86), 0u);

  std::string pe32In64 = x64;  // the x64 machine field over a PE32 optional header
  size_t optional = uint8_t(pe32In64[0x3C]) + (uint8_t(pe32In64[0x3D]) << 8) + 24;
  pe32In64[optional] = 0x0B;
  pe32In64[optional + 1] = 0x01;
  EXPECT_EQ(End(pe32In64, kMachineX64), 0u);

  EXPECT_EQ(End(x64.substr(0, 63), kMachineX64), 0u) << "shorter than the MS-DOS header";
  // Cut inside the last section: the headers are whole, a section's data lies past the end.
  std::string cut = x64.substr(0, End(x64, kMachineX64) - 1);
  EXPECT_GT(End(cut, kMachineX64), cut.size());
}

}  // namespace
