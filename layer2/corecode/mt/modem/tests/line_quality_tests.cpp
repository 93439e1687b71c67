// The line-quality classes and the rate steps they drive over virtual
// 10 ms ticks, on the scripted data pump.
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <vector>

#include "controller/acu/acu_settings.h"
#include "layer2/corecode/mt/machine_state.h"
#include "layer2/corecode/mt/modem/modem_task.h"
#include "layer2/corecode/mt/modem/retrain.h"
#include "layer2/corecode/mt/modem/tests/modem_task_testing.h"
#include "layer2/corecode/mt/modem/tests/sent_commands.h"
#include "layer2/corecode/mt/modem_task/call_waiting_state.h"
#include "layer2/corecode/mt/modem_task/retrain_state.h"
#include "layer2/corecode/mt/services/call_settings.h"
#include "layer2/corecode/mt/tests/support/dsp_link_rig.h"

namespace vxctl::testing {
namespace {

// A 0xC6 reply: both V.34 rates 9600 (index 4), the error measure A and
// the bad-event count B.
FakeAnswer V34Figures(std::uint16_t a, std::uint16_t b) {
  const unsigned word = 4u << 2 | 4u << 6;
  return FakeAnswer::Reply(0xC6, {static_cast<std::uint8_t>(word), static_cast<std::uint8_t>(word >> 8),
                                  static_cast<std::uint8_t>(a), static_cast<std::uint8_t>(a >> 8),
                                  static_cast<std::uint8_t>(b), static_cast<std::uint8_t>(b >> 8), 0,
                                  0});
}

void OnLine(FakeDataPump& pump, std::uint8_t m, std::uint16_t rate) {
  PutTask(pump, kTaskConnected, kCodeConnected);
  ModemTaskState& task = MachineState<ModemTaskState>();
  task.modulation = m;
  task.tx_rate = rate;
  task.rx_rate = rate;
  task.call_limits = {2400, 14400, 4800, 14400};
}

// The class thresholds of V.34's figures, and register 55's bits 3-4 for
// the other modulations.
TEST(LineQuality, ClassesFromTheDataPump) {
  struct V34Case {
    std::uint16_t a, b;
    std::uint8_t q;
  };
  const V34Case v34[] = {{0x0A00, 0, 0}, {0x0A01, 0, 1}, {0x27FF, 4, 1}, {0x2800, 0, 2},
                         {0x47FF, 0, 2}, {0x4800, 0, 3}, {0, 5, 3},      {0, 0xFFFF, 3}};
  for (const V34Case& c : v34) {
    SCOPED_TRACE(::testing::Message() << std::hex << "A " << c.a << " B " << c.b);
    DspLinkRig rig;
    rig.Run([&](FakeDataPump& pump) {
      OnLine(pump, 18, 2400);
      pump.Script(0x91, V34Figures(c.a, c.b));
      EXPECT_EQ(ModemTask_LineQuality(), c.q);
      EXPECT_EQ(MachineState<ModemTaskState>().rx_rate, 9600) << "the rates are updated";
    });
  }
  for (std::uint8_t q = 0; q < 4; ++q) {
    DspLinkRig rig;
    rig.Run([&](FakeDataPump& pump) {
      OnLine(pump, 16, 9600);
      pump.SetRegister(55, static_cast<std::uint8_t>(q << 3 | 0xE7));
      EXPECT_EQ(ModemTask_LineQuality(), q);
      EXPECT_TRUE(SentCommands(pump).empty());
    });
  }
}

// A missing V.34 reply is no judgement (fair); a waiting call's tone makes
// the line fair whatever the data pump says.
TEST(LineQuality, NoReplyAndWaitingCallAreFair) {
  DspLinkRig rig;
  rig.Run([&](FakeDataPump& pump) {
    OnLine(pump, 18, 9600);
    pump.Script(0x91, FakeAnswer::Echo());
    EXPECT_EQ(ModemTask_LineQuality(), 1);
    pump.Script(0x91, V34Figures(0x4800, 0));
    MachineState<CallWaitingState>().flags = kCallWaitingToneSeen;
    EXPECT_EQ(ModemTask_LineQuality(), 1);
  });
}

// With LAPM running, the bad frames of a run-out 5 s window decide: 16 or
// more make a good line degraded; either way the count starts again in a
// new window, so one bad window does not hold the call degraded.
TEST(LineQuality, FrameErrorsInTheWindow) {
  struct Case {
    std::uint8_t ec_status;
    std::uint16_t errors;
    std::uint16_t window;
    std::uint8_t q;
    std::uint16_t errors_after, window_after;
  };
  const Case cases[] = {
      {6, 15, 0, 0, 0, 500}, {6, 16, 0, 2, 0, 500}, {6, 40, 3, 0, 40, 3}, {5, 40, 0, 0, 40, 0}};
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << "ec " << int(c.ec_status) << " errors " << c.errors);
    DspLinkRig rig;
    rig.Run([&](FakeDataPump& pump) {
      OnLine(pump, 18, 9600);
      pump.Script(0x91, V34Figures(0, 0));
      acu_call().ec_status = c.ec_status;
      ModemTaskState& task = MachineState<ModemTaskState>();
      task.frame_errors = c.errors;
      task.frame_error_window = c.window;
      EXPECT_EQ(ModemTask_LineQuality(), c.q);
      EXPECT_EQ(task.frame_errors, c.errors_after);
      EXPECT_EQ(task.frame_error_window, c.window_after);
    });
  }
}

struct StepRun {
  int first_tick = -1;  // the tick of the first packet sent, -1 none
  std::vector<SentCommand> sent;
};

// Runs the connected state's step and the 10 ms tick for `ticks` ticks,
// as the task does, until the first packet.
StepRun RunSteps(FakeDataPump& pump, int ticks) {
  StepRun run;
  for (int t = 0; t < ticks; ++t) {
    ModemTask_LineQualityStep();
    if (!pump.Commands().empty()) {
      run.first_tick = t;
      break;
    }
    ModemTask_Tick10ms();
  }
  run.sent = SentCommands(pump);
  return run;
}

// V.32bis on register 55's class: 5 s of a good line step the rate up, of
// a degraded one down, 2 s of a bad one retrain (with "%E") or step down
// (without); at the call's limits the step is a retrain or nothing.
TEST(RateSteps, ByClassAndLimits) {
  struct Case {
    const char* name;
    std::uint8_t q;
    std::uint16_t rate;
    std::function<void()> setup;
    int earliest, latest;  // ticks
    std::vector<SentCommand> sent;
  };
  const auto no_retrain = [] { acu_call_settings().auto_retrain = 0; };
  const Case cases[] = {
      {"good: fall forward", 0, 9600, [] {}, 500, 510, {{0x6B, {8, 0}}}},
      {"good at the maximum: nothing", 0, 14400, [] {}, -1, -1, {}},
      {"good, raised from here before: nothing", 0, 9600,
       [] { MachineState<RetrainState>().last_raised_from = 9600; }, -1, -1, {}},
      {"fair: nothing", 1, 9600, [] {}, -1, -1, {}},
      {"degraded: fall back", 2, 9600, [] {}, 500, 510, {{0x6B, {6, 0}}}},
      {"degraded at the minimum: retrain", 2, 4800, [] {}, 500, 510, {{0x69, {}}}},
      {"degraded at the minimum without %E: nothing", 2, 4800, no_retrain, -1, -1, {}},
      {"bad: retrain", 3, 9600, [] {}, 200, 210, {{0x69, {}}}},
      {"bad without %E: one step down", 3, 9600, no_retrain, 200, 210, {{0x6B, {6, 0}}}},
      {"bad, V.80 link: nothing", 3, 9600, [] { acu_call().link_kind = kLinkV80; }, -1, -1, {}},
      {"bad, neither %E nor renegotiation: nothing", 3, 9600,
       [=] {
         no_retrain();
         MachineState<RetrainState>().reneg_permitted = 0;
       },
       -1, -1, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    DspLinkRig rig;
    rig.Run([&](FakeDataPump& pump) {
      OnLine(pump, 16, c.rate);
      MachineState<RetrainState>().reneg_permitted = 1;
      pump.SetRegister(55, static_cast<std::uint8_t>(c.q << 3));
      c.setup();
      const StepRun run = RunSteps(pump, 1200);
      EXPECT_EQ(run.sent, c.sent);
      if (c.earliest >= 0) {
        EXPECT_GE(run.first_tick, c.earliest);
        EXPECT_LE(run.first_tick, c.latest);
      }
    });
  }
}

// V.34 without "%E" on a bad line at the minimum renegotiates to the same
// rate (V.34 takes it; V.32bis refuses its own rate).
TEST(RateSteps, BadLineAtTheMinimumRenegotiatesTheSameRate) {
  DspLinkRig rig;
  rig.Run([&](FakeDataPump& pump) {
    OnLine(pump, 18, 9600);
    MachineState<ModemTaskState>().call_limits.min_rx = 9600;
    acu_call_settings().auto_retrain = 0;
    MachineState<RetrainState>().reneg_permitted = 1;
    pump.Script(0x91, V34Figures(0x4800, 0));
    StepRun run;
    for (int t = 0; t < 400 && run.first_tick < 0; ++t) {
      ModemTask_LineQualityStep();
      for (const SentCommand& sent : SentCommands(pump)) {
        if (sent.code == 0x6B) {
          run.first_tick = t;
          EXPECT_EQ(sent.payload, (std::vector<std::uint8_t>{7, 0}));
        }
      }
      ModemTask_Tick10ms();
    }
    EXPECT_GE(run.first_tick, 200);
    EXPECT_EQ(MachineState<RetrainState>().reneg_target, 9600);
  });
}

// V.22 and V.90 are never judged, nor is a line while a waiting call is
// confirmed.
TEST(RateSteps, NeverJudged) {
  for (std::uint8_t m : {std::uint8_t{6}, std::uint8_t{23}, std::uint8_t{16}}) {
    DspLinkRig rig;
    rig.Run([&](FakeDataPump& pump) {
      OnLine(pump, m, 9600);
      if (m == 16) MachineState<CallWaitingState>().flags = kCallWaitingConfirmed;
      MachineState<RetrainState>().reneg_permitted = 1;
      pump.SetRegister(55, 3 << 3);
      const StepRun run = RunSteps(pump, 1200);
      EXPECT_TRUE(run.sent.empty()) << int(m);
      EXPECT_EQ(MachineState<RetrainState>().quality_prescaler, 0) << int(m);
    });
  }
}

}  // namespace
}  // namespace vxctl::testing
