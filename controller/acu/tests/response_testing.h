// Responses are tested over the real DTE interface and port: the body runs
// on the controller thread of a fresh machine with the port open and the
// DTE interface in command mode, and AppRead plays the application.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace vxctl::testing {

void RunResponses(const std::function<void()>& body);

// Sets S3, S4 and the Q and V bits of S14.
void SetFraming(std::uint8_t s3, std::uint8_t s4, bool verbose, bool quiet = false);

// Everything the application can read, once the response ring has been
// pushed out to it.
std::string AppRead();

}  // namespace vxctl::testing
