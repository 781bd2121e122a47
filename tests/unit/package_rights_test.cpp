#include <gtest/gtest.h>

#include "system/package_rights.h"

namespace {

TEST(PackageRightsTest, OnlyEntriesThatLetOthersChangeTheObjectCount) {
  const DWORD kFull = 0x1F01FF, kReadExecute = 0x1200A9;
  const struct {
    BYTE type, flags;
    DWORD mask;
    bool root, changes;
  } kEntries[] = {
      {ACCESS_ALLOWED_ACE_TYPE, 0, FILE_WRITE_DATA, false, true},
      {ACCESS_ALLOWED_ACE_TYPE, INHERITED_ACE | OBJECT_INHERIT_ACE, FILE_APPEND_DATA, false, true},
      {ACCESS_ALLOWED_ACE_TYPE, 0, FILE_ADD_SUBDIRECTORY, true, false},  // the root's "create folders"
      {ACCESS_ALLOWED_ACE_TYPE, 0, FILE_ADD_SUBDIRECTORY | FILE_ADD_FILE, true, true},
      {ACCESS_ALLOWED_ACE_TYPE, OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE | INHERIT_ONLY_ACE, kFull, false, false},
      {ACCESS_ALLOWED_ACE_TYPE, OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE, kReadExecute, false, false},
      {ACCESS_ALLOWED_ACE_TYPE, 0, FILE_WRITE_ATTRIBUTES | FILE_WRITE_EA | READ_CONTROL, false, false},
      {ACCESS_DENIED_ACE_TYPE, 0, kFull, false, false},
      {ACCESS_ALLOWED_ACE_TYPE, 0, GENERIC_WRITE, false, true},
      {ACCESS_ALLOWED_ACE_TYPE, 0, GENERIC_ALL, true, true},
      {ACCESS_ALLOWED_ACE_TYPE, 0, DELETE, false, true},
      {ACCESS_ALLOWED_ACE_TYPE, 0, FILE_DELETE_CHILD, false, true},
      {ACCESS_ALLOWED_ACE_TYPE, 0, WRITE_DAC, false, true},
      {ACCESS_ALLOWED_ACE_TYPE, 0, WRITE_OWNER, true, true},
  };
  for (const auto& e : kEntries)
    EXPECT_EQ(inst::EntryLetsChange(e.type, e.flags, e.mask, e.root), e.changes) << int(e.flags) << " " << e.mask;

  const WCHAR* self = TEXT("S-1-5-21-7-8-9-1001");
  const struct {
    const WCHAR* sid;
    bool trusted;
  } kAccounts[] = {
      {TEXT("S-1-5-18"), true},           {TEXT("S-1-5-32-544"), true},       {TEXT("S-1-5-21-1-2-3-512"), true},
      {TEXT("S-1-5-21-1-2-3-519"), true}, {TEXT("S-1-5-21-7-8-9-1001"), true}, {TEXT("S-1-5-21-1-2-3-1512"), false},
      {TEXT("S-1-5-21-1-2-3-4-512"), false}, {TEXT("S-1-5-32-545"), false},  {TEXT("S-1-5-11"), false},
      {TEXT("S-1-1-0"), false},           {TEXT("S-1-5-21-7-8-9-1002"), false},
      {TEXT("S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464"), true},
  };
  for (const auto& a : kAccounts) EXPECT_EQ(inst::TrustedAccount(a.sid, self), a.trusted) << a.trusted;
  EXPECT_FALSE(inst::TrustedAccount(TEXT("S-1-5-21-7-8-9-1001"), nullptr));
}

}  // namespace
