#include "layer2/corecode/mt/stats/statistics_block.h"

#include <algorithm>
#include <cstdio>

#include "layer2/corecode/mt/dsp/dsp_transport.h"
#include "layer2/corecode/mt/dsp/hardware_kind.h"
#include "layer2/corecode/mt/machine_state.h"
#include "layer2/corecode/mt/registry/reg_settings.h"
#include "layer2/corecode/mt/services/command_interpreter.h"
#include "pump/core/power_db.h"
#include "pump/packets/dp_packets.h"

namespace vxctl {
namespace {

constexpr std::size_t kVersionWords = 4;

constexpr const char kControllerVersionText[] = "\"4.65\"";
constexpr const char kBlankText[] = "\"\"";
constexpr const char kMakerText[] = "\"Vexor_Corp.\"";

// The model text: the same for every hardware kind.
constexpr const char kModelText[] = "\"K48\"";

// Identification values set by stats_init_ident.
constexpr std::uint32_t kFeatureBits = 0x70;  // key 0xAF
constexpr std::uint32_t kIdentB0 = 2;
constexpr std::uint32_t kIdentB1 = 7;
constexpr std::uint32_t kDaaPresent = 1;  // key 0xC1

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
  Entry(0xFF).text.store(kModelText);
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
  if (!dsp_version_block(answer)) {
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
  block.hardware_kind.store(version_block_kind(answer));
}

void stats_set_model_text() { SetText(0xFF, kModelText); }

std::uint32_t stats_db(std::uint32_t x) { return stats_db_wide(x); }

std::uint32_t stats_db_wide(std::uint64_t x) {
  return static_cast<std::uint32_t>(pump::PowerToDbQ8(x));
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
