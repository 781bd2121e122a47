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

// A list of entries with an index from the folded value of each of its `Keys` members (the first
// is the entry's name). Entries are added and removed through the list only, so the indexes
// follow them, and removing one leaves the others where they are. The indexes are built when
// first needed (after a copy or a load too). A key changed through Rename, or in an entry reached
// by its place (front, back, [i]), is found again; one changed through a pointer the list gave
// out earlier is noticed when an index leads to an entry that no longer has the value looked
// for, and the indexes are built again. Empty values are not indexed: looking one up reads the
// whole list.
template <typename T, std::string T::*... Keys>
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
  // An entry reached by its place may be renamed by the caller: the indexes are built again.
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
    if (indexed_) Enter(added);
    return added;
  }
  iterator erase(iterator entry) {
    if (indexed_) Unindex(entry);
    return entries_.erase(entry);
  }
  void pop_back() { erase(std::prev(entries_.end())); }
  void clear() { Assign(std::list<T>()); }

  // The first entry, in the list's order, whose key `K` is `value` and that `accept` takes; null
  // when there is none.
  template <size_t K = 0, typename Accept>
  T* Find(const std::string& value, Accept accept) {
    const auto matches = [&](const T& entry) { return EqualNoCase(entry.*kKey[K], value) && accept(entry); };
    for (int attempt = 0; !value.empty() && attempt < 2; ++attempt) {
      Index();
      auto [first, last] = index_[K].equal_range(FoldName(value));
      bool current = true, many = false;
      T* only = nullptr;
      for (auto it = first; it != last; ++it) {
        T& entry = *it->second;
        current = current && EqualNoCase(entry.*kKey[K], value);
        if (!accept(static_cast<const T&>(entry))) continue;
        many = many || only;
        only = &entry;
      }
      if (!current) {
        Forget();
        continue;
      }
      if (!many) return only;
      break;  // a value given twice: only the order can tell which comes first
    }
    for (T& entry : entries_)
      if (matches(entry)) return &entry;
    return nullptr;
  }
  T* Find(const std::string& name) {
    return Find(name, [](const T&) { return true; });
  }

  // Removes `entry`, an entry of this list.
  void Remove(const T& entry) {
    Index();
    auto slot = slots_.find(&entry);
    if (slot != slots_.end()) erase(slot->second.entry);
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
  // Gives key `K` of `entry`, an entry of this list, a new value.
  template <size_t K = 0>
  void Rename(T& entry, const std::string& value) {
    auto slot = indexed_ ? slots_.find(&entry) : slots_.end();
    if (slot == slots_.end()) {
      entry.*kKey[K] = value;
      return Forget();
    }
    Slot& s = slot->second;
    Drop(K, s);
    entry.*kKey[K] = value;
    s.folded[K] = FoldName(value);
    if (!value.empty()) index_[K].emplace(s.folded[K], s.entry);
  }

 private:
  static constexpr size_t kKeys = sizeof...(Keys);
  static constexpr std::string T::*kKey[kKeys] = {Keys...};

  // An indexed entry and the values it is indexed under, which are what removing it must take
  // out of the indexes even when its members say otherwise by then.
  struct Slot {
    iterator entry;
    std::string folded[kKeys];
  };

  void Assign(std::list<T>&& entries) {
    entries_ = std::move(entries);
    Forget();
  }
  void Forget() { indexed_ = false; }
  void Index() {
    if (indexed_) return;
    slots_.clear();
    slots_.reserve(entries_.size());
    for (size_t k = 0; k < kKeys; ++k) {
      index_[k].clear();
      index_[k].reserve(entries_.size());
    }
    for (iterator it = entries_.begin(); it != entries_.end(); ++it) Enter(it);
    indexed_ = true;
  }
  void Enter(iterator entry) {
    Slot& slot = slots_[&*entry];
    slot.entry = entry;
    for (size_t k = 0; k < kKeys; ++k) {
      const std::string& value = (*entry).*kKey[k];
      slot.folded[k] = FoldName(value);
      if (!value.empty()) index_[k].emplace(slot.folded[k], entry);
    }
  }
  void Drop(size_t k, const Slot& slot) {
    for (auto [first, last] = index_[k].equal_range(slot.folded[k]); first != last; ++first)
      if (first->second == slot.entry) return (void)index_[k].erase(first);
  }
  void Unindex(iterator entry) {
    auto slot = slots_.find(&*entry);
    if (slot == slots_.end()) return Forget();
    for (size_t k = 0; k < kKeys; ++k) Drop(k, slot->second);
    slots_.erase(slot);
  }

  std::list<T> entries_;
  std::unordered_map<const T*, Slot> slots_;
  std::unordered_multimap<std::string, iterator> index_[kKeys];
  bool indexed_ = false;
};

}  // namespace winsim
