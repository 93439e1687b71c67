// Every value the controller keeps under its Parameters key: name, registry
// type, size, default, and when it is read and written. The loaders take
// the switches' defaults from it and the settings tool checks what it sets
// against it.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

#include "platform/reg/regdefs.h"

namespace vxctl {

struct RegValueInfo {
  const char* name;
  ULONG type;
  // The size in bytes: exact, or (exact_size false) the largest.
  std::uint32_t size;
  bool exact_size;
  std::uint32_t default_value;  // a number's default; 0 where the default is not a number
  const char* default_text;     // the default in words
  const char* read;
  const char* written;
};

inline constexpr RegValueInfo kRegValues[] = {
    {"EEProm", REG_BINARY, 285, true, 0, "image all zero",
     "configuration start, controller start-up", "every changing EEPROM write"},
    {"gpio3_reset_1724", REG_BINARY, 1, true, 0, "0", "controller start-up", "never"},
    {"CountryLst", REG_BINARY, 964, true, 0, "built-in list",
     "configuration start, controller start-up, Z and &F", "never"},
    {"CurrentCountry", REG_DWORD, 4, true, 0, "the OS country", "with the country",
     "after every country load, +GCI=, the probe device"},
    {"CidConfigOverride", REG_DWORD, 4, true, 0, "0", "after a stored country record", "+VCO="},
    {"gpio_lpohd", REG_BINARY, 1, true, 1, "1", "with the features", "never"},
    {"v92rptopt", REG_BINARY, 1, true, 0, "0", "with the features", "never"},
    {"v9xMCREnable", REG_BINARY, 1, true, 0, "0", "with the features", "never"},
    {"V34AuxChEnable", REG_BINARY, 1, true, 0, "0", "with the features", "never"},
    {"MohSettingOverride", REG_BINARY, 1, true, 0, "0", "with the features", "never"},
    {"BlkLlstInfoPreserved", REG_BINARY, 1, true, 0, "0", "with the features", "never"},
    {"LineInUseDet", REG_BINARY, 1, true, 0, "0", "with the features", "never"},
    {"LineUnAvailDet", REG_BINARY, 1, true, 0, "0", "with the features", "never"},
    {"DlpFaultNotify", REG_BINARY, 1, true, 0, "0", "with the features", "never"},
    {"QCDefaultOn", REG_BINARY, 1, true, 0, "0", "with the features", "never"},
    {"MOHDefaultOn", REG_BINARY, 1, true, 1, "1", "with the features", "never"},
    {"RingbackDetEnable", REG_BINARY, 1, true, 0, "0", "with the features", "never"},
    {"Feature1", REG_BINARY, 1, true, 0, "caller's byte unchanged", "the reset command", "never"},
    {"CallerIdData", REG_SZ, 100, false, 0, "caller's buffer unchanged",
     "+VRID=", "caller-ID control and the modem task"},
    {"qcData", REG_BINARY, 4096, false, 0, "caller's buffer unchanged",
     "quick-connect save and restore", "quick-connect save"},
    {"MohParms", REG_BINARY, 3, true, 0, "caller's buffer unchanged",
     "controller start-up and reset", "factory defaults"},
    {"HookFlashMethod", REG_BINARY, 2, true, 0, "0", "controller start-up", "a debug command"},
};

// The entry of `name` (exact case), or null.
inline const RegValueInfo* find_reg_value(std::string_view name) {
  for (const RegValueInfo& info : kRegValues) {
    if (name == info.name) return &info;
  }
  return nullptr;
}

}  // namespace vxctl
