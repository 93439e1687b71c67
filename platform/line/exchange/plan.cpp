#include "platform/line/exchange/plan.h"

namespace plat::line::exchange {

std::uint32_t ToneSpec::cycle_ms() const {
  std::uint32_t total = 0;
  for (const ToneSegment& s : segments) total += s.ms;
  return total;
}

CountryPlan UsPlan() {
  CountryPlan plan;
  plan.name = "US";
  plan.law = Companding::kMuLaw;
  // Precise tone plan levels per frequency; SIT is the vacant-code sequence.
  plan.dial = {"dial", -13.0, {{1000, {350.0, 440.0}}}};
  plan.ringback = {"ringback", -19.0, {{2000, {440.0, 480.0}}, {4000, {}}}};
  plan.busy = {"busy", -24.0, {{500, {480.0, 620.0}}, {500, {}}}};
  plan.reorder = {"reorder", -24.0, {{250, {480.0, 620.0}}, {250, {}}}};
  plan.sit = {"sit",
              -24.0,
              {{274, {913.8, 0.0}}, {274, {1370.6, 0.0}}, {380, {1776.7, 0.0}}, {1000, {}}}};
  plan.call_waiting = {"call waiting", -13.0, {{300, {440.0, 0.0}}, {9700, {}}}};
  plan.ring_ms = {2000, 4000};
  plan.hook = {.pulse_break_min_ms = 20,
               .pulse_break_max_ms = 120,
               .digit_make_ms = 300,
               .flash_min_ms = 300,
               .flash_max_ms = 1000};
  return plan;
}

CountryPlan EuropeanPlan() {
  CountryPlan plan;
  plan.name = "Europe";
  plan.law = Companding::kALaw;
  plan.dial = {"dial", -10.0, {{1000, {425.0, 0.0}}}};
  plan.ringback = {"ringback", -10.0, {{1000, {425.0, 0.0}}, {4000, {}}}};
  plan.busy = {"busy", -10.0, {{500, {425.0, 0.0}}, {500, {}}}};
  plan.reorder = {"reorder", -10.0, {{250, {425.0, 0.0}}, {250, {}}}};
  // Special information tone: 950, 1400 and 1800 Hz of 330 ms with short
  // gaps, then a second of silence.
  plan.sit = {"sit",
              -24.0,
              {{330, {950.0, 0.0}},
               {30, {}},
               {330, {1400.0, 0.0}},
               {30, {}},
               {330, {1800.0, 0.0}},
               {1000, {}}}};
  plan.call_waiting = {
      "call waiting", -10.0, {{200, {425.0, 0.0}}, {200, {}}, {200, {425.0, 0.0}}, {4400, {}}}};
  plan.ring_ms = {1000, 4000};
  plan.hook = {.pulse_break_min_ms = 20,
               .pulse_break_max_ms = 120,
               .digit_make_ms = 300,
               .flash_min_ms = 200,
               .flash_max_ms = 600};
  return plan;
}

}  // namespace plat::line::exchange
