// Workload models: the signal-library calls of one 10 ms block of a receiver,
// replayed through one variant's entries (taken from the variant table; no
// slot is switched while timing). One iteration is one block, so the time
// per iteration is the CPU time per block, and 10 ms divided by it is the
// real-time factor. The mix is a model of the data pump's receivers, until
// the data pump's own per-block benchmark replaces it:
//
// Workload/V34Receiver/<variant>/96: V.34 at 9600 Hz and 3429 baud, 96
// samples, 34 symbols, 17 4D symbols per block.
// - per block: real FIR blocks of 96 samples with 48 (two), 49, 55 and 16
//   taps, and a complex 48-tap block;
// - per symbol: six complex 48-tap echo LMS filters (push, output, update),
//   the complex 72-tap equaliser (delay step 2, update delay 6: three pushes,
//   output, update), the complex 120-tap filter (delay step 1, update delay
//   3: push, output, update) and the real 60-tap predictor (push, output,
//   update);
// - per 4D symbol: the trellis decoder's two 2D metrics, one 4D metric and
//   one add-compare-select at 64 states (with its normalisation);
// - per block: a dot product and an L2 norm over 96 samples.
//
// Workload/V32bisReceiver/<variant>/72: V.32bis at 7200 Hz and 2400 baud, 72
// samples and 24 symbols per block.
// - per symbol: the complex 48-tap equaliser (delay step 2: two pushes,
//   output, update);
// - per sample: the near and the far echo canceller, complex 32-tap LMS
//   filters (output and update each);
// - per block: real FIR blocks of 72 samples with 19 taps (two) and 9 taps
//   (three).
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "bench/siglib/filter_states.h"
#include "bench/siglib/siglib_bench.h"
#include "bench/siglib/trellis_inputs.h"
#include "siglib/frame/slots.h"

namespace {

using qvls_bench::FirState;
using qvls_bench::LmsState;

constexpr std::int32_t kSf = 16;

// Samples and errors that the calls take, cycled.
struct Feed {
  explicit Feed(std::size_t n)
      : samples(qvls_bench::RandomSamples(2 * n, 21)), errors(qvls_bench::RandomSamples(64, 22)) {
    for (auto& e : errors) e = static_cast<std::int16_t>(e / 10);
    for (std::size_t k = 0; k < n; ++k) complex.push_back({samples[2 * k], samples[2 * k + 1]});
  }
  qvls_ci16 Complex(std::size_t k) const { return complex[k % complex.size()]; }
  std::int32_t Error(std::size_t k) const { return errors[k % errors.size()]; }

  std::vector<std::int16_t> samples;
  std::vector<std::int16_t> errors;
  std::vector<qvls_ci16> complex;
};

// One column's LMS entries.
struct LmsCalls {
  explicit LmsCalls(std::int32_t column)
      : push_c(qvls_variant_table.qvlsLMSPush_ci16.entry[column]),
        output_c(qvls_variant_table.qvlsLMSOutput_ci16.entry[column]),
        update_c(qvls_variant_table.qvlsLMSUpdate_ci16.entry[column]),
        push_r(qvls_variant_table.qvlsLMSPush_i16.entry[column]),
        output_r(qvls_variant_table.qvlsLMSOutput_i16.entry[column]),
        update_r(qvls_variant_table.qvlsLMSUpdate_i16.entry[column]) {}

  // `pushes` samples in, the output, an update, on a complex filter.
  void Complex(const LmsState& lms, const Feed& feed, std::size_t& k, std::int32_t pushes) const {
    for (std::int32_t p = 0; p < pushes; ++p) push_c(feed.Complex(k++), lms.get());
    qvls_ci32 out;
    output_c(&out, lms.get());
    benchmark::DoNotOptimize(out);
    update_c(feed.Error(k), feed.Error(k + 1), lms.get());
  }

  qvlsLMSPush_ci16_fn* push_c;
  qvlsLMSOutput_ci16_fn* output_c;
  qvlsLMSUpdate_ci16_fn* update_c;
  qvlsLMSPush_i16_fn* push_r;
  qvlsLMSOutput_i16_fn* output_r;
  qvlsLMSUpdate_i16_fn* update_r;
};

class V34Receiver {
 public:
  static constexpr std::int32_t kSamples = 96;
  static constexpr std::int32_t kSymbols = 34;

  explicit V34Receiver(std::int32_t column)
      : column_(column),
        lms_(column),
        block_(qvls_variant_table.qvlsFIRBlock_i16.entry[column]),
        block_c_(qvls_variant_table.qvlsFIRBlock_ci16.entry[column]),
        dot_(qvls_variant_table.qvlsDot_i16toi32_sc.entry[column]),
        norm_(qvls_variant_table.qvlsNormL2_i16toi32_sc.entry[column]),
        fir_c_(column, 48, true),
        equaliser_(column, true, 72, 2, 6),
        filter120_(column, true, 120, 1, 3),
        predictor_(column, false, 60, 1, 0),
        trellis_(64),
        feed_(kSamples),
        out_(kSamples),
        out_c_(kSamples) {
    for (std::int64_t taps : {48, 48, 49, 55, 16}) {
      fir_.push_back(std::make_unique<FirState>(column, taps, false));
    }
    for (int e = 0; e < 6; ++e) echo_.push_back(std::make_unique<LmsState>(column, true, 48, 1, 0));
  }

  void Block() {
    for (const auto& fir : fir_)
      block_(feed_.samples.data(), out_.data(), kSamples, fir->get(), kSf);
    block_c_(feed_.complex.data(), out_c_.data(), kSamples, fir_c_.get(), kSf);
    for (std::int32_t symbol = 0; symbol < kSymbols; ++symbol) {
      for (const auto& echo : echo_) lms_.Complex(*echo, feed_, k_, 1);
      lms_.Complex(equaliser_, feed_, k_, 3);
      lms_.Complex(filter120_, feed_, k_, 1);
      lms_.push_r(feed_.samples[k_ % kSamples], predictor_.get());
      std::int32_t out = 0;
      lms_.output_r(&out, predictor_.get());
      benchmark::DoNotOptimize(out);
      lms_.update_r(feed_.Error(k_++), predictor_.get());
      if (symbol % 2 == 1) trellis_.Step(column_, 2 * static_cast<std::size_t>(symbol));
    }
    std::int32_t dot = 0, norm = 0;
    dot_(feed_.samples.data(), out_.data(), kSamples, &dot, 8);
    norm_(out_.data(), kSamples, &norm, 0);
    benchmark::DoNotOptimize(dot);
    benchmark::DoNotOptimize(norm);
  }

 private:
  std::int32_t column_;
  LmsCalls lms_;
  qvlsFIRBlock_i16_fn* block_;
  qvlsFIRBlock_ci16_fn* block_c_;
  qvlsDot_i16toi32_sc_fn* dot_;
  qvlsNormL2_i16toi32_sc_fn* norm_;
  std::vector<std::unique_ptr<FirState>> fir_;
  FirState fir_c_;
  std::vector<std::unique_ptr<LmsState>> echo_;
  LmsState equaliser_;
  LmsState filter120_;
  LmsState predictor_;
  qvls_bench::TrellisInputs trellis_;
  Feed feed_;
  std::vector<std::int16_t> out_;
  std::vector<qvls_ci16> out_c_;
  std::size_t k_ = 0;
};

class V32bisReceiver {
 public:
  static constexpr std::int32_t kSamples = 72;
  static constexpr std::int32_t kSymbols = 24;

  explicit V32bisReceiver(std::int32_t column)
      : lms_(column),
        block_(qvls_variant_table.qvlsFIRBlock_i16.entry[column]),
        equaliser_(column, true, 48, 2, 0),
        near_echo_(column, true, 32, 1, 0),
        far_echo_(column, true, 32, 1, 0),
        feed_(kSamples),
        out_(kSamples) {
    for (std::int64_t taps : {19, 19, 9, 9, 9}) {
      fir_.push_back(std::make_unique<FirState>(column, taps, false));
    }
  }

  void Block() {
    for (std::int32_t sample = 0; sample < kSamples; ++sample) {
      for (const LmsState* echo : {&near_echo_, &far_echo_}) lms_.Complex(*echo, feed_, k_, 0);
      if (sample % 3 == 2) lms_.Complex(equaliser_, feed_, k_, 2);
    }
    for (const auto& fir : fir_)
      block_(feed_.samples.data(), out_.data(), kSamples, fir->get(), kSf);
  }

 private:
  LmsCalls lms_;
  qvlsFIRBlock_i16_fn* block_;
  LmsState equaliser_;
  LmsState near_echo_;
  LmsState far_echo_;
  std::vector<std::unique_ptr<FirState>> fir_;
  Feed feed_;
  std::vector<std::int16_t> out_;
  std::size_t k_ = 0;
};

template <class Receiver>
void RegisterWorkload(const char* name) {
  for (std::int32_t column = 0; column < qvls_variant_count; ++column) {
    const std::string full = std::string("Workload/") + name + "/" +
                             qvls_bench::kVariantTags[column] + "/" +
                             std::to_string(Receiver::kSamples);
    benchmark::RegisterBenchmark(full.c_str(), [column](benchmark::State& state) {
      Receiver receiver(column);
      for (auto _ : state) {
        receiver.Block();
        benchmark::ClobberMemory();
      }
    });
  }
}

const qvls_bench::Registration kWorkloads([] {
  RegisterWorkload<V34Receiver>("V34Receiver");
  RegisterWorkload<V32bisReceiver>("V32bisReceiver");
});

}  // namespace
