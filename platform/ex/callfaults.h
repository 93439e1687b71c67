// Fault knobs by routine name: fail every call of a routine, or its n-th call
// from now, with a chosen status.
//
//   faults.FailNth("RtlWriteRegistryValue", 1, STATUS_REGISTRY_IO_FAILED);
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>

#include "platform/ke/fault_knob.h"
#include "platform/nt/ntdef.h"

namespace plat::ex {

class CallFaults {
 public:
  void FailNth(std::string_view routine, std::uint64_t n, NTSTATUS status) {
    Knob& knob = knobs_[std::string(routine)];
    knob.knob.FailNth(n);
    knob.status = status;
  }
  void FailEvery(std::string_view routine, NTSTATUS status) {
    Knob& knob = knobs_[std::string(routine)];
    knob.knob.FailEvery();
    knob.status = status;
  }
  void Clear() { knobs_.clear(); }

  // Counts one call of the routine; the status it must fail with, if any.
  std::optional<NTSTATUS> Check(std::string_view routine) {
    const auto it = knobs_.find(routine);
    if (it == knobs_.end() || !it->second.knob.ShouldFail()) return std::nullopt;
    return it->second.status;
  }

 private:
  struct Knob {
    ke::FaultKnob knob;
    NTSTATUS status = 0;
  };
  std::map<std::string, Knob, std::less<>> knobs_;
};

}  // namespace plat::ex
