#include "siglib/frame/fpu_control.h"

namespace qvls::fpu {

std::uint16_t X87ControlWord::Read() {
  std::uint16_t word;
  asm volatile("fnstcw %0" : "=m"(word));
  return word;
}

void X87ControlWord::Load(std::uint16_t word) { asm volatile("fldcw %0" : : "m"(word)); }

}  // namespace qvls::fpu

std::uint32_t qvlsSetFpuControl(std::uint32_t value, std::uint32_t mask) {
  qvls::fpu::X87ControlWord word;
  return qvls::fpu::SetControl(word, value, mask);
}

std::uint32_t qvlsChangeFpuControl(std::uint32_t value, std::uint32_t mask) {
  qvls::fpu::X87ControlWord word;
  return qvls::fpu::ChangeControl(word, value, mask);
}

void qvlsLoadFpuControl(std::uint32_t word) {
  qvls::fpu::X87ControlWord{}.Load(static_cast<std::uint16_t>(word));
}
