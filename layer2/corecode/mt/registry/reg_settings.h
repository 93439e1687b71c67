// The controller's registry settings: the registry context (the serial
// device's extension, present from the port configuration's start to its
// stop), the feature switches, identification strings, EEPROM image and
// country selection loaded from the Parameters key. One per machine
// (reg_settings()).
#pragma once

#include <array>
#include <atomic>
#include <cstdint>

#include "controller/line/country/country_list.h"
#include "layer2/corecode/mt/machine_state.h"

namespace vxctl {

// The one-byte switches (one-byte REG_BINARY values), with their defaults.
struct RegFeatureFlags {
  std::atomic<std::uint8_t> gpio_lpohd{1};
  std::atomic<std::uint8_t> v92_report_option{0};
  std::atomic<std::uint8_t> v9x_mcr_enable{0};
  std::atomic<std::uint8_t> v34_aux_channel_enable{0};
  std::atomic<std::uint8_t> moh_setting_override{0};
  // "BlkLlstInfoPreserved": the black list is saved at the port's close
  // and restored at its open.
  std::atomic<std::uint8_t> black_list_preserved{0};
  std::atomic<std::uint8_t> line_in_use_detect{0};
  std::atomic<std::uint8_t> line_unavailable_detect{0};
  std::atomic<std::uint8_t> dlp_fault_notify{0};
  std::atomic<std::uint8_t> qc_default_on{0};
  std::atomic<std::uint8_t> moh_default_on{1};
  std::atomic<std::uint8_t> ringback_detect_enable{0};
};

// The modem's identification strings from its installed-modem entry.
struct ModemIdent {
  char manufacturer[64] = "Vexor Corporation";
  char model[64] = " ";
  char hardware_id[256] = " ";
};

// The emulated EEPROM: byte 0 the checksum of bytes 1..284, the rest the
// command interpreter's stored profiles, numbers and options.
inline constexpr std::size_t kEepromSize = 285;
using EepromImage = std::array<std::uint8_t, kEepromSize>;

inline constexpr CountryListEntry kDefaultCountry{1, 181, 0, {'U', 'S', 'A', '\0'}};

struct RegSettings {
  std::atomic<void*> context{nullptr};
  RegFeatureFlags features;
  ModemIdent ident;
  EepromImage eeprom{};
  CountryList countries{};  // the working list
  CountryListEntry selected_country = kDefaultCountry;
  std::uint32_t cid_config_override = 0;
  std::uint16_t hook_flash_method = 0;
  std::uint8_t gpio3_reset = 0;
};

inline RegSettings& reg_settings() { return MachineState<RegSettings>(); }

}  // namespace vxctl
