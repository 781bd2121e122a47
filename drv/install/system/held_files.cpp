#include "system/held_files.h"

namespace inst {

HeldFiles::~HeldFiles() { ReleaseHeldFiles(this); }

HeldFiles& HeldFiles::operator=(HeldFiles&& other) noexcept {
  if (this == &other) return *this;
  ReleaseHeldFiles(this);
  for (; count < other.count; ++count) handles[count] = other.handles[count];
  other.count = 0;
  return *this;
}

void KeepOpen(HeldFiles* held, HANDLE file) {
  if (held->count < kMaxHeldFiles)
    held->handles[held->count++] = file;
  else
    CloseHandle(file);
}

void ReleaseHeldFiles(HeldFiles* held) {
  while (held->count > 0) CloseHandle(held->handles[--held->count]);
}

}  // namespace inst
