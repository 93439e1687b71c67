// The controller's assertion hook. A check that fails in the field (a wait
// that gave up, a packet that could not be sent, a text cut at its buffer's
// end) stops nothing: it is recorded with its module and line in the
// machine's assertion log, which a debugger or a test reads.
#pragma once

#include <string_view>

#include "layer2/corecode/mt/recent_log.h"

namespace vxctl {

struct AssertRecord {
  std::string_view module;  // a literal
  unsigned line = 0;
  bool operator==(const AssertRecord&) const = default;
};

using AssertLog = RecentLog<AssertRecord, 64>;

void dbg_assert(const char* module, unsigned line);

}  // namespace vxctl
