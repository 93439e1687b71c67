#include "siglib/tests/support/fp_env.h"

#include <cstring>
#include <iomanip>
#include <sstream>

namespace qvls_test {

FpEnvironment ReadFpEnvironment() {
  // FXSAVE stores the x87 and SSE state without changing it (FNSTENV would
  // mask every x87 exception as a side effect).
  alignas(16) unsigned char area[512];
  asm volatile("fxsave %0" : "=m"(area));
  FpEnvironment env{};
  std::memcpy(&env.x87_control, area + 0, 2);
  std::memcpy(&env.x87_tags, area + 4, 1);
  std::memcpy(&env.mxcsr, area + 24, 4);
  return env;
}

void LoadX87Control(std::uint16_t word) { asm volatile("fldcw %0" : : "m"(word) : "memory"); }
void LoadMxcsr(std::uint32_t word) { asm volatile("ldmxcsr %0" : : "m"(word) : "memory"); }

::testing::AssertionResult SameFpSettings(const FpEnvironment& before, const FpEnvironment& after,
                                          MxcsrFlags flags) {
  const std::uint32_t mxcsr_mask = flags == MxcsrFlags::kMustStay ? ~0u : ~kMxcsrStatusFlags;
  auto hex = [](std::uint32_t v) {
    std::ostringstream out;
    out << "0x" << std::hex << std::setw(4) << std::setfill('0') << v;
    return out.str();
  };
  if (after.x87_control != before.x87_control) {
    return ::testing::AssertionFailure()
           << "x87 control word changed from " << hex(before.x87_control) << " to "
           << hex(after.x87_control);
  }
  if ((after.mxcsr & mxcsr_mask) != (before.mxcsr & mxcsr_mask)) {
    return ::testing::AssertionFailure()
           << "MXCSR changed from " << hex(before.mxcsr) << " to " << hex(after.mxcsr);
  }
  if (after.x87_tags != 0) {
    return ::testing::AssertionFailure()
           << "x87 registers left in use (tags " << hex(after.x87_tags)
           << "): a routine that used the 64-bit packed registers did not release them";
  }
  return ::testing::AssertionSuccess();
}

}  // namespace qvls_test
