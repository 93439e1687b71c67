// A value of a key named by its absolute path, for the keys outside the
// Parameters key (the installed modems, the device map, the user's
// international settings).
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/nt/ntdef.h"

namespace vxctl {

// The value's data when it exists and is of `type`; none on any failure.
std::optional<std::vector<UCHAR>> query_key_value(std::u16string_view key_path,
                                                  std::u16string_view name, ULONG type);
// A REG_SZ value's text up to its terminator.
std::optional<std::u16string> query_key_string(std::u16string_view key_path,
                                               std::u16string_view name);

}  // namespace vxctl
