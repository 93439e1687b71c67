// The AFE device's control codes: each row's request and Information, the
// size checks, and IOCTL_SET_EVENT's event.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "afe/windows/afe_state.h"
#include "afe/windows/controller_table.h"
#include "afe/windows/sound_device.h"
#include "afe/windows/tests/afe_rig.h"
#include "afe/windows/tests/bytes.h"
#include "afe/windows/tests/control_rows.h"
#include "platform/ke/object.h"
#include "platform/win32/files.h"
#include "platform/win32/win32.h"

namespace afe::testing {
namespace {

constexpr LPCWSTR kAfePath = u"\\\\.\\VexorTolvasaAfe";

using Row = ControlRow;
const std::vector<Row>& Rows() { return ControlRows(); }

class ControlAfe : public AfeRig {
 protected:
  // Sends `code` with `in` and an output of `out` bytes (filled with 0xEE).
  Reply Send(ULONG code, Bytes in, ULONG out_length, Bytes* out = nullptr) {
    return SendControl(Device(kAfeDeviceType), code, std::move(in), out_length, out);
  }
};

// Each code runs its request and answers its output length as Information.
TEST_F(ControlAfe, Rows) {
  using Check = std::function<void(const Bytes& out)>;
  const std::vector<Check> checks = {
      [this](const Bytes&) { EXPECT_EQ(SimRegister(53) & 0x01, 0x01); },
      [this](const Bytes&) { EXPECT_EQ(SimRegister(53) & 0x01, 0); },
      [](const Bytes& out) {
        EXPECT_EQ(out, Cat({U16(9600), U16(96)}));
      },
      [this](const Bytes&) {
        EXPECT_EQ(Extension().Interface.Context->State->ScheduledRate, 48u << 16 | 8000);
      },
      [this](const Bytes&) {
        EXPECT_EQ(SimRegister(68), 63);
        const SoundDeviceExtension& sound = SoundExtension(Device(kSoundDeviceType));
        EXPECT_EQ(sound.LineStream.Level, 2u) << "the sound path's level too";
        EXPECT_EQ(sound.LastLevel.Kind, kLineStreamKind);
      },
      [this](const Bytes&) { EXPECT_EQ(SimRegister(63) >> 4, 2); },
      [](const Bytes& out) { EXPECT_EQ(out, U16(static_cast<USHORT>(-6))); },
      [this](const Bytes&) { EXPECT_EQ(SimRegister(63) & 0x0F, 1); },
      [](const Bytes& out) { EXPECT_EQ(out, U16(3)); },
      [this](const Bytes&) { EXPECT_EQ(SimRegister(54) & 0x10, 0x10); },
      [this](const Bytes&) { EXPECT_EQ(SimRegister(66) & 0x02, 0x02); },
      [](const Bytes& out) { EXPECT_EQ(out, U32(0)); },
      [this](const Bytes&) { EXPECT_EQ(SimRegister(96), 0x5A); },
      [this](const Bytes& out) {
        EXPECT_EQ(out,
                  Cat({U32(96), Bytes{0x5A, SimRegister(97), SimRegister(98), SimRegister(99)}}));
      },
      [this](const Bytes&) { EXPECT_EQ(Extension().Interface.Context->PowerState, 3); },
      [](const Bytes& out) {
        AfeInfo info;
        std::memcpy(&info, out.data(), sizeof info);
        EXPECT_EQ(info.SoundMuteBlocks, 78u);
        EXPECT_EQ(info.ControllerKind, 6u);
        EXPECT_EQ(info.HighCountLimit, 30);
      },
      [](const Bytes&) {},  // 21 is no request: nothing but success
      [](const Bytes& out) {
        // Flags 0x3C3C3C3C select tests 3, 4, 5 and 7, which a healthy codec passes.
        EXPECT_EQ(out, Cat({Bytes(8, 0x3C), U32(0), U32(0)}));
      },
      [](const Bytes& out) {
        EXPECT_EQ(Bytes(out.begin(), out.begin() + 4),
                  Cat({U16(kKind3Identity.vendor_id), U16(kKind3Identity.device_id)}));
      },
  };
  ASSERT_EQ(checks.size(), Rows().size());
  BootAfe();
  OnKernelThread([&] {
    EXPECT_EQ(Send(0x460C4, {}, 0).status, STATUS_INVALID_DEVICE_STATE) << "before the start";
    StartOrFail();
    profile_flags_ = kProfileSoundPath;
    ASSERT_EQ(Extension().Interface.SoundPathRequest(Extension().Interface.Context,
                                                     kSoundStartLineStreamNow, nullptr, nullptr),
              kAfeOk);
    for (std::size_t i = 0; i < Rows().size(); ++i) {
      const Row& row = Rows()[i];
      SCOPED_TRACE(::testing::Message() << std::hex << row.code);
      Bytes out;
      const Reply reply = Send(row.code, row.in, row.out, &out);
      EXPECT_EQ(reply.status, STATUS_SUCCESS);
      EXPECT_EQ(reply.information, row.out);
      checks[i](out);
    }
  });
}

// A length other than the row's: 0xC000000D, and neither the codec's
// registers nor the front end's context and state change by a byte.
TEST_F(ControlAfe, Sizes) {
  BootAfe();
  OnKernelThread([&] {
    AfeInterface& afe = *StartOrFail();
    for (const Row& row : Rows()) {
      SCOPED_TRACE(::testing::Message() << std::hex << row.code);
      const auto in = static_cast<ULONG>(row.in.size());
      std::vector<std::pair<ULONG, ULONG>> wrong = {{in + 1, row.out}, {in, row.out + 1}};
      if (in > 0) wrong.emplace_back(in - 1, row.out);
      if (row.out > 0) wrong.emplace_back(in, row.out - 1);
      for (const auto& [in_length, out_length] : wrong) {
        SCOPED_TRACE(::testing::Message()
                     << std::dec << in_length << " in, " << out_length << " out");
        const auto registers = SimRegisters();
        std::vector<UCHAR> context(sizeof(AfeContext));
        std::vector<UCHAR> state(sizeof(AfeState));
        std::memcpy(context.data(), afe.Context, context.size());
        std::memcpy(state.data(), afe.Context->State, state.size());
        Bytes input = row.in;
        input.resize(in_length, 0x01);
        const Reply reply = Send(row.code, input, out_length);
        EXPECT_EQ(reply.status, STATUS_INVALID_PARAMETER);
        EXPECT_EQ(reply.information, 0u);
        EXPECT_EQ(SimRegisters(), registers);
        EXPECT_EQ(std::memcmp(context.data(), afe.Context, context.size()), 0) << "context";
        EXPECT_EQ(std::memcmp(state.data(), afe.Context->State, state.size()), 0) << "state";
      }
    }
  });
}

// IOCTL_SET_EVENT from a program: its event is set once per deferred call
// beside the data pump's per-block event, replaced by a later one, and let
// go at the stop. A handle that is not an event's, or no event block at
// all, gives 0xC0000001.
TEST_F(ControlAfe, SetEvent) {
  BootAfe();
  OnKernelThread([&] { StartOrFail(); });
  PKEVENT first = nullptr;
  PKEVENT second = nullptr;
  HANDLE events[2] = {};
  HANDLE afe = INVALID_HANDLE_VALUE;
  OnUserThread([&] {
    afe = CreateFile(kAfePath, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, 0);
    ASSERT_NE(afe, INVALID_HANDLE_VALUE);
    DWORD returned = 0;
    // The handle, then as many bytes beyond it as `length` asks for.
    auto set_event = [&](HANDLE handle, DWORD length) {
      HANDLE input[2] = {handle, 0};
      return DeviceIoControl(afe, IOCTL_SET_EVENT, input, length, nullptr, 0, &returned, nullptr);
    };
    for (HANDLE& event : events) event = CreateEvent(nullptr, FALSE, FALSE, nullptr);

    ASSERT_TRUE(set_event(events[0], 4));
    first = Extension().ClientBlockEvent;
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(plat::ke::ReferencesOf(first), 2) << "the handle's and the front end's";
    LONG power_up = 0;
    ASSERT_TRUE(DeviceIoControl(afe, 0x46108, &power_up, 4, nullptr, 0, &returned, nullptr));
    for (int block = 1; block <= 20; ++block) {
      ASSERT_EQ(WaitForSingleObject(events[0], 1000), WAIT_OBJECT_0);
      EXPECT_EQ(Extension().Interface.Context->BlockCounter, block) << "once per deferred call";
    }
    EXPECT_EQ(Extension().EventBlock, &events_);
    EXPECT_EQ(KeReadStateEvent(&events_.PerBlockEvent), 1) << "the per-block event is set too";

    ASSERT_TRUE(set_event(events[1], 8));
    second = Extension().ClientBlockEvent;
    EXPECT_EQ(plat::ke::ReferencesOf(first), 1) << "the replaced event is let go";
    EXPECT_EQ(plat::ke::ReferencesOf(second), 2);

    struct Refused {
      HANDLE handle;
      DWORD length;
      DWORD error;
    };
    for (const Refused& r :
         {Refused{0x1234, 4, ERROR_GEN_FAILURE}, Refused{afe, 4, ERROR_GEN_FAILURE},
          Refused{events[0], 3, ERROR_INVALID_PARAMETER}}) {
      SCOPED_TRACE(r.handle);
      EXPECT_FALSE(set_event(r.handle, r.length));
      EXPECT_EQ(GetLastError(), r.error);
      EXPECT_EQ(Extension().ClientBlockEvent, second) << "a refused event changes nothing";
    }
  });
  OnKernelThread([&] { EXPECT_EQ(Stop().status, STATUS_SUCCESS); });
  EXPECT_EQ(plat::ke::ReferencesOf(second), 1) << "let go at the stop";
  OnUserThread([&] {
    for (HANDLE event : events) CloseHandle(event);
    CloseHandle(afe);
  });
  machine().Shutdown();

  // A front end started without an event block has nothing to set events beside.
  BootAfe();
  OnKernelThread([&] {
    AfeEventBlock* none = nullptr;
    AfeInterface* answer = nullptr;
    ASSERT_EQ(Control(IOCTL_MODEM_START, &none, sizeof none, &answer, sizeof answer).status,
              STATUS_SUCCESS);
  });
  OnUserThread([&] {
    HANDLE device =
        CreateFile(kAfePath, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, 0);
    HANDLE event = CreateEvent(nullptr, FALSE, FALSE, nullptr);
    DWORD returned = 0;
    EXPECT_FALSE(
        DeviceIoControl(device, IOCTL_SET_EVENT, &event, 4, nullptr, 0, &returned, nullptr));
    EXPECT_EQ(GetLastError(), ERROR_GEN_FAILURE);
    CloseHandle(event);
    CloseHandle(device);
  });
  const std::string log = kernel().LogText();
  EXPECT_NE(log.find("$$$$$$$$$$$$$$$$$Xafe\\windows\\control, "), std::string::npos) << log;
  EXPECT_NE(log.find(", ControlAfe, IOCTL_SET_EVENT"), std::string::npos);
}

}  // namespace
}  // namespace afe::testing
