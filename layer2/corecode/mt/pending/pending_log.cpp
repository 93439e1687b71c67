#include "layer2/corecode/mt/pending/pending_log.h"

namespace vxctl {

std::vector<std::string_view> PendingLog::Names() const {
  std::vector<std::string_view> names;
  for (const PendingCall& call : Calls()) names.push_back(call.name);
  return names;
}

}  // namespace vxctl
