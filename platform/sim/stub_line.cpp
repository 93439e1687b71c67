#include "platform/sim/stub_line.h"

namespace plat::sim {

void StubLine::HookChanged(Instant at, bool off_hook) {
  off_hook_ = off_hook;
  hook_log_.push_back({at, off_hook});
}

LineConditions StubLine::Conditions(Instant) {
  if (dead) return {};
  if (off_hook_) return {true, off_hook_millivolts, ringing};
  return {false, on_hook_millivolts, ringing};
}

}  // namespace plat::sim
