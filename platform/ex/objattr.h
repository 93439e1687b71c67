// How a caller names an object it opens or creates: OBJECT_ATTRIBUTES with a
// name, an optional directory handle the name is relative to, and flags.
#pragma once

#include "platform/ex/access.h"
#include "platform/ex/rtlstring.h"

inline constexpr ULONG OBJ_INHERIT = 0x00000002;
inline constexpr ULONG OBJ_PERMANENT = 0x00000010;
inline constexpr ULONG OBJ_EXCLUSIVE = 0x00000020;
inline constexpr ULONG OBJ_CASE_INSENSITIVE = 0x00000040;
inline constexpr ULONG OBJ_OPENIF = 0x00000080;
inline constexpr ULONG OBJ_KERNEL_HANDLE = 0x00000200;

struct OBJECT_ATTRIBUTES {
  ULONG Length;
  HANDLE RootDirectory;
  PUNICODE_STRING ObjectName;
  ULONG Attributes;
  PVOID SecurityDescriptor;
  PVOID SecurityQualityOfService;
};
using POBJECT_ATTRIBUTES = OBJECT_ATTRIBUTES*;

inline void InitializeObjectAttributes(POBJECT_ATTRIBUTES attributes, PUNICODE_STRING name,
                                       ULONG flags, HANDLE root, PVOID securityDescriptor) {
  attributes->Length = sizeof(OBJECT_ATTRIBUTES);
  attributes->RootDirectory = root;
  attributes->ObjectName = name;
  attributes->Attributes = flags;
  attributes->SecurityDescriptor = securityDescriptor;
  attributes->SecurityQualityOfService = nullptr;
}
