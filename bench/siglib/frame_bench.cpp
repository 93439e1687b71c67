// The cost of the frame: a call through a jump entry (load the slot, jump to
// the entry) against a direct call of the same entry. The arguments fail the
// operation's first check, so the numbers are dispatch and little else.
#include "bench/siglib/siglib_bench.h"
#include "siglib/qvls.h"
#include "siglib/tests/support/scoped_slots.h"

namespace {

const qvls_bench::Registration kFrame([] {
  qvls_bench::RegisterPerVariant(
      "Frame", "JumpEntry", qvls_variant_table.qvlsCopy_u8, {0},
      [](benchmark::State& state, std::int32_t column, qvlsCopy_u8_fn*, std::int64_t) {
        qvls_test::ScopedSlots installed(column);
        for (auto _ : state) benchmark::DoNotOptimize(qvlsCopy_u8(nullptr, nullptr, 0));
      });
  qvls_bench::RegisterPerVariant(
      "Frame", "Direct", qvls_variant_table.qvlsCopy_u8, {0},
      [](benchmark::State& state, std::int32_t, qvlsCopy_u8_fn* entry, std::int64_t) {
        for (auto _ : state) {
          benchmark::DoNotOptimize(entry);
          benchmark::DoNotOptimize(entry(nullptr, nullptr, 0));
        }
      });
});

}  // namespace
