#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

#include "support/sim.h"
#include "winsim/version_files.h"
#include "winsim/windows.h"

using namespace winsim;
using test::Fixture;

namespace {

class WinsimVersionTest : public test::SimTest {
 protected:
  // The file's version block as GetFileVersionInfoW delivers it, or empty with the last error.
  std::vector<BYTE> Block(const std::string& path) {
    std::u16string name = Wide(path);
    DWORD handle = 7;
    DWORD size = GetFileVersionInfoSizeW(name.c_str(), &handle);
    EXPECT_EQ(handle, 0u);
    if (size == 0) return {};
    std::vector<BYTE> block(size);
    EXPECT_TRUE(GetFileVersionInfoW(name.c_str(), 0, size, block.data()));
    return block;
  }
  const VS_FIXEDFILEINFO* Fixed(const std::vector<BYTE>& block) {
    void* value = nullptr;
    UINT length = 0;
    EXPECT_TRUE(VerQueryValueW(block.data(), u"\\", &value, &length));
    EXPECT_EQ(length, sizeof(VS_FIXEDFILEINFO));
    return static_cast<const VS_FIXEDFILEINFO*>(value);
  }
  std::string Text(const std::vector<BYTE>& block, const char16_t* query) {
    void* value = nullptr;
    UINT length = 0;
    if (!VerQueryValueW(block.data(), query, &value, &length)) return "<none>";
    return Utf8(std::u16string(static_cast<const char16_t*>(value), length ? length - 1 : 0));
  }
};

TEST_F(WinsimVersionTest, ReadsTheVersionResourceOfRealDlls) {
  for (const char* name : {"versioned64.dll", "versioned32.dll"}) {
    SCOPED_TRACE(name);
    ASSERT_TRUE(WriteMachineFile("C:\\fixtures\\v.dll", Fixture(name)));
    std::vector<BYTE> block = Block("C:\\fixtures\\v.dll");
    ASSERT_FALSE(block.empty());
    const VS_FIXEDFILEINFO* info = Fixed(block);
    ASSERT_NE(info, nullptr);
    EXPECT_EQ(info->dwSignature, DWORD(VS_FFI_SIGNATURE));
    EXPECT_EQ(info->dwProductVersionMS, DWORD(3 << 16 | 1));
    EXPECT_EQ(info->dwProductVersionLS, DWORD(7 << 16 | 2450));
    EXPECT_EQ(info->dwFileVersionMS, DWORD(9 << 16 | 8));
    EXPECT_EQ(info->dwFileVersionLS, DWORD(7 << 16 | 6));
    EXPECT_EQ(info->dwFileType, DWORD(VFT_DLL));
    EXPECT_EQ(Text(block, u"\\StringFileInfo\\040904B0\\ProductVersion"), "3.1.7.2450");
    EXPECT_EQ(Text(block, u"\\stringfileinfo\\040904b0\\FileDescription"), "Version fixture");
    EXPECT_EQ(Text(block, u"\\StringFileInfo\\040904b0\\Missing"), "<none>");
    void* translation = nullptr;
    UINT length = 0;
    EXPECT_TRUE(VerQueryValueW(block.data(), u"\\VarFileInfo\\Translation", &translation, &length));
    ASSERT_EQ(length, 4u);
    EXPECT_EQ(static_cast<const WORD*>(translation)[0], 0x409);
    EXPECT_EQ(static_cast<const WORD*>(translation)[1], 1200);
  }
}

TEST_F(WinsimVersionTest, FilesWithoutAVersionFailAsOnWindows) {
  struct Case {
    std::string bytes;
    DWORD error;
  };
  const Case cases[] = {
      {Fixture("versionless64.dll"), ERROR_RESOURCE_TYPE_NOT_FOUND},
      {Fixture("bare64.dll"), ERROR_RESOURCE_DATA_NOT_FOUND},
      {"plain text, not an image", ERROR_RESOURCE_DATA_NOT_FOUND},
      {"", ERROR_RESOURCE_DATA_NOT_FOUND},
      {Fixture("versioned64.dll").substr(0, 1024), ERROR_RESOURCE_DATA_NOT_FOUND},  // cut short
  };
  for (const Case& c : cases) {
    ASSERT_TRUE(WriteMachineFile("C:\\fixtures\\f.dll", c.bytes));
    DWORD handle = 0;
    EXPECT_EQ(GetFileVersionInfoSizeW(u"C:\\fixtures\\f.dll", &handle), 0u);
    EXPECT_EQ(GetLastError(), c.error);
  }
  EXPECT_EQ(GetFileVersionInfoSizeW(u"C:\\fixtures\\none.dll", nullptr), 0u);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(GetFileVersionInfoSizeW(u"C:\\nowhere\\none.dll", nullptr), 0u);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_PATH_NOT_FOUND));
  EXPECT_EQ(GetFileVersionInfoSizeW(u"", nullptr), 0u);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_RESOURCE_DATA_NOT_FOUND));
  BYTE buffer[64];
  EXPECT_FALSE(GetFileVersionInfoW(u"C:\\fixtures\\none.dll", 0, sizeof buffer, buffer));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_FILE_NOT_FOUND));
}

TEST_F(WinsimVersionTest, CorruptResourceDirectoriesAreRefusedNotFollowed) {
  std::string image = Fixture("versioned64.dll");
  std::string resource;
  ASSERT_EQ(FindVersionResource(image, &resource), DWORD(ERROR_SUCCESS));
  // Every single-byte change of the headers and the resource section either still finds a block
  // inside the image or fails cleanly; none reads outside (run under a sanitizer to see).
  for (size_t at = 0; at < image.size(); at += 1) {
    std::string broken = image;
    broken[at] = char(broken[at] ^ 0xFF);
    std::string found;
    if (FindVersionResource(broken, &found) == ERROR_SUCCESS) {
      EXPECT_LE(found.size(), broken.size());
    }
  }
}

TEST_F(WinsimVersionTest, WrittenFilesCarryTheGivenVersion) {
  ASSERT_TRUE(WriteVersionedFile("C:\\t\\x.dll", 3, 1, 7, 2450, "payload"));
  std::vector<BYTE> block = Block("C:\\t\\x.dll");
  ASSERT_FALSE(block.empty());
  const VS_FIXEDFILEINFO* info = Fixed(block);
  EXPECT_EQ(info->dwProductVersionMS, DWORD(3 << 16 | 1));
  EXPECT_EQ(info->dwProductVersionLS, DWORD(7 << 16 | 2450));
  EXPECT_EQ(Text(block, u"\\StringFileInfo\\040904b0\\ProductVersion"), "3.1.7.2450");
  std::string bytes;
  ASSERT_TRUE(ReadMachineFile("C:\\t\\x.dll", &bytes));
  EXPECT_EQ(bytes.substr(0, 2), "MZ");
  EXPECT_EQ(bytes.substr(bytes.size() - 7), "payload");
}

TEST_F(WinsimVersionTest, AShortBufferGetsACutBlockThatQueriesStayInside) {
  ASSERT_TRUE(WriteVersionedFile("C:\\t\\x.dll", 1, 2, 3, 4));
  DWORD size = GetFileVersionInfoSizeW(u"C:\\t\\x.dll", nullptr);
  ASSERT_GT(size, 100u);
  std::vector<BYTE> block(100, 0xEE);
  ASSERT_TRUE(GetFileVersionInfoW(u"C:\\t\\x.dll", 0, 100, block.data()));
  EXPECT_EQ(block[0] | block[1] << 8, 100);
  EXPECT_EQ(Text(block, u"\\StringFileInfo\\040904b0\\ProductVersion"), "<none>");
  void* value = nullptr;
  UINT length = 0;
  EXPECT_TRUE(VerQueryValueW(block.data(), u"\\", &value, &length));
  EXPECT_EQ(length, sizeof(VS_FIXEDFILEINFO));
}

TEST_F(WinsimVersionTest, TheDefaultMachineHasTheProductFiles) {
  const std::string dir = "C:\\Program Files\\Lumascribe\\install\\";
  for (const char* name : {"lmsmon64.dll", "lmsdrv64.dll", "lmsui64.dll", "lmsmon32.dll", "lmsdrv32.dll",
                           "lmsui32.dll", "..\\lumtray.exe"}) {
    SCOPED_TRACE(name);
    std::vector<BYTE> block = Block(dir + name);
    ASSERT_FALSE(block.empty());
    EXPECT_EQ(Fixed(block)->dwProductVersionLS, DWORD(2501));
    EXPECT_EQ(Fixed(block)->dwProductVersionMS, DWORD(1 << 16));
  }
  EXPECT_TRUE(MachineFileExists(dir + "lmshelp.chm"));
  EXPECT_EQ(Fixed(Block(dir + "..\\lumtray.exe"))->dwFileType, DWORD(VFT_APP));

  // The disk outlives a reload: a removed product file stays removed.
  ASSERT_TRUE(DeleteFileW(Wide(dir + "lmsmon64.dll").c_str()));
  ASSERT_TRUE(SaveMachine(root_));
  ASSERT_TRUE(LoadMachine(root_));
  EXPECT_FALSE(MachineFileExists(dir + "lmsmon64.dll"));
}

TEST_F(WinsimVersionTest, AFileOpenWithoutReadSharingHasNoReadableVersion) {
  ASSERT_TRUE(WriteVersionedFile("C:\\t\\x.dll", 1, 2, 3, 4));
  HANDLE file = CreateFileW(u"C:\\t\\x.dll", GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetFileVersionInfoSizeW(u"C:\\t\\x.dll", nullptr), 0u);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_SHARING_VIOLATION));
  EXPECT_TRUE(CloseHandle(file));
}

}  // namespace
