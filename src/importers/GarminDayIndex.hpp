#pragma once
// Internal: the index of day texts kept beside each list of the Garmin connector.

#include <algorithm>
#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace talvaren::detail {

/// Positions of the records of one list by their day text, in one flat table of slots (open addressing,
/// at most half full): a lookup reads a slot or two and the record it names, and emptying the index for
/// the next import clears the slots in one sweep instead of freeing a node per day. The list stays the
/// one truth: a slot holds a position and the hash of its day text, and a record changed behind the
/// index's back is noticed by the lookup of its day, which then builds the index again.
class DayIndex {
 public:
  std::size_t size() const { return size_; }
  /// The entries the index holds before it must grow.
  std::size_t capacity() const { return slots_.size() / 2; }

  /// Room for `entries` entries without growing.
  void reserve(std::size_t entries) {
    if (entries > capacity()) rehash(entries);
  }

  /// Forgets every entry; the room stays.
  void clear() {
    std::fill(slots_.begin(), slots_.end(), Slot{});
    size_ = 0;
  }

  /// The record of `date` in `list`: the first with that day text, else a new one appended. The index is
  /// built again (first match wins) whenever the list was changed behind its back.
  template <class Record>
  Record& recordOfDay(std::vector<Record>& list, const std::string& date) {
    const std::size_t hash = hashOf(date);
    std::size_t found = 0;
    auto probe = find(list, date, hash, found);
    if (probe == Probe::stale || (probe == Probe::absent && size_ < list.size())) {
      rebuild(list);
      probe = find(list, date, hash, found);
    }
    if (probe == Probe::found) return list[found];
    Record record;
    record.date = date;
    list.push_back(std::move(record));
    insert(hash, list.size() - 1);
    return list.back();
  }

  /// Has the processor fetch the slot where the lookup of the day of `summaries[next + lookAhead]` starts
  /// (its calendar day, when it has one) while the lookups before it run: in a long reply every new day
  /// reads a slot of a table far larger than the caches, at a place no prefetcher can guess.
  template <class Summary>
  void prefetchAhead(const std::vector<Summary>& summaries, std::size_t next) const {
    constexpr std::size_t lookAhead = 8;
    if (slots_.empty() || next + lookAhead >= summaries.size()) return;
    if (const auto& day = summaries[next + lookAhead].calendarDate) {
      __builtin_prefetch(&slots_[hashOf(*day) & (slots_.size() - 1)]);
    }
  }

 private:
  struct Slot {
    std::size_t hash = 0;
    std::size_t position = 0;  // one past the record's position; 0 for an empty slot
  };
  enum class Probe { found, absent, stale };

  static std::size_t hashOf(std::string_view date) { return std::hash<std::string_view>{}(date); }

  /// Looks `date` (of hash `hash`) up; `found` is the record's position when found.
  template <class Record>
  Probe find(const std::vector<Record>& list, std::string_view date, std::size_t hash, std::size_t& found) const {
    if (slots_.empty()) return Probe::absent;
    const std::size_t mask = slots_.size() - 1;
    for (std::size_t i = hash & mask;; i = (i + 1) & mask) {
      const Slot& slot = slots_[i];
      if (slot.position == 0) return Probe::absent;
      if (slot.hash != hash) continue;
      const std::size_t position = slot.position - 1;
      if (position >= list.size() || !list[position].date) return Probe::stale;
      if (*list[position].date == date) {
        found = position;
        return Probe::found;
      }
      // Another day text of the same hash goes on; a record whose day text changed makes the index stale.
      if (hashOf(*list[position].date) != hash) return Probe::stale;
    }
  }

  void insert(std::size_t hash, std::size_t position) {
    if (size_ + 1 > capacity()) rehash(size_ + 1);
    place(hash, position + 1);
    ++size_;
  }

  void place(std::size_t hash, std::size_t onePast) {
    const std::size_t mask = slots_.size() - 1;
    std::size_t i = hash & mask;
    while (slots_[i].position != 0) i = (i + 1) & mask;
    slots_[i] = Slot{hash, onePast};
  }

  /// The fewest slots (a power of two) that hold `entries` at most half full, the entries kept.
  void rehash(std::size_t entries) {
    std::size_t count = 16;
    while (count / 2 < entries) count *= 2;
    std::vector<Slot> old(count);
    old.swap(slots_);
    for (const auto& slot : old) {
      if (slot.position != 0) place(slot.hash, slot.position);
    }
  }

  /// Every record's day text, the first of each.
  template <class Record>
  void rebuild(const std::vector<Record>& list) {
    clear();
    reserve(list.size());
    for (std::size_t i = 0; i < list.size(); ++i) {
      if (!list[i].date) continue;
      const std::size_t hash = hashOf(*list[i].date);
      std::size_t found = 0;
      if (find(list, *list[i].date, hash, found) == Probe::absent) insert(hash, i);
    }
  }

  std::vector<Slot> slots_;
  std::size_t size_ = 0;
};

}  // namespace talvaren::detail
