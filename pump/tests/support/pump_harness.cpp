#include "pump/tests/support/pump_harness.h"

#include <gtest/gtest.h>

#include "platform/ex/rtlstring.h"
#include "platform/ke/kernel.h"
#include "platform/reg/machine_registry.h"
#include "pump/context/init_context.h"
#include "pump/context/profiles.h"

namespace pump::testing {
namespace {

// The wake callback until the driver frame's ControllerCall exists.
NTSTATUS RunControllerEntry(DspContext* context) {
  if (context->controller_entry != nullptr) context->controller_entry(*context);
  return STATUS_SUCCESS;
}

std::string SeedText(const std::string& service_values) {
  return "[\\Registry\\Machine\\System\\CurrentControlSet\\Services\\vxdsp]\n" + service_values;
}

}  // namespace

plat::ke::Kernel& PumpHarness::Machine() { return plat::ke::CurrentKernel(); }

void PumpHarness::Start() {
  const auto error = plat::reg::RegistryOf(Machine()).registry.Load(
      "seed", SeedText(options_.service_values), options_.state_file);
  ASSERT_FALSE(error) << error->Text();
  access_ = BuildAfeAccess(&afe_.Interface());
  host_ = AllocHostInterface();
  ASSERT_NE(host_, nullptr);
  InitHostInterface(*host_, &ControllerDouble::Callback, &RunControllerEntry);
  context_ = std::make_unique<DspContext>();  // zeroed, as a device extension is
  UNICODE_STRING path;
  RtlInitUnicodeString(&path, kServiceKey);
  ASSERT_TRUE(SetProfilePath(path));
  if (options_.before_init) options_.before_init(*context_);
  InitDspContext(*context_, access_, host_);
  afe_.Events().ProfileFlags = &context_->profile.flags;
  controller_ = std::make_unique<ControllerDouble>(*host_, *context_);
}

void PumpHarness::Run(const std::function<void()>& body) {
  afe_.Run([&] {
    Start();
    if (!::testing::Test::HasFatalFailure()) body();
    Stop();
    controller_.reset();
    context_.reset();
  });
}

void PumpHarness::RunBlocks(int blocks) {
  for (int i = 0; i < blocks; ++i) {
    Afe().Step();
    context_->block_entry(*context_);
    AdvanceAfeBlock(*access_);
  }
}

void PumpHarness::Stop() {
  if (host_ == nullptr) return;
  if (context_ != nullptr) SaveDspProfile(*context_);
  FreeHostInterface(host_);
  host_ = nullptr;
}

}  // namespace pump::testing
