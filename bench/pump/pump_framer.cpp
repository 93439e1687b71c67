// The data framer and the block resampler. Reported, never asserted:
//   BM_FramerHdlc/receive   host time of one 10 ms block at 14400 bit/s
//                           (144 bits in calls of 6, as a 2400-baud modem
//                           gives them, then the block's flush), and
//                           vs_spandsp: that time over spandsp hdlc_rx's on
//                           the same bits, measured in the same run;
//   BM_FramerHdlc/transmit  the same for 144 bits out of the transmit modes
//                           beside spandsp hdlc_tx;
//   BM_Resample/<code>/<variant>  host time of one block of each rate code,
//                           with the signal library's w7 and px entries.
#include <benchmark/benchmark.h>

#include <memory>
#include <string>
#include <vector>

#include "bench/support/paired_ratio.h"
#include "platform/ex/expool.h"
#include "platform/ex/pool.h"
#include "pump/framer/framer.h"
#include "pump/framer/tests/framer_rig.h"
#include "pump/resampler/resampler.h"
#include "pump/tests/support/spandsp_headers.h"
#include "siglib/tests/support/scoped_slots.h"

namespace {

using pump::framer_testing::Bits;
using pump::framer_testing::Bytes;

constexpr int kBitsPerBlock = 144;  // 14400 bit/s, 10 ms
constexpr int kBitsPerCall = 6;     // 2400 baud

// Frames of 64 to 256 bytes, the same on every run.
std::vector<Bytes> Frames() {
  std::vector<Bytes> frames;
  std::uint32_t x = 12345;
  for (int f = 0; f < 16; ++f) {
    Bytes bytes(static_cast<std::size_t>(64 + f * 12));
    for (std::uint8_t& b : bytes) {
      x = x * 1103515245u + 12345u;
      b = static_cast<std::uint8_t>(x >> 16);
    }
    frames.push_back(bytes);
  }
  return frames;
}

// A whole number of blocks of an HDLC stream: a flag, then each frame and
// its closing flag, then idle ones up to the block's end, so that the
// stream loops.
Bits HdlcStream() {
  using namespace pump::framer_testing;
  Bits bits = Flag();
  for (const Bytes& frame : Frames()) bits = Cat({bits, FrameBody(frame), Flag()});
  bits.resize((bits.size() + kBitsPerBlock - 1) / kBitsPerBlock * kBitsPerBlock, 1);
  return bits;
}

// The stream's blocks as the calls a 2400-baud receiver makes.
std::vector<std::uint32_t> Symbols(const Bits& bits) {
  std::vector<std::uint32_t> symbols;
  for (std::size_t i = 0; i < bits.size(); i += kBitsPerCall) {
    std::uint32_t word = 0;
    for (int b = 0; b < kBitsPerCall; ++b) word |= std::uint32_t{bits[i + b]} << b;
    symbols.push_back(word);
  }
  return symbols;
}

class OurReceiver {
 public:
  explicit OurReceiver(const std::vector<std::uint32_t>& symbols) : symbols_(symbols) {
    pump::InitFramerRx(rig_.Context(), pump::kFramerHdlc);
    rig_.CountBlocksOnly();
  }
  void Block() {
    for (int call = 0; call < kBitsPerBlock / kBitsPerCall; ++call) {
      pump::FramerPutRxBits(rig_.Context(), kBitsPerCall, symbols_[next_]);
      next_ = next_ + 1 == symbols_.size() ? 0 : next_ + 1;
    }
    pump::FramerFlushRx(rig_.Context());
  }
  std::size_t Blocks() const { return rig_.BlocksTaken(); }

 private:
  pump::framer_testing::FramerRig rig_;
  const std::vector<std::uint32_t>& symbols_;
  std::size_t next_ = 0;
};

class SpandspReceiver {
 public:
  explicit SpandspReceiver(const Bits& bits)
      : bits_(bits), state_(hdlc_rx_init(nullptr, 0, 1, 1, &SpandspReceiver::OnFrame, this)) {}
  ~SpandspReceiver() { hdlc_rx_free(state_); }
  void Block() {
    for (int b = 0; b < kBitsPerBlock; ++b) {
      hdlc_rx_put_bit(state_, bits_[next_]);
      next_ = next_ + 1 == bits_.size() ? 0 : next_ + 1;
    }
  }

 private:
  static void OnFrame(void* user, const std::uint8_t*, int len, int) {
    if (len >= 0) ++static_cast<SpandspReceiver*>(user)->frames_;
  }
  const Bits& bits_;
  hdlc_rx_state_t* state_;
  std::size_t next_ = 0;
  std::size_t frames_ = 0;
};

class OurTransmitter {
 public:
  OurTransmitter() : frames_(Frames()) { pump::InitFramerTx(rig_.Context(), pump::kFramerHdlc); }
  void Block() {
    if (rig_.SendQueueEmpty()) Queue();
    for (int call = 0; call < kBitsPerBlock / kBitsPerCall; ++call) {
      benchmark::DoNotOptimize(pump::FramerGetTxBits(rig_.Context(), kBitsPerCall));
    }
  }

 private:
  // One frame as the controller writes it: blocks of 32, the last of kind 1.
  void Queue() {
    const Bytes& frame = frames_[next_];
    next_ = next_ + 1 == frames_.size() ? 0 : next_ + 1;
    for (std::size_t at = 0; at < frame.size(); at += 32) {
      const std::size_t n = std::min<std::size_t>(32, frame.size() - at);
      rig_.Send(at + n == frame.size() ? pump::kKindEndOfFrame : 0,
                Bytes(frame.begin() + static_cast<std::ptrdiff_t>(at),
                      frame.begin() + static_cast<std::ptrdiff_t>(at + n)));
    }
  }
  pump::framer_testing::FramerRig rig_;
  std::vector<Bytes> frames_;
  std::size_t next_ = 0;
};

class SpandspTransmitter {
 public:
  SpandspTransmitter()
      : frames_(Frames()),
        state_(hdlc_tx_init(nullptr, 0, 1, 0, &SpandspTransmitter::OnEmpty, this)) {}
  ~SpandspTransmitter() { hdlc_tx_free(state_); }
  void Block() {
    for (int b = 0; b < kBitsPerBlock; ++b) benchmark::DoNotOptimize(hdlc_tx_get_bit(state_));
  }

 private:
  static void OnEmpty(void* user) {
    auto* self = static_cast<SpandspTransmitter*>(user);
    const Bytes& frame = self->frames_[self->next_];
    self->next_ = self->next_ + 1 == self->frames_.size() ? 0 : self->next_ + 1;
    hdlc_tx_frame(self->state_, frame.data(), frame.size());
  }
  std::vector<Bytes> frames_;
  hdlc_tx_state_t* state_;
  std::size_t next_ = 0;
};

// The framer and the rig allocate nothing from the pool; the resampler's
// block does. Each benchmark has a pool of its own.
struct BenchPool {
  plat::ex::Pool pool{"bench"};
  plat::ex::ScopedPool installed{pool};
};

void BM_FramerHdlcReceive(benchmark::State& state) {
  BenchPool pool;
  const Bits bits = HdlcStream();
  const std::vector<std::uint32_t> symbols = Symbols(bits);
  OurReceiver ours(symbols);
  for (auto _ : state) ours.Block();
  if (ours.Blocks() == 0) state.SkipWithError("no frame arrived");
  OurReceiver paired_ours(symbols);
  SpandspReceiver theirs(bits);
  state.counters["vs_spandsp"] =
      vx_bench::PairedRatio([&] { paired_ours.Block(); }, [&] { theirs.Block(); });
}
BENCHMARK(BM_FramerHdlcReceive)->Name("BM_FramerHdlc/receive")->Unit(benchmark::kNanosecond);

void BM_FramerHdlcTransmit(benchmark::State& state) {
  BenchPool pool;
  OurTransmitter ours;
  for (auto _ : state) ours.Block();
  OurTransmitter paired_ours;
  SpandspTransmitter theirs;
  state.counters["vs_spandsp"] =
      vx_bench::PairedRatio([&] { paired_ours.Block(); }, [&] { theirs.Block(); });
}
BENCHMARK(BM_FramerHdlcTransmit)->Name("BM_FramerHdlc/transmit")->Unit(benchmark::kNanosecond);

// ---- the resampler ------------------------------------------------------------

constexpr std::int32_t kCodes[] = {72,   102,  488,  848,   4880,  4896,  7280,  7296, 8048,
                                   8072, 8096, 9680, 11080, 11096, 72801, 80110, 96110};

void ResampleBlocks(benchmark::State& state, std::int32_t code, std::int32_t column) {
  BenchPool pool;
  qvls_test::ScopedSlots slots(column);
  std::uint8_t* block = nullptr;
  if (!slots.installed() || !pump::AllocResampler(block)) {
    state.SkipWithError("no resampler");
    return;
  }
  auto r = std::make_unique<pump::Resampler>();
  pump::InitResampler(*r, block);
  pump::ConfigureResampler(*r, code);
  std::vector<std::int16_t> input(static_cast<std::size_t>(r->input_length));
  for (std::size_t i = 0; i < input.size(); ++i)
    input[i] = static_cast<std::int16_t>((i * 7919) % 20000 - 10000);
  std::vector<std::int16_t> output(pump::kResamplerBufferSamples);
  for (auto _ : state) {
    benchmark::DoNotOptimize(pump::Resample(*r, input, output, r->phase, 0));
    benchmark::ClobberMemory();
  }
  state.counters["samples_in"] = r->input_length;
  pump::FreeResampler(block);
}

const int kResampleRegistration = [] {
  for (std::int32_t code : kCodes) {
    for (const auto& [column, tag] :
         {std::pair{QVLS_VARIANT_W7, "w7"}, std::pair{QVLS_VARIANT_PX, "px"}}) {
      benchmark::RegisterBenchmark(
          ("BM_Resample/" + std::to_string(code) + "/" + tag).c_str(),
          [code, column = column](benchmark::State& state) { ResampleBlocks(state, code, column); })
          ->Unit(benchmark::kMicrosecond);
    }
  }
  return 0;
}();

}  // namespace

BENCHMARK_MAIN();
