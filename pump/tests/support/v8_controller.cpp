#include "pump/tests/support/v8_controller.h"

#include "pump/core/comram.h"

namespace pump::testing {
namespace {

constexpr std::uint8_t kConnect = 0x68;
constexpr std::uint8_t kSelectorV8 = 2;
constexpr std::uint8_t kContinuation = 1;
constexpr std::uint8_t kEventCmStarts = 32;
constexpr std::uint8_t kModeV34 = 17;

std::vector<std::uint8_t> CjAndMarks() {
  std::vector<std::uint8_t> octets = v8msg::EncodeCj();
  octets.push_back(v8msg::kPreambleOctet);
  return octets;
}

}  // namespace

V8Controller::V8Controller(ControllerDouble& controller, HostInterface& host,
                           V8ControllerConfig config)
    : controller_(controller), host_(host), config_(config) {}

std::uint8_t V8Controller::P2() const {
  return static_cast<std::uint8_t>((config_.originate ? 1 << 2 : 0) | kSelectorV8 << 3);
}

void V8Controller::StartCall() {
  // The data pump runs V.8 for the high-speed modes: the call asks for V.34.
  controller_.Exchange(kConnect, {config_.rate_code, kModeV34, P2(), 0});
}

void V8Controller::TakeReceived() {
  const auto& blocks = controller_.RxBlocks();
  for (; blocks_taken_ < blocks.size(); ++blocks_taken_) {
    const auto& data = blocks[blocks_taken_].data;
    received_.insert(received_.end(), data.begin(), data.end());
  }
}

std::optional<v8msg::Menu> V8Controller::RepeatedMenu() const {
  const auto messages = v8msg::ReadMessages(received_);
  for (std::size_t i = 1; i < messages.size(); ++i) {
    if (messages[i] == messages[i - 1]) return messages[i].menu;
  }
  return std::nullopt;
}

void V8Controller::Continue(int mode) {
  controller_.Exchange(kConnect, {config_.rate_code, static_cast<std::uint8_t>(mode), P2(),
                                  kContinuation});
  continued_ = true;
}

void V8Controller::Poll() {
  TakeReceived();
  if (config_.originate) {
    PollCaller();
  } else {
    PollAnswerer();
  }
}

void V8Controller::PollCaller() {
  switch (step_) {
    case Step::kWait:
      if (GetDspReg(host_, kRegEventType) != kEventCmStarts) return;
      step_ = Step::kMenu;
      [[fallthrough]];
    case Step::kMenu:
      far_ = RepeatedMenu();
      if (!far_) {
        controller_.FillTx(0, v8msg::EncodeCmJm(config_.menu));
        return;
      }
      mode_ = v8msg::CommonMode(config_.menu.modulations, far_->modulations);
      if (!mode_) {
        step_ = Step::kDone;  // nothing in common: the controller hangs up
        return;
      }
      step_ = Step::kClose;
      [[fallthrough]];
    case Step::kClose:
      // The last CM may still wait in the mailbox; CJ follows it, and ten
      // marks after it, so that the far receiver frames its last octet whole
      // before the transmitter goes quiet.
      if (!controller_.FillTx(0, CjAndMarks())) return;
      Continue(*mode_);
      step_ = Step::kDone;
      return;
    case Step::kDone:
      return;
  }
}

void V8Controller::PollAnswerer() {
  switch (step_) {
    case Step::kWait: {
      far_ = RepeatedMenu();
      if (!far_) return;
      mode_ = v8msg::CommonMode(config_.menu.modulations, far_->modulations);
      if (!mode_) {
        step_ = Step::kDone;
        return;
      }
      Continue(*mode_);
      step_ = Step::kMenu;
      [[fallthrough]];
    }
    case Step::kMenu: {
      if (v8msg::HasCj(received_)) {
        step_ = Step::kDone;
        return;
      }
      v8msg::Menu joint = config_.menu;
      joint.modulations &= far_->modulations;
      controller_.FillTx(0, v8msg::EncodeCmJm(joint));
      return;
    }
    case Step::kClose:
    case Step::kDone:
      return;
  }
}

}  // namespace pump::testing
