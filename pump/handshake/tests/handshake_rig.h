// What the handshake tests share: a started data pump with the line taken
// (PumpHarness), the call's start by command 0x68, and the far end as a
// sequence of spandsp signals heard at 9600 Hz, fed block by block.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <vector>

#include "pump/callprogress/tests/call_rig.h"
#include "pump/context/dsp_context.h"
#include "pump/tests/support/spandsp_codec_rate.h"
#include "pump/v22/v22_tx_states.h"

namespace pump::handshake_test {

using testing::LineGenerator;
using testing::PumpHarness;

inline constexpr std::size_t kBlock = 96;
inline constexpr int kTransmitLevel = -10;  // dB

struct Call {
  int mode;
  int direction;  // 1 originate
  int selector = 0;
  int calling_tone = 1;
  int v8bis = 0;
  int v8_continuation = 0;
  int rate_code = 4;  // V.22bis 2400 bit/s
};

// The reset, the line taken, then the call's start: command 0x68, or, with a
// V.8 continuation (which 0x68 hands to V.8), the handshake start itself.
void BeginCall(PumpHarness& harness, const Call& call);

// One stretch of the far end: `ms` of a generator's line samples (silence
// once it runs dry; silence throughout for a null generator).
struct Stretch {
  LineGenerator generator;
  int ms;
};

// spandsp's connect tones (MODEM_CONNECT_TONES_ANS, _ANS_PR, _BELL_ANS).
LineGenerator AnswerTone(int kind);
// spandsp's tone generator: one or two tones at `level` dBm0 each.
LineGenerator Tone(int f1, int f2 = 0, int level = -13);
// spandsp answerers sending marks: the FSK channel of `fsk_spec`
// (FSK_V21CH2, FSK_V23CH1, FSK_BELL103CH1), and V.22bis at 2400 bit/s,
// which starts with unscrambled ones.
LineGenerator FskMarks(int fsk_spec, int level = -13);
LineGenerator V22bisAnswerer(int level = -13);
// Seeded white noise at `dbm0`.
LineGenerator Noise(std::uint64_t seed, double dbm0);

// The far end's stretches in turn, at 9600 Hz.
class FarEnd {
 public:
  explicit FarEnd(std::vector<Stretch> stretches);
  ~FarEnd();
  FarEnd(const FarEnd&) = delete;
  FarEnd& operator=(const FarEnd&) = delete;
  // The next block; silence after the last stretch.
  void Next(std::span<std::int16_t> block);
  std::uint64_t blocks() const { return blocks_; }

 private:
  int Fill(std::span<std::int16_t> out);

  std::vector<Stretch> stretches_;
  std::size_t current_ = 0;
  std::int64_t left_ = -1;  // line samples of the current stretch still to take
  std::unique_ptr<testing::SpandspSource> source_;
  std::uint64_t blocks_ = 0;
};

// Feeds the far end block by block until `done` holds or `max_blocks` ran;
// returns the blocks run.
int Hear(PumpHarness& harness, FarEnd& far, int max_blocks,
         const std::function<bool(const DspContext&)>& done = {});

// The blocks of sound the line carried from `first` on, after the front
// end's lag (the silent blocks before the first sound): the length of a
// tone that started with the call.
int ToneBlocks(std::span<const std::int16_t> line, std::size_t first);

// The FSK start type of the last StartFsk since BeginCall, -1 for none.
inline int FskStarted(const DspContext& context) { return context.fsk.start_type; }

// V.22 or V.22bis started since BeginCall: the receive side runs its
// supervisor; `context.call.mode` tells which (7 V.22bis, 6 V.22).
inline bool V22Started(const DspContext& context) {
  return context.rx.table.data() == V22RxSeqTable().data();
}

// The role V.32 started in since BeginCall (1 caller, 2 answerer), 0 for
// none or the loopback: the start sets the area's mode code, which nothing
// else does, and it stays after the mode ends (BeginCall clears it).
inline int V32Started(const DspContext& context) {
  const v32::V32Area& a = context.receive.v32;
  if (a.mode_code == 0 || a.loopback != 0) return 0;
  return a.link.answer != 0 ? 2 : 1;
}

// A pending procedure was called since BeginCall.
inline bool Called(const DspContext& context, Pending part) {
  return context.pending[part].count != 0;
}

}  // namespace pump::handshake_test
