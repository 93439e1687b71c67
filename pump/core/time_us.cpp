#include "pump/core/time_us.h"

#include "platform/ke/ke.h"

namespace pump {

std::uint64_t GetTimeUs(std::uint64_t* out) {
  LARGE_INTEGER now;
  KeQuerySystemTime(&now);
  const std::uint64_t us = static_cast<std::uint64_t>(now.QuadPart) / 10;
  if (out != nullptr) *out = us;
  return us;
}

}  // namespace pump
