// The file operations Windows carries out at the next restart ("PendingFileRenameOperations"),
// read as (source, target) name pairs; pending deletions can be carried out at once.
#pragma once
#include <cstdint>

#include "system/own_files.h"
#include "win32.h"

namespace inst {

struct PendingRenameList {
  WCHAR** names;          // 2 × pairCount: source, then target; as stored, null when empty; owned
  int32_t* existsAsFile;  // 2 × pairCount: 1 when the name (without "\??\") is an existing file on a drive
  int32_t pairCount;      // 0, with both arrays null, when nothing could be read
};

// Reads the value afresh. Never fails: a missing or unreadable value gives an empty list.
PendingRenameList ReadPendingRenames();
// Deletes now every existing source whose target is empty and that is one of the product's own
// files, reached through no reparse point, and clears its flag; then removes from the value
// exactly the pending deletions it carried out, so none outlives a reinstall, and keeps every
// other byte of it. Other programs' entries are theirs: neither their files nor their bytes
// are touched.
void DeletePendingRenameSources(PendingRenameList* list, ProductFolders* folders);
// Takes out of the value the pending deletions of `path` (letter case aside), keeping every
// other byte: for a file the caller keeps in use after all.
void CancelPendingDeletion(const WCHAR* path);
// Releases the names and both arrays and leaves the list empty.
void FreePendingRenameList(PendingRenameList* list);
// A stored name as file calls take it: without its "\??\" prefix when all four characters are there.
const WCHAR* WithoutNtPrefix(const WCHAR* name);

}  // namespace inst
