#include "platform/line/wav.h"

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <limits>
#include <memory>

namespace plat::line {
namespace {

constexpr std::uint16_t kFormatPcm = 1;

std::uint32_t Le32(std::span<const std::uint8_t> b, std::size_t at) {
  return std::uint32_t{b[at]} | std::uint32_t{b[at + 1]} << 8 | std::uint32_t{b[at + 2]} << 16 |
         std::uint32_t{b[at + 3]} << 24;
}
std::uint16_t Le16(std::span<const std::uint8_t> b, std::size_t at) {
  return static_cast<std::uint16_t>(b[at] | b[at + 1] << 8);
}
bool IdIs(std::span<const std::uint8_t> b, std::size_t at, const char (&id)[5]) {
  return std::memcmp(b.data() + at, id, 4) == 0;
}

void Put16(std::vector<std::uint8_t>& out, std::uint16_t v) {
  out.push_back(static_cast<std::uint8_t>(v));
  out.push_back(static_cast<std::uint8_t>(v >> 8));
}
void Put32(std::vector<std::uint8_t>& out, std::uint32_t v) {
  Put16(out, static_cast<std::uint16_t>(v));
  Put16(out, static_cast<std::uint16_t>(v >> 16));
}
void PutId(std::vector<std::uint8_t>& out, const char (&id)[5]) {
  out.insert(out.end(), id, id + 4);
}

WavResult Fail(std::string error) { return {{}, std::move(error)}; }

// Checks a "fmt " chunk's body; empty when it describes 16-bit PCM mono.
std::string CheckFormat(std::span<const std::uint8_t> body, std::uint32_t* rate_hz) {
  if (body.size() < 16) return "fmt chunk shorter than 16 bytes";
  const std::uint16_t format = Le16(body, 0);
  const std::uint16_t channels = Le16(body, 2);
  const std::uint32_t rate = Le32(body, 4);
  const std::uint32_t byte_rate = Le32(body, 8);
  const std::uint16_t block_align = Le16(body, 12);
  const std::uint16_t bits = Le16(body, 14);
  if (format != kFormatPcm) return "format " + std::to_string(format) + " is not PCM";
  if (channels != 1) return std::to_string(channels) + " channels, not mono";
  if (bits != 16) return std::to_string(bits) + " bits per sample, not 16";
  if (rate == 0) return "sample rate 0";
  if (block_align != 2) return "block align " + std::to_string(block_align) + ", not 2";
  if (byte_rate != rate * 2ull)
    return "byte rate " + std::to_string(byte_rate) + " disagrees with the sample rate";
  *rate_hz = rate;
  return {};
}

}  // namespace

WavResult ParseWav(std::span<const std::uint8_t> bytes) {
  if (bytes.size() < 12) return Fail("shorter than a RIFF header");
  if (!IdIs(bytes, 0, "RIFF") || !IdIs(bytes, 8, "WAVE")) return Fail("not a RIFF WAVE file");
  const std::uint64_t riff_end = std::uint64_t{Le32(bytes, 4)} + 8;
  if (riff_end > bytes.size()) return Fail("RIFF size runs past the end of the file");
  if (riff_end < 12) return Fail("RIFF size smaller than its header");

  WavResult result;
  bool have_format = false;
  bool have_data = false;
  std::uint64_t at = 12;
  while (at < riff_end) {
    if (riff_end - at < 8) return Fail("truncated chunk header");
    const std::uint64_t size = Le32(bytes, at + 4);
    const std::uint64_t body = at + 8;
    if (size > riff_end - body) return Fail("chunk runs past the end of the RIFF data");
    const auto content = bytes.subspan(body, size);
    if (IdIs(bytes, at, "fmt ")) {
      if (have_format) return Fail("two fmt chunks");
      const std::string error = CheckFormat(content, &result.audio.rate_hz);
      if (!error.empty()) return Fail(error);
      have_format = true;
    } else if (IdIs(bytes, at, "data")) {
      if (!have_format) return Fail("data chunk before the fmt chunk");
      if (have_data) return Fail("two data chunks");
      if (size % 2 != 0) return Fail("data size is not a whole number of samples");
      result.audio.samples.resize(size / 2);
      for (std::size_t i = 0; i < result.audio.samples.size(); ++i) {
        result.audio.samples[i] = static_cast<std::int16_t>(Le16(content, 2 * i));
      }
      have_data = true;
    }
    at = body + size + (size & 1);  // chunks are padded to an even size
  }
  if (!have_format) return Fail("no fmt chunk");
  if (!have_data) return Fail("no data chunk");
  return result;
}

WavResult ReadWavFile(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  if (!file) return Fail("cannot open " + path);
  const std::vector<std::uint8_t> bytes{std::istreambuf_iterator<char>(file),
                                        std::istreambuf_iterator<char>()};
  if (file.bad()) return Fail("cannot read " + path);
  WavResult result = ParseWav(bytes);
  if (!result.ok()) result.error = path + ": " + result.error;
  return result;
}

std::vector<std::uint8_t> EncodeWav(std::uint32_t rate_hz, std::span<const std::int16_t> samples) {
  const std::uint64_t data_bytes = std::uint64_t{samples.size()} * 2;
  if (data_bytes > std::numeric_limits<std::uint32_t>::max() - (kWavHeaderBytes - 8)) return {};
  if (rate_hz == 0 || rate_hz > std::numeric_limits<std::uint32_t>::max() / 2) return {};
  std::vector<std::uint8_t> out;
  out.reserve(kWavHeaderBytes + data_bytes);
  PutId(out, "RIFF");
  Put32(out, static_cast<std::uint32_t>(kWavHeaderBytes - 8 + data_bytes));
  PutId(out, "WAVE");
  PutId(out, "fmt ");
  Put32(out, 16);
  Put16(out, kFormatPcm);
  Put16(out, 1);
  Put32(out, rate_hz);
  Put32(out, rate_hz * 2);
  Put16(out, 2);
  Put16(out, 16);
  PutId(out, "data");
  Put32(out, static_cast<std::uint32_t>(data_bytes));
  for (std::int16_t s : samples) Put16(out, static_cast<std::uint16_t>(s));
  return out;
}

std::string WriteWavFile(const std::string& path, std::uint32_t rate_hz,
                         std::span<const std::int16_t> samples) {
  const std::vector<std::uint8_t> bytes = EncodeWav(rate_hz, samples);
  if (bytes.empty())
    return "no WAV file holds " + std::to_string(samples.size()) + " samples at " +
           std::to_string(rate_hz) + " Hz";
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  file.write(reinterpret_cast<const char*>(bytes.data()),
             static_cast<std::streamsize>(bytes.size()));
  file.close();
  if (!file) return "cannot write " + path;
  return {};
}

}  // namespace plat::line
