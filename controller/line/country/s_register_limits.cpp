#include "controller/line/country/s_register_limits.h"

#include <algorithm>

namespace vxctl {

std::uint8_t S_limit_register(const CountryRecord& record, SRegisters& s, std::uint8_t reg,
                              std::uint8_t value) {
  if (reg == kSRowEmpty || reg >= s.size()) return 0;
  const SRegisterTableView table = SRegisterLimits(record);
  for (std::size_t r = 0; r < table.valid_count(); ++r) {
    const SRegisterRow row = table.row(r);
    if (row.reg != reg) continue;
    const bool has_band = row.excluded_low != kSRowEmpty && row.excluded_high != kSRowEmpty;
    if (value < row.min) {
      s[reg] = row.min;
    } else if (value > row.max) {
      s[reg] = row.max;
    } else if (has_band && row.excluded_low <= value && value <= row.excluded_high) {
      // The band's top + 1, held to the maximum (a band that reaches the
      // maximum would otherwise store a value above it, or wrap at 255).
      s[reg] = static_cast<std::uint8_t>(std::min<unsigned>(row.excluded_high + 1u, row.max));
    } else {
      s[reg] = value;
    }
    return 1;
  }
  return 0;
}

void S_apply_country_defaults(const CountryRecord& record, SRegisters& s,
                              std::uint8_t& calling_tone) {
  const SRegisterTableView table = SRegisterLimits(record);
  for (std::size_t r = 0; r < table.valid_count(); ++r) {
    const SRegisterRow row = table.row(r);
    if (row.reg == kSRowEmpty || row.reg >= s.size()) continue;
    s[row.reg] = row.default_value;
  }
  calling_tone = GeneralFlags(record).calling_tone() != 0 ? 1 : 0;
}

}  // namespace vxctl
