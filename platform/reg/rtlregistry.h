// The Rtl registry routines over a machine's registry: a key named by a base
// (absolute, the services key or the device map) and a path, values read
// through a query table or written directly.
#pragma once

#include <string>

#include "platform/reg/registry.h"

namespace plat::reg {

// The absolute path for relativeTo and path; RTL_REGISTRY_OPTIONAL is ignored.
NTSTATUS RtlKeyPath(ULONG relativeTo, PCWSTR path, std::u16string* full);

// Runs a table of DIRECT entries against the key. Each entry copies its value
// to EntryContext: a string type into a UNICODE_STRING (allocated from the
// paged pool when its Buffer is null, else copied with its terminator when
// it fits, else STATUS_BUFFER_TOO_SMALL); any other value of at most four
// bytes raw; a longer one into a size-prefixed buffer whose first u32 holds
// the capacity of the data area that follows at offset 4 and receives the
// value's length (a value above the capacity gives STATUS_BUFFER_TOO_SMALL
// and leaves the buffer untouched). A missing value is STATUS_OBJECT_NAME_NOT_
// FOUND when REQUIRED, else the default (DefaultType REG_NONE: nothing). A
// missing key with RTL_REGISTRY_OPTIONAL is success with nothing copied. The
// first failing entry ends the query. An entry in callback form, or with
// SUBKEY, TOPKEY, NOVALUE or DELETE, is a fatal "reg.query-table" diagnostic.
NTSTATUS QueryRegistryValues(Registry& registry, ULONG relativeTo, PCWSTR path,
                             const RTL_QUERY_REGISTRY_TABLE* table);

// The key must exist.
NTSTATUS WriteRegistryValue(Registry& registry, ULONG relativeTo, PCWSTR path, PCWSTR valueName,
                            ULONG valueType, const void* valueData, ULONG valueLength);
NTSTATUS DeleteRegistryValue(Registry& registry, ULONG relativeTo, PCWSTR path, PCWSTR valueName);
NTSTATUS CheckRegistryKey(const Registry& registry, ULONG relativeTo, PCWSTR path);
// Creates the last key of the path (non-volatile); the others must exist.
NTSTATUS CreateRegistryKey(Registry& registry, ULONG relativeTo, PCWSTR path);

}  // namespace plat::reg
