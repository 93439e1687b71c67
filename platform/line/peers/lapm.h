// The data link of the V.42 data peer: LAPM (V.42 clause 8) over bit-
// synchronous HDLC (spandsp hdlc_tx/hdlc_rx, 16-bit FCS), after spandsp's v42
// has done the detection phase. spandsp 0.0.6's v42 detects but never
// establishes the link, so the procedures are ours, kept to what an
// error-correcting link between two modems needs:
//   - addresses by role: the originator's commands and the answerer's
//     responses carry 0x03, the others 0x01 (DLCI 0);
//   - establishment: the originator sends SABME (P = 1) every T401 until UA;
//     an XID command is answered with an XID response accepting its values;
//   - modulo-128 I frames of up to N401 = 128 octets, a window of k = 15,
//     every I frame acknowledged by an RR response, REJ for a frame out of
//     sequence, and go-back-N retransmission when T401 runs out;
//   - DISC is answered with UA and ends the link.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <vector>

#include "platform/line/peers/spandsp_link.h"

namespace plat::line::peers {

class Lapm {
 public:
  // `take` fills a buffer with up to `max` octets to send and returns how
  // many; `give` receives the octets of each I frame in order.
  using Take = std::function<int(std::uint8_t* buffer, int max)>;
  using Give = std::function<void(const std::uint8_t* octets, int count)>;

  static constexpr int kN401 = 128;
  static constexpr int kWindow = 15;
  static constexpr std::uint64_t kT401Ns = 2'000'000'000;

  Lapm(bool originator, Take take, Give give);

  int TxBit();
  void RxBit(int bit);
  // Timers run on virtual time.
  void Tick(std::uint64_t now);
  bool connected() const { return state_ == State::kData; }
  std::uint64_t connected_at() const { return connected_at_; }

 private:
  enum class State : std::uint8_t { kEstablishing, kData, kReleased };

  static void Underflow(void* user);
  static void Frame(void* user, const std::uint8_t* frame, int length, int ok);
  void OnFrame(const std::uint8_t* frame, int length);
  void Queue(std::vector<std::uint8_t> frame);
  void SendControl(bool command, std::uint8_t control, bool poll);
  void SendSupervisory(std::uint8_t kind, bool command, bool poll_final);
  void Acknowledged(int n_r);
  void FillWindow();
  void Enter(State state);

  bool originator_;
  Take take_;
  Give give_;
  std::uint8_t command_address_;
  std::uint8_t response_address_;
  SpandspPtr<hdlc_tx_state_t, hdlc_tx_free> tx_;
  SpandspPtr<hdlc_rx_state_t, hdlc_rx_free> rx_;
  std::deque<std::vector<std::uint8_t>> queue_;
  bool tx_busy_ = false;

  State state_ = State::kEstablishing;
  std::uint64_t now_ = 0;
  std::uint64_t timer_ = 0;  // T401 runs out at this instant (0: stopped)
  std::uint64_t connected_at_ = 0;
  int vs_ = 0, va_ = 0, vr_ = 0;
  bool rejecting_ = false;
  bool far_busy_ = false;
  std::deque<std::vector<std::uint8_t>> sent_;  // unacknowledged I-frame payloads, from V(A)
};

}  // namespace plat::line::peers
