// Entries kept in their order and found by name without regard to case: the printers, monitors,
// drivers and registry keys of the machine, which can run to thousands.
#pragma once
#include <cstddef>
#include <initializer_list>
#include <iterator>
#include <list>
#include <string>
#include <unordered_map>

namespace winsim {

// A name as the machine's lookups compare it: ASCII letters folded to lower case, every other
// character as it is (what EqualNoCase does).
std::string FoldName(const std::string& name);
bool EqualNoCase(const std::string& a, const std::string& b);

// A list of entries named by their `Key` member, with an index from the folded name. Entries are
// added and removed through the list only, so the index follows them, and removing one leaves
// the others where they are. The index is built when first needed (after a copy or a load too).
// A name changed through Rename, or in an entry reached by its place (front, back, [i]), stays
// found; one changed through a pointer the list gave out earlier is noticed only when the index
// leads to an entry that no longer has the name looked for, and the index is built again.
template <typename T, std::string T::*Key>
class NamedList {
 public:
  using value_type = T;
  using iterator = typename std::list<T>::iterator;
  using const_iterator = typename std::list<T>::const_iterator;

  NamedList() = default;
  NamedList(std::initializer_list<T> entries) : entries_(entries) {}
  NamedList(const NamedList& other) : entries_(other.entries_) {}
  NamedList(NamedList&& other) noexcept : entries_(std::move(other.entries_)) { other.Forget(); }
  NamedList& operator=(const NamedList& other) {
    if (this != &other) Assign(std::list<T>(other.entries_));
    return *this;
  }
  NamedList& operator=(NamedList&& other) noexcept {
    if (this != &other) Assign(std::move(other.entries_));
    other.Forget();
    return *this;
  }
  NamedList& operator=(std::initializer_list<T> entries) {
    Assign(std::list<T>(entries));
    return *this;
  }

  iterator begin() { return entries_.begin(); }
  iterator end() { return entries_.end(); }
  const_iterator begin() const { return entries_.begin(); }
  const_iterator end() const { return entries_.end(); }
  size_t size() const { return entries_.size(); }
  bool empty() const { return entries_.empty(); }
  // An entry reached by its place may be renamed by the caller: the index is built again.
  T& front() {
    Forget();
    return entries_.front();
  }
  T& back() {
    Forget();
    return entries_.back();
  }
  const T& back() const { return entries_.back(); }
  // By position, walking from the front: for tests and short lists.
  T& operator[](size_t at) {
    Forget();
    return *std::next(entries_.begin(), std::ptrdiff_t(at));
  }
  const T& operator[](size_t at) const { return *std::next(entries_.begin(), std::ptrdiff_t(at)); }
  T& at(size_t at) { return (*this)[at]; }

  void push_back(T entry) { insert(entries_.end(), std::move(entry)); }
  iterator insert(const_iterator before, T entry) {
    iterator added = entries_.insert(before, std::move(entry));
    if (indexed_) index_.emplace(FoldName((*added).*Key), added);
    return added;
  }
  iterator erase(iterator entry) {
    if (indexed_) Unindex(entry);
    return entries_.erase(entry);
  }
  void pop_back() { erase(std::prev(entries_.end())); }
  void clear() { Assign(std::list<T>()); }

  // The first entry, in the list's order, named `name` that `accept` takes; null when none.
  template <typename Accept>
  T* Find(const std::string& name, Accept accept) {
    for (int attempt = 0; attempt < 2; ++attempt) {
      Index();
      auto [first, last] = index_.equal_range(FoldName(name));
      bool current = true, many = false;
      T* only = nullptr;
      for (auto it = first; it != last; ++it) {
        T& entry = *it->second;
        current = current && EqualNoCase(entry.*Key, name);
        if (!accept(static_cast<const T&>(entry))) continue;
        many = many || only;
        only = &entry;
      }
      if (!current) {
        Forget();
        continue;
      }
      if (!many) return only;
      for (T& entry : entries_)  // names given twice: only the order can tell which comes first
        if (EqualNoCase(entry.*Key, name) && accept(static_cast<const T&>(entry))) return &entry;
    }
    return nullptr;
  }
  T* Find(const std::string& name) {
    return Find(name, [](const T&) { return true; });
  }

  // Removes `entry`, an entry of this list.
  void Remove(const T& entry) {
    Index();
    auto [first, last] = index_.equal_range(FoldName(entry.*Key));
    for (auto it = first; it != last; ++it)
      if (&*it->second == &entry) return (void)erase(it->second);
    // Renamed behind the list's back: found by its address.
    for (iterator it = entries_.begin(); it != entries_.end(); ++it)
      if (&*it == &entry) return (void)erase(it);
  }
  // Removes every entry that `doomed` takes; how many there were.
  template <typename Doomed>
  size_t RemoveIf(Doomed doomed) {
    size_t removed = 0;
    for (iterator it = entries_.begin(); it != entries_.end();)
      if (doomed(static_cast<const T&>(*it))) {
        it = erase(it);
        ++removed;
      } else {
        ++it;
      }
    return removed;
  }
  // Removes every entry named `name`; how many there were.
  size_t RemoveNamed(const std::string& name) {
    size_t removed = 0;
    while (T* entry = Find(name)) {
      Remove(*entry);
      ++removed;
    }
    return removed;
  }
  void Rename(T& entry, const std::string& name) {
    if (indexed_) {
      iterator at = entries_.end();
      for (auto [first, last] = index_.equal_range(FoldName(entry.*Key)); first != last; ++first)
        if (&*first->second == &entry) {
          at = first->second;
          index_.erase(first);
          break;
        }
      if (at == entries_.end()) Forget();
      else index_.emplace(FoldName(name), at);
    }
    entry.*Key = name;
  }

 private:
  void Assign(std::list<T>&& entries) {
    entries_ = std::move(entries);
    Forget();
  }
  void Forget() { indexed_ = false; }
  void Index() {
    if (indexed_) return;
    index_.clear();
    index_.reserve(entries_.size());
    for (iterator it = entries_.begin(); it != entries_.end(); ++it) index_.emplace(FoldName((*it).*Key), it);
    indexed_ = true;
  }
  void Unindex(iterator entry) {
    for (auto [first, last] = index_.equal_range(FoldName((*entry).*Key)); first != last; ++first)
      if (first->second == entry) return (void)index_.erase(first);
    Forget();
  }

  std::list<T> entries_;
  std::unordered_multimap<std::string, iterator> index_;
  bool indexed_ = false;
};

}  // namespace winsim
