// The system-version check every driver of the modem makes before loading.
#include "afe/windows/afe_device.h"
#include "platform/reg/regroutines.h"

namespace afe {
namespace {

constexpr PCWSTR kVersionKey =
    u"\\REGISTRY\\Machine\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion";
constexpr PCWSTR kVersionValue = u"CurrentVersion";
constexpr ULONG kValueBufferBytes = 256;

}  // namespace

NTSTATUS CheckNtVersion() {
  UNICODE_STRING key_name;
  RtlInitUnicodeString(&key_name, kVersionKey);
  OBJECT_ATTRIBUTES attributes;
  InitializeObjectAttributes(&attributes, &key_name, OBJ_CASE_INSENSITIVE, 0, nullptr);
  HANDLE key = 0;
  if (!NT_SUCCESS(ZwOpenKey(&key, KEY_READ, &attributes))) return STATUS_UNSUCCESSFUL;
  alignas(ULONG) UCHAR buffer[kValueBufferBytes] = {};
  UNICODE_STRING value_name;
  RtlInitUnicodeString(&value_name, kVersionValue);
  ULONG result_length = 0;
  const NTSTATUS status = ZwQueryValueKey(key, &value_name, KeyValuePartialInformation, buffer,
                                          sizeof buffer, &result_length);
  ZwClose(key);
  const auto& info = *reinterpret_cast<const KEY_VALUE_PARTIAL_INFORMATION*>(buffer);
  WCHAR first = 0;
  if (NT_SUCCESS(status) && info.DataLength >= sizeof first) {
    std::memcpy(&first, info.Data, sizeof first);
  }
  return first == u'4' ? STATUS_SUCCESS : STATUS_UNSUCCESSFUL;
}

}  // namespace afe
