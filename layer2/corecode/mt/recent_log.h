// A log that keeps its newest kKept entries and counts all of them. Append
// may run on any thread at any level: each call claims its own slot.
// Entries, Total and Clear are for tests and debuggers, at a quiet moment.
#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

namespace vxctl {

template <typename Entry, std::size_t kKept>
class RecentLog {
 public:
  void Append(Entry entry) {
    const std::uint64_t n = recorded_.fetch_add(1);
    entries_[n % kKept] = std::move(entry);
  }
  // The newest kKept entries, oldest first.
  std::vector<Entry> Entries() const {
    const std::uint64_t end = recorded_.load();
    const std::uint64_t begin = end > kKept ? end - kKept : 0;
    std::vector<Entry> entries;
    for (std::uint64_t n = begin; n < end; ++n) entries.push_back(entries_[n % kKept]);
    return entries;
  }
  // Every entry appended since the last Clear, also those no longer kept.
  std::uint64_t Total() const { return recorded_.load(); }
  void Clear() { recorded_.store(0); }

 private:
  std::array<Entry, kKept> entries_;
  std::atomic<std::uint64_t> recorded_{0};
};

}  // namespace vxctl
