// The Sound device as the voice bridge program sees it from user mode: its
// event set, the volume, reads and writes of 1280 bytes, short buffers, and
// the device going away under it.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <numeric>
#include <random>
#include <vector>

#include "afe/windows/tests/sound_rig.h"
#include "platform/ke/object.h"

namespace afe::testing {
namespace {

std::vector<SHORT> Ramp(std::size_t n, SHORT from) {
  std::vector<SHORT> samples(n);
  std::iota(samples.begin(), samples.end(), from);
  return samples;
}

class SoundIoctl : public SoundRig {
 protected:
  std::vector<SHORT> Read() {
    std::vector<SHORT> out(kSoundTransferSamples, 0x6E6E);
    const Answer answer = BridgeControl(IOCTL_SOUND_READDATA, nullptr, 0, out.data(), 1280);
    EXPECT_TRUE(answer.done);
    EXPECT_EQ(answer.returned, 1280u);
    return out;
  }
};

// Eight handles referenced into the set (a slot whose handle is no event's
// stays empty), anything but 32 bytes ignored, a second set releasing the
// first, RELEASE_EVENTS emptying it; GET_VOLUME answers the last level
// request.
TEST_F(SoundIoctl, EventSetReleaseAndVolume) {
  StartSound();
  std::array<PKEVENT, kSoundEvents> first{};
  OnUserThread([&] {
    OpenBridge();
    for (int i = 0; i < kSoundEvents; ++i) {
      first[i] = SoundDevice().Events[i];
      ASSERT_NE(first[i], nullptr) << i;
      EXPECT_EQ(plat::ke::ReferencesOf(first[i]), 2) << i;
    }
    EXPECT_EQ(SoundDevice().EventsMode, UserMode);

    std::array<HANDLE, kSoundEvents> second{};
    for (HANDLE& event : second) event = CreateEvent(nullptr, TRUE, FALSE, nullptr);
    EXPECT_TRUE(BridgeControl(IOCTL_SOUND_SET_EVENTS, second.data(), 28, nullptr, 0).done);
    EXPECT_TRUE(std::equal(first.begin(), first.end(), SoundDevice().Events)) << "7 handles";
    std::array<HANDLE, kSoundEvents> mixed = second;
    mixed[2] = 0x1234;  // no handle at all
    mixed[5] = sound_;  // a file's handle
    EXPECT_TRUE(BridgeControl(IOCTL_SOUND_SET_EVENTS, mixed.data(), 32, nullptr, 0).done);
    for (int i = 0; i < kSoundEvents; ++i) {
      EXPECT_EQ(plat::ke::ReferencesOf(first[i]), 1) << "the first set is let go: " << i;
      EXPECT_EQ(SoundDevice().Events[i] == nullptr, i == 2 || i == 5) << i;
    }
    EXPECT_TRUE(BridgeControl(IOCTL_SOUND_RELEASE_EVENTS, nullptr, 0, nullptr, 0).done);
    EXPECT_TRUE(std::all_of(std::begin(SoundDevice().Events), std::end(SoundDevice().Events),
                            [](PKEVENT e) { return e == nullptr; }));
    for (HANDLE event : second) CloseHandle(event);
  });

  struct Case {
    ULONG kind, level;
    LONG result;
    SoundLevelRequest volume;
  };
  OnKernelThread([&] { ASSERT_EQ(Sound(kSoundStartLineStreamNow), kAfeOk); });
  for (const Case c : {Case{3, 2, 0, {3, 0, 2}}, Case{4, 1, 0, {4, 0, 2}},
                       Case{1, 3, -15, {1, 0, 2}}, Case{3, 9, 0, {3, 0, 3}}}) {
    SCOPED_TRACE(::testing::Message() << "kind " << c.kind << ", level " << c.level);
    OnKernelThread([&] {
      ULONG request[3] = {c.kind, 0x99, c.level};
      ULONG count = sizeof request;
      EXPECT_EQ(Sound(kSoundSetLevel, request, &count), c.result);
    });
    OnUserThread([&] {
      ULONG volume[4] = {7, 7, 7, 7};
      const Answer answer = BridgeControl(IOCTL_SOUND_GET_VOLUME, nullptr, 0, volume, 16);
      EXPECT_TRUE(answer.done);
      EXPECT_EQ(answer.returned, 12u);
      EXPECT_EQ(volume[0], c.volume.Kind);
      EXPECT_EQ(volume[1], 0u);
      EXPECT_EQ(volume[2], c.volume.Level);
    });
  }
  OnUserThread([&] { CloseBridge(); });
}

// Reads gather whole entries until 1280 bytes are there: what runs short
// is made up with zeros, the rest of the last entry gathered is dropped.
TEST_F(SoundIoctl, Reads) {
  struct Span {
    std::size_t from, count;  // samples of the put stream at the start of the read
  };
  struct Case {
    const char* what;
    std::vector<std::size_t> puts;  // samples per put
    std::vector<Span> reads;
  };
  const Case cases[] = {
      {"three 160-byte puts", {80, 80, 80}, {{0, 240}, {0, 0}}},
      {"480-sample entries", {480, 480, 480}, {{0, 640}, {960, 480}, {0, 0}}},
      {"a long entry after short ones", {100, 100, 100, 100, 100, 100, 480}, {{0, 640}, {0, 0}}},
      {"an empty queue", {}, {{0, 0}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    StartSound();
    std::vector<SHORT> stream;
    OnKernelThread([&] {
      ASSERT_EQ(Sound(kSoundStartLineStreamNow), kAfeOk);
      for (const std::size_t n : c.puts) {
        std::vector<SHORT> block = Ramp(n, static_cast<SHORT>(stream.size() + 1));
        stream.insert(stream.end(), block.begin(), block.end());
        ASSERT_EQ(Put(block), kAfeOk);
      }
    });
    OnUserThread([&] {
      OpenBridge();
      for (const Span& span : c.reads) {
        SCOPED_TRACE(span.from);
        const std::vector<SHORT> out = Read();
        const auto data_end = out.begin() + static_cast<long>(span.count);
        EXPECT_TRUE(
            std::equal(out.begin(), data_end, stream.begin() + static_cast<long>(span.from)));
        EXPECT_TRUE(std::all_of(data_end, out.end(), [](SHORT s) { return s == 0; }))
            << "zeros after " << span.count << " samples";
      }
      CloseBridge();
    });
    machine().Shutdown();
  }
}

// A write goes into the sound write queue as eight entries of 160 bytes.
TEST_F(SoundIoctl, Writes) {
  StartSound();
  const std::vector<SHORT> written = Ramp(640, -300);
  OnUserThread([&] {
    OpenBridge();
    const Answer answer = BridgeControl(IOCTL_SOUND_WRITEDATA, written.data(), 1280, nullptr, 0);
    EXPECT_TRUE(answer.done);
    EXPECT_EQ(answer.returned, 0u);
    const SampleQueue& queue = SoundDevice().AppStream.Queue;
    ASSERT_EQ(queue.Count, 8u);
    for (ULONG i = 0; i < 8; ++i) {
      const SoundQueueEntry& entry = queue.Entries[(queue.ReadIndex + i) % kSoundQueueEntries];
      EXPECT_EQ(entry.Bytes, 160u);
      EXPECT_TRUE(std::equal(entry.Samples, entry.Samples + 80, written.begin() + 80 * i)) << i;
    }
    CloseBridge();
  });
}

// Buffers shorter than a read, a write or the volume are refused with
// 0xC0000023 and move nothing.
TEST_F(SoundIoctl, ShortBuffersAreRefused) {
  StartSound();
  OnKernelThread([&] {
    ASSERT_EQ(Sound(kSoundStartLineStreamNow), kAfeOk);
    ASSERT_EQ(Put(Ramp(80, 1)), kAfeOk);
  });
  OnUserThread([&] {
    OpenBridge();
    std::vector<SHORT> buffer(640, 0x1111);
    struct Case {
      ULONG code;
      DWORD in, out;
    };
    for (const Case c : {Case{IOCTL_SOUND_READDATA, 0, 1279}, Case{IOCTL_SOUND_WRITEDATA, 1279, 0},
                         Case{IOCTL_SOUND_GET_VOLUME, 0, 11}}) {
      SCOPED_TRACE(c.code);
      const Answer answer = BridgeControl(c.code, c.in != 0 ? buffer.data() : nullptr, c.in,
                                          c.out != 0 ? buffer.data() : nullptr, c.out);
      EXPECT_FALSE(answer.done);
      EXPECT_EQ(answer.error, ERROR_INSUFFICIENT_BUFFER);
      EXPECT_EQ(buffer, std::vector<SHORT>(640, 0x1111));
      EXPECT_EQ(SoundDevice().LineStream.Queue.Count, 1u);
      EXPECT_EQ(SoundDevice().AppStream.Queue.Count, 0u);
    }
    CloseBridge();
  });
}

class SoundRemove : public SoundRig {
 protected:
  // Starts `body` on a new system thread of the machine; `body` must
  // outlive the thread.
  PKTHREAD Spawn(const char* name, const std::function<void()>& body) {
    PKTHREAD thread = nullptr;
    EXPECT_EQ(
        kernel().CreateSystemThread(
            name, [](PVOID routine) { (*static_cast<const std::function<void()>*>(routine))(); },
            const_cast<std::function<void()>*>(&body), &thread),
        STATUS_SUCCESS);
    return thread;
  }
};

// The stop comes while the data pump is inside command 45, between its two
// stream starts: a thread woken by the line stream's start event sends it.
// The removal signals event 0; the bridge, woken by it, finds its read
// refused (the device is going away) and closes the device. The removal
// waits for the data pump to leave before it frees anything, so command
// 45 completes whole (event 5 comes too) on memory that is still there.
TEST_F(SoundRemove, AStopWhileACommandIsInsideAndTheBridgeReads) {
  StartSound();
  OnUserThread([&] { OpenBridge(); });
  LONG pump = 99;
  NTSTATUS stop = STATUS_PENDING;
  BOOL bridge_read = TRUE;
  DWORD bridge_error = 0;
  PKEVENT line_started = SoundDevice().Events[kLineStreamStarted];
  OnKernelThread([&] {
    const std::function<void()> bridge = [&] {
      KeSetPriorityThread(KeGetCurrentThread(), 14);
      EXPECT_EQ(WaitForSingleObject(events_of_bridge_[kSoundGoingAway], INFINITE), WAIT_OBJECT_0);
      std::vector<SHORT> out(kSoundTransferSamples);
      DWORD returned = 0;
      bridge_read = DeviceIoControl(sound_, IOCTL_SOUND_READDATA, nullptr, 0, out.data(), 1280,
                                    &returned, nullptr);
      bridge_error = GetLastError();
      CloseHandle(sound_);
    };
    const std::function<void()> stopper = [&] {
      KeSetPriorityThread(KeGetCurrentThread(), 12);
      KeWaitForSingleObject(line_started, Executive, KernelMode, FALSE, nullptr);
      stop = Stop().status;
    };
    const std::function<void()> data_pump = [&] {
      KeSetPriorityThread(KeGetCurrentThread(), 6);
      pump = Sound(kSoundStartBoth);
    };
    PKTHREAD threads[3] = {};
    ASSERT_EQ(kernel().CreateUserThread("bridge", bridge, &threads[0]), STATUS_SUCCESS);
    threads[1] = Spawn("stopper", stopper);
    threads[2] = Spawn("pump", data_pump);
    for (PKTHREAD thread : threads) {
      KeWaitForSingleObject(thread, Executive, KernelMode, FALSE, nullptr);
      ObDereferenceObject(thread);
    }
  });
  bool event_0 = false;
  OnUserThread([&] {
    event_0 = WaitForSingleObject(events_of_bridge_[kSoundGoingAway], 0) == WAIT_OBJECT_0;
    EXPECT_EQ(WaitForSingleObject(events_of_bridge_[kAppStreamStarted], 0), WAIT_OBJECT_0)
        << "command 45 ran to its end before the set was let go";
    for (HANDLE event : events_of_bridge_) CloseHandle(event);
  });
  EXPECT_EQ(pump, kAfeOk);
  EXPECT_EQ(stop, STATUS_SUCCESS);
  EXPECT_TRUE(event_0);
  EXPECT_FALSE(bridge_read);
  EXPECT_EQ(bridge_error, ERROR_ACCESS_DENIED) << "0xC0000056, the device going away";
  EXPECT_EQ(Device(kSoundDeviceType), nullptr);
  EXPECT_EQ(Held().devices, 0u);
}

}  // namespace
}  // namespace afe::testing
