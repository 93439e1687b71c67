// The country list, selection and live record from the registry.
#include "layer2/corecode/mt/registry/country.h"

#include <algorithm>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "layer2/corecode/mt/frame/frame.h"
#include "layer2/corecode/mt/kernel/line_services_start.h"
#include "layer2/corecode/mt/registry/key_value.h"
#include "layer2/corecode/mt/registry/reg_value.h"
#include "platform/reg/regdefs.h"

namespace vxctl {
namespace {

constexpr std::u16string_view kInternationalKey =
    u"\\REGISTRY\\USER\\.DEFAULT\\Control Panel\\International";

const SerialDeviceExtension* Context() {
  return static_cast<const SerialDeviceExtension*>(reg_settings().context.load());
}

CountryRecord& LiveRecord() { return MachineState<LineServicesState>().live_record; }

std::string RecordValueName(std::uint8_t index) { return "WWH" + std::to_string(index); }

bool ValidList(const CountryList& list) {
  return list.version == kCountryListVersion && list.count >= 1 && list.count <= kCountryListMax;
}

// The stored record `name` into the live record when it is whole and of
// the current version; the live record is untouched otherwise.
bool LoadStoredRecord(const SerialDeviceExtension* context, const std::string& name) {
  CountryRecord record;
  ULONG size = kCountryRecordSize;
  if (reg_read_value(context, nullptr, name.c_str(), kRegKindRaw, record.bytes.data(), &size, 0) !=
          kRegOk ||
      size != kCountryRecordSize) {
    return false;
  }
  std::uint16_t version = 0;
  std::memcpy(&version, record.bytes.data(), sizeof version);
  if (version != kCountryRecordVersion) return false;
  LiveRecord() = record;
  return true;
}

}  // namespace

int reg_load_country_list() {
  RegSettings& settings = reg_settings();
  CountryList stored{};
  ULONG size = sizeof stored;
  if (reg_read_value(Context(), nullptr, "CountryLst", kRegKindRaw, &stored, &size, 0) == kRegOk &&
      size == sizeof stored && ValidList(stored)) {
    settings.countries = stored;
    return 1;
  }
  const std::span<const std::uint8_t> builtin = CTY_builtin_country_list();
  settings.countries = {};
  std::memcpy(&settings.countries, builtin.data(), std::min(builtin.size(), sizeof(CountryList)));
  return 0;
}

int reg_os_country() {
  if (KeGetCurrentIrql() != PASSIVE_LEVEL) return -1;
  const std::optional<std::u16string> text = query_key_string(kInternationalKey, u"iCountry");
  if (!text) return -1;
  UNICODE_STRING number{static_cast<USHORT>(text->size() * sizeof(WCHAR)),
                        static_cast<USHORT>(text->size() * sizeof(WCHAR)),
                        const_cast<PWSTR>(text->data())};
  ULONG value = 0;
  if (!NT_SUCCESS(RtlUnicodeStringToInteger(&number, 10, &value)) || value == 0) return -1;
  return static_cast<int>(value);
}

int reg_map_country_code(int code) { return code; }

int reg_load_country() {
  const SerialDeviceExtension* context = Context();
  RegSettings& settings = reg_settings();
  ULONG current = 0;
  ULONG size = sizeof current;
  const int code = reg_read_value(context, nullptr, "CurrentCountry", kRegKindRaw, &current, &size,
                                  0) == kRegOk &&
                           size == sizeof current
                       ? static_cast<int>(current)
                       : reg_map_country_code(reg_os_country());
  const CountryList& list = settings.countries;
  for (std::uint16_t i = 0; i < list.count && i < kCountryListMax; ++i) {
    if (list.entries[i].calling_code == code) {
      settings.selected_country = list.entries[i];
      break;
    }
  }

  const std::uint8_t index = settings.selected_country.record_index;
  std::vector<std::uint8_t> stored(kCountryRecordValueMax, 0);
  ULONG stored_size = kCountryRecordValueMax;
  const bool read = reg_read_value(context, nullptr, RecordValueName(index).c_str(), kRegKindRaw,
                                   stored.data(), &stored_size, 0) == kRegOk;
  const bool delta = read && (stored[0] & 0x80) != 0;
  const std::span<const std::uint8_t> delta_bytes(stored.data(), delta ? stored_size : 0);
  const std::uint8_t base = delta ? stored[1] : index;
  if (read && LoadStoredRecord(context, RecordValueName(base))) {
    if (delta && !CTY_expand_delta(delta_bytes)) {
      // A delta that is not sound applies nothing: record 0 instead.
      LiveRecord() = CTY_default_record();
      reg_save_current_country();
      return 0;
    }
    const int written = reg_save_current_country();
    reg_load_cid_config_override();
    return written;
  }
  // The built-in record of the selected index (a built-in delta comes
  // expanded).
  LiveRecord() = CTY_builtin_record(index);
  reg_save_current_country();
  return 0;
}

int reg_save_current_country() {
  const ULONG code = reg_settings().selected_country.calling_code;
  // Every country load writes the code back: a code already stored is left
  // as it is, so that the state file is not rewritten at each port open.
  ULONG stored = 0;
  ULONG size = sizeof stored;
  if (reg_read_value(Context(), nullptr, "CurrentCountry", kRegKindRaw, &stored, &size, 0) ==
          kRegOk &&
      size == sizeof stored && stored == code) {
    return 1;
  }
  return reg_write_value(Context(), nullptr, "CurrentCountry", REG_DWORD, &code, sizeof code) ==
                 kRegOk
             ? 1
             : 0;
}

bool reg_save_country_record(const char* name, std::span<const std::uint8_t> record) {
  if (record.size() != kCountryRecordSize) return false;
  return reg_write_value(Context(), nullptr, name, REG_BINARY, record.data(), kCountryRecordSize) ==
         kRegOk;
}

void reg_load_cid_config_override() {
  RegSettings& settings = reg_settings();
  settings.cid_config_override = 0;
  ULONG value = 0;
  ULONG size = sizeof value;
  if (reg_read_value(Context(), nullptr, "CidConfigOverride", kRegKindRaw, &value, &size, 0) !=
          kRegOk ||
      size != sizeof value) {
    return;
  }
  settings.cid_config_override = value;
  if (value > 0xFF) LiveRecord().bytes[kCountryCallerIdByte] = static_cast<std::uint8_t>(value);
}

}  // namespace vxctl
