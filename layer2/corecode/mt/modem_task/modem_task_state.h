// ModemTaskState: the modem task's state (call control), one per machine
// (MachineState<ModemTaskState>()). Fields join as the parts of the modem
// task that use them are built.
#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <iterator>

namespace vxctl {

// Call flags: the V.8 receiver's pattern watcher is armed, the peer's
// pattern was seen, the call runs a fast-start or quick-connect path, and
// the bits set from the data pump's reports.
inline constexpr std::uint16_t kCallFlagPatternWatch = 1u << 1;
inline constexpr std::uint16_t kCallFlagPatternSeen = 1u << 3;
inline constexpr std::uint16_t kCallFlagFastPath = 1u << 7;
inline constexpr std::uint16_t kCallFlagAwaitFastStart =
    1u << 8;  // waiting for the data pump after a fast start
inline constexpr std::uint16_t kCallFlagClearProfile =
    1u << 9;  // clear the stored line profile at the next V.34 connect and at hang-up
inline constexpr std::uint16_t kCallFlagConnectOption =
    1u << 11;  // passed on in the connect parameters
inline constexpr std::uint16_t kCallFlagFastStart = 1u << 0;  // the fast-start sequence runs

// The modem task's states.
enum ModemTaskStateCode : std::uint8_t {
  kTaskIdle = 0,
  kTaskOriginating = 1,
  kTaskAnswering = 2,
  kTaskConnected = 3,
  kTaskHangupRequested = 4,
  kTaskClearingDown = 5,
  kTaskRetraining = 8,
  kTaskFaxAnswering = 9,
  kTaskFaxOriginating = 10,
  kTaskFaxCarrier = 11,
  kTaskFaxClearingDown = 12,
  kTaskRenegotiating = 17,
  kTaskCallerIdInCall = 18,
  kTaskHoldExchange = 19,
};

// Register 54's bits that hold the connection-state code.
inline constexpr std::uint8_t kConnectionCodeMask = 0x0F;

// The data pump's connection-state codes (register 54, low 4 bits), and 6,
// which the task reports for a connection while the state-6 flag is set.
enum ConnectionCode : std::uint8_t {
  kCodeIdle = 0,
  kCodeHandshake = 1,
  kCodeConnected = 2,
  kCodeRetraining = 3,
  kCodeDropping = 4,
  kCodeLoopback = 5,
  kCodeReportedLoopback = 6,
  kCodeFaxCarrier = 8,
  kCodeVoice = 12,
  kCodeRenegotiating = 13,
  kCodeCallerId = 14,
  kCodeHoldExchange = 15,
};

// The data pump's modulation codes the task tells apart.
enum ModulationCode : std::uint8_t {
  kModulationBell212 = 1,
  kModulationV21 = 2,
  kModulationV23 = 4,
  kModulationV22 = 6,
  kModulationV22bis = 7,
  kModulationV32 = 12,
  kModulationV17 = 14,
  kModulationV32bis = 16,
  kModulationV34Symbol = 17,
  kModulationV34 = 18,
  kModulationV90 = 23,
  kModulationV92 = 24,
};

// The name of a modulation code as the status line prints it; 23 is "V92"
// while the upstream direction runs PCM.
inline const char* ModemTask_ModulationName(std::uint8_t code, bool upstream_pcm) {
  constexpr const char* kNames[] = {
      "BELL_103", "BELL_212",  "V21",     "V21_CHAN2", "V23_ADX", "V23_HDX", "V22",
      "V22BIS",   "V27_SHORT", "V27_LONG", "V27_TER",  "V29",     "V32",     "V32_TCM",
      "V17",      "V33",       "V32BIS",  "V34_SYM",   "V34",     "Unknown", "Unknown",
      "Unknown",  "X2",        "V90",     "V92"};
  if (code == kModulationV90 && upstream_pcm) return "V92";
  return code < std::size(kNames) ? kNames[code] : "Unknown";
}

// The four "+MS" rate limits a call started with, in bit/s (a V.90 call
// the V.8 exchange moved to V.34 has V.34 receive limits).
struct CallRateLimits {
  std::uint16_t min_tx = 0;
  std::uint16_t max_tx = 0;
  std::uint16_t min_rx = 0;
  std::uint16_t max_rx = 0;
};

struct ModemTaskState {
  // The modem task's state (ModemTaskStateCode): 0 idle, any other while a
  // call is in progress.
  std::atomic<std::uint8_t> state{kTaskIdle};
  // Written by the task thread and by the data pump's V.92 report, which
  // arrives on the data pump's block thread.
  std::atomic<std::uint16_t> call_flags{0};
  // The V.8 exchange: the frame the DataMode 7 receiver confirmed (at most
  // 32 bytes and a terminating 0) with its length and the received-frame
  // flag, the exchange's sub-state and the closing 0x00 octets counted.
  static constexpr std::size_t kV8FrameMax = 32;
  std::uint8_t v8_rx_frame[kV8FrameMax + 1] = {};
  std::uint8_t v8_rx_length = 0;
  std::atomic<std::uint8_t> v8_frame_received{0};
  std::atomic<std::uint8_t> v8_substate{0};
  std::uint8_t v8_closing_zeros = 0;
  // Register 56 as last read (ModemTask_ReadDspEventType).
  std::uint8_t latest_event_type = 0;

  // The connection the data pump reported: its modulation code (0 Bell 103
  // to 24 V.92), the receive and transmit line rates in bit/s, whether it
  // is a V.92 connection, and the V.34 auxiliary channel's state.
  std::uint8_t modulation = 0;
  std::uint16_t rx_rate = 0;
  std::uint16_t tx_rate = 0;
  std::uint8_t v92_connection = 0;
  std::uint8_t aux_channel = 0;
  // The modulation the command interpreter asked for.
  std::uint8_t requested_modulation = 0;
  // The rate limits of the current call (the rate steps stay inside them).
  CallRateLimits call_limits{};
  // The rates before the last rate query.
  std::uint16_t previous_rx_rate = 0;
  std::uint16_t previous_tx_rate = 0;
  // From the last V.34 rate reply: the peer accepts an asymmetric rate in
  // a renegotiation.
  std::uint8_t asymmetric_reneg = 0;
  // The connect parameters' automode and fax flags, set when a call starts.
  std::uint8_t connect_automode = 0;
  std::uint8_t connect_fax = 0;
  // The two PCM line values the data pump gives at the end of a V.90 call
  // and gets back at the start of the next.
  std::array<std::uint8_t, 2> pcm_line_values{};
  // The call parameters the command interpreter hands over: S7 x 100, the
  // loss-of-carrier setting (S10, tenths of a second; 255 ignores a lost
  // carrier) and the call parameter byte.
  std::uint16_t connect_wait = 0;
  std::uint8_t carrier_loss_delay = 0;
  std::uint8_t call_parameter = 0;
  // The connection-state code (register 54, low 4 bits) read by this step,
  // and the code of the last step that saw a change.
  std::atomic<std::uint8_t> code{kCodeIdle};
  std::uint8_t previous_code = kCodeIdle;
  // The connection state the task reports: the code the monitor last took,
  // 6 for a connection while the state-6 flag is set; 3 while retraining.
  std::atomic<std::uint8_t> connection_state{kCodeIdle};
  // While set, a connection is reported as 6 (the local digital loopback
  // test); a retrain clears it.
  std::atomic<std::uint8_t> state6_flag{0};
  // Set when the code first becomes 2 in a call, cleared when it is 0 again.
  std::uint8_t connected = 0;
  // The controller runs the V.8 exchange of this call itself; the
  // handshake then takes the modulation the exchange negotiated.
  std::atomic<std::uint8_t> v8_mode{0};
  std::atomic<std::uint8_t> v8_result{0};
  // The call-progress mode last asked for (0 off).
  std::atomic<std::uint8_t> call_progress_mode{0};

  // Bad HDLC frames of the V.34 line-quality judgement, and their 5 s
  // window (10 ms ticks, counted down to 0).
  std::atomic<std::uint16_t> frame_errors{0};
  std::atomic<std::uint16_t> frame_error_window{0};
  // 10 ms timers counted down to 0: the V.8 repeat timer and the fast-start
  // timer (which V.8bis shares).
  std::atomic<std::uint8_t> v8_repeat_timer{0};
  std::atomic<std::uint16_t> fast_start_timer{0};

  // Handshakes started other than fax; connects with the same and with a
  // changed receive rate; the retrains and renegotiations the status report
  // prints.
  std::uint16_t connection_count = 0;
  std::uint16_t same_rate_connects = 0;
  std::uint16_t changed_rate_connects = 0;
  std::uint16_t retrain_reports = 0;
  std::uint16_t reneg_reports = 0;
  // The status word: the hook state, CTS and the other flags the modem
  // task keeps (lines/status_lines.h names the bits).
  std::atomic<std::uint32_t> status_word{0};

  // The speaker's state and volume (1 or more).
  std::uint8_t speaker_on = 0;
  std::uint8_t speaker_volume = 1;
};

}  // namespace vxctl
