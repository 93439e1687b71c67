// A front-end driver scripted by the test ("fakeafe"): it creates the AFE
// device the data pump attaches to, records every request that reaches it,
// and answers the start as the test says. A start it answers with success
// (and an interface) builds a TestAfe over the data pump's AfeEventBlock, so
// the data pump really runs on it; the stop takes it down and deletes the
// device, as the front end's stop does.
#pragma once

#include <memory>
#include <vector>

#include "platform/io/io.h"
#include "platform/ke/kernel.h"
#include "pump/tests/support/test_afe.h"

namespace pump::testing {

// One request as it reached the front end.
struct SeenRequest {
  UCHAR major;
  ULONG code;  // device controls
  KPROCESSOR_MODE mode;
  ULONG input_length;
  ULONG output_length;
  std::vector<UCHAR> input;
  bool operator==(const SeenRequest&) const = default;
};

class FakeFrontEnd {
 public:
  // The start's answer; the interface address goes out while `interface` is set.
  NTSTATUS start_status = STATUS_SUCCESS;
  ULONG_PTR start_information = sizeof(void*);
  bool answer_interface = true;
  // Any other device control completes with this status and Information =
  // the output length, its output filled with kReplyByte.
  NTSTATUS other_status = STATUS_SUCCESS;
  static constexpr UCHAR kReplyByte = 0xA5;

  const std::vector<SeenRequest>& Seen() const { return seen_; }
  // The front end a successful start built; null before and after.
  TestAfe* Front() const { return front_.get(); }
  afe::AfeEventBlock* LentEvents() const { return events_; }
  bool device_exists() const { return device_ != nullptr; }

 private:
  friend NTSTATUS FakeFrontEndEntry(PDRIVER_OBJECT, PUNICODE_STRING);
  friend NTSTATUS FakeDispatch(PDEVICE_OBJECT, PIRP);
  friend void FakeUnload(PDRIVER_OBJECT);
  NTSTATUS Dispatch(PIRP irp);
  NTSTATUS Start(PIRP irp);
  NTSTATUS Stop(PIRP irp);
  void Remove();

  PDEVICE_OBJECT device_ = nullptr;
  std::vector<SeenRequest> seen_;
  std::unique_ptr<TestAfe> front_;
  afe::AfeEventBlock* events_ = nullptr;
};

FakeFrontEnd& FakeFrontEndOf(plat::ke::Kernel& machine);
NTSTATUS FakeFrontEndEntry(PDRIVER_OBJECT driver, PUNICODE_STRING registry_path);

}  // namespace pump::testing
