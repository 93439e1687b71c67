// The statistics device as a monitoring program sees it: user-mode device
// control on \\.\MdmPerfMon2 of a machine booted with the real drivers,
// with COM1 open (its open resets the statistics block); and the version
// texts the reset reads from the real data pump.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "layer2/corecode/mt/machine_state.h"
#include "layer2/corecode/mt/serial/tests/serial_client.h"
#include "layer2/corecode/mt/stats/perfmon.h"
#include "layer2/corecode/mt/stats/statistics_block.h"
#include "platform/win32/win32.h"

namespace vxctl::testing {
namespace {

constexpr ULONG PerfCode(std::uint32_t n) { return 0x22F900 + 4 * n; }

class PerfmonTest : public SerialTest {
 protected:
  // Boots, opens COM1 and the statistics device, runs `body` on a user
  // thread with the statistics device's handle.
  void WithMonitor(const std::function<void(HANDLE)>& body) {
    BootCtl();
    WithDevice(u"COM1", [&](HANDLE) {
      HANDLE monitor = CreateFile(u"\\\\.\\MdmPerfMon2", GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                  OPEN_EXISTING, 0, 0);
      ASSERT_NE(monitor, INVALID_HANDLE_VALUE) << GetLastError();
      body(monitor);
      EXPECT_TRUE(CloseHandle(monitor));
    });
  }
};

// A request with an output buffer of `length` bytes (prefilled with 0xEE).
struct PerfReply {
  DWORD error;
  DWORD returned;
  std::vector<std::uint8_t> out;
};
PerfReply Ask(HANDLE monitor, std::uint32_t n, DWORD length, const void* in = nullptr,
              DWORD in_size = 0) {
  PerfReply reply{0, 0, std::vector<std::uint8_t>(length, 0xEE)};
  const ControlResult r = Control(monitor, PerfCode(n), in, in_size,
                                  length != 0 ? reply.out.data() : nullptr, length);
  reply.error = r.error;
  reply.returned = r.returned;
  return reply;
}

std::uint32_t ItemOf(const PerfReply& reply) {
  std::uint32_t item = 0;
  std::memcpy(&item, reply.out.data() + 4, sizeof item);
  return item;
}

// The requests n = 0..53: key and how it is read.
enum class PerfRead { kByte, kWord, kText };
struct PerfRow {
  std::uint8_t key;
  PerfRead read;
};
constexpr PerfRead PB = PerfRead::kByte, PW = PerfRead::kWord, PT = PerfRead::kText;
constexpr PerfRow kPerfRows[54] = {
    {0x01, PB}, {0x02, PB}, {0x03, PB}, {0x04, PT}, {0x05, PT}, {0x10, PW}, {0x11, PW},
    {0x12, PB}, {0x13, PB}, {0x14, PW}, {0x15, PW}, {0x16, PW}, {0x17, PW}, {0x18, PW},
    {0x20, PB}, {0x21, PB}, {0x22, PW}, {0x23, PW}, {0x24, PW}, {0x25, PW}, {0x26, PW},
    {0x27, PW}, {0x30, PB}, {0x31, PB}, {0x32, PB}, {0x33, PB}, {0x34, PW}, {0x35, PW},
    {0x40, PW}, {0x41, PW}, {0x42, PB}, {0x43, PB}, {0x44, PW}, {0x45, PW}, {0x50, PB},
    {0x51, PB}, {0x52, PW}, {0x53, PW}, {0x54, PW}, {0x55, PW}, {0x56, PW}, {0x57, PW},
    {0x58, PW}, {0x59, PW}, {0x60, PB}, {0x61, PB}, {0xA1, PT}, {0xA2, PT}, {0xB2, PT},
    {0xB3, PT}, {0xC0, PW}, {0xD0, PW}, {0xFE, PT}, {0xFF, PT},
};

// Entries of the classes an output mask of 0x10 passes: 0xFF only.
bool PassesResetMask(std::uint8_t key) {
  return key <= 0x03 || key == 0x50 || key == 0x51 || key == 0x60 || key >= 0xA0;
}

// What request n gives for an output buffer of `length` bytes, from the
// request table and the entry's value or text.
void ExpectStatistic(HANDLE monitor, std::uint32_t n, DWORD length, bool gate_passes) {
  const PerfRow& row = kPerfRows[n];
  SCOPED_TRACE("n = " + std::to_string(n) + ", length " + std::to_string(length));
  const PerfReply r = Ask(monitor, n, length);
  if (!gate_passes && n != 53) {
    EXPECT_EQ(r.error, ErrorFor(STATUS_UNSUCCESSFUL));
    return;
  }
  StatsEntry& entry = stats_block().Entry(row.key);
  switch (row.read) {
    case PerfRead::kByte:
      if (length == 0) {
        EXPECT_EQ(r.error, ErrorFor(STATUS_BUFFER_TOO_SMALL));
      } else {
        EXPECT_EQ(r.error, 0u);
        EXPECT_EQ(r.returned, 1u);
        EXPECT_EQ(r.out[0], static_cast<std::uint8_t>(entry.value.load()));
      }
      break;
    case PerfRead::kWord:
      if (length < 4) {
        EXPECT_EQ(r.error, ErrorFor(STATUS_BUFFER_TOO_SMALL));
      } else {
        EXPECT_EQ(r.error, 0u);
        EXPECT_EQ(r.returned, 4u);
        std::uint32_t value = 0;
        std::memcpy(&value, r.out.data(), 4);
        EXPECT_EQ(value, entry.value.load());
      }
      break;
    case PerfRead::kText: {
      const std::string text = entry.text.load();
      if ((n != 53 && length < 4) || length < text.size() + 1) {
        EXPECT_EQ(r.error, ErrorFor(STATUS_BUFFER_TOO_SMALL));
        EXPECT_TRUE(std::all_of(r.out.begin(), r.out.end(), [](auto b) { return b == 0xEE; }));
      } else {
        EXPECT_EQ(r.error, 0u);
        EXPECT_EQ(r.returned, text.size());
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(r.out.data()), r.returned), text);
      }
      break;
    }
  }
}

TEST_F(PerfmonTest, PerfmonRequestsEveryCodeAndOutputLength) {
  WithMonitor([](HANDLE monitor) {
    // The port's open reset the block, reading the data pump's version;
    // before a call only class 0xFF passes.
    EXPECT_STREQ(stats_block().Entry(0xA2).text.load(), "\"2.36.49.0\"");
    EXPECT_EQ(stats_block().output_mask.load(), kStatsPhaseReset);
    const PerfReply level = Ask(monitor, 5, 4);
    EXPECT_EQ(level.error, ErrorFor(STATUS_UNSUCCESSFUL));
    const PerfReply maker = Ask(monitor, 52, 64);
    EXPECT_EQ(maker.error, 0u);
    EXPECT_EQ(maker.returned, 13u);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(maker.out.data()), maker.returned),
              "\"Vexor_Corp.\"");

    for (const bool connected : {false, true}) {
      if (connected) {
        // Every class passes; each entry holds a value of its own.
        stats_block().output_mask = kStatsPhaseConnected | kStatsPhaseDropped | kStatsErrorControl;
        for (std::uint32_t n = 0; n < 54; ++n) {
          if (kPerfRows[n].read != PerfRead::kText) {
            stats_block().Value(kPerfRows[n].key) = 0x80A0B000u + kPerfRows[n].key;
          }
        }
        const std::uint8_t menu[] = {0xC1, 0x05, 0x45};
        stats_hex_octets(stats_block().cm_text, menu);
      }
      for (std::uint32_t n = 0; n < 54; ++n) {
        const std::string text =
            kPerfRows[n].read == PerfRead::kText ? stats_block().Entry(kPerfRows[n].key).text.load()
                                                 : "";
        for (const DWORD length : {DWORD{0}, DWORD{3}, DWORD{4}, static_cast<DWORD>(text.size()),
                                   static_cast<DWORD>(text.size() + 1), DWORD{528}}) {
          ExpectStatistic(monitor, n, length, connected || PassesResetMask(kPerfRows[n].key));
        }
      }
    }
    // n = 53 without a text: success with nothing.
    stats_block().Entry(0xFF).text = nullptr;
    const PerfReply none = Ask(monitor, 53, 16);
    EXPECT_EQ(none.error, 0u);
    EXPECT_EQ(none.returned, 0u);
    // Not served: n = 54, codes past 57 and before 0.
    for (const ULONG code : {PerfCode(54), PerfCode(58), PerfCode(200), ULONG{0x22F8FC}}) {
      EXPECT_EQ(Control(monitor, code, nullptr, 0, nullptr, 0).error,
                ErrorFor(STATUS_INVALID_DEVICE_REQUEST))
          << std::hex << code;
    }
    // n = 57 with nothing parked; n = 56 with no input.
    EXPECT_EQ(Ask(monitor, 57, 0).error, 0u);
    EXPECT_EQ(Ask(monitor, 56, 0).error, ErrorFor(STATUS_INVALID_PARAMETER));
  });
}

// A parked request, waiting on a thread of its own.
struct Parked {
  explicit Parked(HANDLE monitor, DWORD length = 528)
      : thread([this, monitor, length] { reply = Ask(monitor, 55, length); }) {}
  PerfReply reply{};
  UserThread thread;
};

PerfReply SetFlag(HANDLE monitor, std::uint32_t item, std::uint32_t value, DWORD in_size = 8) {
  const std::uint32_t in[2] = {item, value};
  return Ask(monitor, 56, 0, in, in_size);
}

TEST_F(PerfmonTest, PerfmonNotifyParkSignalAndCancel) {
  WithMonitor([](HANDLE monitor) {
    {
      // A second request while one is parked completes at once with item 0.
      Parked first(monitor);
      Sleep(10);
      const PerfReply second = Ask(monitor, 55, 528);
      EXPECT_EQ(second.error, 0u);
      EXPECT_EQ(second.returned, 528u);
      EXPECT_EQ(ItemOf(second), 0u);
      EXPECT_FALSE(first.thread.Join(10));
      // The flag of item 56 set: its signal completes the parked one.
      EXPECT_EQ(SetFlag(monitor, 56, 1).error, 0u);
      perfmon_notify(56);
      ASSERT_TRUE(first.thread.Join(20));
      EXPECT_EQ(first.reply.error, 0u);
      EXPECT_EQ(first.reply.returned, 528u);
      EXPECT_EQ(ItemOf(first.reply), 56u);
    }
    {
      // With its flag 0 an item leaves the request parked; n = 57 signals
      // item 0, whose flag starts set.
      Parked parked(monitor);
      Sleep(10);
      EXPECT_EQ(SetFlag(monitor, 57, 0x100).error, 0u);  // the low byte: 0
      perfmon_notify(57);
      perfmon_notify(300);  // no such item
      EXPECT_FALSE(parked.thread.Join(10));
      EXPECT_EQ(Ask(monitor, 57, 0).error, 0u);
      ASSERT_TRUE(parked.thread.Join(20));
      EXPECT_EQ(ItemOf(parked.reply), 0u);
    }
    {
      // Cancelled: success with item 58.
      Parked parked(monitor);
      Sleep(10);
      EXPECT_TRUE(CancelIoEx(monitor, nullptr));
      ASSERT_TRUE(parked.thread.Join(20));
      EXPECT_EQ(parked.reply.error, 0u);
      EXPECT_EQ(parked.reply.returned, 528u);
      EXPECT_EQ(ItemOf(parked.reply), 58u);
    }
    {
      // A buffer under 528 bytes gets Information equal to its length.
      Parked parked(monitor, 12);
      Sleep(10);
      EXPECT_EQ(Ask(monitor, 57, 0).error, 0u);
      ASSERT_TRUE(parked.thread.Join(20));
      EXPECT_EQ(parked.reply.returned, 12u);
      EXPECT_EQ(ItemOf(parked.reply), 0u);
    }
    // Refused: items past the table, a short input, a parking request
    // without room for its item.
    for (const std::uint32_t item : {59u, 255u, 0xFFFFFFFFu}) {
      EXPECT_EQ(SetFlag(monitor, item, 1).error, ErrorFor(STATUS_INVALID_PARAMETER)) << item;
    }
    EXPECT_EQ(SetFlag(monitor, 3, 1, 4).error, ErrorFor(STATUS_INVALID_PARAMETER));
    for (const DWORD length : {DWORD{0}, DWORD{4}, DWORD{7}}) {
      EXPECT_EQ(Ask(monitor, 55, length).error, ErrorFor(STATUS_BUFFER_TOO_SMALL)) << length;
    }
    EXPECT_EQ(perfmon_state().notify_flags[56].load(), 1);
    EXPECT_EQ(perfmon_state().notify_flags[57].load(), 0);
  });
  // The fixture's shutdown fails on any request left outstanding.
}

TEST_F(PerfmonTest, StatsVersionFromTheRealDataPump) {
  BootCtl();
  RunOn([] {
    stats_reset();
    EXPECT_STREQ(stats_block().Entry(0xA1).text.load(), "\"4.65\"");
    EXPECT_STREQ(stats_block().Entry(0xA2).text.load(), "\"2.36.49.0\"");
    // The simulated front end's kind, and its model text.
    EXPECT_NE(stats_block().hardware_kind.load(), 0);
    EXPECT_STREQ(stats_block().Entry(0xFF).text.load(), "\"K48\"");
    EXPECT_EQ(stats_block().Value(0xA0).load(), 0x465u);
  });
}

}  // namespace
}  // namespace vxctl::testing
