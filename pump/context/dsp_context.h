// The DspContext: the data pump's whole state for one device. The driver
// frame keeps it in the device extension and lends its address to the
// controller, which calls the controller entry through it.
//
// The shared fields come first, in their order: the host-interface pointer
// and the controller entry (both pointer-sized), the mode block handler,
// the block entry, the per-mode resources and areas, the level-step
// detector, the sample blocks, the state machines, the line monitor, the
// call blocks, the voice area, the AfeInfo copy, the current controller
// packet, the Profile value and the three flags. What follows them is the
// state the driver kept in statics, kept here so that every device has its
// own.
#pragma once

#include <cstddef>
#include <cstdint>
#include <type_traits>

#include "afe/windows/afe_contract.h"
#include "pump/context/mode_areas.h"
#include "pump/core/comram.h"
#include "pump/core/host_interface.h"
#include "pump/core/state_machine.h"
#include "pump/detect/dc_remove.h"
#include "pump/pending/pending_log.h"

namespace pump {

struct AfeAccess;

// The mode block handler, the controller entry and the block entry.
using ContextRoutine = void (*)(DspContext& context);

inline constexpr int kBlockSamples = 96;

// The level-step detector of call progress (idle/level_step.h).
struct LevelStepDetector {
  std::int32_t a;  // DC filter states
  std::int32_t b;
  std::int32_t slow;  // averages of the filtered magnitude
  std::int32_t fast;
  std::int16_t step_hold;   // samples
  std::int16_t blanking;    // samples
  std::int16_t start_hold;  // samples
};

struct LineMonitor {
  std::uint32_t afe_stopped;  // the line interface was stopped here
  std::int32_t high_count;    // consecutive measurements at or above the high threshold
  std::int32_t low_count;     // consecutive measurements at or below the low threshold
  std::int32_t hold_count;    // ticks of the hold-off so far
  std::int32_t last_measure;
  std::uint32_t hold_off;  // the line stays stopped until the hold-off ends
};

// The parameters of one call: cleared by every full reset, after a copy
// went to the previous-call block (memory keys 0x1500-0x1530).
struct CallParameters {
  std::int32_t mode;             // procedure or modulation number
  std::uint32_t update_flags;    // set by memory and parameter writes
  std::int16_t block_level;      // dB of the last idle block
  std::int16_t published_level;  // parameter key 0xE2
  std::int16_t level_offset;     // set by the V.8 path
  std::uint16_t options;         // options word of commands 0x64 and 0x68
  // Command 0x68.
  std::int32_t max_rate_code;
  std::int32_t v34_rate_option;  // byte 0 bits 6-7
  std::int32_t direction;        // 1: this modem originates
  std::int32_t calling_tone;     // byte 2 bits 0-1
  std::int32_t handshake_selector;
  std::int32_t fax_call;
  std::int32_t v8bis;
  std::uint8_t v8_continuation;
  std::uint8_t connect_flags;  // byte 3 bits 2 and 3
  std::uint16_t reserved;
  // Command 0x64 with 8 bytes.
  std::uint32_t rate_pair[2];
  // The framer's byte counters of the ended call, kept by the reset.
  std::uint32_t framer_received;
  std::uint32_t framer_delivered;
  std::int16_t ansam_run_count;  // the V.8 caller's detector when ANSam was heard
  std::uint8_t spare[62];
};
static_assert(sizeof(CallParameters) == 128);

// The controller packet being handled; handlers rewrite it into the answer.
struct CurrentPacket {
  std::uint8_t payload[kDspPacketPayload];
  std::uint8_t length;
  std::uint8_t code;
};

// The registry value "Profile": word 0 is ProfileFlags.
struct Profile {
  std::uint32_t flags;
  std::uint32_t options;  // bit 0: the line monitor may stop the line on a high measurement
};
static_assert(sizeof(Profile) == 8);

// The codec register record and the DAA settings: memory keys 0x1820
// (the record), 0x1828, 0x182A and 0x182F at their word offsets.
inline constexpr std::size_t kCodecAreaBytes = 36;

// Storage of the keys over areas that are not built yet; the key table
// (dispatch/key_table.cpp) checks that it is exactly as large as they need.
inline constexpr std::size_t kUnbuiltKeyBytes = 6136;

struct DspContext {
  HostInterface* host;
  ContextRoutine controller_entry;  // DispatchCpPacket
  ContextRoutine mode_block;        // DefaultBlock while idle
  ContextRoutine block_entry;       // BlockTick
  ModeResources resources;
  ReceiveArea receive;
  TransmitArea transmit;
  DataFramer framer;
  Phase2Record phase2;
  DialArea dial;
  ToneGenerator tone;
  CallProgressArea call_progress;
  DetectorRecords detectors;
  LevelStepDetector level_step;
  DcRemovalState dc_removal;
  std::int32_t dial_call_state;  // -1 after reset, 0 monitoring, 6 caller ID
  std::int16_t input_block[kBlockSamples];
  std::int16_t output_block[kBlockSamples];
  StateMachine<DspContext> tx;
  StateMachine<DspContext> rx;
  LineMonitor line_monitor;
  std::uint32_t dc_removal_enable;
  CallParameters call;
  CallParameters previous_call;
  VoiceArea voice;
  afe::AfeInfo afe_info;  // refreshed by AFE request 20
  AfeAccess* afe;
  CurrentPacket packet;
  Profile profile;
  std::uint32_t dialling;      // a dial sequence runs: packets other than 0x60 wait
  std::uint32_t ready;         // the mode resources are allocated
  std::uint32_t voice_active;  // voice mode runs

  // Call state of the command handlers.
  ToneMonitor tone_monitor;
  CallerIdReceiver caller_id;
  FaxConfig fax;
  FskWork fsk;                      // the FSK modem (pump/fsk)
  HandshakeArea handshake;          // the handshake procedures (pump/handshake)
  V8Area v8;                        // V.8, V.8bis and ANSam (pump/v8)
  V22Work v22;                      // the V.22 and V.22bis modem (pump/v22)
  std::uint32_t tx_request;         // commands 0x75/0x74: the transmit tables may send
  std::uint32_t transmitting;       // the transmit table has started sending
  std::uint32_t v21_watch;          // the fax configuration watches for V.21
  std::uint32_t v21_recognised;     // the watch saw V.21 flags
  std::int16_t transmit_level;  // dB, 0 to -16; memory key 0x1687
  std::uint16_t level_flag;     // command 0x7B
  std::uint32_t retrain;
  std::uint32_t caller_id_hook;   // the caller-ID path holds the hook relay
  std::uint8_t caller_id_config;  // command 0xA4
  std::uint32_t direct_phase2;    // V.92 command 0xA1: 0x68 goes to phase 2 at once
  std::uint32_t quick_connect;    // V.92 quick connect requested
  std::uint32_t v90_call;         // the call runs V.90
  std::uint32_t v34_options_one;  // the options word was 1
  std::uint8_t v34_flag_byte;     // ANDed with the transmit option byte by 0x91
  std::uint32_t phase2_override;  // Phase2OverrideFlags

  // State the driver kept in statics.
  std::uint8_t previous_power_state;  // of register 252; 0xD3 at start
  std::uint32_t line_profile_bytes;   // received through memory keys 0x8430-0x8B4C
  std::uint8_t codec_area[kCodecAreaBytes];
  std::uint8_t window_answer[16];  // parameter keys 0x1900-0x19F8
  std::uint8_t shared_word[2];     // parameter keys 0xE4, 0xC0 and 0xC1
  std::uint8_t unbuilt_keys[kUnbuiltKeyBytes];

  PendingLog pending;
};

static_assert(std::is_standard_layout_v<DspContext>,
              "the controller reaches its fields by offsetof");
static_assert(offsetof(DspContext, host) == 0);
static_assert(offsetof(DspContext, controller_entry) == sizeof(void*));

}  // namespace pump
