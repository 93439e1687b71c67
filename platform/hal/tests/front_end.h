// A front end reduced to what exercises the HAL calls on a real simulated
// machine: the analog front-end driver's start steps (probe through the
// configuration ports, find the function, claim its slot resources, map
// the register window, get an adapter and two common buffers, connect the
// interrupt, start the codec and the DMA ring), its interrupt service and
// deferred call, and its stop. Written against kernel and HAL calls only.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <vector>

#include "platform/ex/expool.h"
#include "platform/hal/hal_calls.h"
#include "platform/ke/dpc.h"
#include "platform/ke/interrupt.h"
#include "platform/ke/kernel.h"
#include "platform/ke/simulation.h"
#include "platform/sim/controller_identity.h"
#include "platform/sim/machine_controller.h"
#include "platform/sim/registers.h"
#include "platform/sim/stub_line.h"

namespace plat::hal::testing {

namespace reg = sim::reg;

inline constexpr ULONG kBufferBytes = 0x4500;
inline constexpr ULONG kPeriods = 32;
inline constexpr ULONG kSamplesPerBlock = 96;
inline constexpr ULONG kPeriodBytes = kSamplesPerBlock * 4;
inline constexpr ULONG kRingWords = kPeriods * kSamplesPerBlock;
inline constexpr UCHAR kRateCode9600 = 5;
inline constexpr Instant kRateSettle = 50 * kMicrosecond;
inline constexpr std::uint32_t kConfigEnable = 0x8000'0000;

inline PUCHAR Port8(std::uint32_t port) { return reinterpret_cast<PUCHAR>(std::uintptr_t{port}); }
inline PULONG Port32(std::uint32_t port) { return reinterpret_cast<PULONG>(std::uintptr_t{port}); }

// Instant of tick k of a 9600 Hz codec clock started at `origin`.
inline Instant Tick9600(Instant origin, std::uint64_t k) { return origin + k * 312'500 / 3; }

// Starts `body` on a system thread of `machine`; `body` outlives the thread.
inline void StartSystemThread(ke::Kernel& machine, std::function<void()>& body,
                              PKTHREAD* thread = nullptr) {
  ASSERT_EQ(machine.CreateSystemThread(
                "driver", [](PVOID routine) { (*static_cast<std::function<void()>*>(routine))(); },
                &body, thread),
            STATUS_SUCCESS);
}

// One simulated machine with the controller installed and a stub line.
class MachineRig {
 public:
  explicit MachineRig(SimulationOptions options = {}, const char* name = "M")
      : sim(options),
        kernel(sim.AddMachine(name)),
        installed(sim::InstallController(kernel, {.line = &line})) {}

  // Runs `body` on a system thread of the machine until the thread ends.
  void OnSystemThread(std::function<void()> body) {
    ASSERT_TRUE(sim.RunUserThread(kernel, "test", [&] {
      PKTHREAD thread = nullptr;
      StartSystemThread(kernel, body, &thread);
      ASSERT_NE(thread, nullptr);
      KeWaitForSingleObject(thread, Executive, KernelMode, FALSE, nullptr);
      ObDereferenceObject(thread);
    }));
  }
  // The controller's output up to the present.
  const std::vector<sim::StubLine::OutputSample>& LineOutput() {
    installed.controller().AdvanceTo(kernel.Now());
    return line.output();
  }

  sim::StubLine line;
  Simulation sim;
  ke::Kernel& kernel;
  sim::MachineController& installed;
};

enum class WaitMode { kEvent, kStall };
// What a stop leaves behind (the shutdown diagnostics' scenarios).
enum class Leave { kNothing, kMapping, kCommonBuffer, kInterrupt };

struct DmaBuffer {
  PVOID virtual_address = nullptr;
  PHYSICAL_ADDRESS logical{};
  ULONG Word(ULONG index) const { return static_cast<const ULONG*>(virtual_address)[index]; }
};

struct FrontEnd {
  // Where the probe found the controller, through the configuration ports.
  std::uint32_t probed_address = 0;
  ULONG bus = 0;
  ULONG slot = 0;
  // The slot's resources.
  ULONG port = 0;
  ULONG port_length = 0;
  bool port_in_memory = false;
  PHYSICAL_ADDRESS window{};
  ULONG window_length = 0;
  ULONG vector = 0;
  KIRQL irql = 0;
  KAFFINITY affinity = 0;
  bool latched = false;
  bool shared = false;
  // What the start took.
  volatile UCHAR* registers = nullptr;
  PADAPTER_OBJECT adapter = nullptr;
  ULONG map_registers = 0;
  DmaBuffer transmit, receive;
  PKINTERRUPT interrupt = nullptr;
  KDPC dpc{};
  KEVENT block{};
  // The ring as the interrupt service keeps it, and what it saw.
  ULONG transmit_period = 0;
  ULONG receive_period = 0;
  Instant rate_set_at = 0;
  Instant run_at = 0;
  std::vector<Instant> isr_at;
  std::vector<Instant> dpc_at;
  int unhandled = 0;

  UCHAR Read(ULONG r) const { return READ_REGISTER_UCHAR(registers + r); }
  void Write(ULONG r, UCHAR v) const { WRITE_REGISTER_UCHAR(registers + r, v); }
  ULONG Read32(ULONG r) const {
    return READ_REGISTER_ULONG(reinterpret_cast<volatile ULONG*>(registers + r));
  }
  void Write32(ULONG r, ULONG v) const {
    WRITE_REGISTER_ULONG(reinterpret_cast<volatile ULONG*>(registers + r), v);
  }
  void Set(ULONG r, UCHAR bits) const { Write(r, Read(r) | bits); }
  void Clear(ULONG r, UCHAR bits) const { Write(r, static_cast<UCHAR>(Read(r) & ~bits)); }
};

inline Instant Now() { return ke::CurrentKernel().Now(); }

// Configuration mechanism #1 over buses 0-2: the first function with the
// controller's identity, or 0.
inline std::uint32_t ProbeByPorts() {
  constexpr std::uint32_t kIdentity = std::uint32_t{sim::kModemControllerIdentity.device_id} << 16 |
                                      sim::kModemControllerIdentity.vendor_id;
  for (std::uint32_t i = 0; i < 3 * 256; ++i) {
    const std::uint32_t address = kConfigEnable + 256 * i;
    WRITE_PORT_ULONG(Port32(kConfigAddressPort), address);
    if (READ_PORT_ULONG(Port32(kConfigDataPort)) == kIdentity) return address;
  }
  return 0;
}

// Finds the function through the HAL's bus data and claims its resources.
inline NTSTATUS FindPciDevice(FrontEnd& fe) {
  for (ULONG bus = 0; bus < 5; ++bus) {
    for (ULONG slot = 0; slot < 255; ++slot) {
      USHORT id[2] = {};
      if (HalGetBusData(PCIConfiguration, bus, slot, id, 4) != 4 ||
          id[0] != sim::kModemControllerIdentity.vendor_id ||
          id[1] != sim::kModemControllerIdentity.device_id) {
        continue;
      }
      fe.bus = bus;
      fe.slot = slot;
      UNICODE_STRING path{};
      PCM_RESOURCE_LIST list = nullptr;
      const NTSTATUS status =
          HalAssignSlotResources(&path, nullptr, nullptr, nullptr, PCIBus, bus, slot, &list);
      if (!NT_SUCCESS(status) || list == nullptr) return NtStatus(0xC0000089);
      const CM_PARTIAL_RESOURCE_LIST& partials = list->List[0].PartialResourceList;
      for (ULONG i = 0; i < partials.Count; ++i) {
        const CM_PARTIAL_RESOURCE_DESCRIPTOR& d = partials.PartialDescriptors[i];
        if (d.Type == CmResourceTypePort) {
          fe.port = d.u.Port.Start.u.LowPart;
          fe.port_length = d.u.Port.Length;
          fe.port_in_memory = (d.Flags & CM_RESOURCE_PORT_IO) == 0;
        } else if (d.Type == CmResourceTypeMemory) {
          fe.window = d.u.Memory.Start;
          fe.window_length = d.u.Memory.Length;
        } else if (d.Type == CmResourceTypeInterrupt) {
          fe.vector = HalGetInterruptVector(PCIBus, bus, d.u.Interrupt.Level, d.u.Interrupt.Vector,
                                            &fe.irql, &fe.affinity);
          fe.latched = (d.Flags & CM_RESOURCE_INTERRUPT_LATCHED) != 0;
          fe.shared = d.ShareDisposition == CmResourceShareShared;
        }
      }
      ExFreePool(list);
      return STATUS_SUCCESS;
    }
  }
  return STATUS_UNSUCCESSFUL;
}

// Moves one direction's next-period address on, as the driver's ISR does;
// returns the period the engine now plays.
inline ULONG Rearm(FrontEnd& fe, UCHAR bit, ULONG current, ULONG base, ULONG next) {
  fe.Write(reg::kStatus, bit);
  const auto p = static_cast<UCHAR>((fe.Read32(current) - fe.Read32(base)) / kPeriodBytes);
  const ULONG n = p <= 30 ? p + 1u : 0u;
  fe.Write32(next, fe.Read32(base) + n * kPeriodBytes);
  return n == 0 ? kPeriods - 1 : n - 1;
}

inline BOOLEAN FrontEndIsr(PKINTERRUPT, PVOID context) {
  FrontEnd& fe = *static_cast<FrontEnd*>(context);
  const UCHAR status = fe.Read(reg::kStatus);
  if ((status & reg::kPeriodBits) == 0) return FALSE;
  if (fe.Read(reg::kInterruptEnable) != reg::kPeriodBits) {
    fe.Write(reg::kInterruptEnable, reg::kPeriodBits);
    return FALSE;
  }
  if (status & reg::kTxPeriod) fe.transmit_period = Rearm(fe, reg::kTxPeriod, 36, 24, 32);
  if (status & reg::kRxPeriod) fe.receive_period = Rearm(fe, reg::kRxPeriod, 20, 8, 16);
  if (fe.transmit_period != fe.receive_period) {
    ++fe.unhandled;
    return FALSE;
  }
  fe.isr_at.push_back(Now());
  KeInsertQueueDpc(&fe.dpc, nullptr, nullptr);
  return TRUE;
}

inline void FrontEndDpc(PKDPC, PVOID context, PVOID, PVOID) {
  FrontEnd& fe = *static_cast<FrontEnd*>(context);
  fe.dpc_at.push_back(Now());
  KeSetEvent(&fe.block, 0, FALSE);
}

// Codec reset, 9600 Hz, off hook, then the DMA ring over both buffers with
// the transmit ring holding the ramp 1, 2, 3... in its words' low halves.
inline void StartCodecAndDma(FrontEnd& fe) {
  fe.Set(reg::kCodecReset, 0x01);
  while (fe.Read(reg::kBusy) & reg::kBusyBit) KeStallExecutionProcessor(10);
  fe.rate_set_at = Now();
  fe.Write(reg::kRateCode, kRateCode9600);
  while ((fe.Read(reg::kCodecReadings) & reg::kCodecReady) == 0) KeStallExecutionProcessor(10);
  fe.Set(reg::kHook, reg::kOffHook);

  auto* words = static_cast<ULONG*>(fe.transmit.virtual_address);
  for (ULONG i = 0; i < kRingWords; ++i) words[i] = i + 1;
  for (auto [base, buffer] : {std::pair{reg::kRxBase, &fe.receive}, {reg::kTxBase, &fe.transmit}}) {
    const ULONG start = buffer->logical.u.LowPart;
    fe.Write32(base, start);
    fe.Write32(base + 4, start + kPeriods * kPeriodBytes - 4);
    fe.Write32(base + 8, start + kPeriodBytes);
  }
  fe.Set(reg::kDmaControl, reg::kDmaRewind);
  fe.Clear(reg::kDmaControl, reg::kDmaRewind);
  fe.Write(reg::kStatus, reg::kPeriodBits);
  fe.run_at = Now();
  fe.Set(reg::kRun, reg::kRunEngines);
  fe.Set(reg::kInterruptEnable, reg::kPeriodBits);
}

inline NTSTATUS StartFrontEnd(FrontEnd& fe) {
  fe.probed_address = ProbeByPorts();
  if (fe.probed_address == 0) return STATUS_UNSUCCESSFUL;
  if (const NTSTATUS status = FindPciDevice(fe); !NT_SUCCESS(status)) return status;
  fe.registers =
      static_cast<volatile UCHAR*>(MmMapIoSpace(fe.window, fe.window_length, MmNonCached));
  if (fe.registers == nullptr) return STATUS_NO_MEMORY;

  DEVICE_DESCRIPTION description{};
  description.Version = DEVICE_DESCRIPTION_VERSION;
  description.Master = TRUE;
  description.Dma32BitAddresses = TRUE;
  description.BusNumber = fe.bus;
  description.InterfaceType = PCIBus;
  description.MaximumLength = kBufferBytes;
  fe.adapter = HalGetAdapter(&description, &fe.map_registers);
  if (fe.adapter == nullptr) return STATUS_UNSUCCESSFUL;
  for (DmaBuffer* buffer : {&fe.transmit, &fe.receive}) {
    buffer->virtual_address =
        HalAllocateCommonBuffer(fe.adapter, kBufferBytes, &buffer->logical, FALSE);
    if (buffer->virtual_address == nullptr) return STATUS_UNSUCCESSFUL;
  }

  KeInitializeDpc(&fe.dpc, FrontEndDpc, &fe);
  KeInitializeEvent(&fe.block, SynchronizationEvent, FALSE);
  const NTSTATUS connected =
      IoConnectInterrupt(&fe.interrupt, FrontEndIsr, &fe, nullptr, fe.vector, fe.irql, fe.irql,
                         fe.latched ? Latched : LevelSensitive, fe.shared, fe.affinity, FALSE);
  if (!NT_SUCCESS(connected)) return connected;
  StartCodecAndDma(fe);
  return STATUS_SUCCESS;
}

inline void WaitForBlocks(FrontEnd& fe, std::size_t blocks, WaitMode mode) {
  while (fe.isr_at.size() < blocks) {
    if (mode == WaitMode::kEvent) {
      KeWaitForSingleObject(&fe.block, Executive, KernelMode, FALSE, nullptr);
    } else {
      KeStallExecutionProcessor(10);
    }
  }
}

inline BOOLEAN StopDmaSynchronized(PVOID context) {
  const FrontEnd& fe = *static_cast<FrontEnd*>(context);
  fe.Clear(reg::kRun, reg::kRunEngines);
  fe.Clear(reg::kInterruptEnable, reg::kPeriodBits);
  return TRUE;
}

// The driver's stop: DMA off under the interrupt's lock, then the interrupt,
// the mapping and the buffers released, except what `leave` names.
inline void StopFrontEnd(FrontEnd& fe, Leave leave = Leave::kNothing) {
  KeSynchronizeExecution(fe.interrupt, StopDmaSynchronized, &fe);
  if (leave != Leave::kInterrupt) IoDisconnectInterrupt(fe.interrupt);
  if (leave != Leave::kMapping) {
    MmUnmapIoSpace(const_cast<UCHAR*>(fe.registers), fe.window_length);
  }
  if (leave != Leave::kCommonBuffer) {
    HalFreeCommonBuffer(fe.adapter, kBufferBytes, fe.transmit.logical, fe.transmit.virtual_address,
                        FALSE);
  }
  HalFreeCommonBuffer(fe.adapter, kBufferBytes, fe.receive.logical, fe.receive.virtual_address,
                      FALSE);
}

}  // namespace plat::hal::testing
