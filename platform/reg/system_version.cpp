#include "platform/reg/system_version.h"

#include <cstring>

#include "platform/reg/regroutines.h"

WCHAR RegSystemVersionMajor() {
  constexpr PCWSTR kVersionKey =
      u"\\REGISTRY\\Machine\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion";
  UNICODE_STRING key_name;
  RtlInitUnicodeString(&key_name, kVersionKey);
  OBJECT_ATTRIBUTES attributes;
  InitializeObjectAttributes(&attributes, &key_name, OBJ_CASE_INSENSITIVE, 0, nullptr);
  HANDLE key = 0;
  if (!NT_SUCCESS(ZwOpenKey(&key, KEY_READ, &attributes))) return 0;
  // The full value information, trusted only where it lies within the buffer.
  alignas(ULONG) UCHAR buffer[256] = {};
  UNICODE_STRING value_name;
  RtlInitUnicodeString(&value_name, u"CurrentVersion");
  ULONG length = 0;
  const NTSTATUS status =
      ZwQueryValueKey(key, &value_name, KeyValueFullInformation, buffer, sizeof buffer, &length);
  ZwClose(key);
  const auto& info = *reinterpret_cast<const KEY_VALUE_FULL_INFORMATION*>(buffer);
  WCHAR first = 0;
  if (NT_SUCCESS(status) && info.DataLength >= sizeof first &&
      info.DataOffset <= sizeof buffer - sizeof first) {
    std::memcpy(&first, buffer + info.DataOffset, sizeof first);
  }
  return first;
}
