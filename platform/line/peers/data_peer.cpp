#include "platform/line/peers/data_peer.h"

#include <algorithm>
#include <optional>

#include <string_view>

#include "platform/line/peers/lapm.h"
#include "platform/line/peers/spandsp_link.h"

namespace plat::line::peers {

// The answer tone: sent by an answerer, listened for by an originator.
struct ToneState {
  SpandspPtr<modem_connect_tones_tx_state_t, modem_connect_tones_tx_free> tx;
  SpandspPtr<modem_connect_tones_rx_state_t, modem_connect_tones_rx_free> rx;
  bool heard = false;
  bool ended = false;
};

namespace {

// V.25's pause between the answer tone and the answering modem's signal.
constexpr std::uint32_t kAfterAnswerToneMs = 75;
constexpr int kBitsPerCharacter = 10;  // 8N1
// What a receiver decides while its carrier settles is not data.
constexpr std::uint64_t kReceiveGuardNs = 800'000'000;

struct FskChannels {
  int originator;  // the channel the originating modem sends on
  int answerer;
};

FskChannels ChannelsOf(DataModem modem) {
  switch (modem) {
    case DataModem::kV21:
      return {FSK_V21CH1, FSK_V21CH2};
    case DataModem::kV23:
      return {FSK_V23CH2, FSK_V23CH1};  // the answerer sends the 1200 bit/s channel
    default:
      return {FSK_BELL103CH2, FSK_BELL103CH1};  // spandsp's channel 1 is the answerer's 2025/2225 Hz
  }
}

}  // namespace

// The modem and its framing: spandsp's states with the callbacks that tie
// them to the byte script.
class DataPeer::Modem {
 public:
  Modem(const DataPeerConfig& config, bool originating, ByteScript& script)
      : config_(config), script_(script) {
    if (config.framing == DataFraming::kV42) {
      v42_.reset(v42_init(nullptr, originating, 1, nullptr, nullptr, nullptr));
      v42_set_status_callback(v42_.get(), DetectionStatus, this);
      originating_ = originating;
    } else if (config.framing == DataFraming::kAsync8N1) {
      async_tx_.reset(async_tx_init(nullptr, 8, ASYNC_PARITY_NONE, 1, 0, TakeByte, this));
      async_rx_.reset(async_rx_init(nullptr, 8, ASYNC_PARITY_NONE, 1, 0, GiveByte, this));
    }
    if (config.modem == DataModem::kV22bis) {
      v22bis_.reset(v22bis_init(nullptr, config.bit_rate, V22BIS_GUARD_TONE_NONE, originating,
                                TakeBit, this, GiveBit, this));
      v22bis_tx_power(v22bis_.get(), static_cast<float>(config.tx_dbm0));
      v22bis_set_modem_status_handler(v22bis_.get(), ModemStatus, this);
      return;
    }
    const FskChannels channels = ChannelsOf(config.modem);
    const int send = originating ? channels.originator : channels.answerer;
    const int hear = originating ? channels.answerer : channels.originator;
    fsk_tx_.reset(fsk_tx_init(nullptr, &preset_fsk_specs[send], TakeBit, this));
    fsk_tx_power(fsk_tx_.get(), static_cast<float>(config.tx_dbm0));
    fsk_rx_.reset(
        fsk_rx_init(nullptr, &preset_fsk_specs[hear], FSK_FRAME_MODE_SYNC, GiveBit, this));
    fsk_rx_set_modem_status_handler(fsk_rx_.get(), ModemStatus, this);
  }

  void Transmit(std::span<std::int16_t> out, std::uint64_t at) {
    now_ = at;
    const int n = static_cast<int>(out.size());
    const int made = v22bis_ ? v22bis_tx(v22bis_.get(), out.data(), n)
                             : fsk_tx(fsk_tx_.get(), out.data(), n);
    std::fill(out.begin() + std::max(made, 0), out.end(), std::int16_t{0});
    if (lapm_) {
      lapm_->Tick(at);
      if (lapm_->connected()) Connected();
    }
    StartScriptWhenSettled();
    script_.Tick(at);
  }

  void Receive(std::span<const std::int16_t> in, std::uint64_t at) {
    now_ = at;
    const int n = static_cast<int>(in.size());
    if (v22bis_) {
      v22bis_rx(v22bis_.get(), in.data(), n);
    } else {
      fsk_rx(fsk_rx_.get(), in.data(), n);
    }
  }

  std::uint64_t connected_at() const { return connected_at_; }

 private:
  static Modem& Of(void* user) { return *static_cast<Modem*>(user); }

  void Connected() {
    if (connected_at_ == 0) connected_at_ = now_;
  }

  // The far end may finish its training a little later: the script starts
  // once both can have done so.
  void StartScriptWhenSettled() {
    if (connected_at_ != 0 && !script_.started() &&
        now_ >= connected_at_ + std::uint64_t{config_.settle_ms} * 1'000'000) {
      script_.Start(now_);
    }
  }

  void Status(int status) {
    const bool carrier = status == SIG_STATUS_CARRIER_UP;
    const bool trained = status == SIG_STATUS_TRAINING_SUCCEEDED;
    modem_up_ = modem_up_ || (v22bis_ ? trained : carrier);
    if (modem_up_ && !v42_) Connected();
  }

  // spandsp's v42 reports LAPM_IDLE when its detection phase is over; the
  // link is ours from there.
  static void DetectionStatus(void* user, int status) {
    Modem& m = Of(user);
    if (m.lapm_ || std::string_view(lapm_status_to_str(status)) != "LAPM_IDLE") return;
    m.lapm_ = std::make_unique<Lapm>(m.originating_, [&m](std::uint8_t* b, int max) {
      return TakeFrame(&m, b, max);
    }, [&m](const std::uint8_t* b, int n) { GiveFrame(&m, b, n); });
  }

  static int TakeBit(void* user) {
    Modem& m = Of(user);
    if (m.lapm_) return m.lapm_->TxBit();
    if (m.v42_) return v42_tx_bit(m.v42_.get());
    if (m.config_.framing == DataFraming::kRawBits) return m.TakeRawBit();
    // async_tx takes a character only when one is queued; otherwise the line idles on marks.
    if (m.tx_bit_ == 0 && !(m.script_.started() && m.script_.sending())) return 1;
    m.tx_bit_ = (m.tx_bit_ + 1) % kBitsPerCharacter;
    return async_tx_get_bit(m.async_tx_.get());
  }

  static void GiveBit(void* user, int bit) {
    Modem& m = Of(user);
    if (bit < 0) {
      m.Status(bit);
      return;
    }
    if (m.lapm_) {
      m.lapm_->RxBit(bit);
    } else if (m.v42_) {
      v42_rx_bit(m.v42_.get(), bit);
    } else if (m.connected_at_ != 0 && m.now_ >= m.connected_at_ + kReceiveGuardNs) {
      if (m.config_.framing == DataFraming::kRawBits) {
        m.PutRawBit(bit);
      } else {
        async_rx_put_bit(m.async_rx_.get(), bit);
      }
    }
  }

  // Raw bits: a queued byte bit 0 first, marks while none is queued.
  int TakeRawBit() {
    if (tx_bit_ == 0) {
      const auto byte = script_.started() ? script_.NextByte() : std::nullopt;
      if (!byte) return 1;
      raw_tx_ = *byte;
    }
    const int bit = (raw_tx_ >> tx_bit_) & 1;
    tx_bit_ = (tx_bit_ + 1) % 8;
    return bit;
  }

  void PutRawBit(int bit) {
    raw_rx_ = static_cast<std::uint8_t>(raw_rx_ | (bit & 1) << raw_rx_bits_);
    if (++raw_rx_bits_ < 8) return;
    script_.Received(raw_rx_, now_);
    raw_rx_ = 0;
    raw_rx_bits_ = 0;
  }

  static void ModemStatus(void* user, int status) { Of(user).Status(status); }

  static int TakeByte(void* user) {
    const auto byte = Of(user).script_.NextByte();
    return byte ? *byte : 0xFF;  // TakeBit asks only when a byte is queued
  }

  static void GiveByte(void* user, int byte) {
    if (byte >= 0) Of(user).script_.Received(static_cast<std::uint8_t>(byte), Of(user).now_);
  }

  static int TakeFrame(void* user, std::uint8_t* frame, int max) {
    Modem& m = Of(user);
    if (!m.script_.started()) return 0;
    int count = 0;
    while (count < max) {
      const auto byte = m.script_.NextByte();
      if (!byte) break;
      frame[count++] = *byte;
    }
    return count;
  }

  static void GiveFrame(void* user, const std::uint8_t* frame, int length) {
    for (int i = 0; i < length; ++i) GiveByte(user, frame[i]);
  }

  const DataPeerConfig& config_;
  ByteScript& script_;
  std::uint64_t now_ = 0;
  std::uint64_t connected_at_ = 0;
  bool modem_up_ = false;
  bool originating_ = false;
  int tx_bit_ = 0;
  std::uint8_t raw_tx_ = 0;
  std::uint8_t raw_rx_ = 0;
  int raw_rx_bits_ = 0;
  SpandspPtr<v22bis_state_t, v22bis_free> v22bis_;
  SpandspPtr<fsk_tx_state_t, fsk_tx_free> fsk_tx_;
  SpandspPtr<fsk_rx_state_t, fsk_rx_free> fsk_rx_;
  SpandspPtr<async_tx_state_t, async_tx_free> async_tx_;
  SpandspPtr<async_rx_state_t, async_rx_free> async_rx_;
  SpandspPtr<v42_state_t, v42_free> v42_;
  std::unique_ptr<Lapm> lapm_;
};

DataPeer::DataPeer(Line& line, Side side, DataPeerConfig config)
    : config_(std::move(config)), tones_(std::make_unique<ToneState>()), end_(line, side, peer_) {
  const bool bell = config_.modem == DataModem::kBell103;
  peer_.RecordTo(&heard_);
  AddCallStart(peer_, line, side, config_.start);
  if (config_.start.role == CallStart::Role::kAnswer) {
    peer_.Silence(LineSamplesInMs(config_.answer_silence_ms));
    // A Bell 103 answerer's answer tone is its own 2225 Hz mark: its modem starts at once.
    if (!bell) {
      tones_->tx.reset(modem_connect_tones_tx_init(nullptr, MODEM_CONNECT_TONES_ANS));
      peer_.Blocks([this](std::int64_t n, std::span<std::int16_t> out) {
        return SendAnswerTone(n, out);
      });
      peer_.Silence(LineSamplesInMs(kAfterAnswerToneMs));
    }
  } else {
    tones_->rx.reset(modem_connect_tones_rx_init(
        nullptr, bell ? MODEM_CONNECT_TONES_BELL_ANS : MODEM_CONNECT_TONES_ANS, ToneReport,
        this));
    peer_.Blocks([this](std::int64_t n, std::span<std::int16_t> out) {
      return AwaitAnswerTone(n, out);
    });
  }
  peer_.Blocks([this](std::int64_t n, std::span<std::int16_t> out) { return RunModem(n, out); });
}

DataPeer::~DataPeer() = default;

void DataPeer::Fail(std::string why) {
  if (report_.failure.empty()) report_.failure = std::move(why);
}

void DataPeer::Hear(std::span<const std::int16_t> samples) {
  const std::uint64_t at = InstantOfSample(heard_count_);
  heard_count_ += static_cast<std::int64_t>(samples.size());
  if (modem_) {
    modem_->Receive(samples, at);
    return;
  }
  if (tones_->rx && listen_from_ >= 0) {
    listen_at_ = at;
    modem_connect_tones_rx(tones_->rx.get(), samples.data(), static_cast<int>(samples.size()));
  }
}

void DataPeer::ToneReport(void* user, int code, int, int) {
  DataPeer& peer = *static_cast<DataPeer*>(user);
  if (code != MODEM_CONNECT_TONES_NONE && !peer.tones_->heard) {
    peer.tones_->heard = true;
    peer.report_.answer_tone_at = peer.listen_at_;
  } else if (code == MODEM_CONNECT_TONES_NONE && peer.tones_->heard) {
    peer.tones_->ended = true;
  }
}

bool DataPeer::SendAnswerTone(std::int64_t instant, std::span<std::int16_t> out) {
  if (report_.answer_tone_at == 0) report_.answer_tone_at = InstantOfSample(instant);
  const int made =
      modem_connect_tones_tx(tones_->tx.get(), out.data(), static_cast<int>(out.size()));
  return made < static_cast<int>(out.size());
}

bool DataPeer::AwaitAnswerTone(std::int64_t instant, std::span<std::int16_t>) {
  if (listen_from_ < 0) listen_from_ = instant;
  if (instant - listen_from_ > LineSamplesInMs(config_.answer_tone_wait_ms)) {
    Fail("no answer tone within " + std::to_string(config_.answer_tone_wait_ms) + " ms");
    return false;
  }
  // Bell 103's answer tone is the answerer's mark: its modem runs on from it.
  return config_.modem == DataModem::kBell103 ? tones_->heard : tones_->ended;
}

bool DataPeer::RunModem(std::int64_t instant, std::span<std::int16_t> out) {
  if (!modem_) {
    modem_ = std::make_unique<Modem>(config_, config_.start.role == CallStart::Role::kOriginate,
                                     config_.script);
    report_.modem_at = InstantOfSample(instant);
    if (report_.answer_tone_at == 0) report_.answer_tone_at = report_.modem_at;
  }
  modem_->Transmit(out, InstantOfSample(instant));
  report_.connected_at = modem_->connected_at();
  return false;
}

}  // namespace plat::line::peers
