// The entries of host directories by folded name. A directory is read once; the kernel then
// reports every change made to it (by winsim, by a test or by another program) through inotify,
// so what is kept never differs from the disk. Without a watch a directory is read each time.
#include "winsim/host_dirs.h"

#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <map>
#include <set>
#include <unordered_map>

#include "winsim/named_list.h"

namespace winsim {

namespace {

struct Listing {
  int watch = -1;
  dev_t device = 0;  // the directory the path led to when it was read: a path whose parent was
  ino_t inode = 0;   // renamed since leads elsewhere, and the kernel reports no change for it
  std::unordered_map<std::string, std::set<std::string>> names;  // folded name -> entries
};

struct Watcher {
  int fd = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  std::map<std::string, Listing> dirs;
  std::unordered_map<int, std::string> dirOfWatch;
  ~Watcher() {
    if (fd >= 0) close(fd);
  }
};

Watcher& Watched() {
  static Watcher watcher;
  return watcher;
}

const uint32_t kChanges = IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | IN_DELETE_SELF | IN_MOVE_SELF;

void Forget(Watcher& w, int watch) {
  auto dir = w.dirOfWatch.find(watch);
  if (dir == w.dirOfWatch.end()) return;
  w.dirs.erase(dir->second);
  w.dirOfWatch.erase(dir);
  inotify_rm_watch(w.fd, watch);
}

// Applies the changes the kernel has reported since the last look.
void TakeEvents(Watcher& w) {
  alignas(inotify_event) char buffer[16384];
  for (;;) {
    ssize_t got = read(w.fd, buffer, sizeof buffer);
    if (got <= 0) return;
    for (ssize_t at = 0; at < got;) {
      const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
      at += ssize_t(sizeof(inotify_event) + event->len);
      if (event->mask & IN_Q_OVERFLOW) {  // changes were lost: read every directory again
        while (!w.dirOfWatch.empty()) Forget(w, w.dirOfWatch.begin()->first);
        continue;
      }
      auto dir = w.dirOfWatch.find(event->wd);
      if (dir == w.dirOfWatch.end()) continue;
      if (event->mask & (IN_DELETE_SELF | IN_MOVE_SELF | IN_IGNORED | IN_UNMOUNT)) {
        Forget(w, event->wd);
        continue;
      }
      std::string name = event->len ? event->name : "";
      std::set<std::string>& entries = w.dirs[dir->second].names[FoldName(name)];
      if (event->mask & (IN_CREATE | IN_MOVED_TO)) entries.insert(name);
      if (event->mask & (IN_DELETE | IN_MOVED_FROM)) entries.erase(name);
    }
  }
}

void Read(const std::filesystem::path& dir, Listing& listing) {
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator(dir, ec)) {
    std::string name = entry.path().filename().string();
    listing.names[FoldName(name)].insert(name);
  }
}

}  // namespace

std::string EntryNamed(const std::filesystem::path& dir, const std::string& name) {
  Watcher& w = Watched();
  TakeEvents(w);
  std::string key = dir.string();
  struct stat now {};
  if (stat(key.c_str(), &now) != 0) return std::string();
  auto known = w.dirs.find(key);
  Listing unwatched;
  Listing* listing = known == w.dirs.end() ? nullptr : &known->second;
  if (listing && (listing->device != now.st_dev || listing->inode != now.st_ino)) {
    Forget(w, listing->watch);
    listing = nullptr;
  }
  if (!listing) {
    // Watched before it is read, so no change can fall between the two.
    int watch = w.fd < 0 ? -1 : inotify_add_watch(w.fd, key.c_str(), kChanges | IN_ONLYDIR);
    if (watch >= 0 && !w.dirOfWatch.count(watch)) {
      w.dirOfWatch[watch] = key;
      listing = &w.dirs[key];
      listing->watch = watch;
    } else {
      listing = &unwatched;  // no watch left, or the directory is watched under another path
    }
    listing->device = now.st_dev;
    listing->inode = now.st_ino;
    Read(dir, *listing);
  }
  auto found = listing->names.find(FoldName(name));
  return found == listing->names.end() || found->second.empty() ? std::string() : *found->second.begin();
}

}  // namespace winsim
