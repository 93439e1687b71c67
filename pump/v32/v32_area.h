// The state of the V.32 mode, kept in the context's receive area so that
// every device has its own; StartV32 clears it.
#pragma once

#include <cstdint>

#include "pump/v32/echo_canceller.h"
#include "pump/v32/receiver.h"
#include "pump/v32/transmitter.h"

namespace pump::v32 {

enum class TxStage : std::uint8_t { kIdle, kS, kSbar, kTrn2, kTrn4, kRateSequence, kE, kData };

struct V32Area {
  TxSymbolState tx;
  Modulator modulator;
  TxStage tx_stage;
  std::int32_t tx_count;  // symbols left in the stage
  Receiver rx;
  EchoCanceller echo;
  std::int64_t dc_t1;     // the per-sample DC removal
  std::int64_t dc_t2;
  std::int64_t power_average;  // of the received samples' squares, 2^-10 a sample
  std::uint16_t local_word;
  std::uint16_t sent_word;     // the rate sequence being sent
  std::uint16_t connect_word;  // posted with the connect-rate packet
  std::uint8_t mode_code;      // 12 V.32, 16 V.32bis
  std::uint8_t connected;
  std::uint8_t reported_word;  // the connect-rate packet went out
  std::uint8_t loopback;
  std::uint32_t retrains;      // since the start
};

}  // namespace pump::v32
