// The information layouts ZwQueryValueKey fills in for a value.
#pragma once

#include "platform/reg/hive.h"

namespace plat::reg {

// Writes the class's record of value into buffer. *resultLength always
// receives the full size. A buffer shorter than the fixed fields gives
// STATUS_BUFFER_TOO_SMALL and nothing written; one that holds the fixed fields
// but not the name or data gives STATUS_BUFFER_OVERFLOW with only the fixed
// fields written.
NTSTATUS QueryValueInformation(const Value& value, KEY_VALUE_INFORMATION_CLASS infoClass,
                               PVOID buffer, ULONG length, ULONG* resultLength);

}  // namespace plat::reg
