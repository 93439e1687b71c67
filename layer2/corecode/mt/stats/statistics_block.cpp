#include "layer2/corecode/mt/stats/statistics_block.h"

#include <algorithm>
#include <cstdio>

#include "layer2/corecode/mt/dsp/dsp_transport.h"
#include "layer2/corecode/mt/machine_state.h"
#include "layer2/corecode/mt/registry/reg_settings.h"
#include "layer2/corecode/mt/services/command_interpreter.h"
#include "pump/packets/dp_packets.h"

namespace vxctl {
namespace {

constexpr std::uint8_t kCmdVersionQuery = 0x94;  // answered by DP_VERSION_INFO
constexpr std::size_t kKindOffset = 8;           // in the version block
constexpr std::size_t kVersionWords = 4;

constexpr const char kControllerVersionText[] = "\"4.65\"";
constexpr const char kBlankText[] = "\"\"";
constexpr const char kMakerText[] = "\"Vexor_Corp.\"";

// The model text by hardware kind 1..8 (index 0: any other kind).
constexpr const char* kModelTexts[] = {
    "\"K48\"", "\"K48\"", "\"K48\"", "\"K48\"", "\"K48\"",
    "\"K48\"", "\"K48\"", "\"K48\"", "\"K48\"",
};

// Identification values set by stats_init_ident.
constexpr std::uint32_t kFeatureBits = 0x70;  // key 0xAF
constexpr std::uint32_t kIdentB0 = 2;
constexpr std::uint32_t kIdentB1 = 7;
constexpr std::uint32_t kDaaPresent = 1;  // key 0xC1

// log2(x) in units of 2048 (11 fraction bits), for x >= 1: the integer part
// from normalising x to a 32-bit value with its top bit set, then each
// fraction bit from squaring the 16-bit mantissa (Q15) and seeing it
// overflow.
std::uint32_t Log2Q11(std::uint64_t x) {
  std::uint32_t integer = 0;
  while (x > 0xFFFFFFFFu) {
    x >>= 1;
    ++integer;
  }
  auto v = static_cast<std::uint32_t>(x);
  int shifts = 0;
  for (const int step : {16, 8, 4, 2, 1}) {
    if ((v >> (32 - step)) == 0) {
      v <<= step;
      shifts += step;
    }
  }
  std::uint32_t log2 = (integer + 31 - static_cast<std::uint32_t>(shifts)) << 11;
  std::uint32_t mantissa = v >> 16;
  for (std::uint32_t bit = 1024; bit != 0; bit >>= 1) {
    mantissa = (mantissa * mantissa) >> 15;
    if (mantissa >= 0x10000) {
      log2 |= bit;
      mantissa >>= 1;
    }
  }
  return log2;
}

void SetText(std::uint8_t key, const char* text) { stats_block().Entry(key).text.store(text); }

}  // namespace

ModemStatisticsBlock::ModemStatisticsBlock() {
  for (std::size_t i = 0; i < kStatsEntryCount; ++i) {
    entries[i].class_mask.store(kStatsRows[i].class_mask);
  }
  Entry(0x04).text.store(cm_text);
  Entry(0x05).text.store(jm_text);
  Entry(0xA1).text.store(controller_version);
  Entry(0xA2).text.store(dsp_version);
  Entry(0xB2).text.store(kBlankText);
  Entry(0xB3).text.store(kBlankText);
  Entry(0xFE).text.store(kMakerText);
  Entry(0xFF).text.store(kModelTexts[0]);
}

ModemStatisticsBlock& stats_block() { return MachineState<ModemStatisticsBlock>(); }

void stats_reset() {
  ModemStatisticsBlock& block = stats_block();
  block.valid.store(1);
  block.output_mask.store(kStatsPhaseReset);
  for (std::size_t i = 0; i < kStatsEntryCount; ++i) {
    const StatsRow& row = kStatsRows[i];
    StatsEntry& entry = block.entries[i];
    entry.class_mask.store(row.class_mask);
    switch (row.reset) {
      case StatsReset::kValue:
        entry.value.store(row.reset_value);
        break;
      case StatsReset::kFlowTx:
        entry.value.store(acu_tx_flow_setting());
        break;
      case StatsReset::kFlowRx:
        entry.value.store(acu_rx_flow_setting());
        break;
      case StatsReset::kKept:
      case StatsReset::kIdent:
        break;
    }
  }
  stats_init_ident();
}

void stats_init_ident() {
  ModemStatisticsBlock& block = stats_block();
  block.Value(0xA0).store(kStatsControllerVersion);
  stats_init_versions();
  block.Value(0xAF).store(kFeatureBits);
  block.Value(0xB0).store(kIdentB0);
  block.Value(0xB1).store(kIdentB1);
  SetText(0xB2, kBlankText);
  SetText(0xB3, kBlankText);
  for (const std::uint8_t key : {0xB4, 0xB5, 0xB6, 0xCF, 0xD0, 0xDF, 0xF0, 0xF1}) {
    block.Value(key).store(0);
  }
  block.Value(0xC0).store(reg_settings().selected_country.t35_code);
  block.Value(0xC1).store(kDaaPresent);
  stats_set_model_text();
}

void stats_init_versions() {
  ModemStatisticsBlock& block = stats_block();
  std::copy(std::begin(kControllerVersionText), std::end(kControllerVersionText),
            block.controller_version);
  DspAnswer answer;
  const bool replied = dsp_send_packet(DspCommand::Query(kCmdVersionQuery, pump::kDpVersionInfo),
                                       &answer) == kDspSent &&
                       answer.code == pump::kDpVersionInfo;
  if (!replied) {
    std::copy(std::begin(kBlankText), std::end(kBlankText), block.dsp_version);
    block.hardware_kind.store(0);
    return;
  }
  unsigned words[kVersionWords];
  for (std::size_t i = 0; i < kVersionWords; ++i) {
    words[i] = answer.reply[2 * i] | answer.reply[2 * i + 1] << 8;
  }
  // At most 4 x 5 digits, 3 dots and 2 quotes: the buffer cuts it.
  std::snprintf(block.dsp_version, sizeof block.dsp_version, "\"%u.%u.%u.%u\"", words[0],
                words[1], words[2], words[3]);
  block.hardware_kind.store(
      static_cast<std::uint16_t>(answer.reply[kKindOffset] | answer.reply[kKindOffset + 1] << 8));
}

void stats_set_model_text() {
  const std::uint16_t kind = stats_block().hardware_kind.load();
  SetText(0xFF, kModelTexts[kind >= 1 && kind <= 8 ? kind : 0]);
}

std::uint32_t stats_db(std::uint32_t x) { return stats_db_wide(x); }

std::uint32_t stats_db_wide(std::uint64_t x) {
  if (x <= 1) return 0;
  return static_cast<std::uint32_t>((std::uint64_t{Log2Q11(x)} * 49321) >> 17);
}

void stats_hex_octets(std::span<char> text, std::span<const std::uint8_t> bytes) {
  if (text.empty()) return;
  constexpr char kDigits[] = "0123456789ABCDEF";
  const std::size_t n = std::min(bytes.size(), (text.size() - 1) / 2);
  for (std::size_t i = 0; i < n; ++i) {
    text[2 * i] = kDigits[bytes[i] >> 4];
    text[2 * i + 1] = kDigits[bytes[i] & 0xF];
  }
  text[2 * n] = 0;
}

}  // namespace vxctl
