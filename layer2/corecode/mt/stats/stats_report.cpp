// stats_print_diag: the #UD report, one line per reported entry of the
// statistics block, "DIAG <2A4D3263 " with the key, "=", the value and
// ">", each line ended by S3 and S4.
#include <cstdio>
#include <cstring>

#include "layer2/corecode/mt/services/command_interpreter.h"
#include "layer2/corecode/mt/stats/statistics_block.h"

namespace vxctl {
namespace {

constexpr char kToken[] = "DIAG <2A4D3263 ";
constexpr std::uint8_t kDigitBits = 0x30;

bool Reported(const StatsRow& row, const StatsEntry& entry, std::uint32_t mask) {
  if (row.kind == StatsKind::kHidden) return false;
  if (row.always) return true;
  if ((entry.class_mask.load() & mask) == 0) return false;
  return !row.needs_error_control || (mask & kStatsErrorControl) != 0;
}

// Writes the entry's value as its kind shows it; a digit entry keeps the
// character it was sent as.
void FormatValue(const StatsRow& row, StatsEntry& entry, char* out, std::size_t size) {
  const std::uint32_t value = entry.value.load();
  const char* text = entry.text.load();
  switch (row.kind) {
    case StatsKind::kByte:
      std::snprintf(out, size, "%02X", value & 0xFF);
      break;
    case StatsKind::kWord16:
      std::snprintf(out, size, "%04X", value & 0xFFFF);
      break;
    case StatsKind::kWord32:
      std::snprintf(out, size, "%08X", value);
      break;
    case StatsKind::kDigit: {
      const std::uint32_t digit = (value | kDigitBits) & 0xFF;
      entry.value.store(digit);
      std::snprintf(out, size, "%c", static_cast<char>(digit));
      break;
    }
    case StatsKind::kText:
      std::snprintf(out, size, "%s", text != nullptr ? text : "");
      break;
    case StatsKind::kQuotedText:
      std::snprintf(out, size, "\"%s\"", text != nullptr ? text : "");
      break;
    case StatsKind::kHidden:
      out[0] = 0;
      break;
  }
}

}  // namespace

void stats_print_diag() {
  ModemStatisticsBlock& block = stats_block();
  const std::uint32_t mask = block.output_mask.load();
  block.mask_copy.store(mask);
  acu_send_line_end();
  for (std::size_t i = 0; i < kStatsEntryCount; ++i) {
    const StatsRow& row = kStatsRows[i];
    StatsEntry& entry = block.entries[i];
    if (!Reported(row, entry, mask)) continue;
    // The longest value: a quoted V.8 octet text.
    char value[kStatsV8TextBytes + 2];
    FormatValue(row, entry, value, sizeof value);
    char line[sizeof kToken + 3 + sizeof value + 1];
    std::snprintf(line, sizeof line, "%s%02X=%s>", kToken, row.key, value);
    if (!acu_send_text(line) || !acu_send_line_end()) return;
  }
}

}  // namespace vxctl
