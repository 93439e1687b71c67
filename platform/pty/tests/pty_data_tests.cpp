// Bytes through the bridge and the loopback port: nothing lost or reordered
// while the application stalls, and nothing the modem sent while nobody had
// the slave open reaches a later open.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <random>
#include <string>
#include <thread>

#include "platform/pty/tests/bridge_rig.h"
#include "platform/pty/tests/loop_log.h"
#include "platform/pty/tests/slave_client.h"

namespace plat::pty {
namespace {

using testing::BridgeRig;
using testing::MakeLoopRig;
using testing::WaitUntil;

constexpr std::size_t kMiB = 1 << 20;

// `size` seeded bytes, leaving out 0x11 and 0x13 when `without_xon_xoff`.
std::string SeededBytes(std::size_t size, bool without_xon_xoff) {
  std::mt19937 generator(53);
  std::string bytes;
  bytes.reserve(size);
  while (bytes.size() < size) {
    const auto byte = static_cast<char>(generator() & 0xFF);
    if (without_xon_xoff && (byte == 0x11 || byte == 0x13)) continue;
    bytes.push_back(byte);
  }
  return bytes;
}

// Writes all of `bytes` to `fd` while reading them back, stopping the reads
// once for `pause_ms` after a quarter; what came back.
std::string WriteAndReadBack(int fd, const std::string& bytes, int pause_ms, int wait_ms) {
  std::thread writer([&] {
    std::size_t sent = 0;
    while (sent < bytes.size()) {
      const ssize_t put =
          ::write(fd, bytes.data() + sent, std::min<std::size_t>(4096, bytes.size() - sent));
      if (put <= 0) return;
      sent += static_cast<std::size_t>(put);
    }
  });
  std::string back;
  bool paused = false;
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(wait_ms);
  while (back.size() < bytes.size() && std::chrono::steady_clock::now() < end) {
    if (!paused && back.size() >= bytes.size() / 4) {
      paused = true;
      std::this_thread::sleep_for(std::chrono::milliseconds(pause_ms));
    }
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, 20) <= 0) continue;
    char buffer[4096];
    const ssize_t got = ::read(fd, buffer, sizeof buffer);
    if (got > 0) back.append(buffer, static_cast<std::size_t>(got));
  }
  // A writer still blocked (bytes lost on the way) is freed by the flush.
  ::tcflush(fd, TCIOFLUSH);
  writer.join();
  return back;
}

TEST(PtyNoLoss, OneMebibyteComesBackInOrderThroughStalls) {
  struct Row {
    const char* what;
    tcflag_t software_flow;
  };
  for (const Row row : {Row{"raw, all 256 values", 0}, Row{"IXON and IXOFF", IXON | IXOFF}}) {
    SCOPED_TRACE(row.what);
    BridgeRig rig = MakeLoopRig();
    ASSERT_TRUE(rig.Start());
    const std::string bytes = SeededBytes(kMiB, row.software_flow != 0);
    std::string back;
    rig.RunApplication(
        [&] {
          const int fd = testing::OpenRaw(rig.link());
          ASSERT_GE(fd, 0);
          termios t{};
          ::tcgetattr(fd, &t);
          t.c_iflag |= row.software_flow;
          ::tcsetattr(fd, TCSANOW, &t);
          back = WriteAndReadBack(fd, bytes, 1000, 25'000);
          ::close(fd);
        },
        30);
    ASSERT_EQ(back.size(), bytes.size());
    EXPECT_TRUE(back == bytes) << "first difference at "
                               << std::mismatch(back.begin(), back.end(), bytes.begin()).first -
                                      back.begin();
  }
}

// One application writes and leaves at once, so the echo comes while nobody
// has the slave open; the next one gets only its own bytes back.
TEST(PtyDiscardWhileClosed, ModemOutputWhileClosedNeverReachesALaterOpen) {
  BridgeRig rig = MakeLoopRig();
  ASSERT_TRUE(rig.Start());
  const std::string stale(3000, 's');
  std::string transcript;
  rig.RunApplication(
      [&] {
        const int first = testing::OpenRaw(rig.link());
        ASSERT_GE(first, 0);
        ASSERT_EQ(::write(first, stale.data(), stale.size()), static_cast<ssize_t>(stale.size()));
        ::close(first);
        // The port took them (the bridge may not even have seen that open).
        EXPECT_TRUE(WaitUntil([&] { return testing::WrittenFrom(rig, 0) == stale; }));
        const int second = testing::OpenRaw(rig.link());
        ASSERT_GE(second, 0);
        ASSERT_EQ(::write(second, "fresh", 5), 5);
        testing::ReadUntil(second, transcript, "fresh", 3000);
        ::close(second);
      },
      8);
  EXPECT_EQ(transcript, "fresh");
}

}  // namespace
}  // namespace plat::pty
