// The fax transmitters per 10 ms block (96 samples at 9600 Hz) in data,
// beside spandsp's transmitters over the same line time (80 samples at
// 8000 Hz). Reported, never asserted:
//   BM_FaxTx/<row>  one block of V17Tx, V29Tx or V27Tx in the data state
//                   with the framer idling on marks; vs_spandsp = our CPU
//                   time / v17_tx's, v29_tx's or v27ter_tx's.
// Rows: 0 V.27ter 2400, 1 V.27ter 4800, 2 V.29 4800, 3 V.29 7200,
// 4 V.29 9600, 5 V.17 7200, 6 V.17 9600, 7 V.17 12000, 8 V.17 14400.
#include <benchmark/benchmark.h>

#include "bench/support/paired_ratio.h"
#include "pump/fax/fax_configure.h"
#include "pump/tests/support/pump_harness.h"
#include "pump/tests/support/spandsp_headers.h"
#include <spandsp/v17tx.h>
#include <spandsp/v27ter_tx.h>
#include <spandsp/v29tx.h>

namespace {

using pump::DspContext;
using pump::testing::PumpHarness;

constexpr int kLineBlock = 80;

enum class Modem { kV27ter, kV29, kV17 };

struct FaxRow {
  std::uint8_t config;  // command 0x73's byte 0
  Modem modem;
  int bit_rate;
};
constexpr FaxRow kRows[] = {
    {0xA4, Modem::kV27ter, 2400}, {0xA5, Modem::kV27ter, 4800}, {0xB5, Modem::kV29, 4800},
    {0xB6, Modem::kV29, 7200},    {0xB7, Modem::kV29, 9600},    {0xE5, Modem::kV17, 7200},
    {0xE7, Modem::kV17, 9600},    {0xE8, Modem::kV17, 12000},   {0xE9, Modem::kV17, 14400},
};

int Ones(void*) { return 1; }

void BM_FaxTx(benchmark::State& state) {
  const FaxRow& row = kRows[state.range(0)];
  PumpHarness harness;
  harness.Run([&] {
    harness.Controller().Exchange(0x60, {0});
    harness.Controller().Exchange(0x73, {row.config, 0x00});
    DspContext& context = harness.Context();
    while (context.transmitting == 0) pump::RunStateMachine(context, context.tx);  // the training
    const auto ours = [&] { pump::RunStateMachine(context, context.tx); };
    std::int16_t out[kLineBlock];
    v17_tx_state_t* v17 = nullptr;
    v29_tx_state_t* v29 = nullptr;
    v27ter_tx_state_t* v27 = nullptr;
    switch (row.modem) {
      case Modem::kV17:
        v17 = v17_tx_init(nullptr, row.bit_rate, true, Ones, nullptr);
        break;
      case Modem::kV29:
        v29 = v29_tx_init(nullptr, row.bit_rate, true, Ones, nullptr);
        break;
      case Modem::kV27ter:
        v27 = v27ter_tx_init(nullptr, row.bit_rate, true, Ones, nullptr);
        break;
    }
    const auto theirs = [&] {
      if (v17 != nullptr) v17_tx(v17, out, kLineBlock);
      if (v29 != nullptr) v29_tx(v29, out, kLineBlock);
      if (v27 != nullptr) v27ter_tx(v27, out, kLineBlock);
    };
    for (int k = 0; k < 300; ++k) theirs();  // past spandsp's training
    for (auto _ : state) ours();
    state.counters["vs_spandsp"] = vx_bench::PairedRatio(ours, theirs);
    if (v17 != nullptr) v17_tx_free(v17);
    if (v29 != nullptr) v29_tx_free(v29);
    if (v27 != nullptr) v27ter_tx_free(v27);
  });
}
BENCHMARK(BM_FaxTx)->DenseRange(0, 8);

}  // namespace

BENCHMARK_MAIN();
