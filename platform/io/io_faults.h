// Fault knobs of the I/O manager, for tests of drivers' failure paths.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/ke/fault_knob.h"
#include "platform/nt/ntdef.h"

namespace plat::io {

// Fails a named operation with a chosen status: the n-th call from now, or
// every call naming one object (compared without case).
class NamedFault {
 public:
  void FailNth(std::uint64_t n, NTSTATUS status);
  void FailName(std::u16string_view name, NTSTATUS status);
  void Clear();
  // The status this call must fail with, or STATUS_SUCCESS.
  NTSTATUS Check(std::u16string_view name);

 private:
  ke::FaultKnob nth_;
  NTSTATUS nth_status_ = 0;
  std::u16string name_;  // upper case; empty: no name fails
  NTSTATUS name_status_ = 0;
};

struct IoFaults {
  NamedFault create_device;     // by device name
  NamedFault create_link;       // by link name
  NamedFault attach_device;     // by target name
  ke::FaultKnob allocate_irp;   // IoAllocateIrp returns null
  ke::FaultKnob build_request;  // IoBuildDeviceIoControlRequest returns null
};

}  // namespace plat::io
