// Copy, zero and fill per variant from 96 bytes to 1 MB. Copy.offN reads
// from a source N bytes past a 64-byte boundary into an aligned
// destination; Zero.offN and Fill.offN write to a destination N bytes past
// one. Sizes are in bytes (a fill of n bytes writes n / 4 elements).
#include <cstdint>
#include <string>
#include <vector>

#include "bench/siglib/siglib_bench.h"
#include "siglib/memory/memory.h"

namespace {

constexpr std::size_t kOffsets[] = {0, 1, 8};
constexpr std::initializer_list<std::int64_t> kBytes = {96, 2048, 16384, 262144, 1048576};

// n bytes starting `offset` bytes past a 64-byte boundary, filled with a pattern.
class Block {
 public:
  Block(std::int64_t n, std::size_t offset) : storage_(static_cast<std::size_t>(n) + 128, 0x5A) {
    const auto address = reinterpret_cast<std::uintptr_t>(storage_.data());
    start_ = storage_.data() + ((64 - (address & 63)) & 63) + offset;
  }
  std::uint8_t* data() { return start_; }

 private:
  std::vector<std::uint8_t> storage_;
  std::uint8_t* start_;
};

std::string WithOffset(const char* op, std::size_t offset) {
  return std::string(op) + ".off" + std::to_string(offset);
}

const qvls_bench::Registration kMemory([] {
  for (std::size_t offset : kOffsets) {
    qvls_bench::RegisterPerVariant(
        "Memory", WithOffset("Copy", offset), qvls_variant_table.qvlsCopy_u8, kBytes,
        [offset](benchmark::State& state, std::int32_t, qvlsCopy_u8_fn* copy, std::int64_t n) {
          Block src(n, offset);
          Block dst(n, 0);
          for (auto _ : state) {
            benchmark::DoNotOptimize(copy(src.data(), dst.data(), static_cast<std::int32_t>(n)));
            benchmark::ClobberMemory();
          }
          state.SetBytesProcessed(state.iterations() * n);
        });
    qvls_bench::RegisterPerVariant(
        "Memory", WithOffset("Zero", offset), qvls_variant_table.qvlsZero_u8, kBytes,
        [offset](benchmark::State& state, std::int32_t, qvlsZero_u8_fn* zero, std::int64_t n) {
          Block dst(n, offset);
          for (auto _ : state) {
            benchmark::DoNotOptimize(zero(dst.data(), static_cast<std::int32_t>(n)));
            benchmark::ClobberMemory();
          }
          state.SetBytesProcessed(state.iterations() * n);
        });
    qvls_bench::RegisterPerVariant(
        "Memory", WithOffset("Fill", offset), qvls_variant_table.qvlsFill_i32, kBytes,
        [offset](benchmark::State& state, std::int32_t, qvlsFill_i32_fn* fill, std::int64_t n) {
          Block dst(n, offset);
          auto* words = reinterpret_cast<std::int32_t*>(dst.data());
          for (auto _ : state) {
            benchmark::DoNotOptimize(fill(0x01020304, words, static_cast<std::int32_t>(n / 4)));
            benchmark::ClobberMemory();
          }
          state.SetBytesProcessed(state.iterations() * (n / 4) * 4);
        });
  }
});

}  // namespace
