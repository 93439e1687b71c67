#include "platform/line/peers/byte_script.h"

#include <cstdio>

namespace plat::line::peers {
namespace {

constexpr std::uint64_t kNsPerMs = 1'000'000;

}  // namespace

ByteScript& ByteScript::Send(std::vector<std::uint8_t> bytes) {
  steps_.push_back({true, std::move(bytes), 0});
  return *this;
}

ByteScript& ByteScript::Expect(std::vector<std::uint8_t> bytes, std::uint32_t within_ms) {
  steps_.push_back({false, std::move(bytes), within_ms});
  return *this;
}

void ByteScript::Start(std::uint64_t at) {
  if (started_) return;
  started_ = true;
  step_began_ = at;
  Advance(at);
}

void ByteScript::Advance(std::uint64_t at) {
  while (failure_.empty() && step_ < steps_.size()) {
    Step& step = steps_[step_];
    if (step.send) {
      outgoing_.insert(outgoing_.end(), step.bytes.begin(), step.bytes.end());
      ++step_;
      step_began_ = at;
      continue;
    }
    // Bytes that came early count first.
    while (!early_.empty() && matched_ < step.bytes.size()) {
      const std::uint8_t byte = early_.front();
      early_.pop_front();
      if (byte != step.bytes[matched_]) {
        char text[96];
        std::snprintf(text, sizeof text, "expectation %zu, byte %zu: 0x%02x where 0x%02x was due",
                      step_ + 1, matched_, byte, step.bytes[matched_]);
        Fail(text);
        return;
      }
      ++matched_;
    }
    if (matched_ < step.bytes.size()) return;
    matched_ = 0;
    ++step_;
    step_began_ = at;
  }
  if (failure_.empty() && step_ == steps_.size() && finished_at_ == 0) finished_at_ = at;
}

std::optional<std::uint8_t> ByteScript::NextByte() {
  if (outgoing_.empty() || !failure_.empty()) return std::nullopt;
  const std::uint8_t byte = outgoing_.front();
  outgoing_.pop_front();
  return byte;
}

void ByteScript::Received(std::uint8_t byte, std::uint64_t at) {
  ++received_;
  received_bytes_.push_back(byte);
  early_.push_back(byte);
  if (started_) Advance(at);
}

void ByteScript::Tick(std::uint64_t at) {
  if (!started_ || !failure_.empty() || step_ >= steps_.size()) return;
  const Step& step = steps_[step_];
  if (!step.send && at > step_began_ + step.within_ms * kNsPerMs) {
    Fail("expectation " + std::to_string(step_ + 1) + ": " + std::to_string(matched_) + " of " +
         std::to_string(step.bytes.size()) + " bytes within " + std::to_string(step.within_ms) +
         " ms");
  }
}

void ByteScript::Fail(std::string why) {
  if (failure_.empty()) failure_ = std::move(why);
}

}  // namespace plat::line::peers
