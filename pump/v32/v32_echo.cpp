#include "pump/v32/v32_echo.h"

#include <algorithm>

#include "pump/afe_access/afe_access.h"

namespace pump {

std::uint32_t v32::EchoLatencyEntries(const afe::AfeInfo& info) {
  const int samples = (info.LatencyLessOne + info.One) * 48 + info.Constant28 - 9;
  return 2u * static_cast<std::uint32_t>(std::max(samples, 0) / 3);
}

void V32EchoReset(DspContext& context) {
  v32::V32Area& a = context.receive.v32;
  ResetEchoCanceller(a.echo, v32::EchoLatencyEntries(context.afe->info), a.loopback == 0);
}

}  // namespace pump
