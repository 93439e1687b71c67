// The S-register limits a country record imposes (its S-register table):
// the bounds an S command's value is held to, and the defaults a change of
// country writes.
#pragma once

#include <array>
#include <cstdint>

#include "controller/acu/acu_settings.h"
#include "controller/line/country/country_record.h"

namespace vxctl {

using SRegisters = std::array<std::uint8_t, kSRegisterCount>;

// The S command writing `value` into register `reg`: when the first of the
// table's valid rows (at most 15) naming `reg` exists, s[reg] becomes the
// value held to the row's range, a value inside the row's excluded band
// becoming the band's top + 1 (at most the row's maximum), and the answer
// is 1. Without such a row, or for a register without storage, nothing is
// written and the answer is 0: the caller writes the value itself.
std::uint8_t S_limit_register(const CountryRecord& record, SRegisters& s, std::uint8_t reg,
                              std::uint8_t value);

// Writes each valid row's default into its register (rows naming 255 or a
// register without storage are skipped), then the calling-tone setting
// (-C): 1 when the general flags' field 3 is non-zero, else 0.
void S_apply_country_defaults(const CountryRecord& record, SRegisters& s,
                              std::uint8_t& calling_tone);

}  // namespace vxctl
