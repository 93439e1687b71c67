#include "platform/line/peers/lapm.h"

namespace plat::line::peers {
namespace {

// Control octets (V.42 8.4), the P/F bit apart.
constexpr std::uint8_t kSabme = 0x6F, kUa = 0x63, kDisc = 0x43, kXid = 0xAF, kPollFinal = 0x10;
constexpr std::uint8_t kRr = 0x01, kRnr = 0x05, kRej = 0x09;

int Mod128(int v) { return v & 127; }

}  // namespace

Lapm::Lapm(bool originator, Take take, Give give)
    : originator_(originator),
      take_(std::move(take)),
      give_(std::move(give)),
      command_address_(originator ? 0x03 : 0x01),
      response_address_(originator ? 0x01 : 0x03),
      tx_(hdlc_tx_init(nullptr, 0, 1, 0, Underflow, this)),
      rx_(hdlc_rx_init(nullptr, 0, 0, 1, Frame, this)) {}

int Lapm::TxBit() { return hdlc_tx_get_bit(tx_.get()); }

void Lapm::RxBit(int bit) { hdlc_rx_put_bit(rx_.get(), bit); }

void Lapm::Underflow(void* user) {
  Lapm& l = *static_cast<Lapm*>(user);
  if (l.queue_.empty()) {
    l.tx_busy_ = false;
    return;
  }
  hdlc_tx_frame(l.tx_.get(), l.queue_.front().data(), l.queue_.front().size());
  l.queue_.pop_front();
}

void Lapm::Queue(std::vector<std::uint8_t> frame) {
  if (tx_busy_) {
    queue_.push_back(std::move(frame));
    return;
  }
  tx_busy_ = true;
  hdlc_tx_frame(tx_.get(), frame.data(), frame.size());
}

void Lapm::Frame(void* user, const std::uint8_t* frame, int length, int ok) {
  if (ok && length >= 2) static_cast<Lapm*>(user)->OnFrame(frame, length);
}

void Lapm::SendControl(bool command, std::uint8_t control, bool poll) {
  Queue({command ? command_address_ : response_address_,
         static_cast<std::uint8_t>(control | (poll ? kPollFinal : 0))});
}

void Lapm::SendSupervisory(std::uint8_t kind, bool command, bool poll_final) {
  Queue({command ? command_address_ : response_address_, kind,
         static_cast<std::uint8_t>(vr_ << 1 | (poll_final ? 1 : 0))});
}

void Lapm::Enter(State state) {
  state_ = state;
  timer_ = 0;
  if (state == State::kData) {
    vs_ = va_ = vr_ = 0;
    sent_.clear();
    rejecting_ = far_busy_ = false;
    if (connected_at_ == 0) connected_at_ = now_;
  }
}

void Lapm::Acknowledged(int n_r) {
  const int count = Mod128(n_r - va_);
  if (count == 0 || count > static_cast<int>(sent_.size())) return;
  sent_.erase(sent_.begin(), sent_.begin() + count);
  va_ = n_r;
  timer_ = sent_.empty() ? 0 : now_ + kT401Ns;
}

void Lapm::FillWindow() {
  std::uint8_t octets[kN401];
  while (state_ == State::kData && !far_busy_ && static_cast<int>(sent_.size()) < kWindow) {
    const int count = take_(octets, kN401);
    if (count <= 0) return;
    sent_.emplace_back(octets, octets + count);
    std::vector<std::uint8_t> frame = {command_address_, static_cast<std::uint8_t>(vs_ << 1),
                                       static_cast<std::uint8_t>(vr_ << 1)};
    frame.insert(frame.end(), octets, octets + count);
    vs_ = Mod128(vs_ + 1);
    Queue(std::move(frame));
    if (timer_ == 0) timer_ = now_ + kT401Ns;
  }
}

void Lapm::OnFrame(const std::uint8_t* frame, int length) {
  const bool command = frame[0] == response_address_;  // the far end's commands
  const std::uint8_t control = frame[1];
  if ((control & 1) == 0) {  // I frame
    if (state_ != State::kData || length < 3) return;
    const int n_s = control >> 1;
    const bool poll = frame[2] & 1;
    Acknowledged(frame[2] >> 1);
    if (n_s == vr_) {
      give_(frame + 3, length - 3);
      vr_ = Mod128(vr_ + 1);
      rejecting_ = false;
      SendSupervisory(kRr, false, poll);
    } else if (!rejecting_) {
      rejecting_ = true;
      SendSupervisory(kRej, false, poll);
    } else if (poll) {
      SendSupervisory(kRr, false, true);
    }
    FillWindow();
    return;
  }
  if ((control & 3) == 1) {  // supervisory frame
    if (state_ != State::kData || length < 3) return;
    const bool poll_final = frame[2] & 1;
    Acknowledged(frame[2] >> 1);
    far_busy_ = control == kRnr;
    if (command && poll_final) SendSupervisory(kRr, false, true);
    // A rejection, or the answer to our checkpoint, sends again what is unacknowledged.
    if (control == kRej || (!command && poll_final)) {
      queue_.clear();
      std::deque<std::vector<std::uint8_t>> again;
      again.swap(sent_);
      vs_ = va_;
      for (auto& payload : again) {
        sent_.push_back(payload);
        std::vector<std::uint8_t> f = {command_address_, static_cast<std::uint8_t>(vs_ << 1),
                                       static_cast<std::uint8_t>(vr_ << 1)};
        f.insert(f.end(), payload.begin(), payload.end());
        vs_ = Mod128(vs_ + 1);
        Queue(std::move(f));
      }
      timer_ = sent_.empty() ? 0 : now_ + kT401Ns;
    }
    FillWindow();
    return;
  }
  const bool poll_final = control & kPollFinal;
  switch (control & ~kPollFinal) {
    case kSabme:
      if (!command) return;
      Enter(State::kData);
      SendControl(false, kUa, poll_final);
      FillWindow();
      return;
    case kUa:
      if (command || state_ != State::kEstablishing) return;
      Enter(State::kData);
      FillWindow();
      return;
    case kDisc:
      if (!command) return;
      SendControl(false, kUa, poll_final);
      Enter(State::kReleased);
      return;
    case kXid:
      if (!command) return;
      {
        std::vector<std::uint8_t> reply(frame, frame + length);
        reply[0] = response_address_;  // accepting every value offered
        Queue(std::move(reply));
      }
      return;
    default:
      return;
  }
}

void Lapm::Tick(std::uint64_t now) {
  now_ = now;
  if (state_ == State::kEstablishing) {
    if (originator_ && (timer_ == 0 || now >= timer_)) {
      SendControl(true, kSabme, true);
      timer_ = now + kT401Ns;
    }
    return;
  }
  if (state_ != State::kData) return;
  if (timer_ != 0 && now >= timer_) {
    // No acknowledgement in time: ask where the far end stands.
    SendSupervisory(kRr, true, true);
    timer_ = now + kT401Ns;
  }
  FillWindow();
}

}  // namespace plat::line::peers
