// Data saved for the command interpreter and the line services: "Feature1",
// caller-ID data, quick-connect data, modem-on-hold parameters, the
// caller-ID override, the hook-flash method and the GPIO reset byte.
#pragma once

#include <cstdint>
#include <span>

#include "platform/nt/ntdef.h"

namespace vxctl {

inline constexpr std::size_t kCallerIdDataMax = 100;
inline constexpr std::size_t kMohParmsSize = 3;

// The read result (0 or 19); the byte is 0 on failure.
std::uint32_t reg_load_gpio3_reset();
// 1 when "Feature1" (one byte) was read into *byte, else 0 and *byte kept.
int reg_load_feature1(std::uint8_t* byte);
// 1 when "CallerIdData" (at most 100 characters) was read into `buffer`
// (kCallerIdDataMax + 1 bytes, terminated), else 0 and the buffer kept.
int reg_load_caller_id_data(char* buffer);
// 1 written. A text equal to the stored one writes nothing; a text that
// does not convert (over 100 characters) leaves an empty value and gives 0.
int reg_save_caller_id_data(const char* text);
bool reg_load_qc_data(void* buffer, ULONG* size);
bool reg_save_qc_data(std::span<const std::uint8_t> data);
// Three bytes; other lengths are refused.
bool reg_load_moh_parms(void* buffer, ULONG* size);
bool reg_save_moh_parms(std::span<const std::uint8_t> data);
int reg_save_cid_config_override(std::uint32_t value);
// The hook-flash method (u16, two bytes) into the settings; 1 read.
int reg_load_hook_flash_method();
bool reg_save_hook_flash_method(std::uint16_t method);

}  // namespace vxctl
