// The IRP workers: queued requests one at a time in order, an immediate
// read behind the queue, cancellation wherever a request is, and many
// applications' threads using the port at once; then a terminal's
// exchange with the stand-in command interpreter.
#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <memory>
#include <random>
#include <vector>

#include "layer2/corecode/mt/port/uart.h"
#include "layer2/corecode/mt/serial/tests/serial_client.h"
#include "platform/hal/instant.h"
#include "platform/ke/irql.h"
#include "platform/machine/testing/dte_client.h"
#include "platform/win32/comm.h"
#include "platform/win32/win32.h"

namespace vxctl::testing {
namespace {

class SerialWorkers : public SerialTest {};
class SerialEndToEnd : public SerialTest {};

constexpr ULONG kWorkerMax = 0xFFFFFFFF;

// All bytes stored before any reader runs.
void ArriveTogether(std::string_view bytes) {
  KIRQL old;
  KeRaiseIrql(DISPATCH_LEVEL, &old);
  for (char c : bytes) uart_rx_char(static_cast<std::uint8_t>(c));
  KeLowerIrql(old);
}

TEST_F(SerialWorkers, QueuedReadsAreServedInOrderAndAnImmediateReadWaitsForThem) {
  WithPort([](HANDLE port) {
    SetTimeouts(port, {0, 0, 0, 0, 0});
    Transfer first, second, immediate;
    UserThread a([&] { first = Read(port, 3); });
    Sleep(10);
    UserThread b([&] { second = Read(port, 3); });
    Sleep(10);
    SetTimeouts(port, {kWorkerMax, 0, 0, 0, 0});
    UserThread c([&] { immediate = Read(port, 10); });
    Sleep(20);
    EXPECT_FALSE(c.Join(0)) << "the immediate read overtook the queued ones";
    ArriveTogether("abcdef12");
    ASSERT_TRUE(a.Join(100));
    ASSERT_TRUE(b.Join(100));
    ASSERT_TRUE(c.Join(100));
    EXPECT_EQ(first.bytes, "abc");
    EXPECT_EQ(second.bytes, "def");
    EXPECT_EQ(immediate.bytes, "12");
  });
}

TEST_F(SerialWorkers, CancelReachesServedAndQueuedReads) {
  WithPort([](HANDLE port) {
    SetTimeouts(port, {0, 0, 0, 0, 0});
    Transfer served, queued;
    UserThread a([&] { served = Read(port, 5); });
    Sleep(10);
    UserThread b([&] { queued = Read(port, 5); });
    Sleep(10);
    ArriveTogether("ab");
    Sleep(10);
    EXPECT_TRUE(CancelIoEx(port, nullptr));
    ASSERT_TRUE(a.Join(50));
    ASSERT_TRUE(b.Join(50));
    EXPECT_EQ(served.error, ErrorFor(STATUS_CANCELLED));
    EXPECT_EQ(queued.error, ErrorFor(STATUS_CANCELLED));
    EXPECT_EQ(uart_rx_count(), 0u) << "the served read had taken what came";
    // The worker serves the next read.
    Transfer next;
    UserThread d([&] { next = Read(port, 2); });
    Sleep(10);
    ArriveTogether("cd");
    ASSERT_TRUE(d.Join(50));
    EXPECT_EQ(next.bytes, "cd");
  });
}

// Threads at several priorities read, write, wait, purge and cancel at
// random while a controller thread delivers bytes; every call must return
// (each request completed once: the I/O verifier stops the machine on a
// second completion or a request left at shutdown).
TEST_F(SerialWorkers, EveryRequestCompletesOnceUnderRandomUse) {
  constexpr int kSeeds = 6;
  constexpr int kThreads = 4;
  constexpr int kOperations = 14;
  const std::array<SERIAL_TIMEOUTS, 4> timeouts{{{kWorkerMax, 0, 0, 0, 40},
                                                {kWorkerMax, kWorkerMax, 30, 2, 20},
                                                {0, 0, 40, 0, 30},
                                                {20, 1, 60, 0, 50}}};
  const std::array<DWORD, 6> purges{PURGE_TXABORT, PURGE_RXABORT, PURGE_TXABORT | PURGE_RXABORT,
                                    PURGE_TXCLEAR, PURGE_RXCLEAR, 0x0F};
  BootCtl();
  for (int seed = 1; seed <= kSeeds; ++seed) {
    SCOPED_TRACE(seed);
    WithDevice(u"COM1", [&](HANDLE port) {
      SetTimeouts(port, timeouts[0]);
      ASSERT_TRUE(SetCommMask(port, EV_RXCHAR | EV_RING));
      std::atomic<bool> feeding{true};
      UserThread feeder([&] {
        std::mt19937 rng(seed);
        while (feeding.load()) {
          uart_rx_char(static_cast<std::uint8_t>('a' + rng() % 26));
          Sleep(1 + rng() % 15);
        }
      });
      std::atomic<int> returned{0};
      std::vector<std::unique_ptr<UserThread>> users;
      for (int t = 0; t < kThreads; ++t) {
        users.push_back(std::make_unique<UserThread>([&, t] {
          KeSetPriorityThread(KeGetCurrentThread(), 6 + 3 * t);
          std::mt19937 rng(seed * 100 + t);
          for (int op = 0; op < kOperations; ++op) {
            switch (rng() % 7) {
              case 0:
                SetTimeouts(port, timeouts[rng() % timeouts.size()]);
                break;
              case 1:
                Read(port, 1 + rng() % 16);
                break;
              case 2:
                Write(port, std::string(1 + rng() % 40, 'w'));
                break;
              case 3: {
                DWORD events = 0;
                WaitCommEvent(port, &events, nullptr);
                break;
              }
              case 4:
                PurgeComm(port, purges[rng() % purges.size()]);
                break;
              case 5:
                CancelIoEx(port, nullptr);
                break;
              default:
                Sleep(rng() % 20);
            }
            returned.fetch_add(1);
          }
        }));
      }
      // A wait with no event coming would hold its thread: new masks end
      // the waits once the threads are nearly through.
      bool all = false;
      for (int round = 0; round < 400 && !all; ++round) {
        all = true;
        for (auto& user : users) all = user->Join(10) && all;
        if (!all && round > 100) SetCommMask(port, EV_RXCHAR | EV_RING);
      }
      ASSERT_TRUE(all) << "requests did not complete";
      EXPECT_EQ(returned.load(), kThreads * kOperations);
      feeding.store(false);
    });
  }
}

TEST_F(SerialEndToEnd, TerminalGetsAnswersFromTheCommandInterpreter) {
  BootCtl();
  // Each open starts the controller afresh; the characters toward the
  // terminal must not stay dropped after the first close.
  for (int open = 1; open <= 3; ++open) {
    SCOPED_TRACE(open);
    ASSERT_TRUE(sim.RunUserThread(kernel(), "dte", [&] {
      plat::testing::DteClient dte(u"COM1");
      ASSERT_TRUE(dte.ok());
      ASSERT_TRUE(dte.Send("AT\r"));
      EXPECT_TRUE(dte.Expect("OK\r\n", 2 * plat::hal::kSecond));
      ASSERT_TRUE(dte.Send("AThello\r"));
      EXPECT_TRUE(dte.Expect("ERROR\r\n", 2 * plat::hal::kSecond));
      EXPECT_EQ(dte.transcript(), "AT\r\r\nOK\r\nAThello\r\r\nERROR\r\n");
    }, sim.Now() + 60 * plat::hal::kSecond));
  }
}

}  // namespace
}  // namespace vxctl::testing
