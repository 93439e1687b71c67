#include "platform/line/taps.h"

#include <limits>

#include "platform/line/wav.h"

namespace plat::line {

WavTap::WavTap(const std::string& path, std::uint32_t rate_hz)
    : path_(path), file_(std::fopen(path.c_str(), "wb")) {
  if (!file_) {
    SetError("cannot create " + path);
    return;
  }
  // The header of an empty file; Close fills in the sizes.
  const std::vector<std::uint8_t> header = EncodeWav(rate_hz, {});
  if (header.empty()) {
    SetError(path + ": no WAV file has a rate of " + std::to_string(rate_hz) + " Hz");
    return;
  }
  if (std::fwrite(header.data(), 1, header.size(), file_.get()) != header.size()) {
    SetError("cannot write " + path);
  }
}

WavTap::~WavTap() { Close(); }

void WavTap::SetError(std::string error) {
  if (error_.empty()) error_ = std::move(error);
  file_.reset();
}

void WavTap::Write(std::span<const std::int16_t> samples) {
  if (closed_) SetError(path_ + ": written after Close");
  if (!file_) return;
  constexpr std::uint64_t kMaxData =
      std::numeric_limits<std::uint32_t>::max() - (kWavHeaderBytes - kWavRiffSizeOffset - 4);
  if (data_bytes_ + samples.size() * 2 > kMaxData) {
    SetError(path_ + ": too long for a WAV file");
    return;
  }
  std::vector<std::uint8_t> bytes;
  bytes.reserve(samples.size() * 2);
  for (std::int16_t s : samples) {
    bytes.push_back(static_cast<std::uint8_t>(s));
    bytes.push_back(static_cast<std::uint8_t>(static_cast<std::uint16_t>(s) >> 8));
  }
  if (std::fwrite(bytes.data(), 1, bytes.size(), file_.get()) != bytes.size()) {
    SetError("cannot write " + path_);
    return;
  }
  data_bytes_ += bytes.size();
}

void WavTap::Close() {
  closed_ = true;
  if (!file_) return;
  auto put32 = [this](std::size_t offset, std::uint64_t value) {
    const auto v = static_cast<std::uint32_t>(value);
    const std::uint8_t b[4] = {static_cast<std::uint8_t>(v), static_cast<std::uint8_t>(v >> 8),
                               static_cast<std::uint8_t>(v >> 16),
                               static_cast<std::uint8_t>(v >> 24)};
    return std::fseek(file_.get(), static_cast<long>(offset), SEEK_SET) == 0 &&
           std::fwrite(b, 1, 4, file_.get()) == 4;
  };
  const bool written =
      put32(kWavRiffSizeOffset, kWavHeaderBytes - kWavRiffSizeOffset - 4 + data_bytes_) &&
      put32(kWavDataSizeOffset, data_bytes_);
  const bool closed = std::fclose(file_.release()) == 0;
  if (!written || !closed) SetError("cannot complete " + path_);
}

}  // namespace plat::line
