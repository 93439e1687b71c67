// Finding the controller: the table scan over the PCI population of buses
// 0 to 2, and the statuses of the search for the function and its slot
// resources.
#include <gtest/gtest.h>

#include <optional>
#include <vector>

#include "afe/windows/controller_table.h"
#include "afe/windows/tests/afe_rig.h"
#include "platform/hal/machine_hal.h"
#include "platform/sim/controller_function.h"

namespace afe::testing {
namespace {

struct Placed {
  plat::hal::PciLocation at;
  USHORT vendor;
  USHORT device;
  ULONG subsystem;
};

constexpr ULONG kExactKind3 = 5;  // indexes into AfeControllerTable

class AfeProbe : public AfeRig {
 protected:
  // The machine's buses hold exactly `population`.
  void Populate(const std::vector<Placed>& population) {
    plat::hal::PciBus& bus = machine().hal().hal().Bus();
    bus.Remove(plat::sim::kControllerLocation);
    for (const Placed& p : population) {
      bus.Add(p.at, plat::hal::ConfigurationOnlyFunction(p.vendor, p.device, p.subsystem));
    }
  }
};

TEST_F(AfeProbe, ExactMatchBeatsWildcardsAndTheLastWildcardWins) {
  struct Case {
    const char* name;
    std::vector<Placed> population;
    std::optional<ULONG> entry;
  };
  const std::vector<Case> cases = {
      {"empty buses", {}, std::nullopt},
      {"unknown identity", {{{0, 1, 0}, 0x1234, 0x5678, 0}}, std::nullopt},
      {"the kind-3 controller",
       {{{0, 9, 0}, kKind3Identity.vendor_id, kKind3Identity.device_id, kKind3Identity.subsystem}},
       kExactKind3},
      {"kind-3 identity, other subsystem",
       {{{0, 9, 0}, kKind3Identity.vendor_id, kKind3Identity.device_id, 0x1111'2222}},
       kExactKind3 + 1},
      {"one function matching an exact and a wildcard entry",
       {{{1, 0, 0}, 0x6A5E, 0x0A10, 0x0001'6A5E}},
       0},
      {"same identity, subsystem matching only the wildcard",
       {{{1, 0, 0}, 0x6A5E, 0x0A10, 0x0009'0009}},
       1},
      {"exact match after a wildcard",
       {{{0, 2, 0}, 0x7B31, 0x0101, 0}, {{2, 31, 7}, 0x6A5E, 0x0A20, 0x0002'6A5E}},
       3},
      {"exact match before a wildcard",
       {{{0, 2, 0}, 0x6A5E, 0x0A20, 0x0002'6A5E}, {{1, 0, 0}, 0x7B31, 0x0101, 0}},
       3},
      {"the last of two wildcards",
       {{{0, 2, 0}, 0x8C04, 0x2400, 0}, {{2, 5, 3}, 0x7B31, 0x0101, 0}},
       7},
      {"the last of two wildcards, table order reversed",
       {{{0, 2, 0}, 0x7B31, 0x0101, 0}, {{2, 5, 3}, 0x8C04, 0x2400, 0}},
       11},
      {"bus 3 is not probed",
       {{{3, 0, 0}, kKind3Identity.vendor_id, kKind3Identity.device_id, kKind3Identity.subsystem}},
       std::nullopt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    BootAfe();
    Populate(c.population);
    OnKernelThread([&] { EXPECT_EQ(ScanAfeControllers(), c.entry); });
    machine().Shutdown();
  }
}

// The start's search for the function with the adopted identity on buses
// 0 to 4, and its claim of the slot's resources.
TEST_F(AfeProbe, FindPciDeviceStatuses) {
  plat::hal::ResourceDescriptor extra_port;
  extra_port.type = plat::hal::ResourceType::kPort;
  extra_port.io_port = true;
  extra_port.start = 0xD000;
  extra_port.length = 16;
  plat::hal::ResourceDescriptor extra_memory;
  extra_memory.type = plat::hal::ResourceType::kMemory;
  extra_memory.start = 0xFE00'0000;
  extra_memory.length = 0x100;
  struct Case {
    const char* name;
    std::function<void(plat::Machine&)> arrange;
    NTSTATUS status;
    ULONG bus;
  };
  // A wildcard function on bus 0 passes the probe when the controller is elsewhere.
  const Placed wildcard{{0, 2, 0}, 0x7B31, 0x0101, 0};
  auto move_controller = [wildcard](ULONG bus, ULONG device) {
    return [=](plat::Machine& m) {
      plat::hal::PciBus& pci = m.hal().hal().Bus();
      pci.Remove(plat::sim::kControllerLocation);
      pci.Add(wildcard.at, plat::hal::ConfigurationOnlyFunction(wildcard.vendor, wildcard.device,
                                                                wildcard.subsystem));
      if (bus < plat::hal::kPciBusCount) {
        pci.Add({bus, device, 0}, plat::sim::ControllerFunction(m.controller()));
      }
    };
  };
  const std::vector<Case> cases = {
      {"found", [](plat::Machine&) {}, STATUS_SUCCESS, 0},
      {"found on bus 4", move_controller(4, 17), STATUS_SUCCESS, 4},
      {"on no bus", move_controller(plat::hal::kPciBusCount, 0), STATUS_UNSUCCESSFUL, 0},
      {"assignment fails",
       [](plat::Machine& m) { m.hal().hal().Faults().assignment.fail = STATUS_NO_MEMORY; },
       STATUS_RESOURCE_DATA_NOT_FOUND, 0},
      {"empty assignment", [](plat::Machine& m) { m.hal().hal().Faults().assignment.empty = true; },
       STATUS_RESOURCE_DATA_NOT_FOUND, 0},
      {"a port range too many",
       [&](plat::Machine& m) { m.hal().hal().Faults().assignment.extra = extra_port; },
       STATUS_INSUFFICIENT_RESOURCES, 0},
      {"a memory range too many",
       [&](plat::Machine& m) { m.hal().hal().Faults().assignment.extra = extra_memory; },
       STATUS_INSUFFICIENT_RESOURCES, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    BootAfe();
    c.arrange(machine());
    const Holdings before = Held();
    OnKernelThread([&] {
      AfeInterface* answer = nullptr;
      EXPECT_EQ(Start(&answer).status, c.status);
    });
    if (c.status == STATUS_SUCCESS) {
      const AfeDeviceExtension& e = Extension();
      EXPECT_EQ(e.PciBus, c.bus);
      EXPECT_EQ(e.InterruptVector, 0x3Bu) << "PCI line 11";
      EXPECT_EQ(e.InterruptLevel, 16);
      EXPECT_EQ(e.InterruptShared, 1);
      EXPECT_EQ(e.InterruptLatched, 0);
      EXPECT_EQ(e.PortInMemory[0], 0) << "an I/O port range is kept by its bus address";
      EXPECT_EQ(reinterpret_cast<ULONG_PTR>(e.PortAddresses[0]), e.PortBusAddresses[0].QuadPart);
      OnKernelThread([&] {
        UCHAR identity[4] = {};
        PciConfigAccess(&Extension(), 0, identity, 0, 4);
        EXPECT_EQ(identity[0] | identity[1] << 8, kKind3Identity.vendor_id)
            << "configuration access reaches the function found";
      });
    } else {
      EXPECT_EQ(Held(), before);
    }
    machine().Shutdown();
  }
}

}  // namespace
}  // namespace afe::testing
