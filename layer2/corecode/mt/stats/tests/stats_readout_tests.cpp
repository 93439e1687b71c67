// The read-out of line measurements from a scripted data pump, one item a
// step: the items each connection kind walks, what each reply puts into
// the keys, missing and echoed replies, and the states that stop it; then
// the link fields that stats_set_link_info takes from it.
#include <gtest/gtest.h>

#include <map>
#include <vector>

#include "controller/standin/command_interpreter_standin.h"
#include "controller/standin/link_protocols_standin.h"
#include "layer2/corecode/mt/machine_state.h"
#include "layer2/corecode/mt/modem_task/modem_task_state.h"
#include "layer2/corecode/mt/stats/statistics_block.h"
#include "layer2/corecode/mt/stats/stats_readout.h"
#include "layer2/corecode/mt/tests/support/dsp_link_rig.h"
#include "pump/packets/dp_packets.h"

namespace vxctl::testing {
namespace {

using Bytes = std::vector<std::uint8_t>;

// The item a read command names: its key, and whether it reads memory.
struct ReadItem {
  std::uint32_t key;
  bool memory;
  bool operator==(const ReadItem&) const = default;
};

ReadItem ReadoutItemOf(const FakePacket& command) {
  const std::uint32_t low = command.payload.at(0) | command.payload.at(1) << 8;
  return {command.code == pump::kCpParamReadHigh ? low + 0x10000 : low,
          command.code == pump::kCpMemoryRead};
}

// What the scripted data pump answers for one item: a reply, or nothing
// (kNone) or the echo (kEcho).
struct ReadoutReply {
  FakeAnswer::Kind kind = FakeAnswer::Kind::kReply;
  Bytes bytes;
};

void ReadoutConnect(std::uint8_t modulation, std::uint8_t state = 2) {
  ModemTaskState& task = MachineState<ModemTaskState>();
  task.state = state;
  task.modulation = modulation;
  stats_block().valid = 0;
}

// Steps the read-out once, answering the item it reads with `reply`.
void ReadoutStep(FakeDataPump& pump, const ReadoutReply& reply) {
  for (const std::uint8_t code :
       {pump::kCpMemoryRead, pump::kCpParamRead, pump::kCpParamReadHigh}) {
    const std::uint8_t reply_code =
        code == pump::kCpMemoryRead ? pump::kDpMemoryReadReply : pump::kDpParamReadReply;
    switch (reply.kind) {
      case FakeAnswer::Kind::kReply:
        pump.Script(code, FakeAnswer::Reply(reply_code, reply.bytes));
        break;
      case FakeAnswer::Kind::kNone:
        pump.Script(code, FakeAnswer::None());
        break;
      default:
        pump.Script(code, FakeAnswer::Echo());
        break;
    }
  }
  stats_poll_dsp();
}

// Runs one whole read-out (at most 30 steps), answering each item from
// `replies` (the echo for items not named); the items read, in order.
std::vector<ReadItem> RunReadout(FakeDataPump& pump,
                                 const std::map<std::uint32_t, ReadoutReply>& replies) {
  std::vector<ReadItem> read;
  for (int step = 0; step < 30 && stats_block().valid == 0; ++step) {
    const auto it = replies.find(stats_readout().cursor);
    const std::size_t before = pump.Commands().size();
    ReadoutStep(pump, it != replies.end() ? it->second : ReadoutReply{FakeAnswer::Kind::kEcho, {}});
    if (pump.Commands().size() == before + 1) read.push_back(ReadoutItemOf(pump.Commands().back()));
  }
  return read;
}

const std::vector<ReadItem> kV34Part = {
    {0xE2, false},    {0x1663, true},    {0x166B, true}, {0x1678, true},
    {0x1685, true},   {0x3F, false},     {0x1070C, false}, {0x165F, true},
};

std::vector<ReadItem> Joined(std::vector<ReadItem> a, const std::vector<ReadItem>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

std::uint32_t Key(std::uint8_t key) { return stats_block().Value(key).load(); }

// Replies of a V.34 connection's items, with words each key can be told by.
std::map<std::uint32_t, ReadoutReply> V34Replies() {
  return {
      {0xE2, {.bytes = {0x11, 0x22}}},
      // Receive side: symbol-rate index 3, high carrier, word 3 = 5, word 7 = 0xA.
      {0x1663, {.bytes = {3, 0, 1, 0, 5, 0, 9, 0, 9, 0, 9, 0, 0xA, 0}}},
      // Transmit side: index 4, low carrier, word 3 = 6, word 7 = 0xB.
      {0x166B, {.bytes = {4, 0, 0, 0, 6, 0, 8, 0, 8, 0, 8, 0, 0xB, 0}}},
      {0x3F, {.bytes = {0x80, 0xFF}}},  // -128
      {0x1070C, {.bytes = {0x12, 0xEE, 0x34, 0x12, 0x78, 0x56, 0x9A, 0xEE}}},
      {0x165F, {.bytes = {0x21, 0x43}}},
      {0x193, {.bytes = {0x00, 0x0F}}},
      {0xE4, {.bytes = {0x24, 0x00}}},  // shift 0x24 AND 31 = 4
  };
}

TEST(StatsReadout, V34WalksItsItemsAndFillsTheKeys) {
  DspLinkRig rig;
  rig.Run([](FakeDataPump& pump) {
    stats_reset();
    ReadoutConnect(17);
    const std::vector<ReadItem> read = RunReadout(pump, V34Replies());
    EXPECT_EQ(read, Joined(kV34Part, {{0xCC, false},
                                      {0xCD, false},
                                      {0x120, false},
                                      {0x10043, false},
                                      {0x10026, false},
                                      {0x74, false},
                                      {0x193, false},
                                      {0xE4, false}}));
    EXPECT_EQ(stats_block().valid.load(), 1);
    EXPECT_EQ(stats_readout().cursor, 0xE2u);
    EXPECT_EQ(Key(0x10), 0xFFFFFF80u);  // sign-extended
    EXPECT_EQ(Key(0x11), 0x4321u);
    EXPECT_EQ(Key(0x12), 0x12u);
    EXPECT_EQ(Key(0x13), 0x9Au);
    EXPECT_EQ(Key(0x14), 0x1234u);
    EXPECT_EQ(Key(0x15), 0x5678u);
    // Receive words 7 and 3, transmit words 3 and 7.
    EXPECT_EQ(Key(0x18), 0xAu << 20 | 5u << 16 | 6u << 12 | 0xBu);
    EXPECT_EQ(Key(0x20), 13u);
    EXPECT_EQ(Key(0x21), 13u);
    EXPECT_EQ(stats_readout().shifted_value, 0x0F00u >> 4);
    EXPECT_EQ(stats_readout_words(0xE2)[0], 0x2211u);
  });
}

TEST(StatsReadout, PcmTakesItsLevelFromTheLatestReplies) {
  DspLinkRig rig;
  rig.Run([](FakeDataPump& pump) {
    stats_reset();
    std::map<std::uint32_t, ReadoutReply> replies = V34Replies();
    replies[0x3F] = {.bytes = {0xD8, 0xFF}};  // level -40
    replies[0x100EA] = {.bytes = {100, 0}};
    replies[0x10100] = {.bytes = {1, 0}};  // power 65536
    replies[0x100] = {.bytes = {0, 0}};
    const std::vector<ReadItem> pcm = Joined(kV34Part, {{0x100EA, false},
                                                        {0x4D, false},
                                                        {0xCE, false},
                                                        {0x8F, false},
                                                        {0x102, false},
                                                        {0x107F8, false},
                                                        {0x10100, false},
                                                        {0x100, false}});
    ReadoutConnect(22);
    EXPECT_EQ(RunReadout(pump, replies), pcm);
    // The power was not read yet: 0, whose level in dB is 0.
    EXPECT_EQ(Key(0x10), static_cast<std::uint32_t>((-40 * 256 + 15375 - 0 - 1320) >> 8));
    EXPECT_EQ(Key(0x15), 63u);
    EXPECT_EQ(Key(0x20), 0x80u);

    ReadoutConnect(22);
    EXPECT_EQ(RunReadout(pump, replies), pcm);
    // 65536 is 12330/256 dB; the result is negative and sign-extended.
    const std::int32_t level = (-40 * 256 + 15375 - 12330 - 1320) >> 8;
    EXPECT_EQ(level, -34);
    EXPECT_EQ(Key(0x10), static_cast<std::uint32_t>(level));
    // 10 log10(65536 x 8) and 10 log10(100) in 1/256 dB: 2^19 gives
    // 19 x 2048 x 49321 / 2^17 = 14642.17, 100 gives 5119.
    EXPECT_EQ(stats_readout().power_ratio, 14642 - 5119 + 1);
  });
}

TEST(StatsReadout, MissingAndEchoedRepliesStoreNothingAndTheReadOutEnds) {
  DspLinkRig rig;
  rig.Run([](FakeDataPump& pump) {
    stats_reset();
    std::map<std::uint32_t, ReadoutReply> replies = V34Replies();
    replies[0x3F] = {FakeAnswer::Kind::kNone, {}};
    replies[0x1070C] = {FakeAnswer::Kind::kEcho, {}};
    ReadoutConnect(18);
    const std::vector<ReadItem> read = RunReadout(pump, replies);
    EXPECT_EQ(read.size(), 16u);
    EXPECT_EQ(stats_block().valid.load(), 1);
    for (const std::uint8_t key : {0x10, 0x12, 0x13, 0x14, 0x15}) {
      EXPECT_EQ(Key(key), 0u) << std::hex << int{key};
    }
    EXPECT_EQ(Key(0x11), 0x4321u);  // the items after them were read
    EXPECT_EQ(Key(0x20), 12u);
  });
}

TEST(StatsReadout, StatesOtherThan2And8And12ResetTheCursor) {
  DspLinkRig rig;
  rig.Run([](FakeDataPump& pump) {
    stats_reset();
    ReadoutConnect(17);
    ReadoutStep(pump, {.bytes = {1, 0}});
    ReadoutStep(pump, {.bytes = {1, 0}});
    EXPECT_EQ(stats_readout().cursor, 0x166Bu);
    for (const std::uint8_t state : {8, 12}) {
      MachineState<ModemTaskState>().state = state;
      const std::uint32_t before = stats_readout().cursor;
      ReadoutStep(pump, {.bytes = {1, 0}});
      EXPECT_NE(stats_readout().cursor, before) << int{state};
    }
    for (const std::uint8_t state : {0, 1, 3, 7, 13}) {
      ReadoutConnect(17, 2);
      ReadoutStep(pump, {.bytes = {1, 0}});
      MachineState<ModemTaskState>().state = state;
      const std::size_t sent = pump.Commands().size();
      ReadoutStep(pump, {.bytes = {1, 0}});
      EXPECT_EQ(stats_readout().cursor, 0xE2u) << int{state};
      EXPECT_EQ(pump.Commands().size(), sent) << int{state};
    }
    // A finished read-out (valid flag 1) reads nothing.
    ReadoutConnect(17);
    stats_block().valid = 1;
    const std::size_t sent = pump.Commands().size();
    ReadoutStep(pump, {.bytes = {1, 0}});
    EXPECT_EQ(pump.Commands().size(), sent);
  });
}

TEST(StatsReadout, CarrierResultsByModulationAndOnlyV34AndPcmRead) {
  // The carrier-result table by modulation code.
  const std::uint8_t results[26] = {0x85, 0x84, 1, 1,  4,  5, 2, 3, 8, 8,    8,  9,  10,
                                    10,   0,    0, 11, 13, 12, 0, 0, 0, 0x80, 14, 14, 0};
  DspLinkRig rig;
  rig.Run([&](FakeDataPump& pump) {
    for (std::uint8_t modulation = 0; modulation < 26; ++modulation) {
      stats_reset();
      ReadoutConnect(modulation);
      const std::size_t sent = pump.Commands().size();
      stats_poll_dsp();
      EXPECT_EQ(Key(0x20), results[modulation]) << int{modulation};
      EXPECT_EQ(Key(0x21), results[modulation]) << int{modulation};
      const bool reads = modulation == 17 || modulation == 18 || modulation == 22 || modulation == 23;
      EXPECT_EQ(pump.Commands().size(), sent + (reads ? 1 : 0)) << int{modulation};
    }
    // Key 0x20 at 3 keeps both.
    stats_reset();
    stats_block().Value(0x20) = 3;
    stats_block().Value(0x21) = 7;
    ReadoutConnect(2);
    stats_poll_dsp();
    EXPECT_EQ(Key(0x20), 3u);
    EXPECT_EQ(Key(0x21), 7u);
    // A modulation code past the table changes neither.
    stats_reset();
    ReadoutConnect(26);
    stats_poll_dsp();
    EXPECT_EQ(Key(0x20), 255u);
  });
}

TEST(StatsLinkInfo, SymbolRatesAndCarriersByIndex) {
  struct Rate {
    std::uint32_t symbols, low, high;
  };
  const Rate rates[10] = {{2400, 1600, 1800}, {2743, 1646, 1829}, {2800, 1680, 1867},
                          {3000, 1800, 2000}, {3200, 1829, 1920}, {3429, 1959, 1959},
                          {8000, 0, 0},       {0, 0, 0},          {0, 0, 0},
                          {0, 0, 0}};  // indices 8 and 9: none
  DspLinkRig rig;
  rig.Run([&](FakeDataPump& pump) {
    for (std::uint8_t rx = 0; rx < 10; ++rx) {
      const std::uint8_t tx = static_cast<std::uint8_t>((rx + 3) % 10);
      const std::uint8_t rx_carrier = rx % 2, tx_carrier = 1 - rx % 2;
      stats_reset();
      ReadoutConnect(17, 0);  // idle: the cursor back to the first item
      stats_poll_dsp();
      ReadoutConnect(17);
      ReadoutStep(pump, {.bytes = {0, 0}});
      ReadoutStep(pump, {.bytes = {rx, 0, rx_carrier, 0}});
      ReadoutStep(pump, {.bytes = {tx, 0, tx_carrier, 0}});
      EcStatistics record;
      stats_set_link_info(record);
      EXPECT_EQ(Key(0x22), rates[tx].symbols) << int{tx};
      EXPECT_EQ(Key(0x23), rates[rx].symbols) << int{rx};
      EXPECT_EQ(Key(0x24), tx_carrier != 0 ? rates[tx].high : rates[tx].low) << int{tx};
      EXPECT_EQ(Key(0x25), rx_carrier != 0 ? rates[rx].high : rates[rx].low) << int{rx};
    }
  });
}

TEST(StatsLinkInfo, LinkKindsSetErrorControlProtocolAndCompression) {
  struct Case {
    std::uint8_t link;
    std::uint8_t compression;
    bool error_control;
    std::uint32_t protocol;
    std::uint32_t compressed;
  };
  const Case cases[] = {
      {6, 0, true, 1, 0}, {6, 3, true, 1, 1}, {3, 0, true, 2, 0x80},
      {3, 7, true, 2, 0x80}, {0, 3, false, 0, 0}, {5, 3, false, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(int{c.link});
    DspLinkRig rig;
    rig.Run([&](FakeDataPump&) {
      stats_reset();
      stats_block().output_mask = kStatsPhaseConnected;
      stats_block().Value(0x44) = 0;
      MachineState<CommandInterpreterStandin>().connected_link = c.link;
      MachineState<LinkProtocolsStandin>().statistics.compression = c.compression;
      EcStatistics record;
      stats_set_link_info(record);
      EXPECT_EQ(record.compression, c.compression);  // filled by the link protocols
      EXPECT_EQ((stats_block().output_mask & kStatsErrorControl) != 0, c.error_control);
      EXPECT_EQ(stats_block().output_mask & 0xF0, kStatsPhaseConnected);
      EXPECT_EQ(Key(0x40), c.protocol);
      EXPECT_EQ(Key(0x44), c.compressed);
    });
  }
}

}  // namespace
}  // namespace vxctl::testing
