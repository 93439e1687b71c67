// The connection's modulation and rates from the data pump's replies,
// scripted: only a reply of the query's own code counts; and the V.90 line
// values kept in the EEPROM image across calls.
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "layer2/corecode/mt/dsp/dsp_memory.h"
#include "layer2/corecode/mt/machine_state.h"
#include "layer2/corecode/mt/modem/event_trace.h"
#include "layer2/corecode/mt/modem/handshake.h"
#include "layer2/corecode/mt/modem/tests/modem_task_testing.h"
#include "layer2/corecode/mt/modem/tests/sent_commands.h"
#include "layer2/corecode/mt/registry/eeprom.h"
#include "layer2/corecode/mt/services/call_settings.h"
#include "layer2/corecode/mt/stats/statistics_block.h"
#include "layer2/corecode/mt/tests/support/dsp_link_rig.h"
#include "platform/ke/kernel.h"

namespace vxctl::testing {
namespace {

struct ModulationReply {
  const char* name;
  FakeAnswer answer;
  std::uint8_t before;  // the task's modulation before the query
  bool v32bis_enabled;
  std::uint8_t taken;
};

TEST(QueryReplies, ModulationFromItsOwnReplyOnly) {
  const std::vector<ModulationReply> cases = {
      {"V.22bis", FakeAnswer::Reply(0xC2, {7}), 0, true, 7},
      {"V.34 symbol rate taken as V.34", FakeAnswer::Reply(0xC2, {17}), 0, true, 18},
      {"V.34", FakeAnswer::Reply(0xC2, {18}), 0, true, 18},
      {"V.90", FakeAnswer::Reply(0xC2, {23}), 0, true, 23},
      {"V.32bis", FakeAnswer::Reply(0xC2, {16}), 0, true, 16},
      {"V.32bis taken as V.32 while not enabled", FakeAnswer::Reply(0xC2, {16}), 0, false, 12},
      {"V.22 on a Bell 212 call", FakeAnswer::Reply(0xC2, {6}), 1, true, 1},
      {"V.22 on another call", FakeAnswer::Reply(0xC2, {6}), 7, true, 6},
      // no reply of its own: unknown, not what the task had
      {"echoed query", FakeAnswer::Echo(), 16, true, 0},
      {"no answer", FakeAnswer::None(), 16, true, 0},
      {"acknowledged only", FakeAnswer::Ack(), 16, true, 0},
      {"another reply", FakeAnswer::Reply(0xC1, {7}), 16, true, 0},
  };
  for (const ModulationReply& c : cases) {
    SCOPED_TRACE(c.name);
    DspLinkRig rig;
    rig.Run([&](FakeDataPump& pump) {
      ModemTaskState& task = MachineState<ModemTaskState>();
      task.modulation = c.before;
      acu_call_settings().modulations[kMsV32bis].enabled = c.v32bis_enabled ? 1 : 0;
      pump.Script(0x72, c.answer);
      ModemTask_QueryModulation();
      EXPECT_EQ(task.modulation, c.taken);
      EXPECT_EQ(SentCommands(pump), (std::vector<SentCommand>{{0x72, {}}}));
      const bool answered = c.answer.kind == FakeAnswer::Kind::kReply && c.answer.code == 0xC2;
      EXPECT_EQ(plat::ke::CurrentKernel().LogText().find("no reply 0xC2 to 0x72") !=
                    std::string::npos,
                !answered);
    });
  }
}

struct RatesReply {
  const char* name;
  std::uint8_t modulation;
  bool originate;
  std::uint8_t query;  // the command sent
  FakeAnswer answer;
  std::uint16_t tx, rx;
  std::uint8_t v92_upstream;
};

// 0x91's rate word: bits 2-5 the calling modem's V.34 index, bits 6-9 the
// answering one's.
std::vector<std::uint8_t> RateWord(unsigned calling, unsigned answering, std::uint8_t high_flags = 0) {
  const unsigned word = calling << 2 | answering << 6;
  return {static_cast<std::uint8_t>(word), static_cast<std::uint8_t>(word >> 8 | high_flags)};
}

std::vector<std::uint8_t> PcmReply(std::uint8_t upstream, std::uint8_t up, std::uint8_t down) {
  return {0, 0, upstream, 0, 0, 0, up, down};
}

TEST(QueryReplies, RatesByModulationAndDirection) {
  const std::vector<RatesReply> cases = {
      {"classic code 7", 12, true, 0x70, FakeAnswer::Reply(0xC1, {7}), 9600, 9600, 0},
      {"classic code 4 (V.22bis)", 7, false, 0x70, FakeAnswer::Reply(0xC1, {4}), 2400, 2400, 0},
      {"V.23 forward", 4, true, 0x70, FakeAnswer::Reply(0xC1, {0}), 1200, 75, 0},
      {"V.23 backward", 4, true, 0x70, FakeAnswer::Reply(0xC1, {1}), 75, 1200, 0},
      {"classic code out of the table", 12, true, 0x70, FakeAnswer::Reply(0xC1, {21}), 0, 0, 0},
      {"V.34 originating", 18, true, 0x91, FakeAnswer::Reply(0xC6, RateWord(12, 14)), 28800, 33600, 0},
      {"V.34 answering", 18, false, 0x91, FakeAnswer::Reply(0xC6, RateWord(12, 14)), 33600, 28800, 0},
      {"V.34 index 0 and 15", 18, true, 0x91, FakeAnswer::Reply(0xC6, RateWord(0, 15)), 2400, 0, 0},
      {"V.90", 23, true, 0x91, FakeAnswer::Reply(0xC6, PcmReply(0, 14, 12)), 33600, 53333, 0},
      {"V.92 upstream", 23, true, 0x91, FakeAnswer::Reply(0xC6, PcmReply(1, 19, 15)), 48000, 57333, 1},
      {"V.92 upstream index 20", 23, true, 0x91, FakeAnswer::Reply(0xC6, PcmReply(1, 20, 24)), 0, 0, 1},
      {"V.90 indices out of range", 23, true, 0x91, FakeAnswer::Reply(0xC6, PcmReply(0, 16, 200)), 0, 0, 0},
      // no reply of the query's own code: both rates unknown
      {"classic, echoed", 12, true, 0x70, FakeAnswer::Echo(), 0, 0, 0},
      {"classic, mode reply instead", 12, true, 0x70, FakeAnswer::Reply(0xC2, {7}), 0, 0, 0},
      {"V.34, no answer", 18, true, 0x91, FakeAnswer::None(), 0, 0, 0},
      {"V.90, echoed", 23, true, 0x91, FakeAnswer::Echo(), 0, 0, 0},
  };
  for (const RatesReply& c : cases) {
    SCOPED_TRACE(c.name);
    DspLinkRig rig;
    rig.Run([&](FakeDataPump& pump) {
      stats_reset();
      ModemTaskState& task = MachineState<ModemTaskState>();
      task.modulation = c.modulation;
      task.tx_rate = 1111;
      task.rx_rate = 2222;
      task.v92_connection = 1 - c.v92_upstream;
      acu_call_settings().originate = c.originate ? 1 : 0;
      pump.Script(c.query, c.answer);
      pump.ClearTraces();  // the statistics' reset asked for the version
      ModemTask_QueryRates();
      EXPECT_EQ(SentCommands(pump), (std::vector<SentCommand>{{c.query, {}}}));
      EXPECT_EQ(task.tx_rate, c.tx);
      EXPECT_EQ(task.rx_rate, c.rx);
      EXPECT_EQ(task.previous_tx_rate, 1111);
      EXPECT_EQ(task.previous_rx_rate, 2222);
      if (c.modulation == 23) {
        EXPECT_EQ(task.v92_connection, c.v92_upstream);
      }
    });
  }
}

// A data pump that answers a stale reply's bytes never reaches the rates:
// a reply to an earlier query sits in DspReply when this one goes
// unanswered.
TEST(QueryReplies, StaleReplyIsNotReused) {
  DspLinkRig rig;
  rig.Run([](FakeDataPump& pump) {
    ModemTaskState& task = MachineState<ModemTaskState>();
    pump.Script(0x72, FakeAnswer::Reply(0xC2, {7}));
    ModemTask_QueryModulation();
    ASSERT_EQ(task.modulation, 7);
    pump.Script(0x70, FakeAnswer::None());
    ModemTask_QueryRates();  // DspReply still holds {7}: 9600 if reused
    EXPECT_EQ(task.tx_rate, 0);
    EXPECT_EQ(task.rx_rate, 0);
    pump.Script(0x72, FakeAnswer::None());
    ModemTask_QueryModulation();
    EXPECT_EQ(task.modulation, 0);
  });
}

// The V.34 reply's flags: the auxiliary channel (bit 4 of byte 1), the
// asymmetric renegotiation (bit 2) and a renegotiation (bit 6), which is
// traced and counted.
TEST(QueryReplies, V34ReplyFlagsAndRenegotiation) {
  struct Case {
    std::uint8_t flags;
    std::uint8_t aux, asymmetric, renegs;
  };
  const Case cases[] = {{0x00, 0, 0, 0}, {0x10, 1, 0, 0}, {0x04, 0, 1, 0}, {0x40, 0, 0, 1}, {0x54, 1, 1, 1}};
  for (const Case& c : cases) {
    SCOPED_TRACE(int{c.flags});
    DspLinkRig rig;
    rig.Run([&](FakeDataPump& pump) {
      PutTask(pump, kTaskConnected, kCodeConnected);
      stats_reset();
      ModemTask_TraceReset(&modem_event_trace());
      ModemTaskState& task = MachineState<ModemTaskState>();
      task.modulation = 18;
      pump.Script(0x91, FakeAnswer::Reply(0xC6, RateWord(10, 12, c.flags)));
      ModemTask_QueryRates();
      EXPECT_EQ(task.tx_rate, 24000);
      EXPECT_EQ(task.rx_rate, 28800);
      EXPECT_EQ(task.aux_channel, c.aux);
      EXPECT_EQ(task.asymmetric_reneg, c.asymmetric);
      EXPECT_EQ(task.reneg_reports, c.renegs);
      EXPECT_EQ(stats_block().Value(0x31), c.renegs);
      const EventTraceRing& trace = modem_event_trace();
      EXPECT_EQ(trace.head - trace.tail, c.renegs);
      if (c.renegs != 0) {
        EXPECT_STREQ(trace.entries[trace.tail].text.data(), "Renegotiate*");
      }
    });
  }
}

// The first rates of a call stay in keys 0x26 and 0x27; 0x34 and 0x35
// follow every query.
TEST(QueryReplies, StatisticsKeysOfTheRates) {
  DspLinkRig rig;
  rig.Run([](FakeDataPump& pump) {
    stats_reset();
    ModemTaskState& task = MachineState<ModemTaskState>();
    ModemStatisticsBlock& stats = stats_block();
    task.modulation = 18;
    pump.Script(0x91, FakeAnswer::Reply(0xC6, RateWord(14, 12)));
    ModemTask_QueryRates();
    pump.Script(0x91, FakeAnswer::Reply(0xC6, RateWord(10, 8)));
    ModemTask_QueryRates();
    EXPECT_EQ(stats.Value(0x26), 33600u);
    EXPECT_EQ(stats.Value(0x27), 28800u);
    EXPECT_EQ(stats.Value(0x34), 24000u);
    EXPECT_EQ(stats.Value(0x35), 19200u);
    EXPECT_EQ(task.previous_tx_rate, 33600);
    EXPECT_EQ(task.previous_rx_rate, 28800);
  });
}

// The V.90 line values: a 0x180E reply with byte 0 set gives bytes 2 and
// 3, kept and written to the EEPROM image at 0x82 and 0x83 with the
// image's checksum at 0; byte 0 clear, an echo or no reply write nothing.
// The next V.90 start writes them to key 0x180F.
TEST(V92LineValues, SavedToTheEepromAndLoadedBack) {
  struct Case {
    const char* name;
    FakeAnswer answer;
    bool saved;
  };
  const std::vector<Case> cases = {
      {"values", FakeAnswer::Reply(0x14, {1, 0, 0x5A, 0xC3}), true},
      {"byte 0 clear", FakeAnswer::Reply(0x14, {0, 0, 0x5A, 0xC3}), false},
      {"echoed read", FakeAnswer::Echo(), false},
      {"no reply", FakeAnswer::None(), false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    DspLinkRig rig;
    rig.Run([&](FakeDataPump& pump) {
      EepromImage& image = reg_settings().eeprom;
      for (std::size_t i = 0; i < image.size(); ++i) image[i] = static_cast<std::uint8_t>(i * 7);
      image[0] = eeprom_checksum(image);
      const EepromImage before = image;
      std::uint32_t key = 0;
      pump.ScriptBy(0x09, [&](const FakePacket& read) {
        key = read.payload[0] | read.payload[1] << 8;
        return c.answer;
      });
      ModemTask_SaveV92LineValues();
      EXPECT_EQ(key, 0x180Eu);
      const std::uint8_t first = c.saved ? 0x5A : 0;
      const std::uint8_t second = c.saved ? 0xC3 : 0;
      if (c.saved) {
        EXPECT_EQ(image[0x82], 0x5A);
        EXPECT_EQ(image[0x83], 0xC3);
        std::uint8_t sum = 0;
        for (std::size_t i = 1; i < image.size(); ++i) sum = static_cast<std::uint8_t>(sum + image[i]);
        EXPECT_EQ(image[0], static_cast<std::uint8_t>(~sum));
        for (std::size_t i = 1; i < image.size(); ++i) {
          if (i != 0x82 && i != 0x83) {
            ASSERT_EQ(image[i], before[i]) << i;
          }
        }
      } else {
        EXPECT_EQ(image, before);
      }
      pump.ClearTraces();
      ModemTask_LoadV92LineValues();
      EXPECT_EQ(SentCommands(pump),
                (std::vector<SentCommand>{{0x0C, {0x0F, 0x18, 0, 0, first, second}}}));
    });
  }
}

}  // namespace
}  // namespace vxctl::testing
