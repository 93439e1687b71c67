#include "pump/pending/pending_procedures.h"

#include "pump/context/mode_numbers.h"

namespace pump {
namespace {

constexpr std::int32_t kV22bisRateCode = 4;
constexpr std::int32_t kV22RateCode = 3;

void Note(DspContext& context, Pending part, std::int32_t a = 0, std::int32_t b = 0,
          std::int32_t c = 0) {
  context.pending.Record(part, a, b, c);
}

}  // namespace

void InitPhase2Defaults(DspContext& context) { Note(context, Pending::kInitPhase2Defaults); }
void ResetPhase2(DspContext& context) { Note(context, Pending::kResetPhase2); }
void StartPhase2(DspContext& context) { Note(context, Pending::kStartPhase2); }
void RestartPhase2(DspContext& context, int cause) {
  Note(context, Pending::kRestartPhase2, cause);
}
void SetPhase2Option(DspContext& context, int type, int value) {
  Note(context, Pending::kSetPhase2Option, type, value);
}
void ResetV34Receiver(DspContext& context) { Note(context, Pending::kResetV34Receiver); }
void RestartV34(DspContext& context) { Note(context, Pending::kRestartV34); }
void RestartV92(DspContext& context) { Note(context, Pending::kRestartV92); }

void StartV32Connection(DspContext& context, int role, int rate_sequence) {
  Note(context, Pending::kStartV32Connection, role, rate_sequence);
}
void RetrainV32Connection(DspContext& context) { Note(context, Pending::kRetrainV32Connection); }
void ChangeV32bisRate(DspContext& context) { Note(context, Pending::kChangeV32bisRate); }

}  // namespace pump
