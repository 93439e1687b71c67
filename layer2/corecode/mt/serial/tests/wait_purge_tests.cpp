// The wait on the event mask and the purge request, with applications on
// two threads: one waits or reads while the other acts.
#include <gtest/gtest.h>

#include <atomic>

#include "layer2/corecode/mt/frame/frame.h"
#include "layer2/corecode/mt/port/port_block.h"
#include "layer2/corecode/mt/port/uart.h"
#include "layer2/corecode/mt/serial/tests/serial_client.h"
#include "platform/win32/comm.h"
#include "platform/win32/win32.h"

namespace vxctl::testing {
namespace {

class SerialWaitMask : public SerialTest {};
class SerialPurge : public SerialTest {};

struct WaitResult {
  DWORD error = 0xFFFFFFFF;
  DWORD events = 0xFFFFFFFF;
};

WaitResult WaitOnce(HANDLE port) {
  WaitResult r;
  DWORD events = 0;
  r.error = WaitCommEvent(port, &events, nullptr) ? 0 : GetLastError();
  r.events = events;
  return r;
}

DWORD Mask(HANDLE port) {
  DWORD mask = 0;
  EXPECT_TRUE(GetCommMask(port, &mask));
  return mask;
}

TEST_F(SerialWaitMask, MaskIsCutToTheElevenEvents) {
  WithPort([](HANDLE port) {
    ASSERT_TRUE(SetCommMask(port, 0xFFFF));
    EXPECT_EQ(Mask(port), 0x7FFu);
    ASSERT_TRUE(SetCommMask(port, EV_RING | 0x8000));
    EXPECT_EQ(Mask(port), DWORD{EV_RING});
    ULONG events = 0;
    EXPECT_EQ(Control(port, IOCTL_SERIAL_WAIT_ON_MASK, nullptr, 0, &events, 3).error,
              ErrorFor(STATUS_BUFFER_TOO_SMALL));
  });
}

TEST_F(SerialWaitMask, ASecondWaitIsRefusedAndANewMaskEndsTheFirst) {
  WithPort([](HANDLE port) {
    ASSERT_TRUE(SetCommMask(port, EV_RING));
    WaitResult first;
    UserThread waiter([&] { first = WaitOnce(port); });
    Sleep(50);
    EXPECT_EQ(WaitOnce(port).error, ErrorFor(STATUS_INVALID_PARAMETER));
    EXPECT_FALSE(waiter.Join(50)) << "the first wait ended with the second";
    ASSERT_TRUE(SetCommMask(port, EV_RING | EV_RLSD));
    ASSERT_TRUE(waiter.Join(100));
    EXPECT_EQ(first.error, 0u);
    EXPECT_EQ(first.events, 0u);
  });
}

TEST_F(SerialWaitMask, WaitWithNoMaskIsRefused) {
  WithPort([](HANDLE port) {
    ASSERT_TRUE(SetCommMask(port, 0));
    EXPECT_EQ(WaitOnce(port).error, ErrorFor(STATUS_INVALID_PARAMETER));
  });
}

// Events recorded before the wait end it at once; events while it waits
// end it when they come; events outside the mask leave it waiting.
TEST_F(SerialWaitMask, EventsEndTheWait) {
  WithPort([](HANDLE port) {
    ASSERT_TRUE(SetCommMask(port, EV_RXCHAR | EV_RLSD));
    uart_rx_char('x');
    const WaitResult at_once = WaitOnce(port);
    EXPECT_EQ(at_once.error, 0u);
    EXPECT_EQ(at_once.events, DWORD{EV_RXCHAR});

    WaitResult later;
    UserThread waiter([&] { later = WaitOnce(port); });
    Sleep(30);
    uart_ri_on();  // EV_RING: not in the mask
    EXPECT_FALSE(waiter.Join(30));
    uart_dcd_on();
    ASSERT_TRUE(waiter.Join(50));
    EXPECT_EQ(later.error, 0u);
    EXPECT_EQ(later.events, DWORD{EV_RLSD});
  });
}

TEST_F(SerialWaitMask, CancelEndsTheWait) {
  WithPort([](HANDLE port) {
    ASSERT_TRUE(SetCommMask(port, EV_RING));
    WaitResult r;
    UserThread waiter([&] { r = WaitOnce(port); });
    Sleep(20);
    EXPECT_TRUE(CancelIoEx(port, nullptr));
    ASSERT_TRUE(waiter.Join(50));
    EXPECT_EQ(r.error, ErrorFor(STATUS_CANCELLED));
    // The port serves the next wait as before.
    uart_ri_on();
    const WaitResult next = WaitOnce(port);
    EXPECT_EQ(next.error, 0u);
    EXPECT_EQ(next.events, DWORD{EV_RING});
  });
}

// The pending wait holds the handle's file: cleanup must end it, or the
// close never comes and the port stays open for the next application.
TEST_F(SerialWaitMask, ClosingTheHandleEndsThePendingWaitAndTheCloseArrives) {
  BootCtl();
  ASSERT_TRUE(sim.RunUserThread(kernel(), "app", [&] {
    HANDLE port = CreateFile(u"\\\\.\\COM1", GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                             OPEN_EXISTING, 0, 0);
    ASSERT_NE(port, INVALID_HANDLE_VALUE);
    ASSERT_TRUE(SetCommMask(port, EV_RING));
    WaitResult r;
    UserThread waiter([&] { r = WaitOnce(port); });
    Sleep(20);
    EXPECT_TRUE(CloseHandle(port));
    ASSERT_TRUE(waiter.Join(100));
    EXPECT_EQ(r.error, ErrorFor(STATUS_CANCELLED));
    EXPECT_EQ(port_block().open_marker.load(), 0) << "the close did not arrive";
    HANDLE again = CreateFile(u"\\\\.\\COM1", GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                              OPEN_EXISTING, 0, 0);
    EXPECT_NE(again, INVALID_HANDLE_VALUE);
    CloseHandle(again);
  }, sim.Now() + 60'000'000'000ULL));
}

// With no time-outs a read waits in the read worker until its bytes come.
TEST_F(SerialPurge, AbortEndsAReadWaitingInTheWorker) {
  WithPort([](HANDLE port) {
    SetTimeouts(port, {0, 0, 0, 0, 0});
    Transfer r;
    UserThread reader([&] { r = Read(port, 10); });
    Sleep(30);
    uart_rx_char('a');
    Sleep(30);
    EXPECT_FALSE(reader.Join(0));
    ASSERT_TRUE(PurgeComm(port, PURGE_TXABORT | PURGE_RXABORT));
    ASSERT_TRUE(reader.Join(50));
    EXPECT_EQ(r.error, ErrorFor(STATUS_CANCELLED));
  });
}

TEST_F(SerialPurge, ReceiveClearEmptiesTheQueueAndResumesTheController) {
  WithPort([](HANDLE port) {
    for (char c : std::string("pending")) uart_rx_char(static_cast<std::uint8_t>(c));
    port_block().flow.fetch_or(kFlowXoffSent);
    ASSERT_TRUE(PurgeComm(port, PURGE_RXCLEAR));
    EXPECT_EQ(uart_rx_count(), 0u);
    EXPECT_EQ(port_block().flow.load() & kFlowXoffSent, 0) << "the controller was not resumed";
  });
}

// A write stuck in the write worker (the controller holds the port's
// output) is aborted before the write queue is emptied: emptied first,
// the write would refill it before its abort.
TEST_F(SerialPurge, WritesAreAbortedBeforeTheWriteQueueIsCleared) {
  WithPort([](HANDLE port) {
    SetTimeouts(port, {0xFFFFFFFF, 0, 0, 0, 0});
    ASSERT_TRUE(EscapeCommFunction(port, SETXOFF));
    const std::string text(3000, 'w');
    Transfer r;
    UserThread writer([&] { r = Write(port, text); });
    Sleep(50);
    EXPECT_EQ(uart_tx_count(), 1024u);
    ASSERT_TRUE(PurgeComm(port, PURGE_TXABORT | PURGE_TXCLEAR));
    ASSERT_TRUE(writer.Join(50));
    EXPECT_EQ(r.error, ErrorFor(STATUS_CANCELLED));
    EXPECT_EQ(uart_tx_count(), 0u);
    ASSERT_TRUE(EscapeCommFunction(port, SETXON));
  });
}

}  // namespace
}  // namespace vxctl::testing
