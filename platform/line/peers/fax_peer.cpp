#include "platform/line/peers/fax_peer.h"

#include <vector>

#include "platform/line/peers/spandsp_link.h"

namespace plat::line::peers {
namespace {

int ModemsUpTo(FaxModem modem) {
  switch (modem) {
    case FaxModem::kV27ter:
      return T30_SUPPORT_V27TER;
    case FaxModem::kV29:
      return T30_SUPPORT_V27TER | T30_SUPPORT_V29;
    case FaxModem::kV17:
      return T30_SUPPORT_V27TER | T30_SUPPORT_V29 | T30_SUPPORT_V17;
  }
  return 0;
}

}  // namespace

class FaxPeer::Terminal {
 public:
  Terminal(FaxPeer& owner, const FaxPeerConfig& config)
      : fax_(fax_init(nullptr, config.start.role == CallStart::Role::kOriginate)) {
    fax_set_transmit_on_idle(fax_.get(), 1);
    t30_state_t* t30 = fax_get_t30_state(fax_.get());
    t30_set_supported_modems(t30, ModemsUpTo(config.modem));
    t30_set_ecm_capability(t30, 0);
    t30_set_tx_ident(t30, config.send_file.empty() ? "receiver" : "sender");
    if (!config.send_file.empty()) t30_set_tx_file(t30, config.send_file.c_str(), -1, -1);
    if (!config.receive_file.empty()) t30_set_rx_file(t30, config.receive_file.c_str(), -1);
    t30_set_phase_e_handler(t30, PhaseE, &owner);
  }

  void Transmit(std::span<std::int16_t> out) {
    const int made = fax_tx(fax_.get(), out.data(), static_cast<int>(out.size()));
    for (std::size_t i = static_cast<std::size_t>(std::max(made, 0)); i < out.size(); ++i) out[i] = 0;
  }
  void Receive(std::span<const std::int16_t> in) {
    // fax_rx does not write to its input; its declaration only lacks the const.
    rx_.assign(in.begin(), in.end());
    fax_rx(fax_.get(), rx_.data(), static_cast<int>(rx_.size()));
  }
  t30_state_t* t30() { return fax_get_t30_state(fax_.get()); }

 private:
  static void PhaseE(t30_state_t*, void* user, int completion) {
    static_cast<FaxPeer*>(user)->PhaseE(completion);
  }

  SpandspPtr<fax_state_t, fax_free> fax_;
  std::vector<std::int16_t> rx_;
};

FaxPeer::FaxPeer(Line& line, Side side, FaxPeerConfig config)
    : config_(std::move(config)), end_(line, side, peer_) {
  peer_.RecordTo(&heard_);
  AddCallStart(peer_, line, side, config_.start);
  peer_.Blocks([this](std::int64_t, std::span<std::int16_t> out) { return Run(out); });
}

FaxPeer::~FaxPeer() = default;

void FaxPeer::Hear(std::span<const std::int16_t> samples) {
  if (terminal_) terminal_->Receive(samples);
}

bool FaxPeer::Run(std::span<std::int16_t> out) {
  if (!terminal_) terminal_ = std::make_unique<Terminal>(*this, config_);
  terminal_->Transmit(out);
  return false;
}

void FaxPeer::PhaseE(int completion) {
  t30_stats_t stats{};
  t30_get_transfer_statistics(terminal_->t30(), &stats);
  report_.phase_e = true;
  report_.completion = completion;
  report_.completion_text = t30_completion_code_to_str(completion);
  report_.pages = config_.send_file.empty() ? stats.pages_rx : stats.pages_tx;
  report_.bit_rate = stats.bit_rate;
}

std::string WriteFaxPage(const std::string& path, int rows) {
  constexpr int kWidth = 1728;
  TIFF* tiff = TIFFOpen(path.c_str(), "w");
  if (tiff == nullptr) return "cannot create " + path;
  TIFFSetField(tiff, TIFFTAG_IMAGEWIDTH, kWidth);
  TIFFSetField(tiff, TIFFTAG_IMAGELENGTH, rows);
  TIFFSetField(tiff, TIFFTAG_BITSPERSAMPLE, 1);
  TIFFSetField(tiff, TIFFTAG_SAMPLESPERPIXEL, 1);
  TIFFSetField(tiff, TIFFTAG_COMPRESSION, COMPRESSION_CCITTFAX3);
  TIFFSetField(tiff, TIFFTAG_GROUP3OPTIONS, 0);
  TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISWHITE);
  TIFFSetField(tiff, TIFFTAG_FILLORDER, FILLORDER_LSB2MSB);
  TIFFSetField(tiff, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
  TIFFSetField(tiff, TIFFTAG_XRESOLUTION, 204.0f);
  TIFFSetField(tiff, TIFFTAG_YRESOLUTION, 98.0f);
  TIFFSetField(tiff, TIFFTAG_RESOLUTIONUNIT, RESUNIT_INCH);
  TIFFSetField(tiff, TIFFTAG_ROWSPERSTRIP, rows);
  TIFFSetField(tiff, TIFFTAG_SUBFILETYPE, FILETYPE_PAGE);
  TIFFSetField(tiff, TIFFTAG_PAGENUMBER, 0, 1);
  std::vector<std::uint8_t> row(kWidth / 8);
  for (int r = 0; r < rows; ++r) {
    // Black bars of varying width, so the page is not all white.
    for (std::size_t b = 0; b < row.size(); ++b) {
      row[b] = (b / 8 + static_cast<std::size_t>(r) / 4) % 3 == 0 ? 0xFF : 0x00;
    }
    if (TIFFWriteScanline(tiff, row.data(), static_cast<std::uint32_t>(r), 0) < 0) {
      TIFFClose(tiff);
      return "cannot write " + path;
    }
  }
  TIFFWriteDirectory(tiff);
  TIFFClose(tiff);
  return {};
}

}  // namespace plat::line::peers
