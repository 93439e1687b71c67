// The register steps the front-end driver takes, replayed against the
// controller: DMA start, the interrupt service steps, controller
// initialisation and the loopback self test's transfer. They let the
// controller's tests show that every bit the driver relies on acts as it
// relies on.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/sim/registers.h"
#include "platform/sim/tests/sim_rig.h"

namespace plat::sim::testing {

inline constexpr std::uint32_t kPeriods = 32;

struct Ring {
  hal::CommonBuffer transmit;
  hal::CommonBuffer receive;
  std::uint32_t period_bytes = 96 * 4;
};

inline Ring AllocateRing(SimRig& rig, std::uint32_t samples_per_block) {
  auto transmit = rig.hal.AllocateCommonBuffer(0x4500);
  auto receive = rig.hal.AllocateCommonBuffer(0x4500);
  EXPECT_TRUE(transmit && receive);
  return {*transmit, *receive, samples_per_block * 4};
}

inline void FreeRing(SimRig& rig, const Ring& ring) {
  rig.hal.FreeCommonBuffer(ring.transmit.host, ring.transmit.bus_address, ring.transmit.length);
  rig.hal.FreeCommonBuffer(ring.receive.host, ring.receive.bus_address, ring.receive.length);
}

inline std::uint32_t Word(const hal::CommonBuffer& buffer, std::uint32_t index) {
  const std::uint8_t* p = buffer.host + 4 * index;
  return static_cast<std::uint32_t>(p[0] | p[1] << 8 | p[2] << 16) |
         static_cast<std::uint32_t>(p[3]) << 24;
}

inline void SetWord(const hal::CommonBuffer& buffer, std::uint32_t index, std::uint32_t value) {
  for (int i = 0; i < 4; ++i)
    buffer.host[4 * index + i] = static_cast<std::uint8_t>(value >> 8 * i);
}

// The driver's DMA start: addresses, rewind pulse, status cleared, run, enables.
inline void StartDma(SimRig& rig, const Ring& ring) {
  const std::uint32_t span = kPeriods * ring.period_bytes;
  rig.Write32(8, ring.receive.bus_address);
  rig.Write32(12, ring.receive.bus_address + span - 4);
  rig.Write32(16, ring.receive.bus_address + ring.period_bytes);
  rig.Write32(24, ring.transmit.bus_address);
  rig.Write32(28, ring.transmit.bus_address + span - 4);
  rig.Write32(32, ring.transmit.bus_address + ring.period_bytes);
  rig.Set(reg::kDmaControl, reg::kDmaRewind);
  rig.Clear(reg::kDmaControl, reg::kDmaRewind);
  rig.Write(reg::kStatus, 6);
  rig.Set(reg::kRun, reg::kRunEngines);
  rig.Set(reg::kInterruptEnable, 6);
}

// What the driver's interrupt service sees and decides, per interrupt.
struct IsrRecord {
  Instant at;
  std::uint8_t status;
  std::uint32_t tx_period;
  std::uint32_t rx_period;
  bool handled;
};

struct DriverIsr {
  DriverIsr(SimRig* rig_in, const Ring* ring_in) : rig(rig_in), ring(ring_in) {}
  SimRig* rig;
  const Ring* ring;
  std::uint32_t tx_period = 0;
  std::uint32_t rx_period = 0;
  std::vector<IsrRecord> records;

  std::uint32_t Rearm(std::uint8_t bit, std::uint32_t current, std::uint32_t base,
                      std::uint32_t next) {
    rig->Write(reg::kStatus, bit);
    const auto p =
        static_cast<std::uint8_t>((rig->Read32(current) - rig->Read32(base)) / ring->period_bytes);
    const std::uint32_t n = p <= 30 ? p + 1u : 0u;
    rig->Write32(next, rig->Read32(base) + n * ring->period_bytes);
    return n == 0 ? 31 : n - 1;
  }

  bool operator()() {
    const std::uint8_t status = rig->Read(reg::kStatus);
    if ((status & 6) == 0) return false;
    if (rig->Read(reg::kInterruptEnable) != 6) {
      rig->Write(reg::kInterruptEnable, 6);
      return false;
    }
    if (status & reg::kTxPeriod) tx_period = Rearm(reg::kTxPeriod, 36, 24, 32);
    if (status & reg::kRxPeriod) rx_period = Rearm(reg::kRxPeriod, 20, 8, 16);
    const bool handled = tx_period == rx_period;
    records.push_back({rig->now, status, tx_period, rx_period, handled});
    return handled;
  }
};

// The driver's controller initialisation, with its polls as stalls.
inline void AfeInitSteps(SimRig& rig, std::uint8_t rate_code = 5) {
  rig.Set(reg::kCodecReset, 0x01);
  bool busy_cleared = false;
  for (int i = 0; i < 50000; ++i) {
    if ((rig.Read(reg::kBusy) & reg::kBusyBit) == 0) {
      busy_cleared = true;
      break;
    }
    rig.Stall(10 * hal::kMicrosecond);
  }
  if (busy_cleared) {
    rig.Write(reg::kRateCode, rate_code);
    rig.Clear(reg::kDigitalPaths, reg::kDigitalLoopback);
    for (int i = 0; i < 1000 && (rig.Read(reg::kCodecReadings) & reg::kCodecReady) == 0; ++i) {
      rig.Stall(10 * hal::kMicrosecond);
    }
  }
  rig.Set(reg::kCodecPaths, 0x40);
  rig.Clear(65, 0xE0);
  rig.Clear(73, 0x20);
  // Speaker level 0: speaker mute bits, levels 0, speaker on.
  rig.Write(reg::kCodecPaths,
            static_cast<std::uint8_t>((rig.Read(reg::kCodecPaths) & ~0x10) | 0x20));
  rig.Write(68, 0);
  rig.Write(69, 0);
  rig.Set(reg::kCodecPaths, reg::kSpeakerOn);
  rig.Write(reg::kLineLevels, 0);
  rig.Clear(reg::kHook, reg::kOffHook);
  rig.Clear(reg::kCodecPaths, reg::kAnalogLoopback);
  rig.Clear(50, 0x08);
  rig.Set(50, 0x12);
}

// The loopback self test's transfer (its steps 2 to 6): returns whether both
// wrap bits were seen within the poll budget.
inline bool LoopbackTransfer(SimRig& rig, const Ring& ring, const std::vector<std::int16_t>& sent) {
  rig.Set(reg::kDigitalPaths, reg::kDigitalLoopback);
  if ((rig.Read(reg::kDigitalPaths) & reg::kDigitalLoopback) == 0) return false;
  for (int i = 0; i < 200; ++i) rig.Stall(50 * hal::kMicrosecond);
  rig.Set(reg::kRun, 0x02);
  rig.Clear(reg::kRun, 0x02);
  rig.Set(reg::kDmaControl, 0x80);
  rig.Write(reg::kInterruptEnable, 0);
  rig.Write(3, 0);
  const auto bytes = static_cast<std::uint32_t>(sent.size() * 4);
  for (auto [base, buffer] : {std::pair{24u, &ring.transmit}, {8u, &ring.receive}}) {
    rig.Write32(base, buffer->bus_address);
    rig.Write32(base + 4, buffer->bus_address + bytes - 4);
    rig.Write32(base + 8, buffer->bus_address + bytes);
    rig.Write32(base + 12, buffer->bus_address);
  }
  for (std::uint32_t i = 0; i < sent.size(); ++i) {
    SetWord(ring.transmit, i, static_cast<std::uint32_t>(static_cast<std::int32_t>(sent[i])));
    SetWord(ring.receive, i, 0);
  }
  rig.Write(reg::kStatus, 1);
  rig.Write(reg::kStatus, 8);
  rig.Set(reg::kRun, reg::kRunEngines);
  bool tx_seen = false, rx_seen = false;
  for (int i = 0; i < 10000 && !(tx_seen && rx_seen); ++i) {
    rig.Read(reg::kBusy);
    const std::uint8_t status = rig.Read(reg::kStatus);
    if (status & reg::kRxWrapped) {
      rig.Write(reg::kStatus, reg::kRxWrapped);
      rx_seen = true;
    }
    if (status & reg::kTxWrapped) {
      rig.Write(reg::kStatus, reg::kTxWrapped);
      tx_seen = true;
    }
    if (!(tx_seen && rx_seen)) rig.Stall(50 * hal::kMicrosecond);
  }
  rig.Clear(reg::kRun, reg::kRunEngines);
  return tx_seen && rx_seen;
}

}  // namespace plat::sim::testing
