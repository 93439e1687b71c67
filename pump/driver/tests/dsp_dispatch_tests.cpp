// DspDispatch: create and close, and the device controls that are not the
// data pump's own, against the scripted front end.
#include <vector>

#include "platform/win32/files.h"
#include "pump/tests/support/dsp_rig.h"

namespace pump::testing {
namespace {

class DspDispatch : public DspRig {};

TEST_F(DspDispatch, CreateAndCloseCompleteLocallyUntilTheStartAndPassDownAfterIt) {
  BootOnFake();
  // The attachment at load opened and closed the front end's device itself.
  const int creates = SeenMajorByFake(IRP_MJ_CREATE);
  const int closes = SeenMajorByFake(IRP_MJ_CLOSE);
  OpenAndClose();
  EXPECT_EQ(SeenMajorByFake(IRP_MJ_CREATE), creates);
  EXPECT_EQ(SeenMajorByFake(IRP_MJ_CLOSE), closes);
  OnKernelThread([&] { ASSERT_EQ(Start().status, STATUS_SUCCESS); });
  OpenAndClose();
  EXPECT_EQ(SeenMajorByFake(IRP_MJ_CREATE), creates + 1);
  EXPECT_EQ(SeenMajorByFake(IRP_MJ_CLOSE), closes + 1);
}

// Any other code, from either mode and before or after the start, reaches
// the front end as it was sent, and its answer comes back as it was given.
TEST_F(DspDispatch, EveryOtherCodeReachesTheFrontEndUnchanged) {
  constexpr ULONG kCodes[] = {0x460C0, 0x46168, 0x222048, 0x22203C, 0x80002000};
  struct Row {
    bool started;
    NTSTATUS answer;
  };
  for (const Row row : {Row{false, STATUS_SUCCESS}, Row{true, STATUS_SUCCESS},
                        Row{true, STATUS_INVALID_DEVICE_REQUEST}}) {
    SCOPED_TRACE(::testing::Message() << row.started << " " << std::hex << row.answer);
    BootOnFake();
    Fake().other_status = row.answer;
    const bool ok = NT_SUCCESS(row.answer);
    const std::vector<UCHAR> answer_bytes =
        ok ? std::vector<UCHAR>(5, FakeFrontEnd::kReplyByte) : std::vector<UCHAR>(5, 0);
    if (row.started) OnKernelThread([&] { ASSERT_EQ(Start().status, STATUS_SUCCESS); });
    const std::size_t seen_before = Fake().Seen().size();
    std::vector<SeenRequest> sent;
    for (const ULONG code : kCodes) {
      SCOPED_TRACE(code);
      const std::vector<UCHAR> input = {static_cast<UCHAR>(code), 0x11, 0x22};
      sent.push_back({IRP_MJ_DEVICE_CONTROL, code, KernelMode, 3, 5, input});
      OnKernelThread([&] {
        std::vector<UCHAR> in = input;
        std::vector<UCHAR> out(5, 0);
        const Reply reply = Control(code, in.data(), 3, out.data(), 5);
        EXPECT_EQ(reply.status, row.answer);
        EXPECT_EQ(reply.information, 5u);
        EXPECT_EQ(out, answer_bytes);
      });
      sent.push_back({IRP_MJ_DEVICE_CONTROL, code, UserMode, 3, 5, input});
      OnUserThread([&] {
        const HANDLE dsp = CreateFile(u"\\\\.\\VexorTolvasaDsp", GENERIC_READ | GENERIC_WRITE, 0,
                                      nullptr, OPEN_EXISTING, 0, 0);
        ASSERT_NE(dsp, INVALID_HANDLE_VALUE);
        std::vector<UCHAR> in = input;
        std::vector<UCHAR> out(5, 0);
        DWORD returned = 0;
        EXPECT_EQ(DeviceIoControl(dsp, code, in.data(), 3, out.data(), 5, &returned, nullptr), ok);
        if (ok) {
          EXPECT_EQ(returned, 5u);
          EXPECT_EQ(out, answer_bytes);
        } else {
          EXPECT_EQ(GetLastError(), ERROR_INVALID_FUNCTION);
        }
        CloseHandle(dsp);
      });
    }
    std::vector<SeenRequest> controls;
    for (std::size_t i = seen_before; i < Fake().Seen().size(); ++i) {
      if (Fake().Seen()[i].major == IRP_MJ_DEVICE_CONTROL) controls.push_back(Fake().Seen()[i]);
    }
    EXPECT_EQ(controls, sent);
    machine_->Shutdown();
  }
}

}  // namespace
}  // namespace pump::testing
