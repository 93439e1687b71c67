#include "pump/context/init_context.h"

#include <algorithm>
#include <iterator>

#include "pump/callprogress/dialling.h"
#include "pump/commands/command_handlers.h"
#include "pump/commands/mode_resources.h"
#include "pump/context/afe_info_copy.h"
#include "pump/context/block_tick.h"
#include "pump/context/profiles.h"
#include "pump/dispatch/dispatcher.h"
#include "pump/dispatch/key_table.h"
#include "pump/idle/default_block.h"
#include "pump/idle/idle_mode.h"
#include "pump/pending/pending_procedures.h"
#include "pump/voice/voice_mode.h"

namespace pump {
namespace {

constexpr std::uint8_t kPowerStateAtStart = 0xD3;

void ReadProfiles(DspContext& context) {
  ULONG size = sizeof context.profile;
  ReadProfileValue(kProfileValue, &context.profile, size);
  // A missing VOVProfile leaves its last word 0: the speakerphone then
  // knows it has no stored profile.
  std::fill(std::end(context.voice.vov_profile) - 4, std::end(context.voice.vov_profile),
            std::uint8_t{0});
  size = sizeof context.voice.vov_profile;
  context.voice.vov_profile_bytes =
      ReadProfileValue(kVovProfileValue, context.voice.vov_profile, size) ? size : 0;
}

}  // namespace

void InitDspContext(DspContext& context, AfeAccess* afe, HostInterface* host) {
  context.afe = afe;
  context.host = host;
  context.ready = 0;
  context.previous_power_state = kPowerStateAtStart;
  // The front end starts with its line off: the first tick switches it on
  // when the controller's hook relay is already off hook.
  context.line_monitor.afe_stopped = 1;
  ReadProfiles(context);
  RefreshAfeInfo(context);

  RegisterDataKeys(context);
  std::fill(std::begin(context.packet.payload), std::end(context.packet.payload), std::uint8_t{0});
  context.packet.length = 0;
  DataFormatCommand(context);

  context.mode_block = DefaultBlock;
  context.controller_entry = DispatchCpPacket;
  context.block_entry = BlockTick;
  SetStateMachine(context.tx, StateOp::kGo, kTxIdleTable);
  SetStateMachine(context.rx, StateOp::kGo, kRxIdleTable);

  context.call.update_flags = 0;
  context.call.level_offset = 0;
  InitPhase2Defaults(context);
  InitDialling(context);
  std::fill(std::begin(context.input_block), std::end(context.input_block), std::int16_t{0});
  std::fill(std::begin(context.output_block), std::end(context.output_block), std::int16_t{0});
  InitVoice(context);
}

void SaveDspProfile(DspContext& context) {
  WriteProfileValue(kVovProfileValue, context.voice.vov_profile, sizeof context.voice.vov_profile);
  FreeProfilePath();
  context.ready = FreeModeResources(context);
}

}  // namespace pump
