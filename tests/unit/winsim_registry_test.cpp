#include <gtest/gtest.h>

#include <fstream>
#include <nlohmann/json.hpp>

#include "support/sim.h"
#include "winsim/windows.h"

using namespace winsim;
using namespace std::literals;

namespace {

const char kKey[] = "SYSTEM\\CurrentControlSet\\Control\\Session Manager";

class WinsimRegistryTest : public test::SimTest {
 protected:
  HKEY Open(REGSAM access, const char* subKey = kKey) {
    HKEY key = nullptr;
    EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, subKey, 0, access, &key), ERROR_SUCCESS);
    return key;
  }
};

TEST_F(WinsimRegistryTest, QueryFollowsTheSizeProtocol) {
  std::string stored = RegMultiSzBytes({"a", "", "bc"});
  ASSERT_TRUE(SetRegValue("HKLM\\"s + kKey, "List", REG_MULTI_SZ, stored));
  HKEY key = Open(KEY_READ, "system\\CURRENTCONTROLSET\\control\\session manager");
  DWORD type = 0, size = 0;
  EXPECT_EQ(RegQueryValueExW(key, u"list", nullptr, &type, nullptr, &size), ERROR_SUCCESS);
  EXPECT_EQ(type, DWORD(REG_MULTI_SZ));
  EXPECT_EQ(size, stored.size());

  BYTE small[4] = {9, 9, 9, 9};
  size = sizeof(small);
  EXPECT_EQ(RegQueryValueExW(key, u"List", nullptr, nullptr, small, &size), ERROR_MORE_DATA);
  EXPECT_EQ(size, stored.size());

  std::vector<BYTE> exact(stored.size() + 6, 0xEE);
  size = DWORD(exact.size());
  EXPECT_EQ(RegQueryValueExW(key, u"List", nullptr, nullptr, exact.data(), &size), ERROR_SUCCESS);
  EXPECT_EQ(std::string(exact.begin(), exact.begin() + size), stored);
  EXPECT_EQ(exact[size], 0xEE) << "nothing written past the data";

  type = 77;
  EXPECT_EQ(RegQueryValueExW(key, u"Missing", nullptr, &type, nullptr, &size), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(type, 77u);
  EXPECT_EQ(RegQueryValueExW(key, u"List", nullptr, nullptr, exact.data(), nullptr), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
  EXPECT_EQ(OpenRegKeyCount(), 0u);
}

TEST_F(WinsimRegistryTest, AccessIsCheckedOnEveryCall) {
  HKEY reader = Open(KEY_READ);
  DWORD one = 1;
  EXPECT_EQ(RegSetValueExW(reader, u"X", 0, REG_DWORD, reinterpret_cast<BYTE*>(&one), 4), ERROR_ACCESS_DENIED);
  HKEY writer = Open(KEY_SET_VALUE);
  EXPECT_EQ(RegSetValueExW(writer, u"X", 0, REG_DWORD, reinterpret_cast<BYTE*>(&one), 4), ERROR_SUCCESS);
  DWORD size = 0;
  EXPECT_EQ(RegQueryValueExW(writer, u"X", nullptr, nullptr, nullptr, &size), ERROR_ACCESS_DENIED);
  EXPECT_EQ(RegDeleteValueA(reader, "X"), ERROR_ACCESS_DENIED);
  EXPECT_EQ(RegDeleteValueA(writer, "x"), ERROR_SUCCESS);
  EXPECT_EQ(RegDeleteValueA(writer, "x"), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(OpenRegKeyCount(), 2u);
  EXPECT_EQ(RegCloseKey(reader), ERROR_SUCCESS);
  EXPECT_EQ(RegCloseKey(reader), ERROR_INVALID_HANDLE);
  EXPECT_EQ(RegCloseKey(writer), ERROR_SUCCESS);
  EXPECT_EQ(OpenRegKeyCount(), 0u);
}

TEST_F(WinsimRegistryTest, OpeningFailsLikeWindows) {
  HKEY key = reinterpret_cast<HKEY>(1);
  EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SYSTEM\\Nowhere", 0, KEY_READ, &key), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(key, nullptr);
  EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "\\SYSTEM", 0, KEY_READ, &key), ERROR_BAD_PATHNAME);
  EXPECT_EQ(RegOpenKeyExA(reinterpret_cast<HKEY>(0x4444), "SYSTEM", 0, KEY_READ, &key), ERROR_INVALID_HANDLE);
  Fault refuse;
  refuse.call = "RegOpenKeyExA";
  refuse.match = "Session Manager";
  refuse.error = ERROR_ACCESS_DENIED;
  M().faults.push_back(refuse);
  EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, kKey, 0, KEY_READ, &key), ERROR_ACCESS_DENIED);
  EXPECT_EQ(OpenRegKeyCount(), 0u);
}

TEST_F(WinsimRegistryTest, CreateAndDeleteKeys) {
  HKEY key = nullptr;
  DWORD disposition = 0;
  EXPECT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, u"Software\\Veldrin\\Sub", 0, nullptr, 0, KEY_ALL_ACCESS,
                            nullptr, &key, &disposition),
            ERROR_SUCCESS);
  EXPECT_EQ(disposition, DWORD(REG_CREATED_NEW_KEY));
  EXPECT_EQ(RegSetValueExA(key, "SubKey", 0, REG_SZ, reinterpret_cast<const BYTE*>("caf\xe9"), 5), ERROR_SUCCESS);
  DWORD type = 0;
  std::string data;
  ASSERT_TRUE(GetRegValue("HKEY_CURRENT_USER\\software\\veldrin\\sub", "subkey", &type, &data));
  EXPECT_EQ(type, DWORD(REG_SZ));
  EXPECT_EQ(data, RegSzBytes("caf\xc3\xa9"));

  HKEY again = nullptr;
  EXPECT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, u"SOFTWARE\\veldrin\\sub", 0, nullptr, 0, KEY_READ, nullptr,
                            &again, &disposition),
            ERROR_SUCCESS);
  EXPECT_EQ(disposition, DWORD(REG_OPENED_EXISTING_KEY));
  HKEY reader = nullptr;
  ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, u"Software", 0, KEY_READ, &reader), ERROR_SUCCESS);
  EXPECT_EQ(RegCreateKeyExW(reader, u"New", 0, nullptr, 0, KEY_READ, nullptr, &key, nullptr), ERROR_ACCESS_DENIED);

  EXPECT_EQ(RegDeleteKeyW(HKEY_CURRENT_USER, u"Software\\Veldrin"), ERROR_ACCESS_DENIED) << "has a subkey";
  EXPECT_EQ(RegDeleteKeyW(reader, u"Veldrin\\Sub"), ERROR_SUCCESS);
  EXPECT_EQ(RegDeleteKeyW(reader, u"Veldrin\\Sub"), ERROR_FILE_NOT_FOUND);
  DWORD size = 0;
  EXPECT_EQ(RegQueryValueExW(again, u"SubKey", nullptr, nullptr, nullptr, &size), ERROR_KEY_DELETED);
  for (HKEY open : {again, reader}) EXPECT_EQ(RegCloseKey(open), ERROR_SUCCESS);
  EXPECT_EQ(OpenRegKeyCount(), 1u) << "the first created key is still open";
}

TEST_F(WinsimRegistryTest, AValueCanChangeBetweenTwoReads) {
  const std::string key = "HKLM\\"s + kKey;
  ASSERT_TRUE(SetRegValue(key, "V", REG_SZ, RegSzBytes("old")));
  RegValueChange grow;
  grow.key = "HKEY_LOCAL_MACHINE\\system\\CurrentControlSet\\Control\\Session Manager";
  grow.value = "v";
  grow.onQuery = 2;
  grow.type = REG_SZ;
  grow.data = RegSzBytes("much longer");
  M().registry.changes.push_back(grow);
  HKEY k = Open(KEY_READ);
  DWORD size = 0;
  EXPECT_EQ(RegQueryValueExW(k, u"V", nullptr, nullptr, nullptr, &size), ERROR_SUCCESS);
  EXPECT_EQ(size, RegSzBytes("old").size());
  std::vector<BYTE> buffer(size);
  EXPECT_EQ(RegQueryValueExW(k, u"V", nullptr, nullptr, buffer.data(), &size), ERROR_MORE_DATA);
  EXPECT_EQ(size, RegSzBytes("much longer").size());
  EXPECT_EQ(RegQueryValueExW(k, u"V", nullptr, nullptr, nullptr, &size), ERROR_SUCCESS) << "changed once only";
  RegCloseKey(k);
}

TEST_F(WinsimRegistryTest, ValuesKeepTheirExactBytesAcrossSaveAndLoad) {
  const std::string key = "HKLM\\"s + kKey;
  const std::string odd = RegMultiSzBytes({"\\??\\C:\\a.dll", ""}).substr(0, 9);  // odd, unterminated
  const std::string text = RegSzBytes("C:\\Program Files\\x.exe");
  const std::string list = RegMultiSzBytes({"a", "", "", "b"});
  ASSERT_TRUE(SetRegValue(key, "Odd", REG_MULTI_SZ, odd));
  ASSERT_TRUE(SetRegValue(key, "Text", REG_EXPAND_SZ, text));
  ASSERT_TRUE(SetRegValue(key, "List", REG_MULTI_SZ, list));
  ASSERT_TRUE(SetRegValue(key, "Number", REG_DWORD, RegDwordBytes(0x12345678)));
  ASSERT_TRUE(SetRegValue("HKCU\\Software\\Bin", "", REG_BINARY, "\x00\xff\x10"s));
  RegValueChange change{key, "Text", 3, true, 0, "", 1};
  M().registry.changes.push_back(change);
  Open(KEY_READ);  // left open: handles belong to the program, not the machine
  ASSERT_TRUE(SaveMachine(root_));
  std::ifstream saved(root_ + "/machine.json");
  nlohmann::json j = nlohmann::json::parse(saved);
  EXPECT_NE(j.dump().find("\"strings\":[\"a\",\"\",\"\",\"b\"]"), std::string::npos) << "saved readably";

  ResetMachine(root_);
  ASSERT_TRUE(LoadMachine(root_));
  std::string data;
  DWORD type = 0;
  for (const auto& [name, bytes, wanted] :
       {std::tuple{"Odd", odd, DWORD(REG_MULTI_SZ)}, std::tuple{"Text", text, DWORD(REG_EXPAND_SZ)},
        std::tuple{"List", list, DWORD(REG_MULTI_SZ)},
        std::tuple{"Number", RegDwordBytes(0x12345678), DWORD(REG_DWORD)}}) {
    ASSERT_TRUE(GetRegValue(key, name, &type, &data)) << name;
    EXPECT_EQ(data, bytes) << name;
    EXPECT_EQ(type, wanted) << name;
  }
  ASSERT_TRUE(GetRegValue("HKCU\\Software\\Bin", "", &type, &data));
  EXPECT_EQ(data, "\x00\xff\x10"s);
  ASSERT_EQ(M().registry.changes.size(), 1u);
  EXPECT_TRUE(M().registry.changes[0].remove);
  EXPECT_EQ(M().registry.changes[0].seen, 1u);
  EXPECT_EQ(OpenRegKeyCount(), 0u);
}

TEST_F(WinsimRegistryTest, AStringCountThatLeavesOutItsTerminatorGetsItStored) {
  HKEY key = Open(KEY_SET_VALUE);
  const BYTE* text = reinterpret_cast<const BYTE*>(u"ThisNeverBreaks");  // 30 bytes, a NUL after them
  for (auto [type, count, stored] : {std::tuple{REG_SZ, 30, 32}, {REG_MULTI_SZ, 30, 32}, {REG_SZ, 32, 32},
                                     {REG_SZ, 28, 28}, {REG_BINARY, 30, 30}}) {
    ASSERT_EQ(RegSetValueExW(key, u"v", 0, DWORD(type), text, DWORD(count)), ERROR_SUCCESS);
    std::string data;
    EXPECT_TRUE(GetRegValue("HKLM\\"s + kKey, "v", nullptr, &data) && data.size() == size_t(stored)) << type << count;
  }
  RegCloseKey(key);
}

TEST_F(WinsimRegistryTest, MultiStringsAreSplitWithinTheirBytes) {
  auto split = [](const std::u16string& units, bool strayByte = false) {
    std::string bytes = Utf16LeBytes(units);
    if (strayByte) bytes += 'x';
    return MultiSzStrings(bytes);
  };
  using List = std::vector<std::u16string>;
  EXPECT_EQ(split(u"a\0\0b\0\0"s), (List{u"a", u"", u"b"}));
  EXPECT_EQ(split(u"a\0b"s), (List{u"a", u"b"})) << "no terminators";
  EXPECT_EQ(split(u"a\0b\0"s, true), (List{u"a", u"b"}));
  EXPECT_EQ(split(u"\0"s), List{});
  EXPECT_EQ(split(u""s, true), List{});
  EXPECT_EQ(split(u"\0\0"s), List{u""});
}

}  // namespace
