// The driver-facing HAL calls as a driver sees them: configuration data by
// slot and through the ports, widths of register accesses, the resource
// list's layout, vectors, adapters, and each fault knob arriving as the
// NT result a driver checks.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <functional>

#include "platform/hal/tests/front_end.h"

namespace plat::hal {
namespace {

using testing::MachineRig;
using testing::Port32;
using testing::Port8;

constexpr ULONG kSlot = 9;

class HalCalls : public ::testing::Test {
 protected:
  // Runs `body` on a system thread of the machine.
  void Driver(std::function<void()> body) { rig.OnSystemThread(std::move(body)); }
  // The controller's register window, claimed and mapped.
  volatile UCHAR* MapWindow(testing::FrontEnd& fe) {
    EXPECT_EQ(testing::FindPciDevice(fe), STATUS_SUCCESS);
    return static_cast<volatile UCHAR*>(MmMapIoSpace(fe.window, fe.window_length, MmNonCached));
  }
  MachineRig rig;
};

TEST_F(HalCalls, BusDataBySlotAndOffset) {
  Driver([] {
    struct Row {
      BUS_DATA_TYPE type;
      ULONG bus, slot, offset, length;
      ULONG transferred;
      std::array<UCHAR, 4> first;
    };
    const Row rows[] = {
        {PCIConfiguration, 0, kSlot, 0, 4, 4, {0x5E, 0x6A, 0x3D, 0x0A}},     // vendor, device
        {PCIConfiguration, 0, kSlot, 0x2C, 4, 4, {0x5E, 0x6A, 0x03, 0x00}},  // subsystem
        {PCIConfiguration, 0, kSlot, 0xFC, 8, 4, {0, 0, 0, 0}},              // ends at 256
        {PCIConfiguration, 0, kSlot | 1 << 5, 0, 4, 2, {0xFF, 0xFF, 0, 0}},  // absent function
        {PCIConfiguration, 5, kSlot, 0, 4, 0, {0, 0, 0, 0}},                 // absent bus
        {Cmos, 0, kSlot, 0, 4, 0, {0, 0, 0, 0}},
    };
    for (const Row& row : rows) {
      std::array<UCHAR, 8> data{};
      EXPECT_EQ(
          HalGetBusDataByOffset(row.type, row.bus, row.slot, data.data(), row.offset, row.length),
          row.transferred)
          << row.offset;
      EXPECT_TRUE(std::equal(row.first.begin(), row.first.end(), data.begin())) << row.offset;
    }
    std::array<UCHAR, 256> space{};
    EXPECT_EQ(HalGetBusData(PCIConfiguration, 0, kSlot, space.data(), 256), 256u);
    EXPECT_EQ(space[0x3C], 11);  // interrupt line
    EXPECT_EQ(space[0x3D], 1);   // pin A

    // Writes: read-only identity bytes stay, the power-management control bytes take them.
    UCHAR vendor[2] = {0x34, 0x12};
    EXPECT_EQ(HalSetBusDataByOffset(PCIConfiguration, 0, kSlot, vendor, 0, 2), 2u);
    UCHAR control[2] = {0x03, 0x81};
    EXPECT_EQ(HalSetBusDataByOffset(PCIConfiguration, 0, kSlot, control, 0x84, 2), 2u);
    EXPECT_EQ(HalSetBusData(PCIConfiguration, 0, kSlot | 1 << 5, control, 2), 0u);
    std::array<UCHAR, 256> after{};
    HalGetBusData(PCIConfiguration, 0, kSlot, after.data(), 256);
    EXPECT_EQ(after[0], 0x5E);
    EXPECT_EQ(after[0x84], 0x03);
    EXPECT_EQ(after[0x85], 0x81);
    // Writing the whole saved space back changes nothing a driver did not change.
    EXPECT_EQ(HalSetBusData(PCIConfiguration, 0, kSlot, after.data(), 134), 134u);
    std::array<UCHAR, 256> again{};
    HalGetBusData(PCIConfiguration, 0, kSlot, again.data(), 256);
    EXPECT_EQ(again, after);
  });
}

TEST_F(HalCalls, PortsAndRegisterWidths) {
  Driver([this] {
    // Mechanism #1: the latch and the data window in bytes, words and dwords.
    const ULONG address = testing::kConfigEnable | kSlot << 11;
    WRITE_PORT_ULONG(Port32(kConfigAddressPort), address);
    EXPECT_EQ(READ_PORT_ULONG(Port32(kConfigAddressPort)), address);
    EXPECT_EQ(READ_PORT_ULONG(Port32(kConfigDataPort)), 0x0A3D'6A5Eu);
    EXPECT_EQ(READ_PORT_USHORT(reinterpret_cast<PUSHORT>(std::uintptr_t{kConfigDataPort + 2})),
              0x0A3Du);
    EXPECT_EQ(READ_PORT_UCHAR(Port8(kConfigDataPort + 1)), 0x6Au);
    WRITE_PORT_ULONG(Port32(kConfigAddressPort), address & ~testing::kConfigEnable);
    EXPECT_EQ(READ_PORT_ULONG(Port32(kConfigDataPort)), 0xFFFF'FFFFu);

    testing::FrontEnd fe;
    volatile UCHAR* window = MapWindow(fe);
    ASSERT_NE(window, nullptr);
    // The I/O range is decoded and empty.
    EXPECT_EQ(READ_PORT_UCHAR(Port8(fe.port + 5)), 0u);
    WRITE_PORT_ULONG(Port32(fe.port + 4), 0x1234'5678);
    EXPECT_EQ(READ_PORT_ULONG(Port32(fe.port + 4)), 0u);
    // The DMA registers are little-endian dwords, reachable in any width.
    WRITE_REGISTER_ULONG(reinterpret_cast<volatile ULONG*>(window + 8), 0x0102'0304);
    EXPECT_EQ(READ_REGISTER_UCHAR(window + 8), 0x04u);
    EXPECT_EQ(READ_REGISTER_USHORT(reinterpret_cast<volatile USHORT*>(window + 10)), 0x0102u);
    WRITE_REGISTER_USHORT(reinterpret_cast<volatile USHORT*>(window + 8), 0xBEEF);
    EXPECT_EQ(READ_REGISTER_ULONG(reinterpret_cast<volatile ULONG*>(window + 8)), 0x0102'BEEFu);
    // Above register 100: reads 0, writes ignored.
    WRITE_REGISTER_UCHAR(window + 101, 0xFF);
    EXPECT_EQ(READ_REGISTER_UCHAR(window + 101), 0u);
    MmUnmapIoSpace(const_cast<UCHAR*>(window), fe.window_length);
  });
  rig.kernel.Shutdown();
}

TEST_F(HalCalls, ResourceListLayout) {
  Driver([this] {
    PCM_RESOURCE_LIST list = nullptr;
    ASSERT_EQ(HalAssignSlotResources(nullptr, nullptr, nullptr, nullptr, PCIBus, 0, kSlot, &list),
              STATUS_SUCCESS);
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(rig.kernel.pool().LiveByTag(ex::PoolTag("Hal ")).blocks, 1u);
    EXPECT_EQ(rig.kernel.pool().LiveByType(PagedPool).blocks, 1u);
    ASSERT_EQ(list->Count, 1u);
    const CM_FULL_RESOURCE_DESCRIPTOR& full = list->List[0];
    EXPECT_EQ(full.InterfaceType, PCIBus);
    EXPECT_EQ(full.BusNumber, 0u);
    ASSERT_EQ(full.PartialResourceList.Count, 3u);
    const CM_PARTIAL_RESOURCE_DESCRIPTOR* d = full.PartialResourceList.PartialDescriptors;
    EXPECT_EQ(d[0].Type, CmResourceTypePort);
    EXPECT_EQ(d[0].Flags, CM_RESOURCE_PORT_IO);
    EXPECT_EQ(d[0].ShareDisposition, CmResourceShareDeviceExclusive);
    EXPECT_EQ(d[0].u.Port.Length, 64u);
    EXPECT_EQ(d[1].Type, CmResourceTypeMemory);
    EXPECT_EQ(d[1].u.Memory.Length, 4096u);
    EXPECT_EQ(d[1].u.Memory.Start.u.HighPart, 0);
    EXPECT_EQ(d[2].Type, CmResourceTypeInterrupt);
    EXPECT_EQ(d[2].Flags, CM_RESOURCE_INTERRUPT_LEVEL_SENSITIVE);
    EXPECT_EQ(d[2].ShareDisposition, CmResourceShareShared);
    EXPECT_EQ(d[2].u.Interrupt.Level, 11u);
    EXPECT_EQ(d[2].u.Interrupt.Vector, 11u);
    EXPECT_EQ(d[2].u.Interrupt.Affinity, 1u);
    // The BARs now hold what the list says.
    ULONG bars[2] = {};
    HalGetBusDataByOffset(PCIConfiguration, 0, kSlot, bars, 0x10, 8);
    EXPECT_EQ(bars[0], d[0].u.Port.Start.u.LowPart | 1);
    EXPECT_EQ(bars[1], d[1].u.Memory.Start.u.LowPart);
    ExFreePool(list);

    EXPECT_EQ(HalAssignSlotResources(nullptr, nullptr, nullptr, nullptr, PCIBus, 0, 3, &list),
              NtStatus(0xC000000E));
    EXPECT_EQ(list, nullptr);
    EXPECT_EQ(HalAssignSlotResources(nullptr, nullptr, nullptr, nullptr, Isa, 0, kSlot, &list),
              STATUS_NOT_IMPLEMENTED);
    EXPECT_EQ(rig.kernel.pool().LiveByTag(ex::PoolTag("Hal ")).blocks, 0u);
  });
}

TEST_F(HalCalls, InterruptVectors) {
  Driver([] {
    struct Row {
      INTERFACE_TYPE type;
      ULONG bus, line;
      ULONG vector;
      KIRQL irql;
      KAFFINITY affinity;
    };
    const Row rows[] = {
        {PCIBus, 0, 11, 0x3B, 16, 1}, {PCIBus, 4, 0, 0x30, 27, 1}, {PCIBus, 0, 23, 0x47, 4, 1},
        {PCIBus, 0, 24, 0, 0, 0},     {PCIBus, 5, 11, 0, 0, 0},    {Isa, 0, 11, 0, 0, 0},
    };
    for (const Row& row : rows) {
      KIRQL irql = 0xFF;
      KAFFINITY affinity = 0xFF;
      EXPECT_EQ(HalGetInterruptVector(row.type, row.bus, row.line, row.line, &irql, &affinity),
                row.vector)
          << row.line;
      EXPECT_EQ(irql, row.irql) << row.line;
      EXPECT_EQ(affinity, row.affinity) << row.line;
    }
  });
}

TEST_F(HalCalls, AdaptersAndCommonBuffers) {
  Driver([] {
    DEVICE_DESCRIPTION description{};
    description.Master = TRUE;
    description.Dma32BitAddresses = TRUE;
    description.InterfaceType = PCIBus;
    description.MaximumLength = 8192;
    ULONG map_registers = 0;
    PADAPTER_OBJECT adapter = HalGetAdapter(&description, &map_registers);
    ASSERT_NE(adapter, nullptr);
    EXPECT_EQ(map_registers, 3u);
    // No system DMA controller: only bus masters on the PCI bus get adapters.
    description.Master = FALSE;
    EXPECT_EQ(HalGetAdapter(&description, &map_registers), nullptr);
    description.Master = TRUE;
    description.InterfaceType = Isa;
    EXPECT_EQ(HalGetAdapter(&description, &map_registers), nullptr);

    PHYSICAL_ADDRESS first{}, second{};
    auto* a = static_cast<UCHAR*>(HalAllocateCommonBuffer(adapter, 100, &first, FALSE));
    auto* b = static_cast<UCHAR*>(HalAllocateCommonBuffer(adapter, 5000, &second, FALSE));
    ASSERT_TRUE(a != nullptr && b != nullptr);
    EXPECT_EQ(first.QuadPart, 0x0100'0000);
    EXPECT_EQ(second.QuadPart, 0x0100'1000);
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(b) % 4096, 0u);
    EXPECT_TRUE(std::all_of(b, b + 5000, [](UCHAR byte) { return byte == 0; }));
    HalFreeCommonBuffer(adapter, 100, first, a, FALSE);
    PHYSICAL_ADDRESS reused{};
    PVOID c = HalAllocateCommonBuffer(adapter, 4096, &reused, FALSE);
    EXPECT_EQ(reused.QuadPart, first.QuadPart);
    HalFreeCommonBuffer(adapter, 4096, reused, c, FALSE);
    HalFreeCommonBuffer(adapter, 5000, second, b, FALSE);
  });
  rig.kernel.Shutdown();
}

// Each knob reaches the driver as the result it checks, and the next call works again.
TEST_F(HalCalls, FaultKnobsGiveTheDriversResults) {
  Hal& hal = rig.installed.machine().hal();
  Driver([&] {
    auto assign = [](PCM_RESOURCE_LIST* list) {
      return HalAssignSlotResources(nullptr, nullptr, nullptr, nullptr, PCIBus, 0, kSlot, list);
    };
    PCM_RESOURCE_LIST list = nullptr;
    hal.Faults().assignment.fail = NtStatus(0xC0000089);
    EXPECT_EQ(assign(&list), NtStatus(0xC0000089));
    EXPECT_EQ(list, nullptr);
    hal.Faults().assignment = {};
    hal.Faults().assignment.empty = true;
    ASSERT_EQ(assign(&list), STATUS_SUCCESS);
    EXPECT_EQ(list->List[0].PartialResourceList.Count, 0u);
    ExFreePool(list);
    hal.Faults().assignment = {};
    ResourceDescriptor extra;
    extra.type = ResourceType::kMemory;
    extra.start = 0xE000'0000;
    extra.length = 256;
    hal.Faults().assignment.extra = extra;
    ASSERT_EQ(assign(&list), STATUS_SUCCESS);
    ASSERT_EQ(list->List[0].PartialResourceList.Count, 4u);
    const CM_PARTIAL_RESOURCE_DESCRIPTOR* partials =
        list->List[0].PartialResourceList.PartialDescriptors;
    const CM_PARTIAL_RESOURCE_DESCRIPTOR& added = partials[3];
    EXPECT_EQ(added.Type, CmResourceTypeMemory);
    EXPECT_EQ(added.u.Memory.Start.QuadPart, 0xE000'0000);
    EXPECT_EQ(added.u.Memory.Length, 256u);
    ExFreePool(list);
    hal.Faults().assignment = {};
    rig.kernel.pool().FailNthAllocation(1);
    EXPECT_EQ(assign(&list), STATUS_INSUFFICIENT_RESOURCES);
    EXPECT_EQ(list, nullptr);

    PHYSICAL_ADDRESS window{};
    window.QuadPart = 0xF000'0000;
    hal.Faults().map_io_space.Arm(2);
    PVOID mapped = MmMapIoSpace(window, 4096, MmNonCached);
    EXPECT_NE(mapped, nullptr);
    EXPECT_EQ(MmMapIoSpace(window, 4096, MmNonCached), nullptr);
    MmUnmapIoSpace(mapped, 4096);

    DEVICE_DESCRIPTION description{};
    description.Master = TRUE;
    description.InterfaceType = PCIBus;
    description.MaximumLength = 4096;
    ULONG map_registers = 0;
    hal.Faults().get_adapter.Arm(1);
    EXPECT_EQ(HalGetAdapter(&description, &map_registers), nullptr);
    PADAPTER_OBJECT adapter = HalGetAdapter(&description, &map_registers);
    ASSERT_NE(adapter, nullptr);

    hal.Faults().allocate_common_buffer.Arm(1);
    PHYSICAL_ADDRESS logical{};
    logical.QuadPart = -1;
    EXPECT_EQ(HalAllocateCommonBuffer(adapter, 4096, &logical, FALSE), nullptr);
    EXPECT_EQ(logical.QuadPart, 0);
    PVOID buffer = HalAllocateCommonBuffer(adapter, 4096, &logical, FALSE);
    ASSERT_NE(buffer, nullptr);
    HalFreeCommonBuffer(adapter, 4096, logical, buffer, FALSE);
  });
  rig.kernel.Shutdown();
}

}  // namespace
}  // namespace plat::hal
