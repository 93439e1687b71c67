// The modem task's packets for dialling, tones, transmit levels and the
// speaker, as the command interpreter and the line services ask for them.
// Every command waits for DP_ACK.
#pragma once

#include <cstdint>

namespace vxctl {

// Command 0x66: {b, a} for kind 1 (pulse dialling), else {a, b}; kind; 0;
// the duration (u16, little-endian).
void ModemTask_SendDialParams(std::uint8_t a, std::uint8_t b, std::uint8_t kind,
                              std::uint16_t duration);
// The code of a dial character: '#' 15, '*' 14, 'A'-'D' 10-13, any other
// its distance from '0'.
std::uint8_t dial_digit_code(char digit);
// Command 0x67 {dial_digit_code(digit)}.
void ModemTask_DialDigit(char digit);
// Kinds 0 and 5: 0x7B with kind 1's level pair {high, low, 0, 0}, then
// 0x88 with the kind's own pair; other kinds: 0x7B {high, low, 1 when S84
// is non-zero else 0, 0}. The pairs come from acu_tone_level.
void ModemTask_SetTxLevel(std::uint8_t kind);
// 0x7B {0, 0, 0, 0}, then call-progress mode 1.
void ModemTask_ZeroTxLevel();
// A frequency in hertz as the tone generator's phase step per sample at
// 9600 Hz: f x 68265 / 10000 (whole steps).
std::uint16_t tone_phase_step(std::uint16_t hertz);
// Command 0x7C {step(f1), step(f2) (u16 each), flags}.
void ModemTask_PlayDualTone(std::uint16_t f1, std::uint16_t f2, std::uint8_t flags);
// Command 0x88 with the voice DTMF level pair each raised by 10 x boost,
// at most 250.
void ModemTask_SetV8bisLevel(std::uint8_t boost);
// Command 0x81 {volume when on, else 0; 0}; keeps the state.
void ModemTask_SetSpeaker(std::uint8_t on);
// Keeps the volume (0 taken as 1) and sends the speaker state again.
void ModemTask_SetSpeakerVolume(std::uint8_t volume);
// Command 0x68 {9, 16, 0x10, 0, 0, 0}: rate code 9, modulation 16.
void ModemTask_SendHandshakeParams();
// Parameter 0xB9 := 0x7FFF.
void ModemTask_WriteDspMax();
// Command 0x60 {0, 0}, then memory key 0x11 := 7.
void ModemTask_DspResetForDial();

}  // namespace vxctl
