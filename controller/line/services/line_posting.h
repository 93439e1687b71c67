// The posting operations through which the command interpreter, the
// dialler, the voice service and the modem task ask the line services for
// work: each takes a message from the kernel's pool, fills it and posts
// it; when no message is free the request is dropped without report.
#pragma once

#include <cstdint>

namespace vxctl {

// Black list (class 7): the inter-call delay, a call answered, a call
// failed.
void BLK_start_delay_timer_request();
void BLK_call_connected();
void BLK_call_failed();

// Ring cadence (class 5 code 3): ring reports on or off and their interval
// in units of 100 ms.
void RING_set_report(std::uint8_t enable, std::uint8_t interval);

// Call-progress tones (class 4). The detector kinds.
inline constexpr std::uint8_t kDetectDialTone = 1;
inline constexpr std::uint8_t kDetectBusy = 3;
inline constexpr std::uint8_t kDetectRingback = 5;
inline constexpr std::uint8_t kDetectSecondBusy = 15;
// Starts the detectors the settings ask for: dial tone with S22 bit 4,
// the two busy cadences with S22 bit 5, ringback with "RingbackDetEnable"
// and X7; a voice call asks for all of them.
void CPT_start_detectors();
// Stops every detector (urgent).
void CPT_stop_detectors();
// Starts one detector; ringback is never started alone.
void CPT_start_detector(std::uint8_t kind);

// Tone generation (class 6 code 3): one DTMF digit with its on and off
// times (ms), or two frequencies (Hz) for a duration (ms). 1 when posted,
// 0 when no message was free.
std::uint8_t TONE_play_dtmf(std::uint8_t digit, std::uint16_t on_ms, std::uint16_t off_ms);
std::uint8_t TONE_play_dual(std::uint16_t f1, std::uint16_t f2, std::uint16_t duration_ms);

}  // namespace vxctl
