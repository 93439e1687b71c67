// The resource report against a golden report built from what the
// simulated machine gave the driver: the controller's identity, the slot's
// interrupt, port and memory ranges as the HAL assigns them, and the two
// common buffers at the bottom of the DMA window.
#include <gtest/gtest.h>

#include <cstdint>

#include "afe/windows/tests/bytes.h"
#include "afe/windows/tests/control_rows.h"
#include "platform/hal/machine_hal.h"
#include "platform/sim/controller_function.h"
#include "platform/sim/controller_identity.h"

namespace afe::testing {
namespace {

using plat::hal::ResourceDescriptor;
using plat::hal::ResourceType;

Bytes U64(std::uint64_t v) {
  return Cat({U32(static_cast<std::uint32_t>(v)), U32(static_cast<std::uint32_t>(v >> 32))});
}
Bytes Address(const void* p) { return U64(reinterpret_cast<std::uintptr_t>(p)); }
Bytes Zeros(std::size_t n) { return Bytes(n, 0); }

constexpr std::uint32_t kCommonBufferBytes = 0x4500;  // 6 periods of 138 32-bit samples
constexpr std::uint32_t kPage = 4096;

class ResourceReport : public AfeRig {};

// One port range and one memory range: counts 1 and 1, only the first entry
// of each kind filled, everything else zero.
TEST_F(ResourceReport, EqualsTheMachinesResources) {
  BootAfe();
  OnKernelThread([&] {
    StartOrFail();
    plat::hal::Hal& hal = machine().hal().hal();
    const plat::hal::PciLocation at = plat::sim::kControllerLocation;
    const plat::hal::SlotResources assigned =
        hal.AssignSlotResources(at.bus, at.device | at.function << 5);
    ASSERT_EQ(assigned.status, STATUS_SUCCESS);
    const ResourceDescriptor* port = nullptr;
    const ResourceDescriptor* memory = nullptr;
    const ResourceDescriptor* interrupt = nullptr;
    for (const ResourceDescriptor& d : assigned.list) {
      if (d.type == ResourceType::kPort) port = &d;
      if (d.type == ResourceType::kMemory) memory = &d;
      if (d.type == ResourceType::kInterrupt) interrupt = &d;
    }
    ASSERT_TRUE(port && memory && interrupt);
    ASSERT_TRUE(port->io_port);
    const plat::hal::InterruptVector vector = plat::hal::InterruptVectorFor(interrupt->level);

    // The memory range as the driver mapped it, and the buffers where the
    // DMA window hands them out: transmit first, receive on the next page.
    const AfeDeviceExtension& e = Extension();
    ASSERT_EQ(hal.Io().PhysicalOf(e.MemoryAddresses[0], 4), memory->start);
    const std::uint32_t transmit = plat::hal::DmaWindow{}.base;
    const std::uint32_t receive = transmit + (kCommonBufferBytes + kPage - 1) / kPage * kPage;
    const plat::hal::CommonBuffer* transmit_buffer = hal.Dma().BufferAt(transmit);
    const plat::hal::CommonBuffer* receive_buffer = hal.Dma().BufferAt(receive);
    ASSERT_TRUE(transmit_buffer && receive_buffer);

    const auto& identity = plat::sim::kModemControllerIdentity;
    // clang-format off
    const Bytes golden = Cat({
        U16(identity.vendor_id), U16(identity.device_id),
        U32(vector.irql), U32(vector.vector), U32(static_cast<std::uint32_t>(vector.affinity)),
        U32(interrupt->shared ? 1 : 0), U32(interrupt->level_sensitive ? 0 : 1),
        // Port ranges: an I/O port range is mapped at its bus address.
        U64(port->start), U32(port->length), U64(port->start), U32(0), Zeros(4),
        Zeros(2 * 28), U32(1), Zeros(4),
        // Memory ranges.
        U64(memory->start), U32(memory->length), Address(e.MemoryAddresses[0]),
        Zeros(2 * 20), U32(1), Zeros(4),
        U64(transmit), U64(receive), Address(transmit_buffer->host), Address(receive_buffer->host),
        U32(kCommonBufferBytes), U32(kCommonBufferBytes / kPage + 1),
    });
    // clang-format on
    ASSERT_EQ(golden.size(), kAfeResourceReportBytes);

    for (const DEVICE_TYPE type : {kAfeDeviceType, kDiagnosticDeviceType}) {
      SCOPED_TRACE(type);
      Bytes report;
      const Reply reply = SendControl(Device(type), IOCTL_AFE_RESOURCES, {}, 224, &report);
      EXPECT_EQ(reply.status, STATUS_SUCCESS);
      EXPECT_EQ(reply.information, 224u);
      EXPECT_EQ(report, golden);
    }
  });
}

}  // namespace
}  // namespace afe::testing
