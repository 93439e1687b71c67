// Feature switches and the installed-modem search.
#include "layer2/corecode/mt/registry/features.h"

#include <algorithm>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "layer2/corecode/mt/frame/frame.h"
#include "layer2/corecode/mt/registry/key_value.h"
#include "layer2/corecode/mt/registry/reg_settings.h"
#include "layer2/corecode/mt/registry/reg_value.h"
#include "layer2/corecode/mt/registry/value_table.h"
#include "platform/reg/regdefs.h"

namespace vxctl {
namespace {

constexpr std::u16string_view kModemEnumKey =
    u"\\REGISTRY\\Machine\\System\\CurrentControlSet\\Services\\Modem\\Enum";
constexpr std::u16string_view kSerialCommKey =
    u"\\REGISTRY\\Machine\\Hardware\\DEVICEMAP\\SERIALCOMM";
constexpr std::u16string_view kEnumKey = u"\\REGISTRY\\Machine\\System\\CurrentControlSet\\Enum\\";
constexpr std::u16string_view kClassKey =
    u"\\REGISTRY\\Machine\\System\\CurrentControlSet\\Control\\Class\\";

bool SameText(std::u16string_view a, std::u16string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (RtlUpcaseUnicodeChar(a[i]) != RtlUpcaseUnicodeChar(b[i])) return false;
  }
  return true;
}

// The instance key's value of each ModemIdentField.
constexpr std::u16string_view kIdentFields[] = {u"DeviceDesc", u"Mfg", u"HardwareID"};

// The instance path of the installed modem attached to this port.
std::optional<std::u16string> ModemInstance(const SerialDeviceExtension& context) {
  const std::optional<std::vector<UCHAR>> count_data =
      query_key_value(kModemEnumKey, u"Count", REG_DWORD);
  if (!count_data || count_data->size() != sizeof(ULONG)) return std::nullopt;
  ULONG count = 0;
  std::memcpy(&count, count_data->data(), sizeof count);
  const std::u16string_view device_name(context.device_name.Buffer,
                                        context.device_name.Length / sizeof(WCHAR));
  for (ULONG i = 0; i < count; ++i) {
    const std::string digits = std::to_string(i);
    const std::optional<std::u16string> instance =
        query_key_string(kModemEnumKey, std::u16string(digits.begin(), digits.end()));
    if (!instance) return std::nullopt;
    const std::optional<std::u16string> com_name = query_key_string(kSerialCommKey, device_name);
    if (!com_name) return std::nullopt;
    const std::optional<std::u16string> driver =
        query_key_string(std::u16string(kEnumKey) + *instance, u"Driver");
    if (!driver) return std::nullopt;
    const std::optional<std::u16string> attached =
        query_key_string(std::u16string(kClassKey) + *driver, u"AttachedTo");
    if (!attached) return std::nullopt;
    if (SameText(*attached, *com_name)) return instance;
  }
  return std::nullopt;
}

// A one-byte switch: its stored byte, else its default or (keep) its value.
void LoadSwitch(const SerialDeviceExtension* context, const RegValueInfo& info,
                std::atomic<std::uint8_t>& flag, bool keep) {
  std::uint8_t byte = 0;
  ULONG size = 1;
  if (reg_read_value(context, nullptr, info.name, kRegKindRaw, &byte, &size, 0) == kRegOk &&
      size == 1) {
    flag.store(byte);
  } else if (!keep) {
    flag.store(static_cast<std::uint8_t>(info.default_value));
  }
}

}  // namespace

void reg_read_modem_ident(const SerialDeviceExtension* context, char* buffer, ULONG* size,
                          int which) {
  if (context == nullptr || buffer == nullptr || size == nullptr || *size == 0) return;
  if (which < 0 || which > 2) return;
  const std::optional<std::u16string> instance = ModemInstance(*context);
  if (!instance) return;
  const std::optional<std::u16string> text =
      query_key_string(std::u16string(kEnumKey) + *instance, kIdentFields[which]);
  if (!text) return;
  const std::size_t length = std::min<std::size_t>(text->size(), *size - 1);
  for (std::size_t i = 0; i < length; ++i) buffer[i] = static_cast<char>((*text)[i] & 0xFF);
  buffer[length] = '\0';
  *size = static_cast<ULONG>(length);
}

int reg_load_features() {
  const auto* context = static_cast<const SerialDeviceExtension*>(reg_settings().context.load());
  if (context == nullptr) return 0;
  RegSettings& settings = reg_settings();
  RegFeatureFlags& f = settings.features;
  ModemIdent& ident = settings.ident;
  ULONG size = sizeof ident.manufacturer;
  reg_read_modem_ident(context, ident.manufacturer, &size, kIdentManufacturer);
  size = sizeof ident.model;
  reg_read_modem_ident(context, ident.model, &size, kIdentModel);
  const struct {
    const char* name;
    std::atomic<std::uint8_t>& flag;
    bool keep;
  } switches[] = {
      {"gpio_lpohd", f.gpio_lpohd, true},
      {"v92rptopt", f.v92_report_option, true},
      {"v9xMCREnable", f.v9x_mcr_enable, false},
      {"V34AuxChEnable", f.v34_aux_channel_enable, false},
      {"MohSettingOverride", f.moh_setting_override, false},
      {"BlkLlstInfoPreserved", f.black_list_preserved, false},
      {"LineInUseDet", f.line_in_use_detect, false},
      {"LineUnAvailDet", f.line_unavailable_detect, false},
      {"DlpFaultNotify", f.dlp_fault_notify, false},
      {"QCDefaultOn", f.qc_default_on, false},
      {"MOHDefaultOn", f.moh_default_on, false},
  };
  for (const auto& s : switches) LoadSwitch(context, *find_reg_value(s.name), s.flag, s.keep);
  size = sizeof ident.hardware_id;
  reg_read_modem_ident(context, ident.hardware_id, &size, kIdentHardwareId);
  LoadSwitch(context, *find_reg_value("RingbackDetEnable"), f.ringback_detect_enable, false);
  return 1;
}

}  // namespace vxctl
