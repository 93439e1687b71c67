// The Diagnostic device: its open keeps blocks from the data pump while a
// diagnostic program runs the self tests through it, the self-test block and
// the resource report must come with their exact sizes, the AFE codes it
// serves behave as through the AFE device, and every other code completes
// with nothing done.
#include <gtest/gtest.h>

#include <cstring>
#include <utility>

#include "afe/windows/self_test.h"
#include "afe/windows/tests/control_rows.h"
#include "afe/windows/tests/fake_pump.h"
#include "afe/windows/tests/self_test_rig.h"
#include "platform/win32/files.h"
#include "platform/win32/win32.h"

namespace afe::testing {
namespace {

constexpr LPCWSTR kAfePath = u"\\\\.\\VexorTolvasaAfe";
constexpr LPCWSTR kDiagnosticPath = u"\\\\.\\VexorTolvasaDiagnostic";
constexpr ULONG kStatusQuery = 0x460FC;  // an AFE code the Diagnostic device does not serve

HANDLE Open(LPCWSTR path) {
  return CreateFile(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, 0);
}

class DiagDevice : public SelfTestRig {
 protected:
  PDEVICE_OBJECT Diagnostic() { return Device(kDiagnosticDeviceType); }
  PDEVICE_OBJECT Afe() { return Device(kAfeDeviceType); }
};

// A diagnostic program opens the device only while nobody holds the AFE
// device, runs every self test through it, and meanwhile no block reaches
// the data pump's thread; once it closes, blocks reach the pump again.
TEST_F(DiagDevice, OpeningKeepsBlocksFromThePump) {
  BootAfe();
  AfeInterface* afe = nullptr;
  OnKernelThread([&] {
    afe = StartOrFail();
    RequestPowerState(*afe, 0);
    FakePump pump(*afe, events_, 7);
    pump.Run(3);
  });
  OnUserThread([&] {
    HANDLE modem = Open(kAfePath);
    ASSERT_NE(modem, INVALID_HANDLE_VALUE);
    EXPECT_EQ(Open(kDiagnosticPath), INVALID_HANDLE_VALUE) << "the modem is in use";
    CloseHandle(modem);
  });
  HANDLE diagnostic = INVALID_HANDLE_VALUE;
  OnUserThread([&] {
    diagnostic = Open(kDiagnosticPath);
    ASSERT_NE(diagnostic, INVALID_HANDLE_VALUE);
  });
  OnKernelThread([&] {
    AwaitBlock(events_);  // a deferred call queued before the open may still come
    const LONG counter = afe->Context->BlockCounter;
    EXPECT_FALSE(AwaitBlock(events_)) << "no block reaches the pump while the device is open";
    EXPECT_GT(afe->Context->BlockCounter, counter) << "the front end itself keeps running";
  });
  OnUserThread([&] {
    SelfTestBlock block{kDefaultLoopbackThreshold, kPowerOnSelfTests, 0x7777, 0x8888};
    DWORD returned = 0;
    ASSERT_TRUE(DeviceIoControl(diagnostic, IOCTL_AFE_SELF_TEST, &block, sizeof block, &block,
                                sizeof block, &returned, nullptr));
    EXPECT_EQ(returned, sizeof block);
    EXPECT_EQ(block.Result, 0);
    EXPECT_EQ(block.Detail, 0u);
  });
  OnKernelThread([&] {
    EXPECT_EQ(RequestLog(*afe).size(), 7u) << "tests 1, 2, 3, 4, 6, 7 and 9";
    EXPECT_EQ(afe->Context->DmaRunning, 1u) << "powered up again, as before the run";
    EXPECT_FALSE(AwaitBlock(events_)) << "nor after the self tests";
  });
  OnUserThread([&] { CloseHandle(diagnostic); });
  OnKernelThread([&] {
    FakePump pump(*afe, events_, 8);
    pump.Run(5);
    EXPECT_EQ(pump.served(), 5);
  });
}

// 0x46160 needs exactly 16 bytes each way and 0x46168 exactly 224 bytes of
// output; any other size is an invalid parameter and runs nothing.
TEST_F(DiagDevice, Sizes) {
  struct Row {
    ULONG code;
    ULONG in;
    ULONG out;
    NTSTATUS status;
  };
  const Row rows[] = {
      {IOCTL_AFE_SELF_TEST, 16, 16, STATUS_SUCCESS},
      {IOCTL_AFE_SELF_TEST, 15, 16, STATUS_INVALID_PARAMETER},
      {IOCTL_AFE_SELF_TEST, 17, 16, STATUS_INVALID_PARAMETER},
      {IOCTL_AFE_SELF_TEST, 0, 16, STATUS_INVALID_PARAMETER},
      {IOCTL_AFE_SELF_TEST, 16, 0, STATUS_INVALID_PARAMETER},
      {IOCTL_AFE_SELF_TEST, 16, 12, STATUS_INVALID_PARAMETER},
      {IOCTL_AFE_SELF_TEST, 32, 32, STATUS_INVALID_PARAMETER},
      {IOCTL_AFE_RESOURCES, 0, 224, STATUS_SUCCESS},
      {IOCTL_AFE_RESOURCES, 0, 192, STATUS_INVALID_PARAMETER},
      {IOCTL_AFE_RESOURCES, 0, 223, STATUS_INVALID_PARAMETER},
      {IOCTL_AFE_RESOURCES, 0, 225, STATUS_INVALID_PARAMETER},
      {IOCTL_AFE_RESOURCES, 4, 224, STATUS_INVALID_PARAMETER},
  };
  BootAfe();
  OnKernelThread([&] {
    AfeInterface& afe = *StartOrFail();
    for (const Row& row : rows) {
      SCOPED_TRACE(::testing::Message()
                   << std::hex << row.code << std::dec << " in " << row.in << " out " << row.out);
      const ULONG records = RequestLog(afe).size();
      // A self-test block that runs test 9; its tail is padding.
      Bytes in = Cat({U32(kDefaultLoopbackThreshold), U32(kLoopbackSelfTest), Bytes(24, 0)});
      in.resize(row.in);
      Bytes out;
      const Reply reply = SendControl(Diagnostic(), row.code, std::move(in), row.out, &out);
      EXPECT_EQ(reply.status, row.status);
      const bool ran = row.status == STATUS_SUCCESS;
      EXPECT_EQ(reply.information, ran ? row.out : 0u);
      if (row.code == IOCTL_AFE_SELF_TEST) {
        EXPECT_EQ(RequestLog(afe).size(), records + (ran ? 1 : 0));
      }
      if (!ran) {
        EXPECT_EQ(out, Bytes(row.out, 0xEE)) << "nothing written";
      }
    }
  });
}

// Every AFE code the Diagnostic device serves answers as through the AFE
// device: the same status, length and bytes. The status query and codes
// nobody knows complete with success and nothing written, where the AFE
// device answers the query and refuses the rest.
TEST_F(DiagDevice, Forwarding) {
  BootAfe();
  OnKernelThread([&] {
    StartOrFail();
    for (const ControlRow& row : ControlRows()) {
      SCOPED_TRACE(::testing::Message() << std::hex << row.code);
      Bytes through_afe;
      Bytes through_diagnostic;
      const Reply afe = SendControl(Afe(), row.code, row.in, row.out, &through_afe);
      const Reply diagnostic =
          SendControl(Diagnostic(), row.code, row.in, row.out, &through_diagnostic);
      if (row.code == kStatusQuery) {
        EXPECT_EQ(afe.information, 4u);
        EXPECT_EQ(diagnostic.status, STATUS_SUCCESS);
        EXPECT_EQ(diagnostic.information, 0u);
        EXPECT_EQ(through_diagnostic, Bytes(4, 0xEE));
        continue;
      }
      EXPECT_EQ(diagnostic.status, afe.status);
      EXPECT_EQ(diagnostic.information, afe.information);
      EXPECT_EQ(through_diagnostic, through_afe);
    }
    // IOCTL_SET_EVENT is forwarded too: a missing handle is refused alike.
    EXPECT_EQ(SendControl(Diagnostic(), IOCTL_SET_EVENT, {}, 0).status, STATUS_INVALID_PARAMETER);
    for (const ULONG code : {0u, 0x222048u, 0x46000u, 0x4615Cu, 0x12345678u}) {
      SCOPED_TRACE(::testing::Message() << std::hex << code);
      Bytes out;
      const Reply diagnostic = SendControl(Diagnostic(), code, U32(1), 8, &out);
      EXPECT_EQ(diagnostic.status, STATUS_SUCCESS);
      EXPECT_EQ(diagnostic.information, 0u);
      EXPECT_EQ(out, Bytes(8, 0xEE));
      EXPECT_EQ(SendControl(Afe(), code, U32(1), 8).status, STATUS_INVALID_DEVICE_REQUEST);
    }
  });
}

// The creation and deletion refuse missing arguments, and the control
// refuses a device whose AFE extension is missing.
TEST_F(DiagDevice, ArgumentChecks) {
  BootAfe();
  OnKernelThread([&] {
    StartOrFail();
    AfeDeviceExtension& afe = Extension();
    PDEVICE_OBJECT device = nullptr;
    EXPECT_EQ(CreateDiagnosticDevice(nullptr, &afe, &device), STATUS_UNSUCCESSFUL);
    EXPECT_EQ(CreateDiagnosticDevice(afe.DriverObject, nullptr, &device), STATUS_UNSUCCESSFUL);
    EXPECT_EQ(CreateDiagnosticDevice(afe.DriverObject, &afe, nullptr), STATUS_UNSUCCESSFUL);
    EXPECT_EQ(device, nullptr);
    EXPECT_EQ(DeleteDiagnosticDevice(nullptr), STATUS_UNSUCCESSFUL);

    auto& extension = *static_cast<DiagnosticDeviceExtension*>(Diagnostic()->DeviceExtension);
    EXPECT_EQ(extension.Afe, &afe);
    EXPECT_EQ(extension.DeviceObject, Diagnostic());
    extension.Afe = nullptr;
    const Reply reply = SendControl(Diagnostic(), 0x460CC, {}, 4);
    extension.Afe = &afe;
    EXPECT_EQ(reply.status, STATUS_UNSUCCESSFUL);
    EXPECT_EQ(reply.information, 0u);
  });
}

}  // namespace
}  // namespace afe::testing
