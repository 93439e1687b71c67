// The fax transmitters per 10 ms block (96 samples at 9600 Hz) in data,
// beside spandsp's transmitters over the same line time (80 samples at
// 8000 Hz). Reported, never asserted:
//   BM_FaxTx/<row>  one block of V17Tx, V29Tx or V27Tx in the data state
//                   with the framer idling on marks; vs_spandsp = our CPU
//                   time / v17_tx's, v29_tx's or v27ter_tx's.
//   BM_FaxRx/<row>  one block of FaxRx in data (our transmitter's line, the
//                   test training table, data output off); vs_spandsp = our
//                   CPU time / v17_rx's, v29_rx's or v27ter_rx's, fed by
//                   its own transmitter.
// Rows: 0 V.27ter 2400, 1 V.27ter 4800, 2 V.29 4800, 3 V.29 7200,
// 4 V.29 9600, 5 V.17 7200, 6 V.17 9600, 7 V.17 12000, 8 V.17 14400.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <random>
#include <vector>

#include "bench/support/paired_ratio.h"
#include "pump/fax/fax_configure.h"
#include "pump/tests/support/fax_rx_line_rig.h"
#include "pump/tests/support/pump_harness.h"
#include "pump/tests/support/spandsp_headers.h"
#include <spandsp/v17tx.h>
#include <spandsp/v27ter_tx.h>
#include <spandsp/complex.h>
#include <spandsp/v29rx.h>
#include <spandsp/v17rx.h>
#include <spandsp/v27ter_rx.h>
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

int SeededBit(void* user) { return static_cast<int>((*static_cast<std::mt19937*>(user))() & 1); }
void DropBit(void*, int) {}

void BM_FaxRx(benchmark::State& state) {
  const FaxRow& row = kRows[state.range(0)];
  const std::vector<std::int16_t> line =
      pump::testing::FaxRxTransmitted(row.config, pump::testing::FaxRxSeededBytes(3000, 4340));
  const std::uint16_t mode_word = pump::testing::FaxRxModeWord(row.config);
  PumpHarness harness;
  harness.Run([&] {
    harness.Controller().Exchange(0x60, {0});
    harness.Controller().Exchange(0x73, {row.config, 0x04});
    DspContext& context = harness.Context();
    const pump::testing::FaxRxTestTraining table(pump::testing::FaxRxPlanFor(mode_word, pump::testing::kFaxRxToneStart));
    table.Start(context);
    const std::size_t blocks = line.size() / pump::kBlockSamples;
    std::size_t at = 0;
    const auto run_block = [&] {
      std::copy_n(line.begin() + static_cast<std::ptrdiff_t>(at * pump::kBlockSamples), pump::kBlockSamples, context.input_block);
      pump::RunStateMachine(context, context.rx);
    };
    // Into data, then 20 blocks on; the timed blocks cycle over the next 60.
    while (at < blocks && context.fax.rx.enables.data_output == 0) {
      run_block();
      ++at;
    }
    context.fax.rx.enables.data_output = 0;
    const std::size_t first = std::min(at + 20, blocks - 60);
    at = first;
    const auto ours = [&] {
      run_block();
      at = at + 1 < first + 60 ? at + 1 : first;
    };
    std::mt19937 bits(4341);
    std::vector<std::int16_t> theirs_line(400 * kLineBlock);
    v17_rx_state_t* v17 = nullptr;
    v29_rx_state_t* v29 = nullptr;
    v27ter_rx_state_t* v27 = nullptr;
    switch (row.modem) {
      case Modem::kV17: {
        v17_tx_state_t* tx = v17_tx_init(nullptr, row.bit_rate, true, SeededBit, &bits);
        v17_tx(tx, theirs_line.data(), static_cast<int>(theirs_line.size()));
        v17_tx_free(tx);
        v17 = v17_rx_init(nullptr, row.bit_rate, DropBit, nullptr);
        v17_rx(v17, theirs_line.data(), 300 * kLineBlock);
        break;
      }
      case Modem::kV29: {
        v29_tx_state_t* tx = v29_tx_init(nullptr, row.bit_rate, true, SeededBit, &bits);
        v29_tx(tx, theirs_line.data(), static_cast<int>(theirs_line.size()));
        v29_tx_free(tx);
        v29 = v29_rx_init(nullptr, row.bit_rate, DropBit, nullptr);
        v29_rx(v29, theirs_line.data(), 300 * kLineBlock);
        break;
      }
      case Modem::kV27ter: {
        v27ter_tx_state_t* tx = v27ter_tx_init(nullptr, row.bit_rate, true, SeededBit, &bits);
        v27ter_tx(tx, theirs_line.data(), static_cast<int>(theirs_line.size()));
        v27ter_tx_free(tx);
        v27 = v27ter_rx_init(nullptr, row.bit_rate, DropBit, nullptr);
        v27ter_rx(v27, theirs_line.data(), 300 * kLineBlock);
        break;
      }
    }
    int theirs_at = 300;
    const auto theirs = [&] {
      std::int16_t* block = theirs_line.data() + theirs_at * kLineBlock;
      if (v17 != nullptr) v17_rx(v17, block, kLineBlock);
      if (v29 != nullptr) v29_rx(v29, block, kLineBlock);
      if (v27 != nullptr) v27ter_rx(v27, block, kLineBlock);
      theirs_at = theirs_at + 1 < 400 ? theirs_at + 1 : 300;
    };
    for (auto _ : state) ours();
    state.counters["vs_spandsp"] = vx_bench::PairedRatio(ours, theirs);
    if (v17 != nullptr) v17_rx_free(v17);
    if (v29 != nullptr) v29_rx_free(v29);
    if (v27 != nullptr) v27ter_rx_free(v27);
  });
}
BENCHMARK(BM_FaxRx)->DenseRange(0, 8);

}  // namespace

BENCHMARK_MAIN();
