// The machine's pending log: the record of calls from the built controller
// into parts that are not built yet (pending_calls.h). Each such call is a
// no-op that appends its name and arguments here, so a test sees what the
// built code asked for and in which order. The newest kKept calls are kept.
//
// Record may run on any thread at any level: each call claims its own
// entry. Calls, Names and Clear are for tests, at a quiet moment.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <initializer_list>
#include <string_view>
#include <vector>

namespace vxctl {

struct PendingCall {
  std::string_view name;  // the entry's name (a literal)
  std::vector<std::int64_t> args;
  std::string_view text;  // a text argument (a literal), empty when none
  bool operator==(const PendingCall&) const = default;
};

class PendingLog {
 public:
  static constexpr std::size_t kKept = 256;

  void Record(std::string_view name, std::initializer_list<std::int64_t> args = {},
              std::string_view text = {});
  // Oldest first.
  std::vector<PendingCall> Calls() const;
  std::vector<std::string_view> Names() const;
  // Every call recorded since the last Clear, also those no longer kept.
  std::uint64_t Total() const { return recorded_.load(); }
  void Clear() { recorded_.store(0); }

 private:
  std::array<PendingCall, kKept> calls_;
  std::atomic<std::uint64_t> recorded_{0};
};

}  // namespace vxctl
