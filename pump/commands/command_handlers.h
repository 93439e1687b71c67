// The command handlers of the core. Each reads its arguments from the
// current packet and leaves the answer there (answers.h): DP_ACK unless
// its comment says otherwise.
#pragma once

#include "pump/context/dsp_context.h"

namespace pump {

// 0x60: full reset, or light reset with byte 0 = 1.
void ResetCommand(DspContext& context);
// 0x61: the framer's modes, options and characters.
void DataFormatCommand(DspContext& context);
// 0x64: the options word; answered by its own echo.
void OptionsCommand(DspContext& context);
// 0x68: the call's parameters, then the handshake, the fax tones, V.8 or phase 2.
void ConnectCommand(DspContext& context);
// 0x69: retrain in the connected modes.
void RetrainCommand(DspContext& context);
// 0x6B: rate renegotiation; echo.
void RenegotiateCommand(DspContext& context);
// 0x6E: parameters as 0x68, then a modulation started directly.
void DirectStartCommand(DspContext& context);
// 0x70: DP_DATA_RATE.
void DataRateQuery(DspContext& context);
// 0x72: DP_MODE.
void ModeQuery(DspContext& context);
// 0x73: the fax configuration (byte 0: rate code and modulation kind;
// byte 1: receive bit 2), with the V.21 receiver and watch around it.
void FaxConfigCommand(DspContext& context);
// 0x74: drops the transmit request and posts DP_FAX_CD.
void DropRtsCommand(DspContext& context);
// 0x75: raises the transmit request.
void RaiseRtsCommand(DspContext& context);
// 0x76: the fax configuration from three bytes (rate code, kind,
// options), without the V.21 receiver.
void FaxSetupCommand(DspContext& context);
// 0x7B: the transmit level from a linear gain.
void TransmitLevelCommand(DspContext& context);
// 0x7C: a tone pair, or its end.
void TonePairCommand(DspContext& context);
// 0x81: the speaker volume.
void SpeakerCommand(DspContext& context);
// 0x82: DP_PCM_INFO.
void PcmInfoQuery(DspContext& context);
// 0x85: the V.34 rate limit; echo.
void RateLimitCommand(DspContext& context);
// 0x8B: restarts the framer's receive side (byte 0 non-zero) or transmit side.
void FramerRestartCommand(DspContext& context);
// 0x90: the V.34 phase-2 options.
void Phase2OptionsCommand(DspContext& context);
// 0x91: DP_V34_INFO.
void V34InfoQuery(DspContext& context);
// 0x93: caller-ID and DTMF detection mode.
void CallerIdModeCommand(DspContext& context);
// 0x94: DP_VERSION_INFO.
void VersionQuery(DspContext& context);
// 0x98: voice idle.
void VoiceIdleCommand(DspContext& context);
// 0xA4: the caller-ID configuration byte, or the tone monitor's windows.
void MonitorConfigCommand(DspContext& context);
// The commands whose procedures are not built yet: a debug line, a record
// in the context's PendingLog, DP_ACK.
void NotYetCommand(DspContext& context);
// The commands without an effect: DP_ACK.
void AckCommand(DspContext& context);

}  // namespace pump
