// A spandsp data modem as an end of a line: at a subscriber of the exchange
// (side A of its line) or straight on a machine's line. It starts its call
// (CallStart), then, answering, sends silence, the answer tone
// (modem_connect_tones_tx: ANS, 2.6 s after 200 ms of silence) and its modem,
// or for Bell 103 its modem at once, whose 2225 Hz mark is the answer tone;
// originating, it listens for the answer tone (modem_connect_tones_rx) and
// starts its modem. Modems: V.21, V.23 (the answerer sends the 1200 bit/s
// channel), Bell 103 (fsk) and V.22bis at 1200 or 2400 bit/s without guard
// tone; framing: async 8N1 (async_tx/async_rx) or V.42 LAPM with its
// detection phase (v42), or raw bits. Once the modem (and LAPM) is up it runs its byte
// script.
//
//   DataPeer peer(line, Side::kA, {.modem = DataModem::kV22bis, .bit_rate = 2400,
//                                  .start = {.role = CallStart::Role::kOriginate,
//                                            .number = "5551002"},
//                                  .script = ByteScript().Send(bytes).Expect(reply, 20'000)});
//   line.RunUntil(...);   // or a machine's run
//   EXPECT_TRUE(peer.done()) << peer.report().failure;
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/line/line.h"
#include "platform/line/peer_end.h"
#include "platform/line/peers/byte_script.h"
#include "platform/line/peers/call_start.h"
#include "platform/line/scripted_peer.h"

namespace plat::line::peers {

enum class DataModem : std::uint8_t { kV21, kV23, kBell103, kV22bis };
// kRawBits: the script's bytes go to the line bit 0 first with nothing
// between them (marks while none is queued), and every bit heard from 800
// ms after the connection is packed into octets, bit 0 first, as received
// bytes: for bit-error counts (the packing starts at any bit of the far
// end's stream, so an Expect step does not suit it).
enum class DataFraming : std::uint8_t { kAsync8N1, kV42, kRawBits };

struct DataPeerConfig {
  DataModem modem = DataModem::kV22bis;
  int bit_rate = 2400;  // V.22bis: 1200 or 2400; the FSK modems have one rate each
  DataFraming framing = DataFraming::kAsync8N1;
  CallStart start{};
  std::uint32_t answer_silence_ms = 2000;      // answering: before the answer tone
  std::uint32_t answer_tone_wait_ms = 30'000;  // originating: no answer tone by then fails
  // From the connection to the script. Each end takes bytes from 800 ms
  // after its connection, so the two may connect up to 700 ms apart: an FSK
  // receiver can take the end's own echo for a carrier (spandsp measures its
  // whole band) before the far carrier comes.
  std::uint32_t settle_ms = 1500;
  double tx_dbm0 = -10.0;

  ByteScript script{};
};

class DataPeer {
 public:
  // Attaches the peer at `side` of `line`, which must outlive it.
  DataPeer(Line& line, Side side, DataPeerConfig config);
  ~DataPeer();
  DataPeer(const DataPeer&) = delete;
  DataPeer& operator=(const DataPeer&) = delete;

  struct Report {
    std::uint64_t answer_tone_at = 0;  // sent (answering) or heard (originating)
    std::uint64_t modem_at = 0;        // the modem started
    std::uint64_t connected_at = 0;    // carrier, training or LAPM link up
    std::string failure{};
  };
  const Report& report() const { return report_; }
  const ByteScript& script() const { return config_.script; }
  bool done() const { return config_.script.done(); }
  bool failed() const { return !report_.failure.empty() || !config_.script.failure().empty(); }
  ScriptedPeer& peer() { return peer_; }

 private:
  class Modem;

  void Hear(std::span<const std::int16_t> samples);
  static void ToneReport(void* user, int code, int level, int delay);
  bool SendAnswerTone(std::int64_t instant, std::span<std::int16_t> out);
  bool AwaitAnswerTone(std::int64_t instant, std::span<std::int16_t> out);
  bool RunModem(std::int64_t instant, std::span<std::int16_t> out);
  void Fail(std::string why);

  DataPeerConfig config_;
  ScriptedPeer peer_;
  CallbackSink heard_{[this](std::span<const std::int16_t> s) { Hear(s); }};
  std::unique_ptr<Modem> modem_;
  std::unique_ptr<struct ToneState> tones_;
  Report report_;
  std::int64_t heard_count_ = 0;  // line samples heard so far
  std::int64_t listen_from_ = -1;
  std::uint64_t listen_at_ = 0;
  PeerEnd end_;
};

}  // namespace plat::line::peers
