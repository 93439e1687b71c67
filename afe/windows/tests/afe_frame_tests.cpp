// The driver's frame: loading, the start with each of its failure points,
// and the stop.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "afe/windows/afe_operations.h"
#include "afe/windows/controller_table.h"
#include "afe/windows/tests/afe_rig.h"
#include "platform/hal/machine_hal.h"
#include "platform/io/io_host.h"
#include "platform/ke/kernel.h"
#include "platform/win32/files.h"

namespace afe::testing {
namespace {

class AfeLoad : public AfeRig {};

TEST_F(AfeLoad, LoadsOnlyOnVersionFour) {
  struct Case {
    const char* version;
    NTSTATUS status;
  };
  for (const Case c : {Case{"4.0", STATUS_SUCCESS}, Case{"4.10", STATUS_SUCCESS},
                       Case{"5.0", STATUS_UNSUCCESSFUL}, Case{"", STATUS_UNSUCCESSFUL}}) {
    SCOPED_TRACE(c.version);
    plat::Simulation simulation;
    plat::MachineConfig config{.drivers = {{u"vxafe", DriverEntry}}};
    config.hive_overrides =
        "[\\Registry\\Machine\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion]\n"
        "\"CurrentVersion\"=sz:\"" +
        std::string(c.version) + "\"\n";
    plat::Machine m(simulation, config);
    EXPECT_EQ(m.Boot(), c.status);
    EXPECT_EQ(m.drivers().size(), c.status == STATUS_SUCCESS ? 1u : 0u);
    m.Shutdown();
  }
}

TEST_F(AfeLoad, StopBeforeAnyStartDeletesTheDevice) {
  BootAfe();
  ASSERT_NE(Device(kAfeDeviceType), nullptr);
  EXPECT_EQ(Held().names, 2u) << "the AFE device and its link";
  OnKernelThread([&] {
    const Reply reply = Stop();
    EXPECT_EQ(reply.status, STATUS_SUCCESS);
    EXPECT_EQ(reply.information, 0u);
  });
  EXPECT_EQ(Device(kAfeDeviceType), nullptr);
  EXPECT_EQ(Held(), (Holdings{0, 0, 0, 0, 0, 0})) << "registry path copy freed, key closed";
}

TEST_F(AfeLoad, AFailedDeviceStillLoadsAndLeavesNothing) {
  plat::Simulation simulation;
  plat::Machine m(simulation, {.drivers = {{u"vxafe", DriverEntry}}});
  plat::io::Faults(m.kernel()).create_device.FailName(kAfeDeviceName, STATUS_NO_MEMORY);
  EXPECT_EQ(m.Boot(), STATUS_SUCCESS) << "the load reports success without its device";
  EXPECT_EQ(m.kernel().pool().LiveByTag(kAfeTag).blocks, 0u) << "the driver's path copy went";
  m.Shutdown();
}

class AfeStart : public AfeRig {};

// Each failure point: the start completes with its status and gives back
// everything it took; the state is stopped again, so a later start works.
TEST_F(AfeStart, EveryFailurePointUnwindsEverything) {
  struct Case {
    const char* point;
    std::function<void(plat::Machine&)> arm;
    NTSTATUS status;
  };
  const std::vector<Case> cases = {
      {"no controller",
       [](plat::Machine& m) {
         m.hal().hal().Bus().Remove({0, 9, 0});
       },
       STATUS_UNSUCCESSFUL},
      {"arrays", [](plat::Machine& m) { m.kernel().pool().FailTag(kAfeTag); }, STATUS_NO_MEMORY},
      {"slot resources",
       [](plat::Machine& m) { m.hal().hal().Faults().assignment.fail = STATUS_NO_MEMORY; },
       STATUS_RESOURCE_DATA_NOT_FOUND},
      {"memory map", [](plat::Machine& m) { m.hal().hal().Faults().map_io_space.Arm(1); },
       STATUS_NO_MEMORY},
      {"port map",
       [](plat::Machine& m) {
         m.hal().hal().Faults().assignment.ports_memory_mapped = true;
         m.hal().hal().Faults().map_io_space.Arm(2);
       },
       STATUS_NO_MEMORY},
      {"adapter", [](plat::Machine& m) { m.hal().hal().Faults().get_adapter.Arm(1); },
       STATUS_UNSUCCESSFUL},
      {"common buffer 1",
       [](plat::Machine& m) { m.hal().hal().Faults().allocate_common_buffer.Arm(1); },
       STATUS_UNSUCCESSFUL},
      {"common buffer 2",
       [](plat::Machine& m) { m.hal().hal().Faults().allocate_common_buffer.Arm(2); },
       STATUS_UNSUCCESSFUL},
      {"AfeInit", [](plat::Machine& m) { m.controller().Knobs().busy_stuck = true; },
       STATUS_NO_SUCH_DEVICE},
      {"Diagnostic device",
       [](plat::Machine& m) {
         plat::io::Faults(m.kernel())
             .create_device.FailName(kDiagnosticDeviceName, STATUS_INSUFFICIENT_RESOURCES);
       },
       STATUS_INSUFFICIENT_RESOURCES},
      {"Diagnostic link",
       [](plat::Machine& m) {
         plat::io::Faults(m.kernel())
             .create_link.FailName(kDiagnosticLinkName, STATUS_OBJECT_NAME_COLLISION);
       },
       STATUS_OBJECT_NAME_COLLISION},
      {"interrupt connect",
       [](plat::Machine& m) { m.kernel().faults().connect_interrupt.FailNth(1); },
       STATUS_INSUFFICIENT_RESOURCES},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.point);
    BootAfe();
    const Holdings before = Held();
    c.arm(machine());
    OnKernelThread([&] {
      AfeInterface* answer = nullptr;
      const Reply reply = Start(&answer);
      EXPECT_EQ(reply.status, c.status);
      EXPECT_EQ(reply.information, 0u);
    });
    EXPECT_EQ(Held(), before);
    EXPECT_EQ(Extension().StartState, kAfeStopped);
    EXPECT_EQ(Extension().Started, 0);
    // With the fault gone, the same driver starts.
    machine().kernel().pool().ClearFaults();
    machine().hal().hal().Faults() = {};
    machine().controller().Knobs().busy_stuck = false;
    plat::io::Faults(kernel()).create_device.Clear();
    plat::io::Faults(kernel()).create_link.Clear();
    if (std::string(c.point) != "no controller") {
      OnKernelThread([&] { StartOrFail(); });
      EXPECT_EQ(Extension().StartState, kAfeStarted);
    }
    machine().Shutdown();
  }
}

TEST_F(AfeStart, AGoodStartAnswersTheInterfaceWithEightBytes) {
  BootAfe();
  OnKernelThread([&] {
    AfeInterface* afe = StartOrFail();
    ASSERT_NE(afe, nullptr);
    EXPECT_EQ(afe, &Extension().Interface);
    EXPECT_EQ(afe->Context->VendorId, kKind3Identity.vendor_id);
    EXPECT_EQ(afe->Context->DeviceId, kKind3Identity.device_id);
    EXPECT_EQ(afe->Context->PowerState, 4);
    EXPECT_EQ(afe->Context->SampleRate, 9600);
    EXPECT_EQ(afe->Context->SamplesPerBlock, 96);
    EXPECT_EQ(afe->Context->DmaRunning, 0u) << "blocks flow only after the power-up";
    EXPECT_EQ(Extension().EventBlock, &events_);
    // A second start would take the controller twice.
    AfeInterface* again = nullptr;
    EXPECT_EQ(Start(&again).status, STATUS_INVALID_DEVICE_STATE);
  });
  EXPECT_EQ(Held(), (Holdings{10, 1, 2, 1, 3, 6}))
      << "path copy, seven range arrays and the Sound device's two queues; window; buffers; "
         "interrupt; three devices";
}

TEST_F(AfeStart, ShortBuffersAreRefused) {
  BootAfe();
  OnKernelThread([&] {
    AfeEventBlock* lent = &events_;
    AfeInterface* answer = nullptr;
    EXPECT_EQ(Control(IOCTL_MODEM_START, &lent, 4, &answer, 8).status, STATUS_INVALID_PARAMETER);
    EXPECT_EQ(Control(IOCTL_MODEM_START, &lent, 8, &answer, 4).status, STATUS_INVALID_PARAMETER);
  });
  EXPECT_EQ(Extension().StartState, kAfeStopped);
}

// Through the link, a program could lend any address as the event block or
// delete the devices under the data pump.
TEST_F(AfeStart, UserModeStartAndStopAreRefused) {
  BootAfe();
  for (const ULONG code : {IOCTL_MODEM_START, IOCTL_MODEM_STOP}) {
    OnUserThread([&] {
      HANDLE afe = CreateFile(u"\\\\.\\VexorTolvasaAfe", GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                              OPEN_EXISTING, 0, 0);
      ASSERT_NE(afe, INVALID_HANDLE_VALUE);
      std::uint64_t buffer[1] = {0x1000};
      DWORD returned = 0;
      EXPECT_FALSE(DeviceIoControl(afe, code, buffer, sizeof buffer, buffer, sizeof buffer,
                                   &returned, nullptr));
      EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
      CloseHandle(afe);
    });
    EXPECT_NE(Device(kAfeDeviceType), nullptr);
    EXPECT_EQ(Extension().StartState, kAfeStopped);
  }
}

class AfeStop : public AfeRig {};

// The stop stops the running DMA, deletes the Sound and Diagnostic devices,
// then gives back the interrupt, the memory and port mappings, the memory
// and port arrays and last the common buffers; the AFE device and its link
// go too.
TEST_F(AfeStop, ReleasesEverythingInOrder) {
  BootAfe();
  machine().hal().hal().Faults().assignment.ports_memory_mapped = true;
  OnKernelThread([&] {
    AfeInterface* afe = StartOrFail();
    Locked(*afe, [](AfeContext& context) { PowerUp(context); });
    ASSERT_TRUE(AwaitBlock(events_));
  });
  ASSERT_EQ(Held().mappings, 2u) << "the register window and the port range";

  struct Free {
    SIZE_T bytes;
    std::size_t mappings, buffers, interrupts, devices;
    bool operator==(const Free&) const = default;
  };
  std::vector<Free> frees;
  kernel().pool().SetObserver([&](const plat::ex::PoolEvent& event) {
    if (event.kind != plat::ex::PoolEvent::Kind::Free || event.tag != kAfeTag) return;
    const Holdings now = Held();
    frees.push_back({event.bytes, now.mappings, now.common_buffers, now.interrupts, now.devices});
  });
  OnKernelThread([&] {
    const Reply reply = Stop();
    EXPECT_EQ(reply.status, STATUS_SUCCESS);
    EXPECT_EQ(reply.information, 0u);
  });
  kernel().pool().SetObserver(nullptr);

  ASSERT_EQ(frees.size(), 10u);
  EXPECT_EQ(frees[0].mappings, 2u) << "the registry path goes first, before the stop";
  const std::vector<Free> released(frees.begin() + 1, frees.end());
  constexpr SIZE_T kQueue = 32 * 964;
  const std::vector<Free> expected = {
      {kQueue, 2, 2, 1, 2}, {kQueue, 2, 2, 1, 2},                   // Sound device's queues
      {8, 0, 2, 0, 1},      {4, 0, 2, 0, 1},      {8, 0, 2, 0, 1},  // memory arrays
      {8, 0, 2, 0, 1},      {4, 0, 2, 0, 1},      {8, 0, 2, 0, 1}, {1, 0, 2, 0, 1},  // port arrays
  };
  EXPECT_EQ(released, expected)
      << "the Sound device's queues with the device, then interrupt and mappings before the "
         "arrays; the buffers after them";
  EXPECT_EQ(Held(), (Holdings{0, 0, 0, 0, 0, 0}));
  // A DMA engine left running would now reach freed buffers (fatal).
  sim.RunFor(100 * plat::hal::kMillisecond);
}

// A deferred call the last interrupt queued is still waiting when the stop
// comes: it must not run on the deleted device.
TEST_F(AfeStop, ADeferredCallStillQueuedDoesNotOutliveTheDevice) {
  BootAfe();
  kernel().faults().dpc_latency_ns = 15 * plat::hal::kMillisecond;
  OnKernelThread([&] {
    AfeInterface* afe = StartOrFail();
    Locked(*afe, [](AfeContext& context) { PowerUp(context); });
    ASSERT_TRUE(AwaitBlock(events_));  // at 25 ms: the call queued at 10 ms ran
    LARGE_INTEGER interval;
    interval.QuadPart = -70'000;  // 7 ms: the call queued at 30 ms waits until 45 ms
    KeDelayExecutionThread(KernelMode, FALSE, &interval);
    EXPECT_EQ(Stop().status, STATUS_SUCCESS);
  });
  sim.RunFor(50 * plat::hal::kMillisecond);
  OnKernelThread([&] {
    EXPECT_EQ(KeReadStateEvent(&events_.PerBlockEvent), 0) << "no deferred call ran after the stop";
  });
}

}  // namespace
}  // namespace afe::testing
