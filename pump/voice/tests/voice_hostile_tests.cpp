// Hostile voice commands: empty payloads and every out-of-range value,
// also while bytes play and record. Nothing goes out of bounds (the
// sanitizer build watches), the command is answered, and play and record
// resume with a proper start.
#include <gtest/gtest.h>

#include <vector>

#include "pump/voice/tests/voice_rig.h"

namespace pump::voice_test {
namespace {

struct HostileCase {
  const char* name;
  std::uint8_t code;
  std::vector<std::vector<std::uint8_t>> payloads;
};

std::vector<std::vector<std::uint8_t>> Range(int lo, int hi, std::vector<std::uint8_t> rest) {
  std::vector<std::vector<std::uint8_t>> out;
  for (int v = lo; v <= hi; ++v) {
    std::vector<std::uint8_t> p = {static_cast<std::uint8_t>(v)};
    p.insert(p.end(), rest.begin(), rest.end());
    out.push_back(p);
  }
  return out;
}

std::vector<HostileCase> Cases() {
  std::vector<HostileCase> cases = {
      {"LineModeEmpty", 0x95, {{}}},
      {"SilenceEmpty", 0x96, {{}, {255, 255}, {0, 0}}},
      {"StartEmpty", 0x97, {{}}},
      {"LevelEmpty", 0x99, {{}}},
      {"RouteEmpty", 0x9C, {{}, {0xFF, 0xFF, 0xFF, 0xFF, 0}, {0, 0, 0xFF, 0xFF, 0}}},
      {"SwitchEmpty", 0xA2, {{}, {255}}},
  };
  auto modes = Range(10, 19, {});
  auto high_modes = Range(22, 255, {});
  modes.insert(modes.end(), high_modes.begin(), high_modes.end());
  cases.push_back({"LineModesUnlisted", 0x95, modes});
  cases.push_back({"RateCodes", 0x97, Range(5, 255, {8, 0, 0})});
  std::vector<std::vector<std::uint8_t>> codecs, sequences;
  for (int v = 9; v <= 255; ++v) {
    codecs.push_back({2, static_cast<std::uint8_t>(v), 1, 0});
    sequences.push_back({2, 8, static_cast<std::uint8_t>(v), 0});
  }
  cases.push_back({"CodecTypes", 0x97, codecs});
  cases.push_back({"SequenceTypes", 0x97, sequences});
  return cases;
}

TEST(VoiceCommands, HostileMidStream) {
  for (const HostileCase& c : Cases()) {
    PumpHarness harness(VoiceProfile());
    harness.Run([&] {
      SCOPED_TRACE(c.name);
      StartVoice(harness, 3, 6, 0);
      harness.Controller().StreamTx(0, std::vector<std::uint8_t>(300, 0x35));
      harness.Afe().FeedLine(std::vector<std::int16_t>(8000, 3000));
      for (const auto& payload : c.payloads) {
        const auto answer = harness.Controller().Exchange(c.code, payload);
        EXPECT_EQ(answer.size(), 1u);
        harness.RunBlocks(1);
      }
      // A proper start: 8000 Hz mu-law play, then record.
      harness.Controller().Exchange(0x97, {2, 8, 0, 0});
      harness.Controller().Exchange(0x95, {3});
      const std::size_t before = harness.Afe().LineOutput().size();
      harness.Controller().StreamTx(0, std::vector<std::uint8_t>(800, 0x80));
      harness.RunBlocks(20);
      const auto& line = harness.Afe().LineOutput();
      EXPECT_GE(std::count(line.begin() + static_cast<std::ptrdiff_t>(before), line.end(),
                           std::int16_t{32124}),
                400);
      harness.Controller().Exchange(0x95, {2});
      const std::size_t blocks = harness.Controller().RxBlocks().size();
      harness.Afe().FeedLine(std::vector<std::int16_t>(800, 1000));
      harness.RunBlocks(10);
      EXPECT_GE(harness.Controller().RxBlocks().size(), blocks + 20);
    });
  }
}

}  // namespace
}  // namespace pump::voice_test
