// The identity our audio/modem controller presents on the PCI bus. The
// front-end driver's controller table gives its kind-3 entry these values and
// adopts them as its fixed identity; the simulated controller answers with
// them. Our own values, assigned to no maker.
#pragma once

#include <cstdint>

namespace plat::sim {

struct ControllerIdentity {
  std::uint16_t vendor_id;
  std::uint16_t device_id;
  std::uint32_t subsystem;  // the dword at configuration offset 0x2C
};

inline constexpr ControllerIdentity kModemControllerIdentity{0x6A5E, 0x0A3D, 0x0003'6A5E};

}  // namespace plat::sim
