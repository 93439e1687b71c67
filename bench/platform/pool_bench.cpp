#include <benchmark/benchmark.h>

#include "platform/ex/expool.h"

namespace {

void BM_PoolAllocateFree(benchmark::State& state) {
  plat::ex::Pool pool("bench");
  plat::ex::ScopedPool scope(pool);
  const auto bytes = static_cast<SIZE_T>(state.range(0));
  for (auto _ : state) {
    void* p = ExAllocatePoolWithTag(NonPagedPool, bytes, plat::ex::PoolTag("Ddk "));
    benchmark::DoNotOptimize(p);
    ExFreePool(p);
  }
}
BENCHMARK(BM_PoolAllocateFree)->Arg(64)->Arg(4096);

}  // namespace

BENCHMARK_MAIN();
