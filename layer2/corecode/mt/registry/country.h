// The country list ("CountryLst"), the country selection ("CurrentCountry",
// else the OS country), the live country record (the registry's "WWH<n>"
// values, else the built-in record) and "CidConfigOverride".
#pragma once

#include <cstdint>
#include <span>

#include "layer2/corecode/mt/registry/reg_settings.h"

namespace vxctl {

// Record byte 11: the caller-ID configuration.
inline constexpr std::size_t kCountryCallerIdByte = 11;
inline constexpr std::size_t kCountryRecordValueMax = 4096;

// 1 when a stored list (version 1, count 1..120, 964 bytes) is taken, else
// 0 with the built-in list.
int reg_load_country_list();
// The "iCountry" of the default user as a number; -1 when absent, zero,
// unreadable or above PASSIVE_LEVEL.
int reg_os_country();
int reg_map_country_code(int code);
// Selects the country, fills the live record; 1 when a stored record was
// taken and "CurrentCountry" written back, else 0.
int reg_load_country();
// "CurrentCountry" := the selected calling code; 1 written, 0 not.
int reg_save_current_country();
// A whole record as a REG_BINARY value.
bool reg_save_country_record(const char* name, std::span<const std::uint8_t> record);
// The saved override := "CidConfigOverride" (0 when absent); a value above
// 255 also puts its low byte into the live record's caller-ID byte.
void reg_load_cid_config_override();

}  // namespace vxctl
