#include "pump/commands/command_table.h"

#include "platform/ke/ke.h"
#include "pump/callprogress/call_progress.h"
#include "pump/callprogress/dialling.h"
#include "pump/commands/answers.h"
#include "pump/commands/command_handlers.h"
#include "pump/voice/voice_commands.h"

namespace pump {
namespace {

constexpr CommandHandler kAck = AckCommand;
constexpr CommandHandler kNotYet = NotYetCommand;

}  // namespace

const std::array<CommandHandler, kLastCommand - kFirstCommand + 1> CpCommandTable = {
    ResetCommand,          // 0x60
    DataFormatCommand,     // 0x61
    kAck,                  // 0x62
    kAck,                  // 0x63
    OptionsCommand,        // 0x64
    CallProgressModeCommand,  // 0x65
    DialParametersCommand,    // 0x66
    DialDigitCommand,         // 0x67
    ConnectCommand,        // 0x68
    RetrainCommand,        // 0x69
    kAck,                  // 0x6A
    RenegotiateCommand,    // 0x6B
    kAck,                  // 0x6C
    kAck,                  // 0x6D
    DirectStartCommand,    // 0x6E
    kAck,                  // 0x6F
    DataRateQuery,         // 0x70
    kAck,                  // 0x71
    ModeQuery,             // 0x72
    FaxConfigCommand,      // 0x73
    DropRtsCommand,        // 0x74
    RaiseRtsCommand,       // 0x75
    FaxSetupCommand,       // 0x76
    kAck,                  // 0x77
    kAck,                  // 0x78
    kAck,                  // 0x79
    kAck,                  // 0x7A
    TransmitLevelCommand,  // 0x7B
    TonePairCommand,       // 0x7C
    kAck,                  // 0x7D
    kAck,                  // 0x7E
    kAck,                  // 0x7F
    kAck,                  // 0x80
    SpeakerCommand,        // 0x81
    PcmInfoQuery,          // 0x82
    kAck,                  // 0x83
    kAck,                  // 0x84
    RateLimitCommand,      // 0x85
    kAck,                  // 0x86
    kAck,                  // 0x87
    DtmfLevelsCommand,     // 0x88
    kAck,                  // 0x89
    kAck,                  // 0x8A
    FramerRestartCommand,  // 0x8B
    kAck,                  // 0x8C
    kAck,                  // 0x8D
    kAck,                  // 0x8E
    kAck,                  // 0x8F
    Phase2OptionsCommand,  // 0x90
    V34InfoQuery,          // 0x91
    kAck,                  // 0x92
    CallerIdModeCommand,   // 0x93
    VersionQuery,          // 0x94
    VoiceLineModeCommand,  // 0x95
    VoiceSilenceCommand,   // 0x96
    VoiceStartCommand,     // 0x97
    VoiceIdleCommand,      // 0x98
    VoiceLevelCommand,     // 0x99
    kAck,                  // 0x9A
    kAck,                  // 0x9B
    VoiceRouteCommand,     // 0x9C
    kAck,                  // 0x9D
    kAck,                  // 0x9E
    kAck,                  // 0x9F
    kNotYet,               // 0xA0 V.92 modem on hold
    kNotYet,               // 0xA1 V.92 request
    SpeakerphoneSwitchCommand,  // 0xA2
    kNotYet,               // 0xA3 V.92
    MonitorConfigCommand,  // 0xA4
};

void NotYetCommand(DspContext& context) {
  const std::uint8_t code = context.packet.code;
  DbgPrint("data pump: command 0x%02X is not built yet; acknowledged", code);
  context.pending.Record(Pending::kCommand, code);
  AckPacket(context);
}

void AckCommand(DspContext& context) { AckPacket(context); }

}  // namespace pump
