// The machine's pending log: the record of calls from the built controller
// into parts that are not built yet (pending_calls.h). Each such call is a
// no-op that appends its name and arguments here, so a test sees what the
// built code asked for and in which order. The newest kKept calls are kept.
//
// Record may run on any thread at any level (recent_log.h). Calls, Names
// and Clear are for tests, at a quiet moment.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string_view>
#include <vector>

#include "layer2/corecode/mt/recent_log.h"

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
              std::string_view text = {}) {
    calls_.Append({name, std::vector<std::int64_t>(args), text});
  }
  // Oldest first.
  std::vector<PendingCall> Calls() const { return calls_.Entries(); }
  std::vector<std::string_view> Names() const;
  // Every call recorded since the last Clear, also those no longer kept.
  std::uint64_t Total() const { return calls_.Total(); }
  void Clear() { calls_.Clear(); }

 private:
  RecentLog<PendingCall, kKept> calls_;
};

}  // namespace vxctl
