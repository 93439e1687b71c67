// A started data pump for tests: the test-side front end (TestAfeHarness),
// the registry with the data pump's service key, the AFE access state, the
// host interface, the DspContext initialised as the driver frame does it,
// and a ControllerDouble on the page.
//
//   PumpHarness harness;
//   harness.Run([&] {
//     harness.Controller().Post(0x60, {0});   // the first reset allocates
//     harness.Afe().FeedLine(samples);
//     harness.RunBlocks(10);                  // front end step, BlockTick, AdvanceAfeBlock
//     ... harness.Afe().LineOutput() ...
//   });
//
// Until the driver frame exists the host interface's wake callback runs
// the context's controller entry (the dispatcher) directly. After the body
// the data pump is stopped (SaveDspProfile, the host interface freed)
// unless the body stopped it.
#pragma once

#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include "platform/ke/kernel.h"
#include "pump/afe_access/afe_access.h"
#include "pump/context/dsp_context.h"
#include "pump/tests/support/controller_double.h"
#include "pump/tests/support/test_afe_harness.h"

namespace pump::testing {

struct PumpOptions {
  // Value lines of the service key in the registry's text form, e.g.
  // "\"Profile\"=binary:01 00 00 00 00 00 00 00\n".
  std::string service_values = {};
  // The registry's state file; none keeps changes in memory.
  std::filesystem::path state_file = {};
  // Runs on the fresh context before InitDspContext.
  std::function<void(DspContext&)> before_init = {};
};

class PumpHarness {
 public:
  static constexpr const char16_t* kServiceKey =
      u"\\Registry\\Machine\\System\\CurrentControlSet\\Services\\vxdsp";

  explicit PumpHarness(PumpOptions options = {}) : options_(std::move(options)) {}

  void Run(const std::function<void()>& body);

  // Per block: the front end moves one block, then the context's block
  // entry (BlockTick) and AdvanceAfeBlock run, as the block thread does.
  void RunBlocks(int blocks);
  // SaveDspProfile and FreeHostInterface, as the driver's stop does.
  void Stop();

  DspContext& Context() { return *context_; }
  ControllerDouble& Controller() { return *controller_; }
  TestAfe& Afe() { return afe_.Afe(); }
  AfeAccess& Access() { return *access_; }
  HostInterface& Host() { return *host_; }
  plat::ke::Kernel& Machine();

 private:
  void Start();

  PumpOptions options_;
  TestAfeHarness afe_;
  AfeAccess* access_ = nullptr;
  HostInterface* host_ = nullptr;
  std::unique_ptr<DspContext> context_;
  std::unique_ptr<ControllerDouble> controller_;
};

}  // namespace pump::testing
