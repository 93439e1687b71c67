#include "pump/idle/default_block.h"

#include <algorithm>
#include <array>
#include <bit>
#include <iterator>

#include "pump/afe_access/afe_access.h"
#include "pump/core/data_keys.h"
#include "pump/core/power_db.h"
#include "pump/detect/dc_remove.h"
#include "pump/framer/framer.h"
#include "pump/idle/level_step.h"
#include "pump/pending/pending_procedures.h"

namespace pump {

void DefaultBlock(DspContext& context) {
  AfeAccess& afe = *context.afe;
  // The context's blocks hold 96 samples; a longer front-end block is cut
  // there rather than overrun them.
  const std::size_t n = std::min<std::size_t>(afe.samples_per_block, kBlockSamples);
  const std::span input(context.input_block, n);
  std::fill(std::begin(context.input_block), std::end(context.input_block), std::int16_t{0});
  ReadRxSamples(afe, input);

  if (context.dc_removal_enable != 0) RemoveDc(context.dc_removal, input);
  if (afe.hook != 0) RunLevelStep(context.level_step, input);

  const int level = MeasurePowerDb(input) - context.call.level_offset;
  context.call.block_level = static_cast<std::int16_t>(level);
  const auto published = static_cast<std::int16_t>(kPublishedLevelBase - level);
  WriteParamKey(*context.host, kPublishedLevelKey,
                std::bit_cast<std::array<std::uint8_t, sizeof published>>(published));

  RunStateMachine(context, context.rx);
  RunStateMachine(context, context.tx);
  FramerFlushRx(context);

  WriteTxSamples(afe, std::span<const std::int16_t>(context.output_block, n));
  std::fill(std::begin(context.output_block), std::end(context.output_block), std::int16_t{0});
}

}  // namespace pump
