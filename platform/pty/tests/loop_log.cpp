#include "platform/pty/tests/loop_log.h"

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <string>

#include "platform/machine/tests/loopback_serial.h"
#include "platform/nt/serial.h"

namespace plat::pty::testing {

using machine::testing::LoopbackLogOf;

const std::set<ULONG> kSettingCodes{
    IOCTL_SERIAL_SET_BAUD_RATE, IOCTL_SERIAL_SET_LINE_CONTROL, IOCTL_SERIAL_SET_HANDFLOW,
    IOCTL_SERIAL_GET_CHARS,     IOCTL_SERIAL_SET_CHARS,        IOCTL_SERIAL_SET_DTR,
    IOCTL_SERIAL_CLR_DTR,       IOCTL_SERIAL_SET_RTS,          IOCTL_SERIAL_CLR_RTS};
const std::set<ULONG> kPurgeCodes{IOCTL_SERIAL_PURGE};

// The port's log as requests, only those whose codes are in `codes`.
std::vector<SerialRequest> LoggedOf(BridgeRig& rig, const std::set<ULONG>& codes) {
  std::vector<SerialRequest> requests;
  for (const auto& logged : LoopbackLogOf(rig.machine().kernel()).Copy()) {
    if (codes.contains(logged.code)) requests.push_back({logged.code, logged.input});
  }
  return requests;
}

// Waits until `count` more requests of `codes` than `seen` were logged and
// returns those past `seen`, advancing it.
std::vector<SerialRequest> NextLogged(BridgeRig& rig, const std::set<ULONG>& codes,
                                      std::size_t& seen, std::size_t count) {
  WaitUntil([&] { return LoggedOf(rig, codes).size() >= seen + count; });
  const std::vector<SerialRequest> all = LoggedOf(rig, codes);
  const std::size_t from = std::min(seen, all.size());
  seen = all.size();
  return {all.begin() + static_cast<std::ptrdiff_t>(from), all.end()};
}

// Waits until a request `code` is logged past `seen` (counted among
// `codes`) and moves `seen` past it; false after the wait.
bool SkipPast(BridgeRig& rig, const std::set<ULONG>& codes, std::size_t& seen, ULONG code) {
  return WaitUntil([&] {
    const std::vector<SerialRequest> all = LoggedOf(rig, codes);
    for (std::size_t i = seen; i < all.size(); ++i) {
      if (all[i].code == code) {
        seen = i + 1;
        return true;
      }
    }
    return false;
  });
}

// The application's end, opened without echo or line editing but with the
// pseudo-terminal's other settings as they are; waits until the bridge
// raised DTR for the open, and moves `seen` past that.
int OpenQuiet(BridgeRig& rig, std::size_t& seen) {
  const int fd = ::open(rig.link().c_str(), O_RDWR | O_NOCTTY);
  if (fd < 0) return -1;
  termios t{};
  ::tcgetattr(fd, &t);
  t.c_lflag = 0;
  t.c_oflag = 0;
  ::tcsetattr(fd, TCSANOW, &t);
  EXPECT_TRUE(SkipPast(rig, kSettingCodes, seen, IOCTL_SERIAL_SET_DTR));
  return fd;
}

BridgeRig MakeLoopRig() {
  return BridgeRig({{u"loopserial", machine::testing::LoopbackSerialEntry}});
}

std::string WrittenFrom(BridgeRig& rig, std::size_t from) {
  std::string bytes;
  const auto log = LoopbackLogOf(rig.machine().kernel()).Copy();
  for (std::size_t i = from; i < log.size(); ++i) {
    if (log[i].code == machine::testing::kLoggedWrite) {
      bytes.append(log[i].input.begin(), log[i].input.end());
    }
  }
  return bytes;
}

}  // namespace plat::pty::testing
