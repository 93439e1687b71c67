// Values of keys named by absolute paths, through the Zw registry routines.
#include "layer2/corecode/mt/registry/key_value.h"

#include <cstring>

#include "platform/reg/regroutines.h"

namespace vxctl {

std::optional<std::vector<UCHAR>> query_key_value(std::u16string_view key_path,
                                                  std::u16string_view name, ULONG type) {
  const std::u16string path(key_path);
  UNICODE_STRING key_name;
  RtlInitUnicodeString(&key_name, path.c_str());
  OBJECT_ATTRIBUTES attributes;
  InitializeObjectAttributes(&attributes, &key_name, OBJ_CASE_INSENSITIVE, 0, nullptr);
  HANDLE key = 0;
  if (!NT_SUCCESS(ZwOpenKey(&key, KEY_READ, &attributes))) return std::nullopt;
  const std::u16string value(name);
  UNICODE_STRING value_name;
  RtlInitUnicodeString(&value_name, value.c_str());
  std::vector<ULONG> buffer(160);
  ULONG length = 0;
  const NTSTATUS status =
      ZwQueryValueKey(key, &value_name, KeyValuePartialInformation, buffer.data(),
                      static_cast<ULONG>(buffer.size() * sizeof(ULONG)), &length);
  ZwClose(key);
  if (!NT_SUCCESS(status)) return std::nullopt;
  const auto& info = *reinterpret_cast<const KEY_VALUE_PARTIAL_INFORMATION*>(buffer.data());
  if (info.Type != type) return std::nullopt;
  return std::vector<UCHAR>(info.Data, info.Data + info.DataLength);
}

std::optional<std::u16string> query_key_string(std::u16string_view key_path,
                                               std::u16string_view name) {
  const std::optional<std::vector<UCHAR>> data = query_key_value(key_path, name, REG_SZ);
  if (!data) return std::nullopt;
  std::u16string text(data->size() / sizeof(WCHAR), u'\0');
  std::memcpy(text.data(), data->data(), text.size() * sizeof(WCHAR));
  return text.substr(0, text.find(u'\0'));
}

}  // namespace vxctl
