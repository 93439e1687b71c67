// The DTE client against a serial port with a loopback plug: text sent comes
// back to be expected and read in lines within virtual deadlines, DTR and RTS
// show in the modem status, and the communication calls reach the port as
// its serial requests.
#include <gtest/gtest.h>

#include "platform/machine/testing/dte_client.h"
#include "platform/machine/testing/fixtures.h"
#include "platform/machine/tests/loopback_serial.h"

namespace plat::machine::testing {
namespace {

using plat::testing::DteClient;

class DteClientTest : public plat::testing::MachineTest {
 protected:
  void SetUp() override { Boot({.drivers = {{u"loopserial", LoopbackSerialEntry}}}); }
  // Runs `body` as the DTE's user thread.
  void AsDte(const std::function<void(DteClient&)>& body) {
    ASSERT_TRUE(sim.RunUserThread(machine_->kernel(), "dte", [&] {
      DteClient dte(u"COM1");
      ASSERT_TRUE(dte.ok()) << GetLastError();
      body(dte);
    }));
  }
  std::uint64_t Now() const { return machine_->kernel().Now(); }
};

TEST_F(DteClientTest, SentTextIsExpectedAndReadInLines) {
  AsDte([&](DteClient& dte) {
    ASSERT_TRUE(dte.Send("AT\r\nOK\r\n\r\nCONNECT 9600\r\n"));
    EXPECT_TRUE(dte.Expect("AT", hal::kSecond));
    EXPECT_EQ(dte.ReadLine(hal::kSecond), "OK");
    EXPECT_EQ(dte.ReadLine(hal::kSecond), "CONNECT 9600");
    EXPECT_EQ(dte.transcript(), "AT\r\nOK\r\n\r\nCONNECT 9600\r\n");
  });
}

TEST_F(DteClientTest, ExpectGivesUpAtItsVirtualDeadline) {
  AsDte([&](DteClient& dte) {
    ASSERT_TRUE(dte.Send("NO CARRIER\r\n"));
    const std::uint64_t start = Now();
    EXPECT_FALSE(dte.Expect("CONNECT", 250 * hal::kMillisecond));
    const std::uint64_t waited = Now() - start;
    EXPECT_GE(waited, 250 * hal::kMillisecond);
    EXPECT_LT(waited, 270 * hal::kMillisecond);
    // What arrived meanwhile stays to be read.
    EXPECT_EQ(dte.ReadLine(10 * hal::kMillisecond), "NO CARRIER");
    EXPECT_FALSE(dte.ReadLine(10 * hal::kMillisecond).has_value());
  });
}

TEST_F(DteClientTest, DtrAndRtsShowInTheModemStatus) {
  AsDte([&](DteClient& dte) {
    struct Row {
      bool dtr, rts;
      DWORD status;
    };
    for (const Row& row :
         {Row{false, false, 0}, Row{true, false, MS_DSR_ON | MS_RLSD_ON},
          Row{false, true, MS_CTS_ON}, Row{true, true, MS_CTS_ON | MS_DSR_ON | MS_RLSD_ON}}) {
      ASSERT_TRUE(dte.SetDtr(row.dtr));
      ASSERT_TRUE(dte.SetRts(row.rts));
      EXPECT_EQ(dte.ModemStatus(), row.status) << row.dtr << row.rts;
    }
    EXPECT_FALSE(EscapeCommFunction(dte.handle(), 7));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  });
}

TEST_F(DteClientTest, TimeoutsPurgeAndStatusGoThroughTheSerialRequests) {
  AsDte([&](DteClient& dte) {
    const COMMTIMEOUTS set{10, 20, 30, 40, 50};
    ASSERT_TRUE(dte.SetTimeouts(set));
    const auto got = dte.Timeouts();
    ASSERT_TRUE(got.has_value());
    EXPECT_EQ(got->ReadIntervalTimeout, 10u);
    EXPECT_EQ(got->WriteTotalTimeoutConstant, 50u);

    ASSERT_TRUE(dte.Send("12345"));
    DWORD errors = 1;
    COMSTAT status{};
    ASSERT_TRUE(ClearCommError(dte.handle(), &errors, &status));
    EXPECT_EQ(errors, 0u);
    EXPECT_EQ(status.cbInQue, 5u);
    ASSERT_TRUE(PurgeComm(dte.handle(), PURGE_RXCLEAR));
    ASSERT_TRUE(ClearCommError(dte.handle(), nullptr, &status));
    EXPECT_EQ(status.cbInQue, 0u);
    EXPECT_FALSE(PurgeComm(dte.handle(), 0x10));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  });
}

TEST_F(DteClientTest, WaitCommEventWakesOnTheMaskedEvent) {
  HANDLE port = INVALID_HANDLE_VALUE;
  DWORD events = 0;
  std::uint64_t woke_at = 0;
  bool waiting = false;
  ASSERT_TRUE(sim.RunUserThread(machine_->kernel(), "dte", [&] {
    DteClient dte(u"COM1");
    ASSERT_TRUE(dte.ok());
    port = dte.handle();
    ASSERT_TRUE(SetCommMask(port, EV_RXCHAR | EV_CTS));
    DWORD mask = 0;
    ASSERT_TRUE(GetCommMask(port, &mask));
    EXPECT_EQ(mask, static_cast<DWORD>(EV_RXCHAR | EV_CTS));
    // A second thread of the DTE sends after 40 ms while this one waits.
    HANDLE sender = CreateThread(
        nullptr, 0,
        [](LPVOID context) -> DWORD {
          HANDLE never = CreateEvent(nullptr, TRUE, FALSE, nullptr);
          WaitForSingleObject(never, 40);
          CloseHandle(never);
          DWORD written = 0;
          WriteFile(*static_cast<HANDLE*>(context), "x", 1, &written, nullptr);
          return 0;
        },
        &port, 0, nullptr);
    waiting = true;
    EXPECT_TRUE(WaitCommEvent(port, &events, nullptr));
    woke_at = Now();
    WaitForSingleObject(sender, INFINITE);
    CloseHandle(sender);
  }));
  EXPECT_TRUE(waiting);
  EXPECT_EQ(events, static_cast<DWORD>(EV_RXCHAR));
  EXPECT_GE(woke_at, 40 * hal::kMillisecond);
}

}  // namespace
}  // namespace plat::machine::testing
