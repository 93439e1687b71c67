// The bridge in front of the logging loopback serial port: the rig, the
// port's log as requests, and an application's open synchronised with it.
#pragma once

#include <cstddef>
#include <set>
#include <vector>

#include "platform/pty/termios_requests.h"
#include "platform/pty/tests/bridge_rig.h"

namespace plat::pty::testing {

// The requests terminal settings, opens and closes give.
extern const std::set<ULONG> kSettingCodes;
extern const std::set<ULONG> kPurgeCodes;

BridgeRig MakeLoopRig();

// The port's log as requests, only those whose codes are in `codes`.
std::vector<SerialRequest> LoggedOf(BridgeRig& rig, const std::set<ULONG>& codes);
// Waits until `count` more requests of `codes` than `seen` were logged and
// returns those past `seen`, advancing it.
std::vector<SerialRequest> NextLogged(BridgeRig& rig, const std::set<ULONG>& codes,
                                      std::size_t& seen, std::size_t count);
// Waits until a request `code` is logged past `seen` (counted among
// `codes`) and moves `seen` past it; false after the wait.
bool SkipPast(BridgeRig& rig, const std::set<ULONG>& codes, std::size_t& seen, ULONG code);
// The bytes the port took, from log entry `from` on.
std::string WrittenFrom(BridgeRig& rig, std::size_t from);

// The application's end, opened without echo or line editing but with the
// pseudo-terminal's other settings as they are; waits until the bridge
// raised DTR for the open, and moves `seen` past that. -1 on failure.
int OpenQuiet(BridgeRig& rig, std::size_t& seen);

}  // namespace plat::pty::testing
