// The FSK modems and caller-ID receive, per 10 ms block (96 samples at
// 9600 Hz), beside spandsp on 80-sample blocks at 8000 Hz. Reported, never
// asserted:
//   BM_FskTx/<channel>  one block of FskTxData with the framer idling on
//                       marks; vs_spandsp = our CPU time / fsk_tx's on the
//                       same channel.
//   BM_FskRx/<channel>  FskRx over one block of our own transmitter's
//                       output; vs_spandsp = ours / fsk_rx's over
//                       fsk_tx's output.
//   BM_CallerIdRx       call-progress state 6 (FSK caller ID) over
//                       a CLASS message; vs_spandsp = ours / adsi_rx's.
// Channels: 0 V.21 ch1, 1 V.23 forward, 2 V.23 backward, 3 Bell 103.
#include <benchmark/benchmark.h>

#include <vector>

#include "bench/support/paired_ratio.h"
#include "pump/callprogress/call_progress.h"
#include "pump/fsk/fsk_rx.h"
#include "pump/fsk/fsk_start.h"
#include "pump/tests/support/pump_harness.h"
#include "pump/tests/support/spandsp_codec_rate.h"
#include "pump/tests/support/spandsp_headers.h"
#include <spandsp/adsi.h>
#include <spandsp/fsk.h>

namespace {

using pump::DspContext;
using pump::testing::PumpHarness;

constexpr std::size_t kBlock = 96;
constexpr int kLineBlock = 80;

struct Channel {
  int send_type;
  int hear_type;
  int spec;
};
constexpr Channel kChannels[] = {
    {pump::kFskV21Data, pump::kFskV21Data, FSK_V21CH1},
    {pump::kFskV23SendForward, pump::kFskV23SendBackward, FSK_V23CH1},
    {pump::kFskV23SendBackward, pump::kFskV23SendForward, FSK_V23CH2},
    {pump::kFskBell103Originate, pump::kFskBell103Answer, FSK_BELL103CH2},
};

int Ones(void*) { return 1; }
void Drop(void*, int) {}

void BM_FskTx(benchmark::State& state) {
  const Channel& c = kChannels[state.range(0)];
  PumpHarness harness;
  harness.Run([&] {
    harness.Controller().Exchange(0x60, {0});
    DspContext& context = harness.Context();
    context.call.direction = 1;
    pump::StartFsk(context, c.send_type);
    pump::RunStateMachine(context, context.tx);  // past FskWaitForRts
    const auto ours = [&] { pump::RunStateMachine(context, context.tx); };
    fsk_tx_state_t* tx = fsk_tx_init(nullptr, &preset_fsk_specs[c.spec], Ones, nullptr);
    std::int16_t out[kLineBlock];
    const auto theirs = [&] { fsk_tx(tx, out, kLineBlock); };
    for (auto _ : state) ours();
    state.counters["vs_spandsp"] = vx_bench::PairedRatio(ours, theirs);
    fsk_tx_free(tx);
  });
}
BENCHMARK(BM_FskTx)->DenseRange(0, 3);

void BM_FskRx(benchmark::State& state) {
  const Channel& c = kChannels[state.range(0)];
  std::vector<std::int16_t> line;
  {
    PumpHarness sender;
    sender.Run([&] {
      sender.Controller().Exchange(0x60, {0});
      sender.Context().call.direction = 1;
      pump::StartFsk(sender.Context(), c.send_type);
      sender.RunBlocks(100);
      line = sender.Afe().LineOutput();
    });
  }
  PumpHarness harness;
  harness.Run([&] {
    harness.Controller().Exchange(0x60, {0});
    DspContext& context = harness.Context();
    context.call.direction = 1;
    pump::StartFsk(context, c.hear_type);
    std::size_t at = 0;
    const auto ours = [&] {
      std::copy_n(line.begin() + static_cast<std::ptrdiff_t>(at), kBlock, context.input_block);
      at = (at + kBlock) % (line.size() - kBlock);
      pump::FskRx(context);
    };
    fsk_tx_state_t* tx = fsk_tx_init(nullptr, &preset_fsk_specs[c.spec], Ones, nullptr);
    std::vector<std::int16_t> line8(8000);
    fsk_tx(tx, line8.data(), static_cast<int>(line8.size()));
    fsk_rx_state_t* rx =
        fsk_rx_init(nullptr, &preset_fsk_specs[c.spec], FSK_FRAME_MODE_SYNC, Drop, nullptr);
    std::size_t at8 = 0;
    const auto theirs = [&] {
      fsk_rx(rx, line8.data() + at8, kLineBlock);
      at8 = (at8 + kLineBlock) % (line8.size() - kLineBlock);
    };
    for (auto _ : state) ours();
    state.counters["vs_spandsp"] = vx_bench::PairedRatio(ours, theirs);
    fsk_rx_free(rx);
    fsk_tx_free(tx);
  });
}
BENCHMARK(BM_FskRx)->DenseRange(0, 3);

void DropMessage(void*, const std::uint8_t*, int) {}

void BM_CallerIdRx(benchmark::State& state) {
  adsi_tx_state_t* tx = adsi_tx_init(nullptr, ADSI_STANDARD_CLASS);
  std::uint8_t msg[64];
  int len = adsi_add_field(tx, msg, -1, CLASS_MDMF_CALLERID, nullptr, 0);
  len = adsi_add_field(tx, msg, len, 0x02, reinterpret_cast<const std::uint8_t*>("5551234"), 7);
  adsi_tx_put_message(tx, msg, len);
  std::vector<std::int16_t> line8(8000 * 2);
  adsi_tx(tx, line8.data(), static_cast<int>(line8.size()));
  adsi_tx_free(tx);
  adsi_tx_state_t* tx2 = adsi_tx_init(nullptr, ADSI_STANDARD_CLASS);
  adsi_tx_put_message(tx2, msg, len);
  pump::testing::SpandspSource source([&](std::span<std::int16_t> out) {
    return adsi_tx(tx2, out.data(), static_cast<int>(out.size()));
  });
  const std::vector<std::int16_t> line = source.Take(9600 * 2);
  adsi_tx_free(tx2);
  PumpHarness harness;
  harness.Run([&] {
    harness.Controller().Exchange(0x60, {0});
    harness.Controller().Exchange(0x65, {0, 1});
    harness.Controller().Exchange(0x93, {3, 0, 0});  // state 6: the receiver runs every block
    DspContext& context = harness.Context();
    std::size_t at = 0;
    const auto ours = [&] {
      std::copy_n(line.begin() + static_cast<std::ptrdiff_t>(at), kBlock, context.input_block);
      at = (at + kBlock) % (line.size() - kBlock);
      pump::CallProgressHandler(context);
    };
    adsi_rx_state_t* rx = adsi_rx_init(nullptr, ADSI_STANDARD_CLASS, DropMessage, nullptr);
    std::size_t at8 = 0;
    const auto theirs = [&] {
      adsi_rx(rx, line8.data() + at8, kLineBlock);
      at8 = (at8 + kLineBlock) % (line8.size() - kLineBlock);
    };
    for (auto _ : state) ours();
    state.counters["vs_spandsp"] = vx_bench::PairedRatio(ours, theirs);
    adsi_rx_free(rx);
  });
}
BENCHMARK(BM_CallerIdRx);

}  // namespace
BENCHMARK_MAIN();
