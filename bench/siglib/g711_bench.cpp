// The G.711 coders over the voice path's blocks of 80 and 160 samples.
#include <cstdint>

#include "bench/siglib/siglib_bench.h"
#include "siglib/frame/slots.h"

namespace {

constexpr std::int32_t kMaxElements = 160;

struct alignas(64) Block {
  std::uint8_t codes[kMaxElements];
  std::int16_t samples[kMaxElements];
};

Block RandomBlock() {
  Block b{};
  qvls_bench::FillRandom(b.codes, 19, 0, 255);
  qvls_bench::FillRandom(b.samples, 20, -32768, 32767);
  return b;
}

template <class Fn>
void RegisterDecode(const char* name, const qvls_variant_record<Fn>& record) {
  qvls_bench::RegisterPerVariant(
      "G711", name, record, {80, 160},
      [](benchmark::State& state, std::int32_t, Fn* decode, std::int64_t n) {
        Block b = RandomBlock();
        for (auto _ : state) {
          benchmark::DoNotOptimize(decode(b.codes, b.samples, static_cast<std::int32_t>(n)));
          benchmark::ClobberMemory();
        }
      });
}

template <class Fn>
void RegisterEncode(const char* name, const qvls_variant_record<Fn>& record) {
  qvls_bench::RegisterPerVariant(
      "G711", name, record, {80, 160},
      [](benchmark::State& state, std::int32_t, Fn* encode, std::int64_t n) {
        Block b = RandomBlock();
        for (auto _ : state) {
          benchmark::DoNotOptimize(encode(b.samples, b.codes, static_cast<std::int32_t>(n)));
          benchmark::ClobberMemory();
        }
      });
}

const qvls_bench::Registration kG711([] {
  const auto& t = qvls_variant_table;
  RegisterDecode("ALawDecode", t.qvlsALawDecode_u8toi16);
  RegisterDecode("MuLawDecode", t.qvlsMuLawDecode_u8toi16);
  RegisterEncode("ALawEncode", t.qvlsALawEncode_i16tou8);
  RegisterEncode("MuLawEncode", t.qvlsMuLawEncode_i16tou8);
});

}  // namespace
