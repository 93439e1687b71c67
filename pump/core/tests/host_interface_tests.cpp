#include <gtest/gtest.h>

#include <cstring>
#include <numeric>
#include <vector>

#include "pump/core/host_interface.h"
#include "pump/core/host_transfer.h"
#include "pump/core/tests/host_fixture.h"

namespace pump {
namespace {

using HostInterfaceTest = testing::HostFixture;

std::vector<std::uint8_t> Bytes(std::size_t n, std::uint8_t first) {
  std::vector<std::uint8_t> v(n);
  std::iota(v.begin(), v.end(), first);
  return v;
}

std::vector<std::uint8_t> Registers(const std::uint8_t* page, int first, int last) {
  return {page + first, page + last + 1};
}

// --- The object -------------------------------------------------------------

TEST(HostInterfaceObject, ComesFromNonPagedPoolTaggedDdkAndStartsZeroed) {
  plat::ex::Pool pool{"alloc"};
  plat::ex::ScopedPool scope{pool};
  HostInterface* host = AllocHostInterface();
  ASSERT_NE(host, nullptr);
  const ULONG ddk = plat::ex::PoolTag("Ddk ");
  EXPECT_EQ(pool.LiveByTag(ddk), (plat::ex::PoolUsage{1, sizeof(HostInterface)}));
  EXPECT_EQ(pool.LiveByType(NonPagedPool).blocks, 1u);
  // The pool hands out poisoned blocks; the page must not inherit that.
  EXPECT_TRUE(std::all_of(std::begin(host->comram.reg), std::end(host->comram.reg),
                          [](std::uint8_t r) { return r == 0; }));
  FreeHostInterface(host);
  EXPECT_EQ(pool.Live(), (plat::ex::PoolUsage{0, 0}));

  pool.FailTag(ddk);
  EXPECT_EQ(AllocHostInterface(), nullptr);
}

// --- Registers -----------------------------------------------------------------

TEST_F(HostInterfaceTest, InitLeavesThePageZeroExceptTheHookRelay) {
  std::fill_n(page(), kComramSize, std::uint8_t{0xA5});
  InitHostInterface(*host, &CountCall, nullptr);
  for (int r = 0; r < static_cast<int>(kComramSize); ++r) {
    EXPECT_EQ(page()[r], r == 242 ? 0x04 : 0x00) << "register " << r;
  }
  EXPECT_EQ(host->param_keys, host->param_key_table);
  EXPECT_EQ(host->mem_keys, host->mem_key_table);
  EXPECT_EQ(controller_calls, 0);
}

TEST_F(HostInterfaceTest, TheDoorbellsReadAsZero) {
  page()[254] = 0x11;
  page()[255] = 0x22;
  page()[253] = 0x33;
  EXPECT_EQ(ReadDspReg(*host, 254), 0);
  EXPECT_EQ(ReadDspReg(*host, 255), 0);
  EXPECT_EQ(ReadDspReg(*host, 253), 0x33);
  EXPECT_EQ(GetDspReg(*host, 254), 0x11);
}

TEST_F(HostInterfaceTest, Register255CallsTheControllerOnlyWhileEnabled) {
  struct Case {
    std::uint8_t enable;  // register 247
    int calls;
    std::uint8_t stored;  // register 255 afterwards
  };
  for (const Case c :
       {Case{0x02, 1, 0x00}, Case{0xFF, 1, 0x00}, Case{0xFD, 0, 0x01}, Case{0x00, 0, 0x01}}) {
    SCOPED_TRACE(::testing::PrintToString(int{c.enable}));
    controller_calls = 0;
    page()[255] = 0;
    page()[247] = c.enable;
    WriteDspReg(*host, 255, 0x01);
    EXPECT_EQ(controller_calls, c.calls);
    EXPECT_EQ(page()[255], c.stored);
  }
}

TEST_F(HostInterfaceTest, OtherRegistersAreStoredWithoutACall) {
  page()[247] = 0x02;
  WriteDspReg(*host, 57, 0x9C);
  SetDspReg(*host, 255, 0x33);
  EXPECT_EQ(page()[57], 0x9C);
  EXPECT_EQ(page()[255], 0x33);
  EXPECT_EQ(controller_calls, 0);
}

TEST_F(HostInterfaceTest, ReportWordsAreLittleEndianAndOnlyFour) {
  SetDspRegWord(*host, 0, 0x1234);
  SetDspRegWord(*host, 3, -2);
  EXPECT_EQ(Registers(page(), 118, 125),
            (std::vector<std::uint8_t>{0x34, 0x12, 0, 0, 0, 0, 0xFE, 0xFF}));
  const auto before = Snapshot();
  SetDspRegWord(*host, 4, 0x7777);
  SetDspRegWord(*host, -1, 0x7777);
  EXPECT_EQ(Snapshot(), before);
}

TEST_F(HostInterfaceTest, Register126IsTheOnlyOneThatReads) {
  page()[126] = 0x5A;
  page()[125] = 0x66;
  EXPECT_EQ(ReadDspReg126(*host, 126), 0x5A);
  EXPECT_EQ(ReadDspReg126(*host, 125), 0);
  EXPECT_EQ(ReadDspReg126(*host, 0), 0);
}

TEST_F(HostInterfaceTest, LocalPhoneBitIsLowWhileTheFlagIsSet) {
  page()[242] = 0xF6;
  SetLocalPhoneBit(*host, true);
  EXPECT_EQ(page()[242], 0xF4);
  SetLocalPhoneBit(*host, false);
  EXPECT_EQ(page()[242], 0xF6);
  page()[242] = 0x00;
  SetLocalPhoneBit(*host, false);
  EXPECT_EQ(page()[242], 0x02);
}

// --- Packets -----------------------------------------------------------------

TEST_F(HostInterfaceTest, PostRefusedWhileRegister0IsBusyKeepsTheFirstPacket) {
  const auto first = Bytes(3, 0x41);
  ASSERT_TRUE(PostDpPacket(*host, 0xC0, first));
  EXPECT_EQ(Registers(page(), 0, 6), (std::vector<std::uint8_t>{0xC0, 0, 3, 0, 0x41, 0x42, 0x43}));
  EXPECT_EQ(controller_calls, 1);

  const auto before = Snapshot();
  EXPECT_FALSE(PostDpPacket(*host, 0xD1, Bytes(16, 0x90)));
  EXPECT_EQ(Snapshot(), before);
  EXPECT_EQ(controller_calls, 1);

  page()[0] = 0;  // the controller takes it
  EXPECT_TRUE(PostDpPacket(*host, 0xD1, Bytes(2, 0x90)));
  EXPECT_EQ(Registers(page(), 0, 5), (std::vector<std::uint8_t>{0xD1, 0, 2, 0, 0x90, 0x91}));
  EXPECT_EQ(controller_calls, 2);
}

TEST_F(HostInterfaceTest, PayloadIsCutTo16WhileRegister2KeepsThePostedLength) {
  page()[20] = 0xEE;  // first byte of the receive mailbox, right after the packet
  page()[1] = 0x77;
  page()[3] = 0x77;
  ASSERT_TRUE(PostDpPacket(*host, 0xC4, Bytes(20, 1)));
  EXPECT_EQ(page()[1], 0);
  EXPECT_EQ(page()[2], 20);
  EXPECT_EQ(page()[3], 0);
  EXPECT_EQ(Registers(page(), 4, 19), Bytes(16, 1));
  EXPECT_EQ(page()[20], 0xEE);
  EXPECT_EQ(controller_calls, 1);
}

TEST_F(HostInterfaceTest, TakeClampsTheLengthTo16AndFreesRegister64) {
  std::uint8_t code = 0, length = 0;
  std::array<std::uint8_t, 16> payload{};
  EXPECT_FALSE(TakeCpPacket(*host, code, length, payload));
  EXPECT_EQ(controller_calls, 0);

  ControllerPostsPacket(0x66, 0x30, Bytes(16, 0x10));
  EXPECT_EQ(GetCpPacketCode(*host), 0x66);
  ASSERT_TRUE(TakeCpPacket(*host, code, length, payload));
  EXPECT_EQ(code, 0x66);
  EXPECT_EQ(length, 16);
  EXPECT_EQ(std::vector<std::uint8_t>(payload.begin(), payload.end()), Bytes(16, 0x10));
  EXPECT_EQ(page()[64], 0);
  EXPECT_EQ(GetCpPacketCode(*host), 0);
  EXPECT_EQ(controller_calls, 1);
}

TEST_F(HostInterfaceTest, TakeCopiesOnlyTheStatedLength) {
  std::uint8_t code = 0, length = 0;
  std::array<std::uint8_t, 16> payload;
  payload.fill(0xCC);
  ControllerPostsPacket(0x67, 2, Bytes(16, 0x30));
  ASSERT_TRUE(TakeCpPacket(*host, code, length, payload));
  EXPECT_EQ(length, 2);
  EXPECT_EQ(payload[0], 0x30);
  EXPECT_EQ(payload[1], 0x31);
  EXPECT_EQ(payload[2], 0xCC);
}

// --- Mailboxes ---------------------------------------------------------------

TEST_F(HostInterfaceTest, ReceivePostIsRefusedWhileCountOrKindIsSet) {
  struct Case {
    std::uint8_t count, kind;
    bool posted;
  };
  for (const Case c :
       {Case{1, 0, false}, Case{0, 1, false}, Case{255, 7, false}, Case{0, 0, true}}) {
    SCOPED_TRACE(::testing::PrintToString(std::pair<int, int>(c.count, c.kind)));
    controller_calls = 0;
    page()[52] = c.count;
    page()[53] = c.kind;
    EXPECT_EQ(RxMailboxFree(*host), c.posted);
    const auto before = Snapshot();
    EXPECT_EQ(PostRxMailbox(*host, 0, 4, Bytes(4, 1)), c.posted);
    if (!c.posted) {
      EXPECT_EQ(Snapshot(), before);
    }
    EXPECT_EQ(controller_calls, c.posted ? 1 : 0);
  }
}

TEST_F(HostInterfaceTest, CountAndKindAreOneWordCountLow) {
  ASSERT_TRUE(PostRxMailbox(*host, 3, 2, Bytes(2, 0x61)));
  std::uint16_t word;
  std::memcpy(&word, page() + 52, 2);
  EXPECT_EQ(word, 0x0302);
  EXPECT_EQ(Registers(page(), 20, 21), (std::vector<std::uint8_t>{0x61, 0x62}));
  EXPECT_FALSE(RxMailboxFree(*host));
}

TEST_F(HostInterfaceTest, ReportWithoutDataCopiesNothingButCallsBack) {
  std::fill(page() + 20, page() + 52, std::uint8_t{0xEE});
  ASSERT_TRUE(PostRxMailbox(*host, 7, 255, Bytes(32, 0)));
  EXPECT_TRUE(std::all_of(page() + 20, page() + 52, [](std::uint8_t r) { return r == 0xEE; }));
  EXPECT_EQ(page()[52], 255);
  EXPECT_EQ(page()[53], 7);
  EXPECT_EQ(controller_calls, 1);
}

TEST_F(HostInterfaceTest, ReceiveCountIsCutTo32AndToTheBytesGiven) {
  struct Case {
    std::uint8_t count;
    std::size_t given;
    std::uint8_t stored;
  };
  for (const Case c : {Case{40, 40, 32}, Case{32, 32, 32}, Case{10, 5, 5}, Case{1, 0, 0}}) {
    SCOPED_TRACE(::testing::PrintToString(std::pair<int, int>(c.count, int(c.given))));
    std::fill(page() + 20, page() + 54, std::uint8_t{0});
    ASSERT_TRUE(PostRxMailbox(*host, 0, c.count, Bytes(c.given, 1)));
    EXPECT_EQ(page()[52], c.stored);
    EXPECT_EQ(Registers(page(), 20, 19 + c.stored), Bytes(c.stored, 1));
    if (c.stored < 32) {
      EXPECT_EQ(page()[20 + c.stored], 0) << "nothing past the count";
    }
  }
}

TEST_F(HostInterfaceTest, TransmitTakeOfCount40Copies32AndEmptiesTheMailbox) {
  std::uint8_t kind = 0, count = 0;
  std::array<std::uint8_t, 32> data{};
  EXPECT_FALSE(TakeTxMailbox(*host, kind, count, data));
  EXPECT_EQ(controller_calls, 0);

  ControllerFillsTx(3, 40, Bytes(32, 0x80));
  EXPECT_EQ(GetTxCount(*host), 40);
  EXPECT_EQ(GetTxKind(*host), 3);
  ASSERT_TRUE(TakeTxMailbox(*host, kind, count, data));
  EXPECT_EQ(kind, 3);
  EXPECT_EQ(count, 32);
  EXPECT_EQ(std::vector<std::uint8_t>(data.begin(), data.end()), Bytes(32, 0x80));
  EXPECT_EQ(page()[116], 0);
  EXPECT_EQ(page()[117], 0);
  EXPECT_EQ(controller_calls, 1);
}

TEST_F(HostInterfaceTest, TransmitTakeOfAKindWithoutData) {
  std::uint8_t kind = 0, count = 9;
  std::array<std::uint8_t, 32> data{};
  ControllerFillsTx(5, 0, {});
  ASSERT_TRUE(TakeTxMailbox(*host, kind, count, data));
  EXPECT_EQ(kind, 5);
  EXPECT_EQ(count, 0);
}

TEST_F(HostInterfaceTest, PeekCopiesButClearsAndCallsNothing) {
  std::array<std::uint8_t, 32> data{};
  ControllerFillsTx(0, 40, Bytes(32, 0x20));
  EXPECT_EQ(PeekTxMailbox(*host, data), 32);
  EXPECT_EQ(std::vector<std::uint8_t>(data.begin(), data.end()), Bytes(32, 0x20));
  ControllerFillsTx(0, 5, Bytes(5, 0x50));
  data.fill(0);
  EXPECT_EQ(PeekTxMailbox(*host, data), 5);
  EXPECT_EQ(data[4], 0x54);
  EXPECT_EQ(data[5], 0);
  EXPECT_EQ(page()[116], 5);
  EXPECT_EQ(controller_calls, 0);
}

TEST_F(HostInterfaceTest, ClearMailboxesTouchesOnlyTheTwoBlocks) {
  std::fill_n(page(), kComramSize, std::uint8_t{0x5C});
  ClearMailboxes(*host);
  for (int r = 0; r < static_cast<int>(kComramSize); ++r) {
    const bool mailbox = (r >= 20 && r <= 53) || (r >= 84 && r <= 117);
    EXPECT_EQ(page()[r], mailbox ? 0 : 0x5C) << "register " << r;
  }
}

TEST_F(HostInterfaceTest, ReceiveCountAndKindStores) {
  SetRxCount(*host, 12);
  SetRxKind(*host, 2);
  EXPECT_EQ(page()[52], 12);
  EXPECT_EQ(page()[53], 2);
}

}  // namespace
}  // namespace pump
