// The LMS filters per sample at the data pump's shapes: 60 and 512 real taps
// (stride 1), 72 complex taps (stride 2, update delay 6) and 120 complex
// taps (stride 1, update delay 3). Each iteration is one sample's work:
// Push alone, PushOutput (a push, then the output) and PushUpdate (a push,
// then an update whose scaled error fits the kernels' 16-bit word), so the
// window start moves through every alignment as it does in use.
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "bench/siglib/siglib_bench.h"
#include "siglib/frame/slots.h"

namespace {

constexpr std::size_t kTable = 1024;  // samples, taps and errors, cycled

using Words = std::vector<std::int32_t>;

Words RandomWords(std::int32_t lo, std::int32_t hi, unsigned seed) {
  std::mt19937 engine(seed);
  std::uniform_int_distribution<std::int32_t> pick(lo, hi);
  Words v(kTable);
  for (auto& x : v) x = pick(engine);
  return v;
}

std::int16_t Word16(const Words& w, std::size_t i) {
  return static_cast<std::int16_t>(w[i % kTable]);
}

struct Real {
  static constexpr const char* kType = "_i16";
  using Out = std::int32_t;
  static constexpr auto kCreate = &qvls_variant_records::qvlsLMSCreate_i16;
  static constexpr auto kPush = &qvls_variant_records::qvlsLMSPush_i16;
  static constexpr auto kPushOutput = &qvls_variant_records::qvlsLMSPushOutput_i16;
  static constexpr auto kUpdate = &qvls_variant_records::qvlsLMSUpdate_i16;
  using Tap = std::int32_t;
  using Line = std::int16_t;
  static Tap TapAt(const Words& w, std::size_t i) { return w[i % kTable]; }
  static Line LineAt(const Words& w, std::size_t i) { return Word16(w, i); }
  static std::int32_t SampleAt(const Words& w, std::size_t i) { return w[i % kTable]; }
  static qvls_status Update(qvlsLMSUpdate_i16_fn* update, const Words& e, std::size_t i,
                            lms_state* s) {
    return update(e[i % kTable], s);
  }
};

struct Complex {
  static constexpr const char* kType = "_ci16";
  using Out = qvls_ci32;
  static constexpr auto kCreate = &qvls_variant_records::qvlsLMSCreate_ci16;
  static constexpr auto kPush = &qvls_variant_records::qvlsLMSPush_ci16;
  static constexpr auto kPushOutput = &qvls_variant_records::qvlsLMSPushOutput_ci16;
  static constexpr auto kUpdate = &qvls_variant_records::qvlsLMSUpdate_ci16;
  using Tap = qvls_ci32;
  using Line = qvls_ci16;
  static Tap TapAt(const Words& w, std::size_t i) { return {w[i % kTable], w[(i + 7) % kTable]}; }
  static Line LineAt(const Words& w, std::size_t i) { return {Word16(w, i), Word16(w, i + 3)}; }
  static qvls_ci16 SampleAt(const Words& w, std::size_t i) { return LineAt(w, i); }
  static qvls_status Update(qvlsLMSUpdate_ci16_fn* update, const Words& e, std::size_t i,
                            lms_state* s) {
    return update(e[i % kTable], e[(i + 1) % kTable], s);
  }
};

struct Shape {
  const char* suffix;
  std::int32_t delayStep;
  std::int32_t updateDelay;
};

// A state made with a column's create from random taps and history (step
// size 1000), taken down with that column's destroy.
template <class K>
class BenchState {
 public:
  BenchState(std::int32_t column, std::int32_t taps, const Shape& shape) {
    const Words tap_words = RandomWords(-(1 << 30), 1 << 30, 1);
    const Words sample_words = RandomWords(-20000, 20000, 2);
    std::vector<typename K::Tap> t(taps);
    std::vector<typename K::Line> line(taps * shape.delayStep + shape.updateDelay);
    for (std::size_t i = 0; i < t.size(); ++i) t[i] = K::TapAt(tap_words, i);
    for (std::size_t i = 0; i < line.size(); ++i) line[i] = K::LineAt(sample_words, i);
    (qvls_variant_table.*K::kCreate)
        .entry[column](&state_, t.data(), taps, line.data(), 0, shape.delayStep, shape.updateDelay,
                       1000);
    destroy_ = qvls_variant_table.qvlsLMSDestroy_i16.entry[column];
  }
  ~BenchState() { destroy_(state_); }
  BenchState(const BenchState&) = delete;
  BenchState& operator=(const BenchState&) = delete;

  lms_state* get() const { return state_; }

 private:
  lms_state* state_ = nullptr;
  qvlsLMSDestroy_i16_fn* destroy_ = nullptr;
};

template <class K>
void Register(const Shape& shape, std::initializer_list<std::int64_t> taps) {
  const std::string suffix = std::string(K::kType) + shape.suffix;
  qvls_bench::RegisterPerVariant(
      "Lms", "Push" + suffix, qvls_variant_table.*K::kPush, taps,
      [shape](benchmark::State& state, std::int32_t column, auto* push, std::int64_t n) {
        BenchState<K> filter(column, static_cast<std::int32_t>(n), shape);
        const Words samples = RandomWords(-32768, 32767, 3);
        std::size_t i = 0;
        for (auto _ : state)
          benchmark::DoNotOptimize(push(K::SampleAt(samples, i++), filter.get()));
      });
  qvls_bench::RegisterPerVariant(
      "Lms", "PushOutput" + suffix, qvls_variant_table.*K::kPushOutput, taps,
      [shape](benchmark::State& state, std::int32_t column, auto* push_output, std::int64_t n) {
        BenchState<K> filter(column, static_cast<std::int32_t>(n), shape);
        const Words samples = RandomWords(-32768, 32767, 3);
        std::size_t i = 0;
        typename K::Out out{};
        for (auto _ : state) {
          benchmark::DoNotOptimize(push_output(K::SampleAt(samples, i++), &out, filter.get()));
          benchmark::DoNotOptimize(out);
        }
      });
  qvls_bench::RegisterPerVariant(
      "Lms", "PushUpdate" + suffix, qvls_variant_table.*K::kUpdate, taps,
      [shape](benchmark::State& state, std::int32_t column, auto* update, std::int64_t n) {
        BenchState<K> filter(column, static_cast<std::int32_t>(n), shape);
        auto* push = (qvls_variant_table.*K::kPush).entry[column];
        const Words samples = RandomWords(-32768, 32767, 3);
        const Words errors = RandomWords(-20000, 20000, 4);
        std::size_t i = 0;
        for (auto _ : state) {
          push(K::SampleAt(samples, i), filter.get());
          benchmark::DoNotOptimize(K::Update(update, errors, i++, filter.get()));
        }
      });
}

const qvls_bench::Registration kLms([] {
  Register<Real>({"", 1, 0}, {60, 512});
  Register<Complex>({"_step2_delay6", 2, 6}, {72});
  Register<Complex>({"_step1_delay3", 1, 3}, {120});
});

}  // namespace
