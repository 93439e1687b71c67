#include "pump/core/dp_status.h"

namespace pump {

void SetDpStatus(HostInterface& host, std::uint8_t value, bool set) {
  const std::uint8_t status = GetDspReg(host, kRegStatus);
  std::uint8_t next;
  if (value <= kStatusCodeMask) {
    next = static_cast<std::uint8_t>((status & ~kStatusCodeMask) | value);
  } else {
    next = static_cast<std::uint8_t>(set ? status | value : status & ~value);
  }
  SetDspReg(host, kRegStatus, next);
}

}  // namespace pump
