#include "pump/fax/fax_tone_watch.h"

#include <algorithm>

#include "pump/afe_access/afe_access.h"
#include "pump/core/comram.h"
#include "pump/core/dp_status.h"
#include "pump/core/host_interface.h"
#include "pump/detect/coefficients.h"
#include "pump/detect/preprocess.h"
#include "pump/idle/idle_mode.h"

namespace pump {
namespace {

// Blocks a tone must hold before it counts.
constexpr int kToneBlocks = 10;
constexpr std::int32_t kRestEntry = 2;

// The block through DC removal, the rejection of our own band and the
// AGC (the handshake's front end and buffers, idle during a fax call).
std::span<const std::int32_t> Heard(DspContext& context) {
  HandshakeArea& h = context.handshake;
  const std::size_t n = std::min<std::size_t>(context.afe->samples_per_block, kHandshakeBlock);
  PreprocessRx(kPreprocessDcRemoval | kPreprocessRejection | kPreprocessAgc,
               std::span<const std::int16_t>(context.input_block, n), context.dc_removal, std::span(h.samples, n),
               &h.rejection, std::span(h.filtered, n), &context.detectors.agc, std::span(h.levelled, n));
  return std::span<const std::int32_t>(h.levelled, n);
}

// The answerer is there: status 8 with the carrier bit, the controller
// interrupted, the calling tone stopped.
void ReportAnswer(DspContext& context) {
  SetDpStatus(*context.host, 8, true);
  SetDpStatus(*context.host, kStatusCarrier, true);
  WriteDspReg(*context.host, kRegDpInterrupt, 1);
  SetStateMachine(context.tx, StateOp::kGo, kTxIdleTable);
}

void WatchBothTones(DspContext& context) {
  const auto heard = Heard(context);
  HandshakeArea& h = context.handshake;
  const bool preamble = RunEnergyDetector(heard, h.energy1650, kToneBlocks);
  const bool answer_tone = RunEnergyDetector(heard, h.energy2100, kToneBlocks);
  if (preamble) {
    // Reported once: the wait for an answer tone's end has nothing to
    // wait for.
    ReportAnswer(context);
    SetStateMachine(context.rx, StateOp::kRestartAt, {}, kRestEntry);
  } else if (answer_tone) {
    SetStateMachine(context.rx, StateOp::kEndStep);
  }
}

void WatchAnswerToneEnd(DspContext& context) {
  if (RunEnergyDetector(Heard(context), context.handshake.energy2100, 1)) return;
  ReportAnswer(context);
  SetStateMachine(context.rx, StateOp::kEndStep);
}

constexpr StateEntry<DspContext> kWatch[] = {
    {WatchBothTones, -1, "WatchBothTones"},
    {WatchAnswerToneEnd, -1, "WatchAnswerToneEnd"},
    {nullptr, -1, "WatchDone"},
};

}  // namespace

StateTable<DspContext> FaxToneWatchTable() { return kWatch; }

void WatchFaxAnswer(DspContext& context) {
  HandshakeArea& h = context.handshake;
  h.rejection = BandFilter{};
  h.rejection.coefficients = &rejection::k1300;
  InitEnergyDetector(h.energy1650, energy::k1650);
  InitEnergyDetector(h.energy2100, energy::k2100);
  SetStateMachine(context.rx, StateOp::kGo, FaxToneWatchTable());
}

}  // namespace pump
