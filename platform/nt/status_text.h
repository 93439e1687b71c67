// A status as people read it: "0xC0000001 (STATUS_UNSUCCESSFUL)", the name
// only where the platform defines the code.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/nt/ntstatus.h"

namespace plat::nt {

struct StatusName {
  NTSTATUS status;
  std::string_view name;
};

#define VX_STATUS_NAME(status) \
  StatusName { status, #status }
inline constexpr StatusName kStatusNames[] = {
    VX_STATUS_NAME(STATUS_ACCESS_DENIED),
    VX_STATUS_NAME(STATUS_BUFFER_OVERFLOW),
    VX_STATUS_NAME(STATUS_BUFFER_TOO_SMALL),
    VX_STATUS_NAME(STATUS_CANCELLED),
    VX_STATUS_NAME(STATUS_CANNOT_DELETE),
    VX_STATUS_NAME(STATUS_CHILD_MUST_BE_VOLATILE),
    VX_STATUS_NAME(STATUS_DELETE_PENDING),
    VX_STATUS_NAME(STATUS_ILLEGAL_FLOAT_CONTEXT),
    VX_STATUS_NAME(STATUS_INSUFFICIENT_RESOURCES),
    VX_STATUS_NAME(STATUS_INTEGER_OVERFLOW),
    VX_STATUS_NAME(STATUS_INVALID_DEVICE_REQUEST),
    VX_STATUS_NAME(STATUS_INVALID_DEVICE_STATE),
    VX_STATUS_NAME(STATUS_INVALID_HANDLE),
    VX_STATUS_NAME(STATUS_INVALID_PARAMETER),
    VX_STATUS_NAME(STATUS_KEY_DELETED),
    VX_STATUS_NAME(STATUS_MORE_PROCESSING_REQUIRED),
    VX_STATUS_NAME(STATUS_NOT_IMPLEMENTED),
    VX_STATUS_NAME(STATUS_NO_MEMORY),
    VX_STATUS_NAME(STATUS_NO_SUCH_DEVICE),
    VX_STATUS_NAME(STATUS_OBJECT_NAME_COLLISION),
    VX_STATUS_NAME(STATUS_OBJECT_NAME_INVALID),
    VX_STATUS_NAME(STATUS_OBJECT_NAME_NOT_FOUND),
    VX_STATUS_NAME(STATUS_OBJECT_PATH_SYNTAX_BAD),
    VX_STATUS_NAME(STATUS_OBJECT_TYPE_MISMATCH),
    VX_STATUS_NAME(STATUS_PENDING),
    VX_STATUS_NAME(STATUS_REGISTRY_IO_FAILED),
    VX_STATUS_NAME(STATUS_SUCCESS),
    VX_STATUS_NAME(STATUS_TIMEOUT),
    VX_STATUS_NAME(STATUS_UNSUCCESSFUL),
};
#undef VX_STATUS_NAME

inline std::string StatusText(NTSTATUS status) {
  constexpr char kHex[] = "0123456789ABCDEF";
  const auto code = static_cast<std::uint32_t>(status);
  std::string text = "0x";
  for (int shift = 28; shift >= 0; shift -= 4) text += kHex[(code >> shift) & 0xF];
  for (const StatusName& known : kStatusNames) {
    if (known.status == status) return text + " (" + std::string(known.name) + ")";
  }
  return text;
}

}  // namespace plat::nt
