// The exchange carrying a connected call. Reported, never asserted:
//   BM_ExchangeCall          host CPU time per virtual second of a V.22bis
//                            call at 2400 bit/s between two spandsp peers
//                            through the exchange, on lines with loss, noise
//                            and hybrid echo, data flowing both ways;
//   BM_PeersOnOneLine        the same two peers straight on one such line,
//                            without the exchange: what the exchange and the
//                            second line add is the difference.
#include <benchmark/benchmark.h>

#include <memory>
#include <vector>

#include "platform/line/exchange/exchange.h"
#include "platform/line/peers/data_peer.h"
#include "platform/line/peers/subscriber_loop.h"

namespace {

using plat::line::Line;
using plat::line::LineSamplesInMs;
using plat::line::Side;
namespace peers = plat::line::peers;

constexpr std::int64_t kSecond = 8000;

// Enough data both ways to keep the modems busy for the whole run.
peers::ByteScript Busy(std::uint8_t fill) {
  return peers::ByteScript()
      .Send(std::vector<std::uint8_t>(1 << 20, fill))
      .Expect(std::vector<std::uint8_t>(1 << 20, static_cast<std::uint8_t>(~fill)), 3'600'000);
}

// Runs `line` a second at a time until both peers' scripts started; false
// when they do not within a minute.
bool Connect(Line& line, const peers::DataPeer& a, const peers::DataPeer& b, std::int64_t& at) {
  for (; at < 60 * kSecond; at += kSecond) {
    line.RunUntil(at);
    if (a.script().started() && b.script().started()) return true;
  }
  return false;
}

void BM_ExchangeCall(benchmark::State& state) {
  Line a_line(peers::SubscriberLoop(1)), b_line(peers::SubscriberLoop(2));
  plat::line::exchange::ExchangeConfig config;
  config.subscribers = {{.number = "5551001", .line = &a_line}, {.number = "5551002", .line = &b_line}};
  auto built = plat::line::exchange::Exchange::Build(config);
  peers::DataPeer a(a_line, Side::kA,
                    {.start = {.role = peers::CallStart::Role::kOriginate, .number = "5551002"},
                     .script = Busy(0x0F)});
  peers::DataPeer b(b_line, Side::kA, {.start = {.rings = 1}, .script = Busy(0xF0)});
  std::int64_t at = kSecond;
  if (!built.ok() || !Connect(a_line, a, b, at)) {
    state.SkipWithError("the call did not connect");
    return;
  }
  for (auto _ : state) a_line.RunUntil(at += kSecond);
  if (a.failed() || b.failed()) state.SkipWithError("the data went wrong");
  state.counters["virtual_s_per_cpu_s"] =
      benchmark::Counter(1.0, benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_ExchangeCall)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime();

void BM_PeersOnOneLine(benchmark::State& state) {
  Line line(peers::SubscriberLoop(1));
  peers::DataPeer a(line, Side::kA,
                    {.start = {.role = peers::CallStart::Role::kOriginate, .ring_far_end = true},
                     .script = Busy(0x0F)});
  peers::DataPeer b(line, Side::kB, {.start = {.rings = 1}, .script = Busy(0xF0)});
  std::int64_t at = kSecond;
  if (!Connect(line, a, b, at)) {
    state.SkipWithError("the call did not connect");
    return;
  }
  for (auto _ : state) line.RunUntil(at += kSecond);
  if (a.failed() || b.failed()) state.SkipWithError("the data went wrong");
  state.counters["virtual_s_per_cpu_s"] =
      benchmark::Counter(1.0, benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_PeersOnOneLine)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime();

}  // namespace

BENCHMARK_MAIN();
