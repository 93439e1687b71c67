#include "layer2/corecode/mt/pending/pending_log.h"

namespace vxctl {

void PendingLog::Record(std::string_view name, std::initializer_list<std::int64_t> args,
                        std::string_view text) {
  const std::uint64_t n = recorded_.fetch_add(1);
  calls_[n % kKept] = {name, std::vector<std::int64_t>(args), text};
}

std::vector<PendingCall> PendingLog::Calls() const {
  const std::uint64_t end = recorded_.load();
  const std::uint64_t begin = end > kKept ? end - kKept : 0;
  std::vector<PendingCall> calls;
  for (std::uint64_t n = begin; n < end; ++n) calls.push_back(calls_[n % kKept]);
  return calls;
}

std::vector<std::string_view> PendingLog::Names() const {
  std::vector<std::string_view> names;
  for (const PendingCall& call : Calls()) names.push_back(call.name);
  return names;
}

}  // namespace vxctl
