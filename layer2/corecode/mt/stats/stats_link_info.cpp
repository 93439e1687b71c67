// stats_set_link_info: the link fields of the statistics block after a
// connection, from the error-control record and the symbol rates the
// read-out found. Called by the command interpreter once the data phase
// starts.
#include <cstdint>

#include "layer2/corecode/mt/services/command_interpreter.h"
#include "layer2/corecode/mt/services/link_protocols.h"
#include "layer2/corecode/mt/stats/statistics_block.h"
#include "layer2/corecode/mt/stats/stats_readout.h"

namespace vxctl {
namespace {

constexpr std::uint8_t kLinkLapm = 6;
constexpr std::uint8_t kLinkMnp = 3;
constexpr std::uint32_t kProtocolLapm = 1, kProtocolMnp = 2;
constexpr std::uint32_t kCompressionLapm = 1, kCompressionMnp = 0x80;

// Symbol rates by index, and the low and high carrier frequency of each.
constexpr std::uint32_t kSymbolRates[8] = {2400, 2743, 2800, 3000, 3200, 3429, 8000, 0};
constexpr std::uint32_t kCarriers[8][2] = {{1600, 1800}, {1646, 1829}, {1680, 1867},
                                           {1800, 2000}, {1829, 1920}, {1959, 1959},
                                           {0, 0},       {0, 0}};

// A side's words from the read-out: the symbol-rate index, then the
// carrier index (0 low, else high).
void SetSide(std::uint32_t cursor, std::uint8_t rate_key, std::uint8_t carrier_key) {
  const auto& words = stats_readout_words(cursor);
  const std::uint16_t index = words[0];
  const bool known = index < std::size(kSymbolRates);
  ModemStatisticsBlock& block = stats_block();
  block.Value(rate_key).store(known ? kSymbolRates[index] : 0);
  block.Value(carrier_key).store(known ? kCarriers[index][words[1] != 0 ? 1 : 0] : 0);
}

}  // namespace

void stats_set_link_info(EcStatistics& record) {
  ec_get_statistics(record);
  ModemStatisticsBlock& block = stats_block();
  switch (acu_connected_link()) {
    case kLinkLapm:
      block.output_mask.fetch_or(kStatsErrorControl);
      block.Value(0x40).store(kProtocolLapm);
      if (record.compression != 0) block.Value(0x44).store(kCompressionLapm);
      break;
    case kLinkMnp:
      block.output_mask.fetch_or(kStatsErrorControl);
      block.Value(0x40).store(kProtocolMnp);
      block.Value(0x44).store(kCompressionMnp);
      break;
    default:
      block.Value(0x40).store(0);
      block.Value(0x44).store(0);
      break;
  }
  SetSide(0x166B, 0x22, 0x24);  // transmit
  SetSide(0x1663, 0x23, 0x25);  // receive
}

}  // namespace vxctl
