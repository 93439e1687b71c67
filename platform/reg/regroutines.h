// The registry routines drivers call, on the registry of the calling
// context's machine. They run at PASSIVE_LEVEL only. Key handles are kernel
// handles (platform/ex/ob.h); close them with ZwClose.
#pragma once

#include "platform/ex/ob.h"
#include "platform/reg/regdefs.h"

NTSTATUS ZwOpenKey(PHANDLE KeyHandle, ACCESS_MASK DesiredAccess,
                   POBJECT_ATTRIBUTES ObjectAttributes);
// CreateOptions: REG_OPTION_NON_VOLATILE or REG_OPTION_VOLATILE. Disposition
// (optional) receives REG_CREATED_NEW_KEY or REG_OPENED_EXISTING_KEY.
NTSTATUS ZwCreateKey(PHANDLE KeyHandle, ACCESS_MASK DesiredAccess,
                     POBJECT_ATTRIBUTES ObjectAttributes, ULONG TitleIndex, PUNICODE_STRING Class,
                     ULONG CreateOptions, PULONG Disposition);
NTSTATUS ZwQueryValueKey(HANDLE KeyHandle, PUNICODE_STRING ValueName,
                         KEY_VALUE_INFORMATION_CLASS KeyValueInformationClass,
                         PVOID KeyValueInformation, ULONG Length, PULONG ResultLength);
NTSTATUS ZwSetValueKey(HANDLE KeyHandle, PUNICODE_STRING ValueName, ULONG TitleIndex, ULONG Type,
                       PVOID Data, ULONG DataSize);
NTSTATUS ZwDeleteValueKey(HANDLE KeyHandle, PUNICODE_STRING ValueName);
// The handle stays open (and serves nothing) until closed.
NTSTATUS ZwDeleteKey(HANDLE KeyHandle);

// The Rtl forms: a key named by RelativeTo and Path (see plat::reg::RtlKeyPath).
NTSTATUS RtlQueryRegistryValues(ULONG RelativeTo, PCWSTR Path, PRTL_QUERY_REGISTRY_TABLE QueryTable,
                                PVOID Context, PVOID Environment);
NTSTATUS RtlWriteRegistryValue(ULONG RelativeTo, PCWSTR Path, PCWSTR ValueName, ULONG ValueType,
                               PVOID ValueData, ULONG ValueLength);
NTSTATUS RtlDeleteRegistryValue(ULONG RelativeTo, PCWSTR Path, PCWSTR ValueName);
NTSTATUS RtlCheckRegistryKey(ULONG RelativeTo, PWSTR Path);
NTSTATUS RtlCreateRegistryKey(ULONG RelativeTo, PWSTR Path);
