// reg_read_value and reg_write_value over the Zw and Rtl registry routines.
#include "layer2/corecode/mt/registry/reg_value.h"

#include <cstring>
#include <string>
#include <vector>

#include "layer2/corecode/mt/frame/frame.h"
#include "platform/reg/regroutines.h"

namespace vxctl {
namespace {

constexpr ULONG kQuerySlack = 22;

std::u16string Widen(const char* text) {
  std::u16string wide;
  for (; text != nullptr && *text != '\0'; ++text) {
    wide.push_back(static_cast<unsigned char>(*text));
  }
  return wide;
}

// The driver's registry path, then "\Parameters", then the subkey as given.
std::u16string ParametersPath(const SerialDeviceExtension& context, const char* subkey) {
  const UNICODE_STRING& base = context.registry_path;
  std::u16string path(base.Buffer, base.Length / sizeof(WCHAR));
  path += u"\\Parameters";
  path += Widen(subkey);
  return path;
}

// The UTF-16 text of a string value up to its terminator.
std::u16string_view StringData(const UCHAR* data, ULONG length) {
  std::u16string_view text(reinterpret_cast<const char16_t*>(data), length / sizeof(WCHAR));
  return text.substr(0, text.find(u'\0'));
}

}  // namespace

std::uint32_t reg_read_value(const SerialDeviceExtension* context, const char* subkey,
                             const char* name, int kind, void* buffer, ULONG* size, int open_mode) {
  if (context == nullptr || name == nullptr || size == nullptr) return kRegFailed;
  if (open_mode != 0 && open_mode != 1) return kRegFailed;
  std::u16string path = ParametersPath(*context, subkey);
  UNICODE_STRING key_name;
  RtlInitUnicodeString(&key_name, path.c_str());
  OBJECT_ATTRIBUTES attributes;
  InitializeObjectAttributes(&attributes, &key_name, OBJ_CASE_INSENSITIVE, 0, nullptr);
  HANDLE key = 0;
  if (!NT_SUCCESS(ZwOpenKey(&key, KEY_READ, &attributes))) return kRegFailed;

  const std::u16string wide_name = Widen(name);
  UNICODE_STRING value_name;
  RtlInitUnicodeString(&value_name, wide_name.c_str());
  const ULONG query_length =
      *size + kQuerySlack + static_cast<ULONG>(wide_name.size() * sizeof(WCHAR));
  std::vector<ULONG> query((query_length + sizeof(ULONG) - 1) / sizeof(ULONG));
  ULONG result_length = 0;
  const NTSTATUS status = ZwQueryValueKey(key, &value_name, KeyValueFullInformation, query.data(),
                                          query_length, &result_length);
  ZwClose(key);
  if (!NT_SUCCESS(status)) return kRegFailed;

  const auto& info = *reinterpret_cast<const KEY_VALUE_FULL_INFORMATION*>(query.data());
  // The query buffer's rounding may leave room for a value somewhat longer
  // than the caller's buffer: the caller's size is the bound.
  if (info.DataLength > *size) return kRegFailed;
  const UCHAR* data = reinterpret_cast<const UCHAR*>(query.data()) + info.DataOffset;
  if (kind == kRegKindAnsi) {
    const std::u16string_view text = StringData(data, info.DataLength);
    UNICODE_STRING source{static_cast<USHORT>(text.size() * sizeof(WCHAR)),
                          static_cast<USHORT>(text.size() * sizeof(WCHAR)),
                          const_cast<PWSTR>(text.data())};
    ANSI_STRING ansi{};
    if (!NT_SUCCESS(RtlUnicodeStringToAnsiString(&ansi, &source, TRUE))) return kRegFailed;
    std::memcpy(buffer, ansi.Buffer, ansi.Length);
    *size = ansi.Length;
    RtlFreeAnsiString(&ansi);
  } else if (kind == kRegKindUnicode) {
    std::memcpy(buffer, data, info.DataLength);
    *size = static_cast<ULONG>(StringData(data, info.DataLength).size());
  } else {
    std::memcpy(buffer, data, info.DataLength);
    *size = info.DataLength;
  }
  return kRegOk;
}

std::uint32_t reg_write_value(const SerialDeviceExtension* context, const char* subkey,
                              const char* name, ULONG type, const void* data, ULONG length) {
  if (context == nullptr || name == nullptr) return kRegFailed;
  const std::u16string path = ParametersPath(*context, subkey);
  const std::u16string wide_name = Widen(name);
  const NTSTATUS status =
      RtlWriteRegistryValue(RTL_REGISTRY_ABSOLUTE, path.c_str(), wide_name.c_str(), type,
                            const_cast<void*>(data), length);
  return NT_SUCCESS(status) ? kRegOk : kRegFailed;
}

}  // namespace vxctl
