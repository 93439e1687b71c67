// A spandsp fax terminal (T.30 over audio, spandsp `fax`) as an end of a
// line: calling or answering (CallStart), limited to V.27ter, V.29 or V.17,
// sending a TIFF page or receiving into a TIFF file (libtiff). Its report
// holds what phase E said, the pages and the rate.
//
//   FaxPeer sender(line_a, Side::kA, {.start = {.role = CallStart::Role::kOriginate, .number = "5551002"},
//                                     .modem = FaxModem::kV29, .send_file = page});
//   FaxPeer receiver(line_b, Side::kA, {.start = {.rings = 1}, .modem = FaxModem::kV29,
//                                       .receive_file = received});
//   ... run until sender.report().phase_e && receiver.report().phase_e
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/line/line.h"
#include "platform/line/peer_end.h"
#include "platform/line/peers/call_start.h"
#include "platform/line/scripted_peer.h"

namespace plat::line::peers {

enum class FaxModem : std::uint8_t { kV27ter, kV29, kV17 };

struct FaxPeerConfig {
  CallStart start{};
  FaxModem modem = FaxModem::kV29;  // the fastest modem it offers or accepts
  std::string send_file{};            // a TIFF page to send (empty: receive)
  std::string receive_file{};         // where a received page goes
};

class FaxPeer {
 public:
  FaxPeer(Line& line, Side side, FaxPeerConfig config);
  ~FaxPeer();
  FaxPeer(const FaxPeer&) = delete;
  FaxPeer& operator=(const FaxPeer&) = delete;

  struct Report {
    bool phase_e = false;
    int completion = -1;  // T.30's completion code; 0 is success
    std::string completion_text{};
    int pages = 0;
    int bit_rate = 0;
  };
  const Report& report() const { return report_; }
  ScriptedPeer& peer() { return peer_; }

 private:
  class Terminal;

  bool Run(std::span<std::int16_t> out);
  void Hear(std::span<const std::int16_t> samples);
  void PhaseE(int completion);

  FaxPeerConfig config_;
  ScriptedPeer peer_;
  CallbackSink heard_{[this](std::span<const std::int16_t> s) { Hear(s); }};
  std::unique_ptr<Terminal> terminal_;
  Report report_;
  PeerEnd end_;
};

// Writes a one-page bilevel TIFF of `rows` rows, 1728 pixels wide, at
// standard resolution (204 x 98 dpi), T.4 one-dimensional; returns the error
// (empty when written).
std::string WriteFaxPage(const std::string& path, int rows);

}  // namespace plat::line::peers
