#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <string>

#include "pump/afe_access/tests/afe_access_fixture.h"

namespace pump::testing {
namespace {

using AfeAccessRequests = AfeAccessTest;

enum class Path { kLocked, kSoundPath };

struct RequestCase {
  std::string name;
  std::function<LONG(AfeAccess&)> issue;
  ULONG code;
  Path path;
  ULONG argument;  // the argument's first word as the front end saw it
  ULONG size;
  LONG status;
  std::function<void(const AfeAccess&)> effect;  // the local effect (none: null)
  std::optional<LONG> returned = std::nullopt;   // when the wrapper returns other than the status
};

LONG Direct(AfeAccess& access, ULONG code, ULONG value, ULONG size) {
  ULONG data[3] = {value, 0, 0};
  return IssueAfeRequest(access, code, data, &size);
}

std::vector<RequestCase> Cases() {
  using A = const AfeAccess&;
  return {
      {"line on", [](AfeAccess& a) { return AfeLineOn(a); }, 1, Path::kLocked, 0, 0, 0,
       [](A a) {
         EXPECT_EQ(a.line_on, 1);
         EXPECT_EQ(a.sound_start_count, -5);
       }},
      {"pulse make", [](AfeAccess& a) { return AfePulseMake(a); }, 1, Path::kLocked, 0, 0, 0,
       [](A a) { EXPECT_EQ(a.line_on, 1); }},
      {"line off",
       [](AfeAccess& a) {
         AfeLineOn(a);
         return AfeLineOff(a);
       },
       2, Path::kLocked, 0, 0, 0, [](A a) { EXPECT_EQ(a.line_on, 0); }},
      {"pulse break",
       [](AfeAccess& a) {
         AfeLineOn(a);
         return AfePulseBreak(a);
       },
       2, Path::kLocked, 0, 0, 0, [](A a) { EXPECT_EQ(a.line_on, 0); }},
      {"rate 48 at 7200", [](AfeAccess& a) { return SetAfeRate(a, 48, 7200); }, 4, Path::kLocked,
       48u << 16 | 7200, 4, 0,
       [](A a) {
         EXPECT_EQ(a.sample_rate, 7200);
         EXPECT_EQ(a.samples_per_block, 48);
         EXPECT_EQ(a.converter.step, 29491) << "7200/8000 in Q15";
       }},
      {"rate 80 at 8000", [](AfeAccess& a) { return SetAfeRate(a, 80, 8000); }, 4, Path::kLocked,
       80u << 16 | 8000, 4, 0,
       [](A a) {
         EXPECT_EQ(a.samples_per_block, 80);
         EXPECT_EQ(a.converter.step, 32768);
       }},
      // The front end holds 32 to 138 samples a block; the layer keeps what it will hold.
      {"rate 200 at 16000", [](AfeAccess& a) { return SetAfeRate(a, 200, 16000); }, 4,
       Path::kLocked, 200u << 16 | 16000, 4, 0,
       [](A a) {
         EXPECT_EQ(a.samples_per_block, 138);
         EXPECT_EQ(a.converter.step, 65536);
       }},
      {"rate 0 at 0", [](AfeAccess& a) { return SetAfeRate(a, 0, 0); }, 4, Path::kLocked, 0, 4, 0,
       [](A a) {
         EXPECT_EQ(a.samples_per_block, 32);
         EXPECT_EQ(a.converter.step, 32768) << "no rate converts 1:1";
       }},
      {"speaker", [](AfeAccess& a) { return SetAfeSpeaker(a, 2); }, 8, Path::kLocked, 2, 4, 0,
       [](A a) { EXPECT_EQ(a.sound_level, 2u); }},
      {"read attenuation", [](AfeAccess& a) { return Direct(a, 10, 0, 2); }, 10, Path::kLocked, 0,
       2, 0, nullptr},
      {"set gain", [](AfeAccess& a) { return Direct(a, 11, 6, 2); }, 11, Path::kLocked, 6, 2, 0,
       nullptr},
      {"read gain", [](AfeAccess& a) { return Direct(a, 12, 0, 2); }, 12, Path::kLocked, 0, 2, 0,
       nullptr},
      {"line mode", [](AfeAccess& a) { return Direct(a, 13, 3, 4); }, 13, Path::kLocked, 3, 4, 0,
       [](A a) { EXPECT_EQ(a.line_mode, 3u); }},
      {"codec flag", [](AfeAccess& a) { return Direct(a, 14, 1, 4); }, 14, Path::kLocked, 1, 4, 0,
       [](A a) { EXPECT_EQ(a.codec_flag, 1u); }},
      {"status query", [](AfeAccess& a) { return Direct(a, 15, 7, 4); }, 15, Path::kLocked, 7, 4, 0,
       nullptr},
      {"register write", [](AfeAccess& a) { return Direct(a, 16, 70, 8); }, 16, Path::kLocked, 70,
       8, 0, nullptr},
      {"register read", [](AfeAccess& a) { return Direct(a, 17, 70, 8); }, 17, Path::kLocked, 70, 8,
       0, nullptr},
      {"power", [](AfeAccess& a) { return SetAfePower(a, 3); }, 18, Path::kLocked, 3, 4, 0,
       nullptr},
      {"hook", [](AfeAccess& a) { return SetAfeHook(a, 1); }, 19, Path::kLocked, 1, 4, 0,
       [](A a) {
         EXPECT_EQ(a.hook, 1u);
         EXPECT_EQ(a.hook2, 0u);
       }},
      {"second hook", [](AfeAccess& a) { return SetAfeHook2(a, 1); }, 43, Path::kLocked, 1, 4, 0,
       [](A a) {
         EXPECT_EQ(a.hook2, 1u);
         EXPECT_EQ(a.hook, 0u);
       }},
      {"line option", [](AfeAccess& a) { return SetAfeLineOption(a, 0); }, 44, Path::kLocked, 0, 4,
       0, nullptr},
      {"read value",
       [](AfeAccess& a) {
         ULONG value = 0;
         return AfeReadValue(a, value);
       },
       34, Path::kLocked, 0, 4, 0, nullptr},
      {"line measure", [](AfeAccess& a) { return ReadLineMeasure(a); }, 41, Path::kLocked, 0, 2, 0,
       nullptr, 141},
      {"line status bit", [](AfeAccess& a) { return ReadLineStatusBit(a); }, 47, Path::kLocked, 0,
       2, 0, nullptr},
      {"latency", [](AfeAccess& a) { return SetAfeLatency(a, 4); }, 38, Path::kLocked, 4, 1, 0,
       nullptr},
      {"block ready", [](AfeAccess& a) { return Direct(a, 39, 0, 0); }, 39, Path::kLocked, 0, 0, 0,
       nullptr},
      // The front end's own refusals are kept as they come.
      {"not served", [](AfeAccess& a) { return Direct(a, 21, 0, 0); }, 21, Path::kLocked, 0, 0,
       -999, nullptr},
      {"record of the wrong size", [](AfeAccess& a) { return Direct(a, 20, 0x5A5A5A5A, 12); }, 20,
       Path::kLocked, 0, 12, -999,
       [](A a) { EXPECT_EQ(a.info.SoundMuteBlocks, 78u) << "a refused record is not copied"; }},
      {"stream level", [](AfeAccess& a) { return SoundSetLevel(a, 3, 2); }, 31, Path::kSoundPath, 3,
       12, 0, [](A a) { EXPECT_EQ(a.sound_level, 2u); }},
      {"other stream's level", [](AfeAccess& a) { return SoundSetLevel(a, 4, 2); }, 31,
       Path::kSoundPath, 4, 12, 0, [](A a) { EXPECT_EQ(a.sound_level, 0u); }},
      {"bad level kind", [](AfeAccess& a) { return SoundSetLevel(a, 1, 2); }, 31, Path::kSoundPath,
       1, 12, -15, [](A a) { EXPECT_EQ(a.sound_level, 0u); }},
      {"start line stream", [](AfeAccess& a) { return SoundStartLineStream(a); }, 22,
       Path::kSoundPath, 0, 0, 0, nullptr},
      {"stop line stream", [](AfeAccess& a) { return SoundStopLineStream(a); }, 23,
       Path::kSoundPath, 0, 0, 0, nullptr},
      {"query line stream", [](AfeAccess& a) { return Direct(a, 24, 0, 0); }, 24, Path::kSoundPath,
       0, 0, -12, nullptr},
      {"start line stream now", [](AfeAccess& a) { return SoundStartLineStreamNow(a); }, 25,
       Path::kSoundPath, 0, 0, 0, nullptr},
      {"stop line stream now", [](AfeAccess& a) { return SoundStopLineStreamNow(a); }, 26,
       Path::kSoundPath, 0, 0, 0, nullptr},
      {"start app stream", [](AfeAccess& a) { return SoundStartAppStream(a); }, 27,
       Path::kSoundPath, 0, 0, 0, nullptr},
      {"stop app stream", [](AfeAccess& a) { return SoundStopAppStream(a); }, 28, Path::kSoundPath,
       0, 0, 0, nullptr},
      {"put samples on a stopped stream",
       [](AfeAccess& a) {
         std::int16_t samples[80] = {9};
         return SoundPutSamples(a, samples);
       },
       29, Path::kSoundPath, 9, 80, -5, nullptr},
      {"resume", [](AfeAccess& a) { return SoundResume(a); }, 35, Path::kSoundPath, 0, 0, 0,
       nullptr},
      {"suspend", [](AfeAccess& a) { return SoundSuspend(a); }, 36, Path::kSoundPath, 0, 0, 0,
       nullptr},
      {"request 37",
       [](AfeAccess& a) {
         ULONG value = 0;
         return SoundRequest37(a, value);
       },
       37, Path::kSoundPath, 0, 4, -4, nullptr},
      {"start both", [](AfeAccess& a) { return SoundStartBoth(a); }, 45, Path::kSoundPath, 0, 0, 0,
       nullptr},
      {"stop both", [](AfeAccess& a) { return SoundStopBoth(a); }, 46, Path::kSoundPath, 0, 0, 0,
       nullptr},
      {"unknown sound code", [](AfeAccess& a) { return Direct(a, 32, 0, 0); }, 32, Path::kSoundPath,
       0, 0, -4, nullptr},
  };
}

// Each request reaches the front end by its path with its argument and size,
// its result becomes the last status, and its local effect applies.
TEST_F(AfeAccessRequests, PathArgumentStatusAndEffect) {
  for (const RequestCase& c : Cases()) {
    SCOPED_TRACE(c.name);
    Run([&](AfeAccess& access) {
      Flags() = afe::kProfileSoundPath | afe::kProfileLineStreamStart;
      const LONG result = c.issue(access);
      EXPECT_EQ(access.last_status, c.status);
      EXPECT_EQ(result, c.returned.value_or(c.status));
      const std::vector<AfeCall> calls =
          Calls(c.path == Path::kLocked ? AfeEntry::kRequest : AfeEntry::kSoundPath, c.code);
      ASSERT_FALSE(calls.empty());
      const AfeCall& call = calls.back();
      EXPECT_EQ(call.argument, c.argument);
      EXPECT_EQ(call.size, c.size);
      EXPECT_EQ(call.result, c.status);
      EXPECT_EQ(call.lock_held, c.path == Path::kLocked);
      EXPECT_EQ(call.irql, c.path == Path::kLocked ? DISPATCH_LEVEL : PASSIVE_LEVEL);
      if (c.effect) c.effect(access);
    });
  }
}

// With the sound path disabled every sound-path request answers its own
// code, which the layer keeps like any other result.
TEST_F(AfeAccessRequests, DisabledSoundPathAnswersItsCode) {
  Run([&](AfeAccess& access) {
    Flags() = 0;
    EXPECT_EQ(SoundStartLineStreamNow(access), 25);
    EXPECT_EQ(access.last_status, 25);
    EXPECT_EQ(SoundSetLevel(access, 3, 1), 31);
    EXPECT_EQ(access.sound_level, 1u) << "the level is kept as asked";
    EXPECT_FALSE(Afe().line_stream().accepting);
  });
}

// Results returned through the argument reach the caller.
TEST_F(AfeAccessRequests, AnswersReachTheCaller) {
  Run([&](AfeAccess& access) {
    Afe().SetLineStatus(3);
    ULONG status = 0;
    EXPECT_EQ(AfeReadValue(access, status), 0);
    EXPECT_EQ(status, 3u);

    AfeLineOn(access);
    Afe().SetLineVoltageReading(20);
    EXPECT_EQ(ReadLineMeasure(access), 66);

    Afe().SetLineStatusBit(true);
    EXPECT_EQ(ReadLineStatusBit(access), 1);
    Afe().SetLineStatusBit(false);
    EXPECT_EQ(ReadLineStatusBit(access), 0);
    Afe().ForceResult(afe::kAfeLineStatusBit, afe::kAfeRefused);
    EXPECT_EQ(ReadLineStatusBit(access), 1) << "a failed request reads as 1";
  });
}

// Taking application samples needs room for one whole entry beyond the
// request; a smaller buffer never reaches the front end.
TEST_F(AfeAccessRequests, TakeSamplesNeedsRoomForAWholeEntry) {
  Run([&](AfeAccess& access) {
    Flags() = afe::kProfileSoundPath;
    SoundStartAppStream(access);
    std::vector<std::int16_t> entry(80);
    for (std::size_t i = 0; i < entry.size(); ++i) entry[i] = static_cast<std::int16_t>(8 * i);
    Afe().QueueAppSamples(entry);
    Afe().QueueAppSamples(entry);

    std::vector<std::int16_t> small(100 + kSoundEntrySamples - 1);
    int count = 100;
    EXPECT_EQ(SoundTakeSamples(access, small, count), kAfeStatusBadCount);
    EXPECT_EQ(count, 0);
    EXPECT_TRUE(Calls(AfeEntry::kSoundPath, afe::kSoundTakeSamples).empty());

    std::vector<std::int16_t> buffer(100 + kSoundEntrySamples);
    count = 100;
    EXPECT_EQ(SoundTakeSamples(access, buffer, count), 0);
    EXPECT_EQ(count, 160) << "whole entries until at least 100 arrived";
    EXPECT_EQ(buffer[81], 8) << "the second entry follows the first";
  });
}

}  // namespace
}  // namespace pump::testing
