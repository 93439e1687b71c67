// A value of the line's state over time: every change with the instant (ns on
// the timeline) from which it holds, so the state at any past instant can be
// asked for and the changes listed (pulse dialling shows in a hook log).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/diag/fatal.h"

namespace plat::line {

template <typename T>
class StateLog {
 public:
  struct Change {
    std::uint64_t at;
    T value;
    friend bool operator==(const Change&, const Change&) = default;
  };

  explicit StateLog(T initial = T{}) : initial_(initial) {}

  // From `at` on the value is `value`; a change earlier than the last one is
  // fatal, a change to the value already held is not logged.
  void Set(std::uint64_t at, T value) {
    if (!changes_.empty() && at < changes_.back().at) {
      diag::Fatal("line-state-order", "a change at " + std::to_string(at) +
                                          " ns precedes the one at " +
                                          std::to_string(changes_.back().at) + " ns");
    }
    if (value == Latest()) return;
    changes_.push_back({at, value});
  }

  T At(std::uint64_t at) const {
    // Most questions are about the recent past: look from the newest change.
    for (auto change = changes_.rbegin(); change != changes_.rend(); ++change) {
      if (change->at <= at) return change->value;
    }
    return initial_;
  }
  T Latest() const { return changes_.empty() ? initial_ : changes_.back().value; }
  const std::vector<Change>& changes() const { return changes_; }

 private:
  T initial_;
  std::vector<Change> changes_;
};

}  // namespace plat::line
