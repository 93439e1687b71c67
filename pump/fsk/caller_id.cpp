#include "pump/fsk/caller_id.h"

#include <array>

#include "platform/ke/ke.h"
#include "pump/afe_access/afe_access.h"
#include "pump/afe_access/afe_requests.h"
#include "pump/callprogress/call_progress.h"
#include "pump/fsk/fsk_rx.h"
#include "pump/fsk/fsk_start.h"
#include "pump/framer/framer.h"

namespace pump {
namespace {

constexpr int kDtmfMinimumRun = 3;  // blocks
constexpr std::uint16_t kNoCharacter = 0x3FF;
constexpr std::int16_t kWeakMantissa = 0x4000;
constexpr std::int16_t kWeakExponent = 3;
constexpr std::int16_t kStrongAverage = 512;
constexpr int kStrongBlocks = 2;
constexpr int kPatternOnes = 36;
constexpr int kPatternZeros = 7;
// The start patterns: a mark and the MDMF type byte's start, or two marks
// and the SDMF type byte's first bits.
constexpr std::uint8_t kMdmfPattern = 0x80;
constexpr std::uint8_t kSdmfPattern = 0xC4;

// The header, 7-bit characters with even parity in 10-bit frames, newest
// bit in bit 0: DLE SOH BEL DLE STX.
constexpr std::array<std::uint16_t, 5> kHeader = {0x013, 0x103, 0x1C3, 0x013, 0x083};

// 'A', 'B' and 'D' start a DTMF message.
constexpr bool StartsDtmf(char c) { return c == 'A' || c == 'B' || c == 'D'; }

// The detector's digit code as the character sent on.
char DtmfCharacter(int code) {
  if (code >= 1 && code <= 9) return static_cast<char>('0' + code);
  switch (code) {
    case 15: return '0';
    case 10: return 'A';
    case 11: return 'B';
    case 12: return 'C';
    case 13: return 'D';
    case 14: return 'E';
    case 16: return 'F';
    default: return 0;
  }
}

bool RingInProgress(const DspContext& context) {
  return context.call_progress.cadence.reporting != 0;
}

bool OnHookEnabled(const DspContext& context) {
  return context.caller_id_hook != 0 && context.call_progress.cadence_report != 0;
}

void ReleaseHook(DspContext& context) {
  context.caller_id_hook = 0;
  if (context.afe->hook != 0) SetAfeHook(*context.afe, 0);
}

// The level of what the receiver hears, in dB on the gain's scale. The
// gain's level reading assumes the gain has brought the averaged magnitude
// to its target; the magnitude's distance from the target (in 1 dB steps)
// corrects that reading. While the gain adapts the two agree; a frozen gain
// no longer follows the input, but the magnitude still does, so a weak
// signal reads weak however long the gain stays frozen.
int HeardLevelDb(const FskAgc& g) {
  constexpr std::int64_t kOneDb = 36766;  // 10^(1/20) in Q15
  constexpr int kSilence = -100;
  if (g.average <= 0 || g.target <= 0) return kSilence;
  std::int64_t average = std::int64_t{g.average} << 16;
  std::int64_t target = std::int64_t{g.target} << 16;
  int db = 0;
  while (average < target && db > kSilence) {
    average = (average * kOneDb) >> 15;
    --db;
  }
  while (((target * kOneDb) >> 15) <= average) {
    target = (target * kOneDb) >> 15;
    ++db;
  }
  return g.level_db + db;
}

void FeedBits(DspContext& context, int n, std::uint32_t bits) {
  FramerPutRxBits(context, n, bits);
}

// Seizure-and-mark: 100 alternations, then 80 ones, then data.
void SeizureAndMark(DspContext& context, int bit) {
  CallerIdReceiver& c = context.caller_id;
  if (c.seizure_found == 0) {
    c.counter = bit != c.previous_bit ? static_cast<std::uint16_t>(c.counter + 1) : 0;
    c.previous_bit = static_cast<std::int16_t>(bit);
    if (c.counter >= kSeizureBits) {
      c.seizure_found = 1;
      c.counter = 2;
      c.previous_bit = 1;
    }
    return;
  }
  if (c.mark_found == 0) {
    c.counter = bit == 1 ? static_cast<std::uint16_t>(c.counter + 1) : 0;
    if (c.counter >= kMarkBits) {
      c.mark_found = 1;
      c.counter = 0;
      c.previous_bit = 0;
      if (c.type == kCallerIdFskOrDtmf) {
        c.type = kCallerIdSeizureMark;
        InitFramerRx(context, kFramerAsync);
        FeedBits(context, 9, 0);  // the marker byte 0x00 ...
        FeedBits(context, 1, 1);  // ... and its stop bit
      }
    }
    return;
  }
  FeedBits(context, 1, static_cast<std::uint32_t>(bit));
}

void Header(DspContext& context, int bit) {
  CallerIdReceiver& c = context.caller_id;
  if (c.start_found != 0) {
    FeedBits(context, 1, static_cast<std::uint32_t>(bit));
    return;
  }
  // A weak signal freezes the gain once, and it stays frozen for as long as
  // the signal is weak: noise is not raised to a full-scale signal, and no
  // header is looked for in it.
  if (HeardLevelDb(context.fsk.agc) < kHeaderWeakDb) {
    c.character = kNoCharacter;
    if (c.gain_frozen == 0) {
      FreezeFskGain(context, kWeakMantissa, kWeakExponent);
      c.gain_frozen = 1;
    }
    return;
  }
  if (c.gain_frozen != 0 && context.fsk.agc.freeze != 0) {
    context.fsk.agc.freeze = 0;
  }
  c.character = static_cast<std::uint16_t>(((c.character << 1) | bit) & 0x3FF);
  const std::uint16_t value = c.character;
  if (value != kHeader[0] && value != kHeader[1] && value != kHeader[2] && value != kHeader[4]) {
    return;
  }
  c.character = kNoCharacter;
  if (value == kHeader[c.counter]) {
    ++c.counter;
  } else {
    c.counter = value == kHeader[0] ? 1 : 0;
  }
  if (c.counter < kHeader.size()) return;
  RestartFramerRx(context);
  for (const std::uint16_t character : kHeader) {
    for (int k = 9; k >= 0; --k) FeedBits(context, 1, (character >> k) & 1u);
  }
  c.start_found = 1;
}

void StartPattern(DspContext& context, int bit) {
  CallerIdReceiver& c = context.caller_id;
  if (c.start_found != 0) {
    FeedBits(context, 1, static_cast<std::uint32_t>(bit));
    return;
  }
  if (bit == 1) {
    if (c.ones < kPatternOnes) ++c.ones;
  } else if (c.ones >= kPatternOnes) {
    if (++c.counter > kPatternZeros) {
      c.ones = 0;
      c.counter = 0;
    }
  } else {
    c.ones = 0;
    c.counter = 0;
  }
  c.shift = static_cast<std::uint8_t>((c.shift << 1) | bit);
  if ((c.shift == kMdmfPattern || c.shift == kSdmfPattern) && c.ones == kPatternOnes) {
    for (int k = 7; k >= 0; --k) FeedBits(context, 1, (c.shift >> k) & 1u);
    c.shift = 0;
    c.start_found = 1;
  }
}

void StartDtmf(CallerIdReceiver& c) {
  ResetDtmfDetector(c.dtmf);
  c.dtmf.debouncer.minimum_run = kDtmfMinimumRun;
}

}  // namespace

void StartCallerId(DspContext& context, int type) {
  CallerIdReceiver& c = context.caller_id;
  switch (type) {
    case kCallerIdSeizureMark:
      StartFsk(context, kFskCallerIdReceive);
      break;
    case kCallerIdHeader:
      InitFramerRx(context, kFramerAsync);
      StartFsk(context, kFskCallerIdReceive);
      break;
    case kCallerIdDtmf:
      StartDtmf(c);
      break;
    case kCallerIdFskOrDtmf:
      StartFsk(context, kFskCallerIdReceive);
      StartDtmf(c);
      break;
    default:
      DbgPrint("vxdsp: caller-ID type %d unknown; nothing started\n", type);
      return;
  }
  c.type = type;
  c.seizure_found = 0;
  c.mark_found = 0;
  c.start_found = 0;
  c.dtmf_started = 0;
  c.dtmf_idle_blocks = 0;
  c.ones = 0;
  c.shift = 1;
  c.character = 0;
  c.counter = 0;
  c.previous_bit = 0;
  c.gain_frozen = 0;
}

bool CallerIdBit(DspContext& context, int bit) {
  const CallerIdReceiver& c = context.caller_id;
  if (context.fsk.kind != kFskCallerId) return false;
  if (!OnHookEnabled(context) && context.dial_call_state != kCallProgressCallerId) return false;
  switch (context.dial_call_state) {
    case 0:
      // What the demodulator makes of the ringing voltage is no message:
      // those bits go nowhere (the framer would pass them on as data).
      if (RingInProgress(context)) return true;
      if (c.type == kCallerIdSeizureMark || c.type == kCallerIdFskOrDtmf) {
        SeizureAndMark(context, bit);
        return true;
      }
      if (c.type == kCallerIdHeader) {
        Header(context, bit);
        return true;
      }
      return false;
    case 1:
    case 2:
    case kCallProgressCallerId:
      if (c.type == kCallerIdSeizureMark) {
        StartPattern(context, bit);
        return true;
      }
      if (c.type == kCallerIdHeader) {
        Header(context, bit);
        return true;
      }
      return false;
    default:
      return false;
  }
}

void CallerIdCarrierLost(DspContext& context) {
  const CallerIdReceiver& c = context.caller_id;
  const bool delivered = c.mark_found != 0 || (c.type == kCallerIdHeader && c.start_found != 0);
  if (delivered && context.dial_call_state == 0 && context.caller_id_hook != 0) {
    ReleaseHook(context);
  }
}

bool CallerIdDtmfArmed(const DspContext& context) {
  const std::int32_t type = context.caller_id.type;
  return context.caller_id_hook != 0 && (type == kCallerIdDtmf || type == kCallerIdFskOrDtmf);
}

bool CallerIdFskArmed(const DspContext& context) {
  const std::int32_t type = context.caller_id.type;
  return context.caller_id_hook != 0 && type != kCallerIdDtmf &&
         context.fsk.kind == kFskCallerId;
}

void CallerIdDtmfBlock(DspContext& context) {
  CallerIdReceiver& c = context.caller_id;
  if (!OnHookEnabled(context) || context.dial_call_state != 0 || RingInProgress(context)) return;
  const std::size_t n = std::min<std::size_t>(context.afe->samples_per_block, kBlockSamples);
  const int code = RunDtmfDetector(c.dtmf, std::span<const std::int16_t>(context.input_block, n));
  const char character = DtmfCharacter(DebounceDtmf(c.dtmf, code));
  if (character != 0 && c.dtmf_started == 0) {
    if (!StartsDtmf(character)) return;
    c.dtmf_started = 1;
    if (c.type == kCallerIdFskOrDtmf) {
      c.type = kCallerIdDtmf;
      InitFramerRx(context, kFramerRawOctets);
      FeedBits(context, 8, kDtmfMarker);
    }
  }
  if (character != 0) {
    c.dtmf_idle_blocks = 0;
    FeedBits(context, 8, static_cast<std::uint8_t>(character));
    return;
  }
  if (c.dtmf_started != 0 && ++c.dtmf_idle_blocks > kDtmfIdleBlocks) ReleaseHook(context);
}

void CallerIdStateBlock(DspContext& context) {
  CallerIdReceiver& c = context.caller_id;
  if (c.enable != 0) {
    if (context.fsk.agc.average < kStrongAverage) {
      c.level_ticks = kStrongBlocks;
    } else if (--c.level_ticks <= 0) {
      c.enable = 0;
      context.fsk.agc.freeze = 0;
    }
  }
  FskRx(context);
}

}  // namespace pump
