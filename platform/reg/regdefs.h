// Registry types, access rights, options and the information layouts that
// callers read. The layouts are those of the original 32-bit system: every
// field a u32, the variable part right after the fixed fields.
#pragma once

#include <cstddef>

#include "platform/ex/objattr.h"

// Value types.
inline constexpr ULONG REG_NONE = 0;
inline constexpr ULONG REG_SZ = 1;
inline constexpr ULONG REG_EXPAND_SZ = 2;
inline constexpr ULONG REG_BINARY = 3;
inline constexpr ULONG REG_DWORD = 4;
inline constexpr ULONG REG_MULTI_SZ = 7;

// Key access rights.
inline constexpr ACCESS_MASK KEY_QUERY_VALUE = 0x0001;
inline constexpr ACCESS_MASK KEY_SET_VALUE = 0x0002;
inline constexpr ACCESS_MASK KEY_CREATE_SUB_KEY = 0x0004;
inline constexpr ACCESS_MASK KEY_ENUMERATE_SUB_KEYS = 0x0008;
inline constexpr ACCESS_MASK KEY_NOTIFY = 0x0010;
inline constexpr ACCESS_MASK KEY_CREATE_LINK = 0x0020;
inline constexpr ACCESS_MASK KEY_READ =
    (STANDARD_RIGHTS_READ | KEY_QUERY_VALUE | KEY_ENUMERATE_SUB_KEYS | KEY_NOTIFY) & ~SYNCHRONIZE;
inline constexpr ACCESS_MASK KEY_WRITE =
    (STANDARD_RIGHTS_WRITE | KEY_SET_VALUE | KEY_CREATE_SUB_KEY) & ~SYNCHRONIZE;
inline constexpr ACCESS_MASK KEY_ALL_ACCESS =
    (STANDARD_RIGHTS_ALL | KEY_QUERY_VALUE | KEY_SET_VALUE | KEY_CREATE_SUB_KEY |
     KEY_ENUMERATE_SUB_KEYS | KEY_NOTIFY | KEY_CREATE_LINK) &
    ~SYNCHRONIZE;

// ZwCreateKey options and dispositions.
inline constexpr ULONG REG_OPTION_NON_VOLATILE = 0x0;
inline constexpr ULONG REG_OPTION_VOLATILE = 0x1;
inline constexpr ULONG REG_CREATED_NEW_KEY = 1;
inline constexpr ULONG REG_OPENED_EXISTING_KEY = 2;

enum KEY_VALUE_INFORMATION_CLASS : int {
  KeyValueBasicInformation = 0,
  KeyValueFullInformation = 1,
  KeyValuePartialInformation = 2,
};

struct KEY_VALUE_BASIC_INFORMATION {
  ULONG TitleIndex;
  ULONG Type;
  ULONG NameLength;
  WCHAR Name[1];
};

// The data starts at DataOffset: after the name, rounded up to 4 bytes.
struct KEY_VALUE_FULL_INFORMATION {
  ULONG TitleIndex;
  ULONG Type;
  ULONG DataOffset;
  ULONG DataLength;
  ULONG NameLength;
  WCHAR Name[1];
};

struct KEY_VALUE_PARTIAL_INFORMATION {
  ULONG TitleIndex;
  ULONG Type;
  ULONG DataLength;
  UCHAR Data[1];
};

static_assert(offsetof(KEY_VALUE_BASIC_INFORMATION, Name) == 12);
static_assert(offsetof(KEY_VALUE_FULL_INFORMATION, Name) == 20);
static_assert(offsetof(KEY_VALUE_PARTIAL_INFORMATION, Data) == 12);

// RtlQueryRegistryValues and its relatives: what Path is relative to.
inline constexpr ULONG RTL_REGISTRY_ABSOLUTE = 0;
inline constexpr ULONG RTL_REGISTRY_SERVICES = 1;
inline constexpr ULONG RTL_REGISTRY_DEVICEMAP = 4;
inline constexpr ULONG RTL_REGISTRY_OPTIONAL = 0x80000000;

// Query-table entry flags. Only DIRECT entries are served here.
inline constexpr ULONG RTL_QUERY_REGISTRY_SUBKEY = 0x00000001;
inline constexpr ULONG RTL_QUERY_REGISTRY_TOPKEY = 0x00000002;
inline constexpr ULONG RTL_QUERY_REGISTRY_REQUIRED = 0x00000004;
inline constexpr ULONG RTL_QUERY_REGISTRY_NOVALUE = 0x00000008;
inline constexpr ULONG RTL_QUERY_REGISTRY_NOEXPAND = 0x00000010;
inline constexpr ULONG RTL_QUERY_REGISTRY_DIRECT = 0x00000020;
inline constexpr ULONG RTL_QUERY_REGISTRY_DELETE = 0x00000040;

using PRTL_QUERY_REGISTRY_ROUTINE = NTSTATUS (*)(PWSTR valueName, ULONG valueType, PVOID valueData,
                                                 ULONG valueLength, PVOID context,
                                                 PVOID entryContext);

// A table ends with an entry whose QueryRoutine and Name are both null.
struct RTL_QUERY_REGISTRY_TABLE {
  PRTL_QUERY_REGISTRY_ROUTINE QueryRoutine;
  ULONG Flags;
  PWSTR Name;
  PVOID EntryContext;
  ULONG DefaultType;
  PVOID DefaultData;
  ULONG DefaultLength;
};
using PRTL_QUERY_REGISTRY_TABLE = RTL_QUERY_REGISTRY_TABLE*;
