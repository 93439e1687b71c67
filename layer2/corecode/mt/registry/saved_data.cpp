// The saved data's loads and saves.
#include "layer2/corecode/mt/registry/saved_data.h"

#include <cstring>
#include <string>
#include <vector>

#include "layer2/corecode/mt/registry/reg_settings.h"
#include "layer2/corecode/mt/registry/reg_value.h"
#include "platform/reg/regdefs.h"

namespace vxctl {
namespace {

constexpr const char* kCallerIdValue = "CallerIdData";
// 100 UTF-16 characters and a terminator.
constexpr ULONG kCallerIdBytes = (kCallerIdDataMax + 1) * sizeof(WCHAR);

const SerialDeviceExtension* Context() {
  return static_cast<const SerialDeviceExtension*>(reg_settings().context.load());
}

std::uint32_t ReadRaw(const char* name, void* buffer, ULONG* size) {
  return reg_read_value(Context(), nullptr, name, kRegKindRaw, buffer, size, 0);
}

bool WriteBinary(const char* name, std::span<const std::uint8_t> data) {
  return reg_write_value(Context(), nullptr, name, REG_BINARY, data.data(),
                         static_cast<ULONG>(data.size())) == kRegOk;
}

bool WriteString(const std::u16string& text) {
  return reg_write_value(Context(), nullptr, kCallerIdValue, REG_SZ, text.c_str(),
                         static_cast<ULONG>((text.size() + 1) * sizeof(WCHAR))) == kRegOk;
}

// The stored caller-ID text, when there is one of at most 100 characters.
bool ReadCallerId(std::string* text) {
  std::vector<char> ansi(kCallerIdBytes);
  ULONG size = kCallerIdBytes;
  if (reg_read_value(Context(), nullptr, kCallerIdValue, kRegKindAnsi, ansi.data(), &size, 0) !=
          kRegOk ||
      size > kCallerIdDataMax) {
    return false;
  }
  text->assign(ansi.data(), size);
  return true;
}

}  // namespace

std::uint32_t reg_load_gpio3_reset() {
  std::uint8_t byte = 0;
  ULONG size = 1;
  const std::uint32_t result = ReadRaw("gpio3_reset_1724", &byte, &size);
  reg_settings().gpio3_reset = result == kRegOk && size == 1 ? byte : 0;
  return result;
}

int reg_load_feature1(std::uint8_t* byte) {
  std::uint8_t read = 0;
  ULONG size = 1;
  if (ReadRaw("Feature1", &read, &size) != kRegOk || size != 1) return 0;
  *byte = read;
  return 1;
}

int reg_load_caller_id_data(char* buffer) {
  std::string text;
  if (!ReadCallerId(&text)) return 0;
  std::memcpy(buffer, text.c_str(), text.size() + 1);
  return 1;
}

int reg_save_caller_id_data(const char* text) {
  std::string stored;
  if (ReadCallerId(&stored) && stored == text) return 1;
  if (!WriteString(u"")) return 0;
  const std::size_t length = std::strlen(text);
  if (length > kCallerIdDataMax) return 0;
  std::u16string wide;
  for (std::size_t i = 0; i < length; ++i) wide.push_back(static_cast<unsigned char>(text[i]));
  return WriteString(wide) ? 1 : 0;
}

bool reg_load_qc_data(void* buffer, ULONG* size) {
  return ReadRaw("qcData", buffer, size) == kRegOk;
}

bool reg_save_qc_data(std::span<const std::uint8_t> data) { return WriteBinary("qcData", data); }

bool reg_load_moh_parms(void* buffer, ULONG* size) {
  std::uint8_t parms[kMohParmsSize];
  ULONG read = kMohParmsSize;
  if (*size < kMohParmsSize || ReadRaw("MohParms", parms, &read) != kRegOk ||
      read != kMohParmsSize) {
    return false;
  }
  std::memcpy(buffer, parms, kMohParmsSize);
  *size = kMohParmsSize;
  return true;
}

bool reg_save_moh_parms(std::span<const std::uint8_t> data) {
  return data.size() == kMohParmsSize && WriteBinary("MohParms", data);
}

int reg_save_cid_config_override(std::uint32_t value) {
  const ULONG stored = value;
  return reg_write_value(Context(), nullptr, "CidConfigOverride", REG_DWORD, &stored,
                         sizeof stored) == kRegOk
             ? 1
             : 0;
}

int reg_load_hook_flash_method() {
  std::uint16_t method = 0;
  ULONG size = sizeof method;
  if (ReadRaw("HookFlashMethod", &method, &size) != kRegOk || size != sizeof method) return 0;
  reg_settings().hook_flash_method = method;
  return 1;
}

bool reg_save_hook_flash_method(std::uint16_t method) {
  const std::uint8_t bytes[2] = {static_cast<std::uint8_t>(method),
                                 static_cast<std::uint8_t>(method >> 8)};
  return WriteBinary("HookFlashMethod", bytes);
}

}  // namespace vxctl
