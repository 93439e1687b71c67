// Reading the test-side front end's call log: the requests in order.
#pragma once

#include <vector>

#include "pump/tests/support/test_afe.h"

namespace pump::testing {

struct Request {
  ULONG code;
  ULONG argument;
  bool operator==(const Request&) const = default;
};

// The requests (locked and sound-path) of the log, in order.
inline std::vector<Request> Requests(const std::vector<AfeCall>& log) {
  std::vector<Request> requests;
  for (const AfeCall& call : log) {
    if (call.entry == AfeEntry::kRequest || call.entry == AfeEntry::kSoundPath) {
      requests.push_back({call.code, call.argument});
    }
  }
  return requests;
}

inline std::vector<ULONG> RequestCodes(const std::vector<AfeCall>& log) {
  std::vector<ULONG> codes;
  for (const Request& request : Requests(log)) codes.push_back(request.code);
  return codes;
}

}  // namespace pump::testing
