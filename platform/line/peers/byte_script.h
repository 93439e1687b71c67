// What a data peer does once connected: send bytes and expect bytes, each
// expectation within a deadline of virtual time from the instant it begins.
// A Send step queues its bytes and the script goes on at once, so a Send
// followed by an Expect runs both directions together.
#pragma once

#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <vector>

namespace plat::line::peers {

class ByteScript {
 public:
  ByteScript& Send(std::vector<std::uint8_t> bytes);
  ByteScript& Expect(std::vector<std::uint8_t> bytes, std::uint32_t within_ms);

  // ---- while it runs (virtual instants in ns)
  void Start(std::uint64_t at);
  bool started() const { return started_; }
  // The next byte to send, if one is queued.
  std::optional<std::uint8_t> NextByte();
  bool sending() const { return !outgoing_.empty() && failure_.empty(); }
  void Received(std::uint8_t byte, std::uint64_t at);
  // Checks the deadline of the expectation under way.
  void Tick(std::uint64_t at);

  bool done() const { return started_ && failure_.empty() && step_ == steps_.size() && outgoing_.empty(); }
  const std::string& failure() const { return failure_; }
  std::uint64_t finished_at() const { return finished_at_; }
  std::size_t received_count() const { return received_; }
  // Every byte received, in order.
  const std::vector<std::uint8_t>& received_bytes() const { return received_bytes_; }

 private:
  struct Step {
    bool send;
    std::vector<std::uint8_t> bytes;
    std::uint32_t within_ms;
  };
  void Advance(std::uint64_t at);
  void Fail(std::string why);

  std::vector<Step> steps_;
  bool started_ = false;
  std::size_t step_ = 0;
  std::uint64_t step_began_ = 0;
  std::size_t matched_ = 0;  // bytes of the current expectation seen
  std::deque<std::uint8_t> outgoing_;
  std::deque<std::uint8_t> early_;  // received before an expectation wanted them
  std::size_t received_ = 0;
  std::vector<std::uint8_t> received_bytes_;
  std::string failure_;
  std::uint64_t finished_at_ = 0;
};

}  // namespace plat::line::peers
