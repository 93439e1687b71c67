// The audio/modem bus controllers the front end drives: vendor, device and
// subsystem identity (0xFFFFFFFF: any subsystem) and the controller kind,
// which nothing reads. Our own values, assigned to no real maker; the
// kind-3 entry is the controller the simulated machine presents, and its
// identity is the one the driver adopts whatever the probe found.
#pragma once

#include <array>
#include <optional>

#include "platform/nt/ntdef.h"
#include "platform/sim/controller_identity.h"

namespace afe {

struct AfeControllerEntry {
  USHORT VendorId;
  USHORT DeviceId;
  ULONG Subsystem;
  ULONG Kind;
};
static_assert(sizeof(AfeControllerEntry) == 12);

inline constexpr ULONG kAnySubsystem = 0xFFFFFFFF;
inline constexpr auto& kKind3Identity = plat::sim::kModemControllerIdentity;

inline constexpr std::array<AfeControllerEntry, 18> AfeControllerTable = {{
    {0x6A5E, 0x0A10, 0x0001'6A5E, 0},
    {0x6A5E, 0x0A10, kAnySubsystem, 0},
    {0x6A5E, 0x0A11, kAnySubsystem, 0},
    {0x6A5E, 0x0A20, 0x0002'6A5E, 1},
    {0x6A5E, 0x0A20, kAnySubsystem, 1},
    {kKind3Identity.vendor_id, kKind3Identity.device_id, kKind3Identity.subsystem, 3},
    {kKind3Identity.vendor_id, kKind3Identity.device_id, kAnySubsystem, 3},
    {0x7B31, 0x0101, kAnySubsystem, 2},
    {0x7B31, 0x0102, kAnySubsystem, 2},
    {0x7B31, 0x0110, 0x0110'7B31, 2},
    {0x7B31, 0x0110, kAnySubsystem, 2},
    {0x8C04, 0x2400, kAnySubsystem, 4},
    {0x8C04, 0x2410, kAnySubsystem, 4},
    {0x8C04, 0x2420, 0x2420'8C04, 4},
    {0x8C04, 0x2420, kAnySubsystem, 4},
    {0x9D7A, 0x0050, kAnySubsystem, 1},
    {0x9D7A, 0x0051, kAnySubsystem, 1},
    {0x9D7A, 0x0052, kAnySubsystem, 1},
}};

// The index of the table entry a scan of buses 0-2 through the
// configuration ports chooses: an exact match ends the scan; otherwise the
// last wildcard match found; none when neither.
std::optional<ULONG> ScanAfeControllers();

}  // namespace afe
