// Fatal diagnostics of the HAL and the controller: each broken rule ends the
// process with its rule named.
#include <gtest/gtest.h>

#include <functional>

#include "platform/hal/hal.h"
#include "platform/sim/controller_function.h"

namespace plat::hal {
namespace {

struct Machine {
  Machine() { sim::PlaceController(hal, controller); }
  Hal hal;
  sim::Controller controller{hal.Dma()};
  std::uint64_t RegisterWindow() {
    return hal.AssignSlotResources(0, PciSlotNumber(9, 0)).list[1].start;
  }
};

TEST(HalDiagnostics, RawDereferenceOfAMappingFaults) {
  EXPECT_DEATH(
      {
        Machine m;
        auto* registers =
            static_cast<volatile std::uint8_t*>(m.hal.MapIoSpace(m.RegisterWindow(), 4096));
        std::uint8_t value = registers[50];
        std::printf("read %d\n", value);
      },
      "");
}

TEST(HalDiagnostics, BrokenRules) {
  struct Row {
    const char* rule;
    std::function<void(Machine&)> act;
  };
  const Row rows[] = {
      {"hal-register-outside-mapping",
       [](Machine& m) {
         std::uint8_t host_byte = 0;
         m.hal.ReadRegister(0, &host_byte, 1);
       }},
      {"hal-register-outside-mapping",
       [](Machine& m) {
         void* window = m.hal.MapIoSpace(m.RegisterWindow(), 16);
         m.hal.WriteRegister(0, static_cast<volatile std::uint8_t*>(window) + 14, 4, 0);
       }},
      {"hal-register-outside-mapping",
       [](Machine& m) {
         void* window = m.hal.MapIoSpace(m.RegisterWindow(), 4096);
         m.hal.UnmapIoSpace(window, 4096);
         m.hal.ReadRegister(0, window, 1);
       }},
      {"hal-undecoded-port", [](Machine& m) { m.hal.ReadPort(0, 0x60, 1); }},
      {"hal-undecoded-port", [](Machine& m) { m.hal.WritePort(0, 0xCF8, 1, 0); }},
      {"hal-unmap-unknown",
       [](Machine& m) {
         void* window = m.hal.MapIoSpace(m.RegisterWindow(), 4096);
         m.hal.UnmapIoSpace(window, 2048);
       }},
      {"hal-free-unknown-common-buffer",
       [](Machine& m) {
         auto buffer = m.hal.AllocateCommonBuffer(4096);
         m.hal.FreeCommonBuffer(buffer->host, buffer->bus_address + 4096, 4096);
       }},
      {"hal-mapping-leak",
       [](Machine& m) {
         m.hal.MapIoSpace(m.RegisterWindow(), 4096);
         m.hal.CheckShutdown();
       }},
      {"hal-common-buffer-leak",
       [](Machine& m) {
         m.hal.AllocateCommonBuffer(64);
         m.hal.CheckShutdown();
       }},
      {"sim-master-abort",
       [](Machine& m) {
         m.controller.WriteRegister(0, 1, 0x01);  // engines run at bus address 0
         m.controller.AdvanceTo(hal::kMillisecond);
       }},
  };
  for (const Row& row : rows) {
    EXPECT_DEATH(
        {
          Machine m;
          row.act(m);
        },
        std::string("FATAL \\[") + row.rule + "\\]")
        << row.rule;
  }
}

TEST(HalDiagnostics, CleanShutdownPasses) {
  Machine m;
  void* window = m.hal.MapIoSpace(m.RegisterWindow(), 4096);
  auto buffer = m.hal.AllocateCommonBuffer(4096);
  m.hal.UnmapIoSpace(window, 4096);
  m.hal.FreeCommonBuffer(buffer->host, buffer->bus_address, buffer->length);
  m.hal.CheckShutdown();
}

}  // namespace
}  // namespace plat::hal
