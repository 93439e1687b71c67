// V.80 synchronous access: the in-band codes from the application (EM
// pairs, the overrun and underrun discards and their reports) and toward
// it (the pending reports go before the next data byte).
#include "layer2/corecode/dte/dte_interface.h"
#include "layer2/corecode/dte/dte_internal.h"
#include "layer2/corecode/mt/port/uart.h"

namespace vxctl {
namespace {

constexpr std::uint8_t kFrameEnd = 0xB1;
constexpr std::uint8_t kUnderrun = 0xB4;
constexpr std::uint8_t kOverrun = 0xB5;
constexpr std::uint8_t kResume = 0xB7;
constexpr std::uint8_t kDiscarded = 0xB9;

bool SendsNow(DteInterfaceState& dte) {
  return dte.to.Count() == 0 && dte.v80.last_pushed.load() != kEm;
}

void Send(std::initializer_list<std::uint8_t> bytes, DteV80State& v80) {
  for (std::uint8_t c : bytes) {
    uart_rx_char(c);
    v80.last_pushed.store(c);
  }
}

// EM 0xB9 with the discarded-octet count in two bytes; the count restarts.
void SendDiscarded(DteV80State& v80) {
  const std::uint16_t count = v80.discarded.exchange(0);
  Send({kEm, kDiscarded, static_cast<std::uint8_t>((count * 2) & 0xFE),
        static_cast<std::uint8_t>((count >> 7) & 0xFE)},
       v80);
}

void AddDiscarded(DteV80State& v80, std::uint16_t n) {
  v80.discarded.store(static_cast<std::uint16_t>(v80.discarded.load() + n));
}

}  // namespace

void dte_v80_rx_char(std::uint8_t c) {
  DteInterfaceState& dte = dte_state();
  DteV80State& v80 = dte.v80;
  const bool discarding = (v80.overrun.load() != 0 || v80.underrun.load() != 0) &&
                          dte.state.load() != kDteCommand;
  if (v80.em_seen.load() == 0) {
    if (c == kEm) {
      v80.em_seen.store(1);
    } else if (discarding) {
      AddDiscarded(v80, 1);
    } else {
      dte.from.Put(c);
    }
    return;
  }
  if (c == kEm) {
    AddDiscarded(v80, 1);
    return;
  }
  v80.em_seen.store(0);
  if (c == kResume) {
    v80.overrun.store(0);
    v80.underrun.store(0);
    v80.report_b5.store(0);
    v80.report_b4.store(0);
    dte.from.Put(kEm);
    dte.from.Put(kResume);
    if (SendsNow(dte)) {
      SendDiscarded(v80);
    } else {
      v80.report_b9.store(1);
    }
    return;
  }
  if (discarding) {
    AddDiscarded(v80, 2);
    return;
  }
  dte.from.Put(kEm);
  dte.from.Put(c);
  if (c == kFrameEnd) v80.frame_ends.fetch_add(1);
}

void dte_v80_report_b4() {
  DteInterfaceState& dte = dte_state();
  DteV80State& v80 = dte.v80;
  if (v80.underrun.load() != 0 || v80.report_b5.load() != 0 || v80.report_b9.load() != 0) return;
  v80.underrun.store(1);
  if (SendsNow(dte)) {
    v80.discarded.store(0);
    Send({kEm, kUnderrun}, v80);
  } else {
    v80.report_b4.store(1);
  }
}

void dte_v80_to_char(std::uint32_t& room) {
  DteInterfaceState& dte = dte_state();
  DteV80State& v80 = dte.v80;
  if (v80.last_pushed.load() != kEm) {
    if (v80.report_b5.load() != 0) {
      if (room >= 3) {
        v80.report_b5.store(0);
        Send({kEm, kOverrun}, v80);
        room -= 2;
      }
    } else if (v80.report_b9.load() != 0) {
      if (room >= 5) {
        v80.report_b9.store(0);
        SendDiscarded(v80);
        room -= 4;
      }
    } else if (v80.report_b4.load() != 0 && room >= 3) {
      v80.report_b4.store(0);
      Send({kEm, kUnderrun}, v80);
      room -= 2;
    }
  }
  std::uint8_t c = 0;
  if (room == 0 || !dte.to.Peek(c) || uart_rx_char(c) != 0) return;
  dte.to.Drop();
  v80.last_pushed.store(c);
  --room;
}

void dte_v80_set_framed(std::uint8_t framed) { dte_state().v80.framed.store(framed); }
void dte_v80_set_esa_option(std::uint8_t option) { dte_state().v80.esa_option.store(option); }

}  // namespace vxctl
