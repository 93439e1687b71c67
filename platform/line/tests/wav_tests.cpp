#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "platform/line/taps.h"
#include "platform/line/wav.h"

namespace plat::line {
namespace {

class Wav : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = std::filesystem::temp_directory_path() /
           ("wav-test-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "-" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::create_directories(dir_);
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }
  std::string Path(const char* name) const { return (dir_ / name).string(); }

  std::filesystem::path dir_;
};

std::vector<std::int16_t> Ramp(std::size_t count) {
  std::vector<std::int16_t> out(count);
  for (std::size_t i = 0; i < count; ++i) out[i] = static_cast<std::int16_t>(i * 2654435761u >> 16);
  return out;
}

void Put32(std::vector<std::uint8_t>& b, std::size_t at, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
}
void Put16(std::vector<std::uint8_t>& b, std::size_t at, std::uint16_t v) {
  b[at] = static_cast<std::uint8_t>(v);
  b[at + 1] = static_cast<std::uint8_t>(v >> 8);
}

TEST_F(Wav, SamplesAndRateSurviveARoundTrip) {
  for (std::uint32_t rate : {8000u, 7200u, 1u, 44100u, 96000u}) {
    const auto samples = Ramp(rate == 1 ? 3 : 1001);
    const WavResult parsed = ParseWav(EncodeWav(rate, samples));
    ASSERT_TRUE(parsed.ok()) << parsed.error;
    EXPECT_EQ(parsed.audio.rate_hz, rate);
    EXPECT_EQ(parsed.audio.samples, samples);
  }
  const auto samples = Ramp(5000);
  ASSERT_EQ(WriteWavFile(Path("a.wav"), 8000, samples), "");
  const WavResult read = ReadWavFile(Path("a.wav"));
  ASSERT_TRUE(read.ok()) << read.error;
  EXPECT_EQ(read.audio.samples, samples);
  EXPECT_TRUE(ParseWav(EncodeWav(8000, {})).ok());
}

TEST_F(Wav, ATapStreamsAFileInPieces) {
  const auto samples = Ramp(3000);
  {
    WavTap tap(Path("tap.wav"), 9600);
    tap.Write(std::span(samples).first(1000));
    tap.Write(std::span(samples).subspan(1000));
    EXPECT_TRUE(tap.ok()) << tap.error();
  }  // completed when destroyed
  const WavResult read = ReadWavFile(Path("tap.wav"));
  ASSERT_TRUE(read.ok()) << read.error;
  EXPECT_EQ(read.audio.rate_hz, 9600u);
  EXPECT_EQ(read.audio.samples, samples);

  WavTap closed(Path("closed.wav"), 8000);
  closed.Close();
  closed.Write(samples);
  EXPECT_FALSE(closed.ok());
  WavTap nowhere(Path("no/such/dir/x.wav"), 8000);
  nowhere.Write(samples);
  EXPECT_FALSE(nowhere.ok());
  EXPECT_FALSE(ReadWavFile(Path("missing.wav")).ok());
}

// Chunks the reader does not know are skipped, odd sizes with their pad byte.
TEST_F(Wav, UnknownChunksAreSkipped) {
  std::vector<std::uint8_t> bytes = EncodeWav(8000, Ramp(10));
  const std::vector<std::uint8_t> list = {'L', 'I', 'S', 'T', 3, 0, 0, 0, 'a', 'b', 'c', 0};
  bytes.insert(bytes.begin() + 36, list.begin(), list.end());  // between fmt and data
  Put32(bytes, 4, static_cast<std::uint32_t>(bytes.size() - 8));
  const WavResult parsed = ParseWav(bytes);
  ASSERT_TRUE(parsed.ok()) << parsed.error;
  EXPECT_EQ(parsed.audio.samples, Ramp(10));
}

struct Malformed {
  const char* what;
  std::function<void(std::vector<std::uint8_t>&)> damage;
  const char* error;
};

TEST_F(Wav, MalformedFilesAreRefusedWithAnError) {
  const Malformed cases[] = {
      {"empty", [](auto& b) { b.clear(); }, "shorter than a RIFF header"},
      {"eleven bytes", [](auto& b) { b.resize(11); }, "shorter than a RIFF header"},
      {"RIFX", [](auto& b) { b[3] = 'X'; }, "not a RIFF WAVE"},
      {"AVI", [](auto& b) { std::memcpy(b.data() + 8, "AVI ", 4); }, "not a RIFF WAVE"},
      {"RIFF size past the end", [](auto& b) { Put32(b, 4, 0xFFFFFFFF); },
       "past the end of the file"},
      {"RIFF size below its header", [](auto& b) { Put32(b, 4, 2); }, "smaller than its header"},
      {"truncated file", [](auto& b) { b.pop_back(); }, "past the end of the file"},
      {"chunk header cut",
       [](auto& b) {
         b.resize(40);
         Put32(b, 4, 32);
       },
       "truncated chunk header"},
      {"chunk past the RIFF", [](auto& b) { Put32(b, 16, 1000); }, "past the end of the RIFF"},
      {"chunk size 2^32 - 1", [](auto& b) { Put32(b, 16, 0xFFFFFFFF); },
       "past the end of the RIFF"},
      {"short fmt",
       [](auto& b) {
         b.erase(b.begin() + 34, b.begin() + 36);
         Put32(b, 16, 14);
         Put32(b, 4, static_cast<std::uint32_t>(b.size() - 8));
       },
       "shorter than 16"},
      {"float samples", [](auto& b) { Put16(b, 20, 3); }, "not PCM"},
      {"extensible format", [](auto& b) { Put16(b, 20, 0xFFFE); }, "not PCM"},
      {"stereo", [](auto& b) { Put16(b, 22, 2); }, "not mono"},
      {"no channels", [](auto& b) { Put16(b, 22, 0); }, "not mono"},
      {"rate 0", [](auto& b) { Put32(b, 24, 0); }, "sample rate 0"},
      {"byte rate", [](auto& b) { Put32(b, 28, 8000); }, "byte rate"},
      {"block align", [](auto& b) { Put16(b, 32, 4); }, "block align"},
      {"8 bits", [](auto& b) { Put16(b, 34, 8); }, "not 16"},
      {"24 bits", [](auto& b) { Put16(b, 34, 24); }, "not 16"},
      {"no fmt", [](auto& b) { std::memcpy(b.data() + 12, "junk", 4); },
       "data chunk before the fmt"},
      {"no data", [](auto& b) { std::memcpy(b.data() + 36, "junk", 4); }, "no data chunk"},
      {"odd data size",
       [](auto& b) {
         Put32(b, 40, 7);
         b.resize(44 + 8);
         Put32(b, 4, static_cast<std::uint32_t>(b.size() - 8));
       },
       "whole number of samples"},
      {"two fmt",
       [](auto& b) {
         const std::vector<std::uint8_t> fmt(b.begin() + 12, b.begin() + 36);
         b.insert(b.begin() + 36, fmt.begin(), fmt.end());
         Put32(b, 4, static_cast<std::uint32_t>(b.size() - 8));
       },
       "two fmt"},
      {"two data",
       [](auto& b) {
         const std::vector<std::uint8_t> data(b.begin() + 36, b.end());
         b.insert(b.end(), data.begin(), data.end());
         Put32(b, 4, static_cast<std::uint32_t>(b.size() - 8));
       },
       "two data"},
      {"header only",
       [](auto& b) {
         b.resize(12);
         Put32(b, 4, 4);
       },
       "no fmt chunk"},
  };
  for (const Malformed& c : cases) {
    std::vector<std::uint8_t> bytes = EncodeWav(8000, Ramp(8));
    c.damage(bytes);
    const WavResult result = ParseWav(bytes);
    EXPECT_FALSE(result.ok()) << c.what;
    EXPECT_NE(result.error.find(c.error), std::string::npos) << c.what << ": " << result.error;
    EXPECT_TRUE(result.audio.samples.empty()) << c.what;
  }
  // Through a file the error names the file.
  std::vector<std::uint8_t> bytes = EncodeWav(8000, Ramp(8));
  Put16(bytes, 22, 2);
  {
    std::FILE* f = std::fopen(Path("stereo.wav").c_str(), "wb");
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
  }
  const WavResult read = ReadWavFile(Path("stereo.wav"));
  EXPECT_NE(read.error.find("stereo.wav: 2 channels"), std::string::npos) << read.error;
}

// Every prefix of a file, and every single damaged header byte, is read
// without a fault (the sanitizer build checks each access).
TEST_F(Wav, NoCutOrDamagedHeaderMakesTheReaderFault) {
  const std::vector<std::uint8_t> good = EncodeWav(8000, Ramp(20));
  for (std::size_t length = 0; length < good.size(); ++length) {
    const std::vector<std::uint8_t> cut(good.begin(), good.begin() + length);
    EXPECT_FALSE(ParseWav(cut).ok()) << length;
  }
  for (std::size_t at = 0; at < 44; ++at) {
    for (int value : {0x00, 0x01, 0x7F, 0x80, 0xFF}) {
      std::vector<std::uint8_t> damaged = good;
      damaged[at] = static_cast<std::uint8_t>(value);
      const WavResult result = ParseWav(damaged);
      if (result.ok()) {
        EXPECT_LE(result.audio.samples.size(), 20u);
      }
    }
  }
}

}  // namespace
}  // namespace plat::line
