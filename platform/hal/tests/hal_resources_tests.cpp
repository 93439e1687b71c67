// What the HAL hands a driver: slot resources, interrupt vectors, adapters,
// common buffers from the machine's DMA window, and mapped registers.
#include <gtest/gtest.h>

#include <cstring>

#include "platform/hal/hal.h"
#include "platform/nt/ntstatus.h"
#include "platform/sim/controller_function.h"

namespace plat::hal {
namespace {

class HalResources : public ::testing::Test {
 protected:
  HalResources() : function(sim::PlaceController(hal, controller)) {}
  Hal hal;
  sim::Controller controller{hal.Dma()};
  PciFunction& function;
  const std::uint32_t slot = PciSlotNumber(9, 0);
};

TEST_F(HalResources, TheControllersList) {
  // Sizing a BAR and not restoring it: the assignment programs it again.
  const std::uint8_t ones[4] = {0xFF, 0xFF, 0xFF, 0xFF};
  hal.Bus().SetBusData(0, slot, ones, 0x14);
  const SlotResources result = hal.AssignSlotResources(0, slot);
  ASSERT_EQ(result.status, STATUS_SUCCESS);
  ASSERT_EQ(result.list.size(), 3u);
  const ResourceDescriptor& port = result.list[0];
  EXPECT_EQ(port.type, ResourceType::kPort);
  EXPECT_TRUE(port.io_port);
  EXPECT_EQ(port.length, 64u);
  EXPECT_EQ(port.start % 64, 0u);
  const ResourceDescriptor& memory = result.list[1];
  EXPECT_EQ(memory.type, ResourceType::kMemory);
  EXPECT_FALSE(memory.io_port);
  EXPECT_EQ(memory.length, 4096u);
  EXPECT_EQ(memory.start % 4096, 0u);
  EXPECT_EQ(function.config.Dword(0x14), memory.start);
  EXPECT_EQ(function.config.Dword(0x10), port.start | 1);
  const ResourceDescriptor& interrupt = result.list[2];
  EXPECT_EQ(interrupt.type, ResourceType::kInterrupt);
  EXPECT_EQ(interrupt.level, 11u);
  EXPECT_EQ(interrupt.vector, 11u);
  EXPECT_EQ(interrupt.affinity, 1u);
  EXPECT_TRUE(interrupt.level_sensitive);
  EXPECT_TRUE(interrupt.shared);
}

TEST_F(HalResources, AssignmentFaultsAndAbsentSlots) {
  hal.Faults().assignment.fail = STATUS_INSUFFICIENT_RESOURCES;
  EXPECT_EQ(hal.AssignSlotResources(0, slot).status, STATUS_INSUFFICIENT_RESOURCES);
  hal.Faults().assignment = {};
  hal.Faults().assignment.empty = true;
  const SlotResources empty = hal.AssignSlotResources(0, slot);
  EXPECT_EQ(empty.status, STATUS_SUCCESS);
  EXPECT_TRUE(empty.list.empty());
  hal.Faults().assignment = {};
  ResourceDescriptor extra;
  extra.type = ResourceType::kMemory;
  extra.start = 0xFE00'0000;
  extra.length = 0x100;
  hal.Faults().assignment.extra = extra;
  const SlotResources more = hal.AssignSlotResources(0, slot);
  ASSERT_EQ(more.list.size(), 4u);
  EXPECT_EQ(more.list.back(), extra);
  hal.Faults().assignment = {};
  hal.Faults().assignment.ports_memory_mapped = true;
  const SlotResources mapped = hal.AssignSlotResources(0, slot);
  ASSERT_EQ(mapped.status, STATUS_SUCCESS);
  for (const ResourceDescriptor& entry : mapped.list) {
    EXPECT_FALSE(entry.io_port) << "every range is reported as memory-mapped";
  }
  EXPECT_EQ(mapped.list[0].type, ResourceType::kPort) << "the port range stays a port range";
  hal.Faults().assignment = {};
  EXPECT_NE(hal.AssignSlotResources(0, PciSlotNumber(9, 1)).status, STATUS_SUCCESS);
  EXPECT_NE(hal.AssignSlotResources(5, slot).status, STATUS_SUCCESS);
}

TEST(HalInterruptVectors, LineToVectorAndLevel) {
  struct Row {
    std::uint32_t line, vector;
    std::uint8_t irql;
  };
  for (const Row& row : {Row{0, 0x30, 27}, Row{11, 0x3B, 16}, Row{23, 0x47, 4}, Row{24, 0, 0}}) {
    const InterruptVector v = InterruptVectorFor(row.line);
    EXPECT_EQ(v.vector, row.vector) << row.line;
    EXPECT_EQ(v.irql, row.irql) << row.line;
    EXPECT_EQ(v.affinity, row.vector != 0 ? 1u : 0u) << row.line;
  }
}

TEST(HalAdapters, MapRegistersAndFailures) {
  Hal hal;
  for (auto [length, registers] : {std::pair{0x4500u, 5u}, {0u, 1u}, {4096u, 2u}, {4095u, 1u}}) {
    EXPECT_EQ(hal.GetAdapter(length)->map_registers, registers) << length;
  }
  hal.Faults().get_adapter.Arm(2);
  EXPECT_TRUE(hal.GetAdapter(0x4500));
  EXPECT_FALSE(hal.GetAdapter(0x4500));
  EXPECT_TRUE(hal.GetAdapter(0x4500));
}

TEST(HalCommonBuffers, AlignedZeroedDeterministicAndReused) {
  Hal a({DmaWindow{0x0200'0000, 0x0001'0000}});
  Hal b({DmaWindow{0x0200'0000, 0x0001'0000}});
  std::vector<std::uint32_t> addresses_a, addresses_b;
  std::vector<CommonBuffer> held;
  for (std::uint32_t length : {0x4500u, 0x4500u, 100u}) {
    auto buffer = a.AllocateCommonBuffer(length);
    ASSERT_TRUE(buffer);
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(buffer->host) % 4096, 0u);
    EXPECT_EQ(buffer->bus_address % 4096, 0u);
    for (std::uint32_t i = 0; i < length; ++i) ASSERT_EQ(buffer->host[i], 0);
    std::memset(buffer->host, 0x77, length);
    addresses_a.push_back(buffer->bus_address);
    held.push_back(*buffer);
    addresses_b.push_back(b.AllocateCommonBuffer(length)->bus_address);
  }
  EXPECT_EQ(addresses_a, (std::vector<std::uint32_t>{0x0200'0000, 0x0200'5000, 0x0200'A000}));
  EXPECT_EQ(addresses_a, addresses_b);
  EXPECT_FALSE(a.AllocateCommonBuffer(0x6000)) << "the window is full";

  EXPECT_EQ(a.Dma().Resolve(0x0200'5000 + 0x44FC, 4), held[1].host + 0x44FC);
  EXPECT_EQ(a.Dma().Resolve(0x0200'5000 + 0x44FD, 4), nullptr) << "straddles the end";
  EXPECT_EQ(a.Dma().Resolve(0x0200'5000 + 0x4500, 4), nullptr) << "between buffers";

  a.FreeCommonBuffer(held[1].host, held[1].bus_address, held[1].length);
  auto again = a.AllocateCommonBuffer(0x1000);
  ASSERT_TRUE(again);
  EXPECT_EQ(again->bus_address, 0x0200'5000u) << "the lowest free address";
  a.FreeCommonBuffer(again->host, again->bus_address, again->length);
  a.FreeCommonBuffer(held[0].host, held[0].bus_address, held[0].length);
  a.FreeCommonBuffer(held[2].host, held[2].bus_address, held[2].length);
  EXPECT_EQ(a.Dma().LiveCount(), 0u);

  a.Faults().allocate_common_buffer.Arm(1);
  EXPECT_FALSE(a.AllocateCommonBuffer(16));
  auto after = a.AllocateCommonBuffer(16);
  EXPECT_TRUE(after);
  a.FreeCommonBuffer(after->host, after->bus_address, after->length);
  for (std::uint32_t address : addresses_b) {
    const CommonBuffer* buffer = b.Dma().BufferAt(address);
    b.FreeCommonBuffer(buffer->host, buffer->bus_address, buffer->length);
  }
}

TEST_F(HalResources, MappedRegistersReachTheController) {
  const SlotResources result = hal.AssignSlotResources(0, slot);
  const std::uint64_t memory = result.list[1].start;
  void* window = hal.MapIoSpace(memory, 4096);
  ASSERT_NE(window, nullptr);
  auto* registers = static_cast<volatile std::uint8_t*>(window);
  EXPECT_EQ(hal.ReadRegister(0, registers + 50, 1), 0x01u);
  EXPECT_EQ(hal.ReadRegister(0, registers + 60, 1), 0x40u | 31u);
  hal.WriteRegister(0, registers + 24, 4, 0x1234'5678);
  EXPECT_EQ(hal.ReadRegister(0, registers + 24, 2), 0x5678u);
  EXPECT_EQ(controller.ReadBar(0, sim::Controller::kRegisterBar, 24, 4), 0x1234'5678u);

  // With memory decoding off, the window reads all ones and drops writes.
  const std::uint8_t io_only[2] = {0x05, 0x00};
  hal.Bus().SetBusData(0, slot, io_only, 4);
  EXPECT_EQ(hal.ReadRegister(0, registers + 50, 1), 0xFFu);
  const std::uint8_t all_on = 0x07;
  hal.Bus().SetBusData(0, slot, std::span(&all_on, 1), 4);
  EXPECT_EQ(hal.ReadRegister(0, registers + 50, 1), 0x01u);
  hal.UnmapIoSpace(window, 4096);
  EXPECT_EQ(hal.Io().LiveCount(), 0u);

  // The port BAR is decoded and empty.
  EXPECT_EQ(hal.ReadPort(0, static_cast<std::uint32_t>(result.list[0].start) + 63, 1), 0u);
  hal.WritePort(0, static_cast<std::uint32_t>(result.list[0].start), 4, 0xFFFF'FFFF);

  hal.Faults().map_io_space.Arm(1);
  EXPECT_EQ(hal.MapIoSpace(memory, 4096), nullptr);
  void* second = hal.MapIoSpace(memory + 0x10, 0x20);
  ASSERT_NE(second, nullptr);
  EXPECT_EQ(hal.ReadRegister(0, second, 1), 0u) << "register 16 through an offset mapping";
  hal.UnmapIoSpace(second, 0x20);
}

}  // namespace
}  // namespace plat::hal
