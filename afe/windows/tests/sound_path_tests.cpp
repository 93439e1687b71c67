// SoundPathRequest: the gate (interrupt level, then ProfileFlags bit 17),
// the stream commands with their flags and events, and the puts and takes.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <numeric>
#include <random>
#include <string>
#include <vector>

#include "afe/windows/tests/sound_rig.h"

namespace afe::testing {
namespace {

constexpr ULONG kOn = kProfileSoundPath;
constexpr ULONG kOnWithLineStart = kProfileSoundPath | kProfileLineStreamStart;

int ImportantLines(plat::ke::Kernel& kernel) {
  return static_cast<int>(
      std::count_if(kernel.log().begin(), kernel.log().end(), [](const auto& l) {
        return l.text.find(
                   "<AFE>I M P O R T A N T ! You must call AudioProcessing functions at "
                   "PASSIVE_LEVEL only. Function you called is disabled ! ") != std::string::npos;
      }));
}

class SoundPath : public SoundRig {};

// Above PASSIVE_LEVEL only 24, 29, 30 and 37 pass, the others answer -999
// with the debug line; then with bit 17 clear every code answers itself;
// then the command runs (here on streams that are all stopped).
TEST_F(SoundPath, Gate) {
  const std::map<ULONG, LONG> commands = {
      {22, 0},  {23, 0},  {24, -12}, {25, 0},  {26, 0},  {27, 0},  {28, 0},
      {29, -5}, {30, -5}, {31, 0},   {35, 0},  {36, 0},  {37, -4}, {45, 0},
      {46, 0},  {32, -4}, {33, -4},  {34, -4}, {44, -4}, {47, -4}, {99, -4},
  };
  const std::vector<ULONG> raised_ok = {24, 29, 30, 37};
  StartSound(0);
  OnKernelThread([&] {
    for (const KIRQL level : {KIRQL{PASSIVE_LEVEL}, KIRQL{DISPATCH_LEVEL}}) {
      for (const ULONG flags : {0u, kOn}) {
        for (const auto& [code, command_result] : commands) {
          SCOPED_TRACE(::testing::Message()
                       << "code " << code << " at IRQL " << int{level} << ", flags " << flags);
          profile_flags_ = kOn;
          ASSERT_EQ(Sound(kSoundSuspend), kAfeOk) << "every stream stopped";
          profile_flags_ = flags;
          const bool blocked =
              level != PASSIVE_LEVEL &&
              std::find(raised_ok.begin(), raised_ok.end(), code) == raised_ok.end();
          const LONG expected = blocked      ? kAfeRefused
                                : flags == 0 ? static_cast<LONG>(code)
                                             : command_result;
          SHORT samples[480] = {};
          ULONG count = 80;
          ULONG level_request[3] = {kLineStreamKind, 0, 2};
          void* argument = code == kSoundSetLevel ? static_cast<void*>(level_request) : samples;
          if (code == kSoundSetLevel) count = sizeof level_request;
          const int lines = ImportantLines(kernel());
          KIRQL old = PASSIVE_LEVEL;
          if (level != PASSIVE_LEVEL) KeRaiseIrql(level, &old);
          const LONG result = Sound(code, argument, &count);
          if (level != PASSIVE_LEVEL) KeLowerIrql(old);
          EXPECT_EQ(result, expected);
          EXPECT_EQ(ImportantLines(kernel()), lines + (blocked ? 1 : 0));
        }
      }
    }
  });
}

// A Sound device whose queues cannot be had is not made: the start goes on
// without it, and the sound path answers -5 to every command.
TEST_F(SoundPath, NoQueuesNoDevice) {
  BootAfe();
  kernel().pool().FailAbove(kSoundQueueEntries * sizeof(SoundQueueEntry) - 1);
  OnKernelThread([&] { StartOrFail(); });
  kernel().pool().ClearFaults();
  EXPECT_EQ(Device(kSoundDeviceType), nullptr);
  EXPECT_EQ(Extension().SoundDevice, nullptr);
  EXPECT_EQ(Held().names, 4u) << "the AFE and Diagnostic devices with their links";
  profile_flags_ = kOnWithLineStart;
  OnKernelThread([&] {
    for (const ULONG code : {22u, 24u, 25u, 29u, 36u, 99u}) {
      SHORT samples[80] = {};
      ULONG count = 80;
      EXPECT_EQ(Sound(code, samples, &count), kSoundNotRunning) << code;
    }
  });
}

class SoundCommands : public SoundRig {};

// Each row from a fresh Sound device: its commands in order, then the
// streams' flags and which of the bridge's events are signalled.
TEST_F(SoundCommands, FlagsAndEvents) {
  struct Flags {
    UCHAR capture, line_adjustable, accepting, app_adjustable, active;
    bool operator==(const Flags&) const = default;
  };
  struct Case {
    const char* what;
    ULONG profile;
    std::vector<ULONG> commands;
    Flags flags;
    std::vector<int> signalled;
  };
  const Case cases[] = {
      {"22 without bit 1 does nothing", kOn, {22}, {0, 0, 0, 0, 0}, {}},
      {"22", kOnWithLineStart, {22}, {1, 1, 1, 0, 0}, {3}},
      {"35", kOnWithLineStart, {35}, {1, 1, 1, 0, 0}, {3}},
      {"23 after 22", kOnWithLineStart, {22, 23}, {0, 0, 0, 0, 0}, {4}},
      {"23 alone does nothing", kOn, {23}, {0, 0, 0, 0, 0}, {}},
      {"25", kOn, {25}, {0, 1, 1, 0, 0}, {3}},
      {"26 after 25", kOn, {25, 26}, {0, 0, 0, 0, 0}, {4}},
      {"27", kOn, {27}, {0, 0, 0, 1, 1}, {5}},
      {"28 after 27", kOn, {27, 28}, {0, 0, 0, 0, 0}, {6}},
      {"36 after 25 and 27", kOn, {25, 27, 36}, {0, 0, 0, 0, 0}, {2}},
      {"46 after 22 keeps both running", kOnWithLineStart, {22, 27, 46}, {1, 1, 1, 1, 1}, {3, 5}},
      {"45", kOn, {45}, {0, 1, 1, 1, 1}, {3, 5}},
      {"46 after 45 stops both", kOn, {45, 46}, {0, 0, 0, 0, 0}, {4, 6}},
      {"26 and 28 set their events only", kOn, {26, 28}, {0, 0, 0, 0, 0}, {4, 6}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    StartSound(c.profile);
    OnUserThread([&] { OpenBridge(); });
    OnKernelThread([&] {
      for (const ULONG code : c.commands) EXPECT_EQ(Sound(code), kAfeOk) << code;
      const SoundDeviceExtension& s = SoundDevice();
      const Flags flags{s.LineStream.CaptureStarted, s.LineStream.LevelAdjustable,
                        s.LineStream.Accepting, s.AppStream.LevelAdjustable, s.AppStream.Active};
      EXPECT_EQ(flags, c.flags);
      std::array<bool, kSoundEvents> expected{};
      for (const int event : c.signalled) expected[event] = true;
      EXPECT_EQ(Signalled(), expected);
    });
    OnUserThread([&] { CloseBridge(); });
    machine().Shutdown();
  }
}

// Request 24 answers 0 only while the line stream was started by 22 or 35
// (capture started and accepting).
TEST_F(SoundCommands, QueryAnswersOnlyAfter22Or35) {
  struct Case {
    std::vector<ULONG> commands;
    LONG result;
  };
  const Case cases[] = {
      {{}, -12},       {{22}, 0},       {{35}, 0},       {{25}, -12},   {{45}, -12},
      {{22, 26}, -12}, {{22, 23}, -12}, {{22, 36}, -12}, {{22, 46}, 0}, {{25, 22}, 0},
  };
  StartSound(kOnWithLineStart);
  OnKernelThread([&] {
    for (const Case& c : cases) {
      SCOPED_TRACE(::testing::PrintToString(c.commands));
      ASSERT_EQ(Sound(kSoundStopLineStream), kAfeOk);  // clears a capture started before
      ASSERT_EQ(Sound(kSoundSuspend), kAfeOk);
      for (const ULONG code : c.commands) ASSERT_EQ(Sound(code), kAfeOk);
      EXPECT_EQ(Sound(kSoundQueryLineStream), c.result);
    }
  });
}

class SoundPutTake : public SoundRig {
 protected:
  std::vector<SHORT> Random(std::size_t n, std::uint32_t seed) {
    std::mt19937 random(seed);
    std::uniform_int_distribution<int> sample(-32768, 32767);
    std::vector<SHORT> samples(n);
    for (SHORT& s : samples) s = static_cast<SHORT>(sample(random));
    return samples;
  }
  // The read queue's entries as they stand, oldest first.
  std::vector<std::vector<SHORT>> ReadQueue() {
    std::vector<std::vector<SHORT>> entries;
    const SampleQueue& q = SoundDevice().LineStream.Queue;
    for (ULONG i = 0; i < q.Count; ++i) {
      const SoundQueueEntry& e = q.Entries[(q.ReadIndex + i) % kSoundQueueEntries];
      entries.emplace_back(e.Samples, e.Samples + e.Bytes / 2);
    }
    return entries;
  }
  // Level request 31 for `kind`.
  LONG SetLevel(ULONG kind, ULONG level) {
    ULONG request[3] = {kind, 0, level};
    ULONG count = sizeof request;
    return Sound(kSoundSetLevel, request, &count);
  }
};

// A put queues the block scaled by the stream's level: 3 as it is, 2
// halved, 1 quartered (rounding down), 0 silent; a level above 3 counts as
// 3. The caller's buffer is scaled in place. More than 480 samples are
// ignored.
TEST_F(SoundPutTake, Levels) {
  struct Case {
    ULONG level;
    int divisor;  // 0: silence
  };
  StartSound();
  OnKernelThread([&] {
    ASSERT_EQ(Sound(kSoundStartLineStreamNow), kAfeOk);
    for (const Case c : {Case{3, 1}, Case{2, 2}, Case{1, 4}, Case{0, 0}, Case{7, 1}, Case{3, 1}}) {
      SCOPED_TRACE(c.level);
      ASSERT_EQ(SetLevel(kLineStreamKind, c.level), kAfeOk);
      EXPECT_EQ(SoundDevice().LineStream.Level, std::min<ULONG>(c.level, 3));
      const std::vector<SHORT> block = Random(480, c.level);
      std::vector<SHORT> put = block;
      ULONG count = 480;
      const std::size_t before = ReadQueue().size();
      ASSERT_EQ(Sound(kSoundPutSamples, put.data(), &count), kAfeOk);
      std::vector<SHORT> expected(block.size());
      std::transform(block.begin(), block.end(), expected.begin(), [&](SHORT s) {
        return c.divisor == 0 ? SHORT{0}
                              : static_cast<SHORT>(std::floor(static_cast<double>(s) / c.divisor));
      });
      ASSERT_EQ(ReadQueue().size(), before + 1);
      EXPECT_EQ(ReadQueue().back(), expected);
      EXPECT_EQ(put, expected) << "scaled in the caller's buffer";
    }
    std::vector<SHORT> too_long = Random(481, 9);
    ULONG count = 481;
    const std::size_t before = ReadQueue().size();
    EXPECT_EQ(Sound(kSoundPutSamples, too_long.data(), &count), kAfeOk);
    EXPECT_EQ(ReadQueue().size(), before) << "more than 480 samples are ignored";
  });
}

// A take delivers exactly the wanted count and nothing beyond it; an entry
// only partly taken keeps its rest at the head for the next take; the
// stream's level applies to what is delivered.
TEST_F(SoundPutTake, Takes) {
  StartSound();
  const std::vector<SHORT> written = Random(640, 77);
  OnUserThread([&] {
    OpenBridge();
    ASSERT_TRUE(BridgeControl(IOCTL_SOUND_WRITEDATA, written.data(), 1280, nullptr, 0).done);
  });
  OnKernelThread([&] {
    ASSERT_EQ(Sound(kSoundStartAppStream), kAfeOk);
    constexpr SHORT kGuard = 0x5A5A;
    std::size_t offset = 0;
    for (const ULONG wanted : {50u, 30u, 100u, 80u, 1u, 239u}) {
      SCOPED_TRACE(wanted);
      std::vector<SHORT> buffer(wanted + 480, kGuard);
      ULONG count = wanted;
      ASSERT_EQ(Sound(kSoundTakeSamples, buffer.data(), &count), kAfeOk);
      EXPECT_EQ(count, wanted);
      EXPECT_TRUE(std::equal(buffer.begin(), buffer.begin() + wanted, written.begin() + offset));
      EXPECT_TRUE(std::all_of(buffer.begin() + wanted, buffer.end(), [](SHORT s) {
        return s == kGuard;
      })) << "nothing past the wanted count";
      offset += wanted;
    }
    ASSERT_EQ(offset, 500u);
    // Level 1 quarters what is taken; the rest of the written block remains.
    ASSERT_EQ(SetLevel(kAppStreamKind, 1), kAfeOk);
    std::vector<SHORT> rest(140);
    ULONG count = 140;
    ASSERT_EQ(Sound(kSoundTakeSamples, rest.data(), &count), kAfeOk);
    for (std::size_t i = 0; i < rest.size(); ++i) {
      EXPECT_EQ(rest[i], static_cast<SHORT>(std::floor(written[500 + i] / 4.0))) << i;
    }
  });
  OnUserThread([&] { CloseBridge(); });
}

// -5 and nothing moved: a put while the line stream does not accept, a take
// while the application stream is not active; a take whose queue runs dry
// keeps what it delivered and says how much.
TEST_F(SoundPutTake, Refusals) {
  StartSound();
  const std::vector<SHORT> written = Random(640, 5);
  OnUserThread([&] {
    OpenBridge();
    ASSERT_TRUE(BridgeControl(IOCTL_SOUND_WRITEDATA, written.data(), 1280, nullptr, 0).done);
  });
  OnKernelThread([&] {
    EXPECT_EQ(Put(Random(80, 1)), kSoundNotRunning);
    EXPECT_TRUE(ReadQueue().empty());
    std::vector<SHORT> buffer(1200, 0);
    ULONG count = 80;
    EXPECT_EQ(Sound(kSoundTakeSamples, buffer.data(), &count), kSoundNotRunning);
    EXPECT_EQ(count, 0u);
    EXPECT_EQ(SoundDevice().AppStream.Queue.Count, 8u) << "nothing taken";

    ASSERT_EQ(Sound(kSoundStartAppStream), kAfeOk);
    count = 700;
    EXPECT_EQ(Sound(kSoundTakeSamples, buffer.data(), &count), kSoundNotRunning);
    EXPECT_EQ(count, 640u);
    EXPECT_TRUE(std::equal(written.begin(), written.end(), buffer.begin()));
    count = 10;
    EXPECT_EQ(Sound(kSoundTakeSamples, buffer.data(), &count), kSoundNotRunning);
    EXPECT_EQ(count, 0u);

    ASSERT_EQ(Sound(kSoundStopLineStreamNow), kAfeOk);
    EXPECT_EQ(Put(Random(80, 2)), kSoundNotRunning);
  });
  OnUserThread([&] { CloseBridge(); });
}

}  // namespace
}  // namespace afe::testing
