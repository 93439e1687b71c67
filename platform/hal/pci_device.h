// What a PCI function's hardware offers the bus: accesses to its decoded
// base address ranges, at the instant of the access.
#pragma once

#include <cstdint>

#include "platform/hal/instant.h"

namespace plat::hal {

class PciDevice {
 public:
  virtual ~PciDevice() = default;
  // width is 1, 2 or 4 bytes; offset is relative to the start of the BAR.
  virtual std::uint32_t ReadBar(Instant now, unsigned bar, std::uint32_t offset,
                                unsigned width) = 0;
  virtual void WriteBar(Instant now, unsigned bar, std::uint32_t offset, unsigned width,
                        std::uint32_t value) = 0;
};

}  // namespace plat::hal
