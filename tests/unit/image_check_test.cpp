#include <gtest/gtest.h>

#include <vector>

#include "support/sim.h"
#include "system/image_check.h"

// On the heap at its exact size, so that the sanitizer sees a read past its end.
static uint64_t End(const std::string& bytes, WORD machine) {
  std::vector<BYTE> exact(bytes.begin(), bytes.end());
  return inst::ImageEnd(exact.data(), exact.size(), machine);
}

// GNU-built DLLs cut or relabelled as a bad copy or a mix-up leaves them.
TEST(ImageCheckTest, WholeOnlyForItsOwnMachine) {
  const std::string x64 = test::Fixture("versioned64.dll"), x86 = test::Fixture("versioned32.dll");
  EXPECT_EQ(End(x64, inst::kMachineX64), x64.size());
  EXPECT_EQ(End(x86, inst::kMachineX86), x86.size());
  EXPECT_EQ(End(x86, inst::kMachineX64) + End(x64, inst::kMachineX86), 0u);
  std::string pe32In64 = x64;  // x64 in the file header, PE32 in the optional header
  pe32In64[uint8_t(x64[0x3C]) + 24] = 0x0B, pe32In64[uint8_t(x64[0x3C]) + 25] = 0x01;
  EXPECT_EQ(End(pe32In64, inst::kMachineX64), 0u);
  std::string arm64 = x64;  // PE32+ as x64's, for Arm64 in the file header
  arm64[uint8_t(x64[0x3C]) + 4] = 0x64, arm64[uint8_t(x64[0x3C]) + 5] = char(0xAA);
  EXPECT_EQ(End(arm64, inst::kMachineX64), 0u);
  EXPECT_EQ(End(x64.substr(0, uint8_t(x64[0x3C]) + 24), inst::kMachineX64), 0u) << "cut before the magic";
  EXPECT_EQ(End(x64.substr(0, 63), inst::kMachineX64), 0u);
  EXPECT_GT(End(x64.substr(0, x64.size() - 1), inst::kMachineX64), x64.size() - 1) << "the last section cut";
}
