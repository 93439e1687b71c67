// The state of the V.32 mode, kept in the context's receive area so that
// every device has its own; StartV32 clears it.
#pragma once

#include <cstdint>

#include "pump/v32/connection_states.h"
#include "pump/v32/echo_canceller.h"
#include "pump/v32/rate_words.h"
#include "pump/v32/receiver.h"
#include "pump/v32/tone_reversal.h"
#include "pump/v32/transmitter.h"

namespace pump::v32 {

enum class TxStage : std::uint8_t { kIdle, kS, kSbar, kTrn2, kTrn4, kRateSequence, kE, kData };

// A connection's start-up (roles 1 and 2): the two sides' states and what
// they hand each other.
struct Connection {
  TxState tx_state = TxState::kTxV32Idle;
  RxState rx_state = RxState::kRxV32Idle;
  std::int32_t tx_timer = 0;    // symbols left in the transmitter's state
  std::int32_t rx_timer = 0;    // samples, by state
  std::int32_t round_trip = 0;  // samples from our reversal to the far end's answer
  std::int32_t ac_symbols = 256;
  std::uint8_t answer = 0;
  std::uint8_t silence_may_end = 0;  // the caller's CC ends
  std::uint8_t s_may_start = 0;      // the caller's silence ends
  std::uint8_t trn4_finished = 0;    // the caller's receiver may train again
  std::uint8_t far_e = 0;            // the far E has been received
  std::uint8_t ended = 0;            // a limit ran out: the mode ends after the block
  std::uint16_t r1 = 0;              // the caller: the answerer's R1
  std::uint16_t r2 = 0;              // the answerer: the caller's R2
  std::uint16_t r3 = 0;              // the caller: the answerer's R3
  std::uint16_t quality_word = 0;
  RateSequence sequence;
  FrontEnd front;      // the tone phase's own baseband
  ToneReversal tone;
  std::int64_t tone_level = 0;  // the caller's CC as it was found
};

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
  Connection link;
};

}  // namespace pump::v32
