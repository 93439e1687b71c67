#include "layer2/corecode/mt/stats/stats_readout.h"

#include <algorithm>
#include <iterator>

#include "layer2/corecode/mt/dsp/dsp_memory.h"
#include "layer2/corecode/mt/machine_state.h"
#include "layer2/corecode/mt/modem_task/modem_task_state.h"
#include "layer2/corecode/mt/stats/statistics_block.h"

namespace vxctl {
namespace {

// Keys 0x20 and 0x21 by the modem task's modulation code.
constexpr std::uint8_t kCarrierResults[] = {0x85, 0x84, 1,  1,  4, 5, 2, 3, 8,    8,  8,  9,  10,
                                            10,   0,    0,  11, 13, 12, 0, 0, 0, 0x80, 14, 14, 0};
constexpr std::uint32_t kCarrierKept = 3;  // key 0x20 at 3 keeps both

constexpr std::uint8_t kModV34a = 17, kModV34b = 18, kModV90 = 22, kModV92 = 23;
constexpr std::uint8_t kPcmLevelKey15 = 63;
constexpr std::int32_t kLevelOffset = 15375;
constexpr std::int32_t kLevelCorrection = 1320;

struct ReadoutItem {
  std::uint32_t cursor;
  std::uint8_t space;
  std::uint8_t words;
  std::uint32_t next;  // 0: decided by the step (below)
};

constexpr std::uint8_t P = kDspSpaceParameters;
constexpr std::uint8_t M = kDspSpaceMemory;
constexpr ReadoutItem kItems[kReadoutItems] = {
    {0xE2, P, 1, 0x1663},      {0x1663, M, 7, 0x166B},   {0x166B, M, 7, 0x1678},
    {0x1678, M, 2, 0x1685},    {0x1685, M, 2, 0x3F},     {0x3F, P, 1, 0x1070C},
    {0x1070C, P, 4, 0x165F},   {0x165F, M, 1, 0},        {0x100EA, P, 1, 0},
    {0x4D, P, 1, 0xCE},        {0xCE, P, 1, 0},          {0x8F, P, 1, 0x102},
    {0x102, P, 6, 0x107F8},    {0x107F8, P, 1, 0x10100}, {0x10100, P, 1, 0x100},
    {0x100, P, 1, 0},          {0xCC, P, 1, 0xCD},       {0xCD, P, 1, 0x120},
    {0x120, P, 6, 0x10043},    {0x10043, P, 1, 0x10026}, {0x10026, P, 1, 0x74},
    {0x74, P, 1, 0x193},       {0x193, P, 1, 0xE4},      {0xE4, P, 1, 0},
};

constexpr std::array<std::uint16_t, kReadoutWords> kNoWords{};

constexpr std::size_t IndexOf(std::uint32_t cursor) {
  for (std::size_t i = 0; i < kReadoutItems; ++i) {
    if (kItems[i].cursor == cursor) return i;
  }
  return kReadoutItems;
}

bool IsPcm(std::uint8_t modulation) { return modulation == kModV90 || modulation == kModV92; }
bool IsV34(std::uint8_t modulation) { return modulation == kModV34a || modulation == kModV34b; }

std::uint32_t SignExtend(std::uint16_t word) {
  return static_cast<std::uint32_t>(static_cast<std::int32_t>(static_cast<std::int16_t>(word)));
}

const std::array<std::uint16_t, kReadoutWords>& Words(std::uint32_t cursor) {
  return stats_readout_words(cursor);
}

// What a reply puts into the keys and the kept values.
void TakeReply(std::uint32_t cursor, const std::array<std::uint16_t, kReadoutWords>& w,
               const DspReply& bytes) {
  ModemStatisticsBlock& block = stats_block();
  StatsReadout& readout = stats_readout();
  switch (cursor) {
    case 0x3F:
      block.Value(0x10).store(SignExtend(w[0]));
      readout.level = static_cast<std::int16_t>(w[0]);
      break;
    case 0x4D:
      readout.level = static_cast<std::int16_t>(w[0]);
      break;
    case 0x1070C:
      block.Value(0x12).store(bytes[0]);
      block.Value(0x13).store(bytes[6]);
      block.Value(0x14).store(w[1]);
      block.Value(0x15).store(w[2]);
      break;
    case 0x165F: {
      // The seventh and third words of each side.
      const auto& rx = Words(0x1663);
      const auto& tx = Words(0x166B);
      block.Value(0x11).store(w[0]);
      block.Value(0x18).store(std::uint32_t{rx[6]} << 20 | std::uint32_t{rx[2]} << 16 |
                              std::uint32_t{tx[2]} << 12 | tx[6]);
      break;
    }
    case 0xE4:
      readout.shifted_value = std::uint32_t{Words(0x193)[0]} >> (bytes[0] & 31);
      break;
    default:
      break;
  }
}

// The end of the V.34 part: a PCM connection goes on with its own items and
// takes its level from the latest replies; V.34 goes on with 0xCC.
std::uint32_t EndOfV34Part(std::uint8_t modulation) {
  if (!IsPcm(modulation)) return 0xCC;
  ModemStatisticsBlock& block = stats_block();
  StatsReadout& readout = stats_readout();
  const std::uint32_t power = std::uint32_t{Words(0x10100)[0]} << 16 | Words(0x100)[0];
  const std::int32_t sum = readout.level * 256 + kLevelOffset -
                           static_cast<std::int32_t>(stats_db(power)) - kLevelCorrection;
  block.Value(0x10).store(SignExtend(static_cast<std::uint16_t>(sum >> 8)));
  block.Value(0x15).store(kPcmLevelKey15);
  // The power times 8 needs up to 35 bits.
  readout.power_ratio = static_cast<std::int32_t>(stats_db_wide(std::uint64_t{power} * 8)) -
                        static_cast<std::int32_t>(stats_db(Words(0x100EA)[0])) + 1;
  return 0x4D;
}

std::uint32_t NextCursor(const ReadoutItem& item, std::uint8_t modulation) {
  switch (item.cursor) {
    case 0x165F:
      return IsPcm(modulation) ? 0x100EA : EndOfV34Part(modulation);
    case 0x100EA:
      return EndOfV34Part(modulation);
    case 0xCE:
      return IsV34(modulation) ? 0xCD : 0x8F;
    case 0x100:
    case 0xE4:
      stats_block().valid.store(1);
      return kReadoutFirstCursor;
    default:
      return item.next;
  }
}

}  // namespace

StatsReadout& stats_readout() { return MachineState<StatsReadout>(); }

const std::array<std::uint16_t, kReadoutWords>& stats_readout_words(std::uint32_t cursor) {
  const std::size_t index = IndexOf(cursor);
  return index < kReadoutItems ? stats_readout().words[index] : kNoWords;
}

void stats_poll_dsp(std::uint32_t) {
  ModemStatisticsBlock& block = stats_block();
  if (block.valid.load() != 0) return;
  StatsReadout& readout = stats_readout();
  const ModemTaskState& task = MachineState<ModemTaskState>();
  const std::uint8_t state = task.state.load();
  if (state != 2 && state != 8 && state != 12) {
    readout.cursor = kReadoutFirstCursor;
    return;
  }
  const std::uint8_t modulation = task.modulation;
  if (block.Value(0x20).load() != kCarrierKept && modulation < std::size(kCarrierResults)) {
    block.Value(0x20).store(kCarrierResults[modulation]);
    block.Value(0x21).store(kCarrierResults[modulation]);
  }
  if (!IsV34(modulation) && !IsPcm(modulation)) return;

  const std::size_t index = IndexOf(readout.cursor);
  if (index == kReadoutItems) {
    readout.cursor = kReadoutFirstCursor;
    return;
  }
  const ReadoutItem& item = kItems[index];
  // A missing or echoed reply stores nothing; the read-out moves on, so it
  // always comes round.
  if (dsp_mem_read({item.cursor, item.space})) {
    const DspReply& bytes = MachineState<DspTransportState>().reply;
    std::array<std::uint16_t, kReadoutWords>& w = readout.words[index];
    w.fill(0);
    for (std::size_t i = 0; i < item.words; ++i) {
      w[i] = static_cast<std::uint16_t>(bytes[2 * i] | bytes[2 * i + 1] << 8);
    }
    TakeReply(item.cursor, w, bytes);
  }
  readout.cursor = NextCursor(item, modulation);
}

}  // namespace vxctl
