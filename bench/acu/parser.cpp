// Host time per command of a typical initialisation line through the AT
// parser: pre-processing, the search over a basic and an extended table,
// the argument parse and the separator rules. Reported, never asserted.
#include <benchmark/benchmark.h>

#include <cstring>

#include "controller/acu/at_parser.h"

namespace vxctl {
namespace {

using K = AtArgumentKind;

void Ignore(AtParser&, const std::uint8_t*) {}

constexpr std::uint8_t kReq = AtEntryFlag::RequireSeparator;

constexpr at_command_entry kBasicTable[] = {
    {"&C", Ignore, K::Decimal8, 0},  {"&D", Ignore, K::Decimal8, 0},
    {"&F", Ignore, K::Decimal8, 0},  {"&K", Ignore, K::Decimal8, 0},
    {"&W", Ignore, K::Decimal8, 0},  {"D", Ignore, K::DialText, 0},
    {"E", Ignore, K::Decimal8, 0},   {"H", Ignore, K::Decimal8, 0},
    {"L", Ignore, K::Decimal8, 0},   {"M", Ignore, K::Decimal8, 0},
    {"Q", Ignore, K::Decimal8, 0},   {"S", Ignore, K::Decimal8, 0},
    {"=", Ignore, K::Decimal8, 0},   {"?", Ignore, K::None, 0},
    {"V", Ignore, K::Decimal8, 0},   {"X", Ignore, K::Decimal8, 0},
    {"Z", Ignore, K::Decimal8, 0},   kAtTableEnd,
};
constexpr at_command_entry kExtendedTable[] = {
    {"+MS=", Ignore, K::TextToSeparator, kReq}, {"+MS?", Ignore, K::None, kReq},
    {"+ES=", Ignore, K::DecimalList8, kReq},    {"+ES?", Ignore, K::None, kReq},
    {"+DS=", Ignore, K::DecimalList16, kReq},   {"+IFC=", Ignore, K::DecimalList8, kReq},
    {"+MR=", Ignore, K::Decimal8, kReq},        {"+ER=", Ignore, K::Decimal8, kReq},
    {"+DR=", Ignore, K::Decimal8, kReq},        kAtTableEnd,
};

// The line after "AT": 19 commands (S0=0 is "S" and "=").
constexpr char kInitLine[] =
    "&F E0 V1 Q0 X4 &C1 &D2 S0=0 S7=60 M1 L2 +MS=V90,1,300,56000;+ES=3,,2;+DS=3,0,2048,32;+MR=1;"
    "+ER=1;+DR=1";
constexpr int kCommands = 19;

void BM_ParseLine(benchmark::State& state) {
  AtParser parser;
  parser.TableOp(AtStackOp::Push, kBasicTable);
  parser.TableOp(AtStackOp::Push, kExtendedTable);
  char line[sizeof(kInitLine)];
  int ran = 0;
  for (auto _ : state) {
    std::memcpy(line, kInitLine, sizeof(kInitLine));
    parser.BeginLine(line);
    while (parser.RunNext() == kAtRan) ++ran;
    benchmark::DoNotOptimize(parser.Argument());
  }
  if (ran != kCommands * static_cast<int>(state.iterations())) state.SkipWithError("line failed");
  state.SetItemsProcessed(state.iterations() * kCommands);
  state.counters["ns_per_command"] = benchmark::Counter(
      static_cast<double>(state.iterations() * kCommands),
      benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_ParseLine);

}  // namespace
}  // namespace vxctl

BENCHMARK_MAIN();
