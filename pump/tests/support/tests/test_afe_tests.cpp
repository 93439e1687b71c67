// The test-side front end against the front end's own rules: the record of
// request 20, the register window, the line measurement, the gain steps, the
// rings' timing and the sound device's queues and commands.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "pump/tests/support/afe_calls.h"
#include "pump/tests/support/test_afe_harness.h"

namespace pump::testing {
namespace {

class TestAfeRules : public ::testing::Test {
 protected:
  afe::AfeInterface& Afe() { return harness_.Interface(); }
  TestAfe& Front() { return harness_.Afe(); }

  LONG Request(ULONG code, void* data = nullptr, ULONG size = 0) {
    return CallAfeRequest(Afe(), code, data, size);
  }
  LONG RequestWord(ULONG code, ULONG value) { return CallAfeRequestWord(Afe(), code, value); }
  LONG Sound(ULONG code, void* data = nullptr, ULONG count = 0) {
    return CallSoundPath(Afe(), code, data, count);
  }

  TestAfeHarness harness_;
};

template <class T>
T At(const std::vector<std::uint8_t>& bytes, std::size_t offset) {
  T value;
  std::memcpy(&value, bytes.data() + offset, sizeof value);
  return value;
}

// Request 20 fills every field of its table; the two it has no value for are zero.
TEST_F(TestAfeRules, RecordFollowsItsTable) {
  harness_.Run([&] {
    for (const bool fast_line : {false, true}) {
      Front().Register(64) = fast_line ? 0x0C : 0x04;
      Front().SetControllerKind(fast_line ? 7 : 6);
      std::vector<std::uint8_t> bytes(556, 0xAB);
      ASSERT_EQ(Request(afe::kAfeGetInfo, bytes.data(), 556), afe::kAfeOk);
      EXPECT_EQ(At<ULONG>(bytes, 0), 78u);
      EXPECT_EQ(At<USHORT>(bytes, 4), TestAfe::kVendorId);
      EXPECT_EQ(At<USHORT>(bytes, 6), TestAfe::kDeviceId);
      EXPECT_EQ(At<USHORT>(bytes, 8), 2) << "latency 3, less one";
      EXPECT_EQ(At<USHORT>(bytes, 10), 1);
      const std::vector<ULONG> first = {256, 0, 8, 12, 16, 20, 24, 28, 32, 36, 40};
      const std::vector<ULONG> second = {48, 52, 56, 60, 64, 68, 72, 76, 80, 84, 88, 92, 96, 100};
      for (std::size_t i = 0; i < 64; ++i) {
        EXPECT_EQ(At<ULONG>(bytes, 12 + 4 * i), i < first.size() ? first[i] : 0u) << i;
        EXPECT_EQ(At<ULONG>(bytes, 268 + 4 * i), i < second.size() ? second[i] : 0u) << i;
      }
      EXPECT_EQ(At<ULONG>(bytes, 524), fast_line ? 7u : 6u);
      EXPECT_EQ(At<USHORT>(bytes, 528), 28);
      EXPECT_EQ(At<USHORT>(bytes, 530), 16000);
      EXPECT_EQ(At<USHORT>(bytes, 532), 9);
      EXPECT_EQ(At<USHORT>(bytes, 534), fast_line ? 61 : 121) << "register 64 bits 2 and 3";
      EXPECT_EQ(At<USHORT>(bytes, 536), 9);
      EXPECT_EQ(At<USHORT>(bytes, 538), 0) << "no value";
      EXPECT_EQ(At<ULONG>(bytes, 540), 1u);
      EXPECT_EQ(At<ULONG>(bytes, 544), 0u);
      EXPECT_EQ(At<ULONG>(bytes, 548), 0u);
      EXPECT_EQ(At<USHORT>(bytes, 552), 30);
      EXPECT_EQ(At<USHORT>(bytes, 554), 0) << "no value";
    }
  });
}

// Requests the data pump does not issue, and sized requests of another
// size, are refused and change nothing.
TEST_F(TestAfeRules, UnservedCodesAndWrongSizesGiveMinus999) {
  harness_.Run([&] {
    for (const ULONG code : {5u, 9u, 21u, 40u, 48u, 200u}) {
      ULONG data[4] = {};
      EXPECT_EQ(Request(code, data, 16), afe::kAfeRefused) << code;
    }
    struct Sized {
      ULONG code;
      ULONG size;
    };
    for (const Sized s :
         {Sized{3, 4}, Sized{10, 2}, Sized{12, 2}, Sized{15, 4}, Sized{16, 8}, Sized{17, 8},
          Sized{20, 556}, Sized{34, 4}, Sized{38, 1}, Sized{41, 2}, Sized{44, 4}, Sized{47, 2}}) {
      std::vector<std::uint8_t> data(600, 0x5A);
      EXPECT_EQ(Request(s.code, data.data(), s.size + 1), afe::kAfeRefused) << s.code;
      EXPECT_EQ(Request(s.code, data.data(), s.size - 1), afe::kAfeRefused) << s.code;
      EXPECT_EQ(data, std::vector<std::uint8_t>(600, 0x5A)) << s.code;
    }
    EXPECT_EQ(Front().Context().Latency, 3);
    EXPECT_EQ(Front().line_monitor(), 1u);
  });
}

// Requests 16 and 17 reach byte registers 0-100; 17 reads the little-endian
// word that starts at the register, with nothing beyond register 100.
TEST_F(TestAfeRules, RegisterWindow) {
  harness_.Run([&] {
    ULONG write[2] = {98, 0x1A2};
    ASSERT_EQ(Request(afe::kAfeRegisterWrite, write, 8), afe::kAfeOk);
    write[0] = 100;
    write[1] = 0x33;
    ASSERT_EQ(Request(afe::kAfeRegisterWrite, write, 8), afe::kAfeOk);
    write[0] = 101;
    ASSERT_EQ(Request(afe::kAfeRegisterWrite, write, 8), afe::kAfeOk);
    EXPECT_EQ(Front().Register(98), 0xA2);
    Front().Register(99) = 0x11;

    ULONG read[2] = {98, 0xFFFFFFFF};
    ASSERT_EQ(Request(afe::kAfeRegisterRead, read, 8), afe::kAfeOk);
    EXPECT_EQ(read[1], 0x003311A2u);
    read[0] = 150;
    ASSERT_EQ(Request(afe::kAfeRegisterRead, read, 8), afe::kAfeOk);
    EXPECT_EQ(read[1], 0u);
  });
}

TEST_F(TestAfeRules, LineMeasurement) {
  struct Case {
    bool line_on;
    UCHAR reading;
    bool invalid;  // register 67 bit 0
    USHORT volts;
  };
  harness_.Run([&] {
    for (const Case c :
         {Case{false, 20, false, 141}, Case{true, 20, false, 66}, Case{true, 31, false, 141},
          Case{true, 0, false, 0}, Case{true, 30, false, 99}, Case{true, 20, true, 141}}) {
      Request(c.line_on ? afe::kAfeLineOn : afe::kAfeLineOff);
      Front().SetLineVoltageReading(c.reading);
      Front().Register(67) = c.invalid ? 1 : 0;
      USHORT volts = 0;
      ASSERT_EQ(Request(afe::kAfeLineMeasure, &volts, 2), afe::kAfeOk);
      EXPECT_EQ(volts, c.volts) << "reading " << int{c.reading};
    }
  });
}

// Request 11 keeps the gain step for the value asked; 12 reads it back, and
// register 63's low nibble holds its code.
TEST_F(TestAfeRules, GainSteps) {
  struct Case {
    SHORT asked;
    SHORT step;
    UCHAR code;
  };
  harness_.Run([&] {
    for (const Case c : {Case{-5, 0, 0}, Case{1, 0, 0}, Case{2, 3, 1}, Case{4, 3, 1}, Case{5, 6, 2},
                         Case{10, 9, 3}, Case{13, 12, 4}, Case{14, 100, 8}}) {
      SHORT asked = c.asked;
      ASSERT_EQ(Request(afe::kAfeSetGain, &asked, 2), afe::kAfeOk);
      SHORT step = -1;
      ASSERT_EQ(Request(afe::kAfeGetGain, &step, 2), afe::kAfeOk);
      EXPECT_EQ(step, c.step) << c.asked;
      EXPECT_EQ(Front().Register(63) & 0x0F, c.code) << c.asked;
    }
  });
}

// Power-up runs once per change of state; a test mode runs once per mode.
TEST_F(TestAfeRules, PowerStatesAndTestModes) {
  harness_.Run([&] {
    ASSERT_EQ(RequestWord(afe::kAfePowerState, 0), afe::kAfeOk);
    EXPECT_TRUE(Front().running());
    Front().Context().TxWriteCursor = 9;
    ASSERT_EQ(RequestWord(afe::kAfePowerState, 0), afe::kAfeOk);
    EXPECT_EQ(Front().Context().TxWriteCursor, 9) << "the same state again does nothing";
    EXPECT_EQ(RequestWord(afe::kAfePowerState, 4), afe::kAfeRefused);

    ASSERT_EQ(RequestWord(afe::kAfeTestMode, 3), afe::kAfeOk);
    EXPECT_EQ(Front().test_mode(), 3u);
    EXPECT_EQ(Front().Register(53) & 1, 1) << "mode 3 takes the line";
    EXPECT_EQ(Front().Context().TxWriteCursor, 3) << "the front end was initialised again";
    EXPECT_EQ(Front().off_hook_counter(), 0) << "no off-hook sequence in a test mode";
    EXPECT_EQ(RequestWord(afe::kAfeTestMode, 5), afe::kAfeRefused);
    EXPECT_EQ(Front().test_mode(), 3u);

    ASSERT_EQ(RequestWord(afe::kAfePowerState, 3), afe::kAfeOk);
    EXPECT_FALSE(Front().running());
    EXPECT_EQ(Front().Register(53) & 1, 0) << "line off";
  });
}

// Line-on starts the off-hook sequence; the deferred work steps it through
// its outputs, and request 44 cannot stop it once it passed 50.
TEST_F(TestAfeRules, OffHookSequence) {
  harness_.Run([&] {
    ASSERT_EQ(Request(afe::kAfeLineOn), afe::kAfeOk);
    std::vector<int> bit3_changes;
    bool bit3 = false;
    for (int step = 2; step <= 78; ++step) {
      Front().Step();
      const bool now = (Front().Register(65) & 0x08) != 0;
      if (now != bit3) bit3_changes.push_back(step);
      bit3 = now;
      if (step == 50) {
        EXPECT_EQ(Front().Register(65) & 0x20, 0x20);
      }
      if (step == 51) {
        EXPECT_EQ(Front().Register(65) & 0x60, 0x60);
      }
      if (step == 60) {
        EXPECT_EQ(RequestWord(afe::kAfeLineMonitor, 0), afe::kAfeOk);
      }
    }
    EXPECT_EQ(bit3_changes, (std::vector<int>{5, 26}));
    EXPECT_EQ(Front().off_hook_counter(), 0) << "ended at 78";
    EXPECT_EQ(Front().Register(65) & 0x60, 0);
    EXPECT_EQ(Front().line_monitor(), 1u) << "the request at 60 was ignored";
  });
}

// With a data pump that answers every block at once, output block k + 3 is
// the answer to input block k; the first three play silence.
TEST_F(TestAfeRules, OutputLagsInputByThreeBlocks) {
  harness_.Run([&] {
    std::vector<std::int16_t> line(10 * 96);
    for (std::size_t i = 0; i < line.size(); ++i) line[i] = static_cast<std::int16_t>(i + 1);
    Front().FeedLine(line);
    afe::AfeContext& context = Front().Context();
    for (int block = 0; block < 10; ++block) {
      Front().Step();
      std::int16_t samples[96];
      ASSERT_EQ(Afe().AfeReadBlock(Afe().Context, samples, sizeof samples), sizeof samples);
      ASSERT_EQ(Afe().AfeWriteBlock(Afe().Context, samples, sizeof samples), sizeof samples);
      context.RxReadCursor = static_cast<std::int8_t>(afe::NextSlot(context.RxReadCursor));
      context.TxWriteCursor = static_cast<std::int8_t>(afe::NextSlot(context.TxWriteCursor));
    }
    const std::vector<std::int16_t>& out = Front().LineOutput();
    ASSERT_EQ(out.size(), 10u * 96);
    EXPECT_EQ(std::vector<std::int16_t>(out.begin(), out.begin() + 3 * 96),
              std::vector<std::int16_t>(3 * 96, 0));
    EXPECT_EQ(std::vector<std::int16_t>(out.begin() + 3 * 96, out.end()),
              std::vector<std::int16_t>(line.begin(), line.begin() + 7 * 96));
    EXPECT_EQ(context.BlockBalance, -2);
  });
}

// The read queue holds 32 entries, the oldest giving way; puts are scaled
// to the stream's level; too long a block is ignored.
TEST_F(TestAfeRules, SoundReadQueue) {
  harness_.Run([&] {
    harness_.ProfileFlags() = afe::kProfileSoundPath | afe::kProfileLineStreamStart;
    std::int16_t samples[481];
    EXPECT_EQ(Sound(afe::kSoundPutSamples, samples, 80), afe::kSoundNotRunning);
    ASSERT_EQ(Sound(afe::kSoundStartLineStream), afe::kAfeOk);
    for (int k = 0; k < 33; ++k) {
      std::fill(std::begin(samples), std::end(samples), static_cast<std::int16_t>(k));
      ASSERT_EQ(Sound(afe::kSoundPutSamples, samples, 80), afe::kAfeOk);
    }
    EXPECT_EQ(Front().SoundReadQueueDepth(), 32u);
    EXPECT_EQ(Sound(afe::kSoundPutSamples, samples, 481), afe::kAfeOk);
    EXPECT_EQ(Front().SoundPuts().size(), 33u) << "481 samples are ignored";

    ULONG level[3] = {3, 0, 2};
    ASSERT_EQ(Sound(afe::kSoundSetLevel, level, 12), afe::kAfeOk);
    std::fill(std::begin(samples), std::end(samples), std::int16_t{-1001});
    ASSERT_EQ(Sound(afe::kSoundPutSamples, samples, 480), afe::kAfeOk);
    EXPECT_EQ(Front().SoundPuts().back(), std::vector<std::int16_t>(480, -501)) << "halved";
    EXPECT_EQ(samples[0], -501) << "in the caller's buffer";
  });
}

// 46 leaves both streams while capture was started by 22; after 45 it stops
// both, with the events of 26 and 28.
TEST_F(TestAfeRules, StreamCommandsAndTheirEvents) {
  harness_.Run([&] {
    harness_.ProfileFlags() = afe::kProfileSoundPath | afe::kProfileLineStreamStart;
    ASSERT_EQ(Sound(afe::kSoundStartLineStream), afe::kAfeOk);
    ASSERT_EQ(Sound(afe::kSoundStartAppStream), afe::kAfeOk);
    ASSERT_EQ(Sound(afe::kSoundStopBoth), afe::kAfeOk);
    EXPECT_TRUE(Front().line_stream().accepting);
    EXPECT_TRUE(Front().app_stream().active);

    ASSERT_EQ(Sound(afe::kSoundStartBoth), afe::kAfeOk);
    EXPECT_FALSE(Front().line_stream().capture_started);
    const std::size_t before = Front().SoundEvents().size();
    ASSERT_EQ(Sound(afe::kSoundStopBoth), afe::kAfeOk);
    EXPECT_FALSE(Front().line_stream().accepting);
    EXPECT_FALSE(Front().app_stream().active);
    const std::vector<SoundEventChange> events(Front().SoundEvents().begin() + before,
                                               Front().SoundEvents().end());
    EXPECT_EQ(events,
              (std::vector<SoundEventChange>{{3, false}, {4, true}, {5, false}, {6, true}}));

    EXPECT_EQ(Sound(afe::kSoundSuspend), afe::kAfeOk);
    EXPECT_EQ(Front().SoundEvents().back(), (SoundEventChange{2, true}));
  });
}

// Takes deliver whole entries until the count is reached, at the stream's
// level; a dry queue ends with -5 and what was delivered.
TEST_F(TestAfeRules, SoundWriteQueue) {
  harness_.Run([&] {
    harness_.ProfileFlags() = afe::kProfileSoundPath;
    std::vector<std::int16_t> buffer(1000);
    EXPECT_EQ(Sound(afe::kSoundTakeSamples, buffer.data(), 80), afe::kSoundNotRunning);
    ASSERT_EQ(Sound(afe::kSoundStartAppStream), afe::kAfeOk);
    ULONG level[3] = {4, 0, 1};
    ASSERT_EQ(Sound(afe::kSoundSetLevel, level, 12), afe::kAfeOk);
    Front().QueueAppSamples(std::vector<std::int16_t>(80, 400));
    Front().QueueAppSamples(std::vector<std::int16_t>(80, 800));
    ULONG count = 100;
    ASSERT_EQ(Afe().SoundPathRequest(Afe().Context, afe::kSoundTakeSamples, buffer.data(), &count),
              afe::kAfeOk);
    EXPECT_EQ(count, 160u);
    EXPECT_EQ(buffer[0], 100) << "level 1 shifts right by 2";
    EXPECT_EQ(buffer[159], 200);
    Front().QueueAppSamples(std::vector<std::int16_t>(80, 4));
    count = 200;
    EXPECT_EQ(Afe().SoundPathRequest(Afe().Context, afe::kSoundTakeSamples, buffer.data(), &count),
              afe::kSoundNotRunning);
    EXPECT_EQ(count, 80u);
  });
}

// Every call is logged with whether the interface lock was held and the level.
TEST_F(TestAfeRules, LogRecordsLockAndLevel) {
  harness_.Run([&] {
    RequestWord(afe::kAfeSpeaker, 2);
    Sound(afe::kSoundQueryLineStream);
    std::int16_t block[96] = {};
    Afe().AfeReadBlock(Afe().Context, block, sizeof block);
    const std::vector<AfeCall>& log = Front().Log();
    ASSERT_EQ(log.size(), 3u);
    EXPECT_EQ(log[0].entry, AfeEntry::kRequest);
    EXPECT_EQ(log[0].argument, 2u);
    EXPECT_TRUE(log[0].lock_held);
    EXPECT_EQ(log[0].irql, DISPATCH_LEVEL);
    EXPECT_EQ(log[1].entry, AfeEntry::kSoundPath);
    EXPECT_EQ(log[1].result, afe::kSoundQueryLineStream);
    EXPECT_FALSE(log[1].lock_held);
    EXPECT_EQ(log[1].irql, PASSIVE_LEVEL);
    EXPECT_EQ(log[2].entry, AfeEntry::kReadBlock);
    EXPECT_EQ(log[2].argument, 192u);
  });
}

}  // namespace
}  // namespace pump::testing
