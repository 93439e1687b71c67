// Our machine as a subscriber of the simulated exchange, on hook at
// 5551001, and 5551002, a scripted telephone that calls it:
//
//   class MySuite : public pump::testing::CalledMachineRig {
//     void SetUp() override {
//       config_.plan.ring_ms = {2000, 4000};   // the exchange's settings
//       BuildAndBoot({.caller_id = ex::CallerId::kClassMdmf});
//       ... the controller's setup on OnKernelThread
//       CallUs();
//     }
//   };
#pragma once

#include <string>
#include <utility>

#include "platform/line/exchange/exchange.h"
#include "platform/line/exchange/signals.h"
#include "platform/line/line.h"
#include "platform/line/peer_end.h"
#include "platform/line/scripted_peer.h"
#include "pump/core/comram.h"
#include "pump/tests/support/dsp_rig.h"

namespace pump::testing {

class CalledMachineRig : public DspRig {
 protected:
  // Builds the exchange with `us` (its number and line filled in) and the
  // caller, then boots our machine on its line.
  void BuildAndBoot(plat::line::exchange::SubscriberConfig us, std::string caller_name = {}) {
    us.number = "5551001";
    us.line = &line_;
    config_.subscribers = {std::move(us), {.number = "5551002",
                                           .name = std::move(caller_name),
                                           .line = &caller_line_}};
    built_ = plat::line::exchange::Exchange::Build(config_);
    ASSERT_TRUE(built_.ok()) << built_.error;
    plat::MachineConfig machine;
    machine.line = &line_;
    machine.side = plat::line::Side::kA;
    BootOnVxafe(Controller::kStarted, std::move(machine));
  }
  // The caller's script after `wait` more: off hook, half a second, our number by DTMF.
  void CallUs(std::int64_t wait = 0) {
    caller_.Silence(wait)
        .Do(caller_line_.HookAction(plat::line::Side::kA, true))
        .Silence(plat::line::LineSamplesInMs(500))
        .Play(plat::line::exchange::RenderDtmf("5551001", 60, 60, -10));
  }
  // The controller's hook request: the line monitor takes the line or lets it go.
  void SetOnHook(bool on_hook) {
    OnKernelThread([&] {
      std::uint8_t& lines = TheController().Host().comram.reg[kRegLineLevelA];
      lines = static_cast<std::uint8_t>(on_hook ? lines | kLineHookRelay : lines & ~kLineHookRelay);
    });
  }
  void TearDown() override {
    DspRig::TearDown();
    machine_.reset();
  }

  plat::line::Line line_;
  plat::line::Line caller_line_;
  plat::line::ScriptedPeer caller_;
  plat::line::PeerEnd caller_end_{caller_line_, plat::line::Side::kA, caller_};
  plat::line::exchange::ExchangeConfig config_;
  plat::line::exchange::Exchange::Built built_;
};

}  // namespace pump::testing
