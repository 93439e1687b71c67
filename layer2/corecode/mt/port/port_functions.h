// The port functions: the slots of the PortFunctionTable that apply and
// report the port's settings, answer status, property and configuration
// queries and run the escape functions. Each takes the port block first and
// returns false with the last error set (kPort...); a null port block or a
// missing pointer gives kPortMissing, kept in the machine's port block.
#pragma once

#include <cstdint>

#include "layer2/corecode/mt/port/port_block.h"

namespace vxctl {

// Fills slots 0, 1, 3, 5-9, 11, 12 and 15-21; the others stay as they are.
void port_fill_table(PortFunctionTable& table);

// The default read and write callback: does nothing.
void port_null_callback(PortBlock* port, void* reference, std::uint32_t kind,
                        std::uint32_t events);

// The line rate for a requested baud rate or index code (0xFF10..0xFF27).
std::uint32_t port_baud_map(std::uint32_t baud);

// The lines and handshake flags the settings' flags ask for: RTS on unless
// disabled, DTR on, the input handshake by DTR and RTS, the output handshake
// by CTS and DSR; then the output hold re-evaluated.
void port_apply_handshake(PortBlock& port);

// Slot 0: the fields the mask selects, in order, the first refusal
// stopping it (fields before it stay applied).
bool port_set_comm_state(PortBlock* port, const SerialDcb* dcb, std::uint32_t mask);
bool port_get_comm_state(PortBlock* port, SerialDcb* dcb);  // 1
// Slot 3: delivers c to the controller now, or keeps it as the immediate
// character (one at a time: kPortImmediateWaits).
bool port_transmit_char(PortBlock* port, std::uint8_t c);
bool port_get_queue_status(PortBlock* port, QueueStatus* status);  // 5
// Slot 6: the error word, cleared; the queue status too when asked.
bool port_clear_error(PortBlock* port, QueueStatus* status, std::uint32_t* errors);
// Slot 7: the modem-status register lives in `msr` from now on.
bool port_set_modem_status_shadow(PortBlock* port, std::atomic<std::uint8_t>* msr);
bool port_get_properties(PortBlock* port, CommProperties* properties);  // 8

// Slot 9. `value` is not written and may be null.
inline constexpr std::uint32_t kEscapeSetXoff = 1;  // hold output as after a received XOFF
inline constexpr std::uint32_t kEscapeSetXon = 2;   // release that hold
inline constexpr std::uint32_t kEscapeSetRts = 3;
inline constexpr std::uint32_t kEscapeClrRts = 4;
inline constexpr std::uint32_t kEscapeSetDtr = 5;
inline constexpr std::uint32_t kEscapeClrDtr = 6;
inline constexpr std::uint32_t kEscapeBreakOn = 12;
inline constexpr std::uint32_t kEscapeBreakOff = 13;
inline constexpr std::uint32_t kEscapeProbe = 0xABFAB;  // unsupported, yet answers true
bool port_escape(PortBlock* port, std::uint32_t function, std::uint32_t argument,
                 std::uint32_t* value);

// Slot 11: a non-null word becomes the event word.
bool port_set_event_mask(PortBlock* port, std::uint32_t mask,
                         std::atomic<std::uint32_t>* event_word);
// Slot 12: the event word, then `clear` cleared in it.
bool port_get_event_mask(PortBlock* port, std::uint32_t clear, std::uint32_t* events);
// Slot 15: a non-null callback turns the event notification on (it runs
// at once when events are present); null turns it off.
bool port_enable_notification(PortBlock* port, PortCallback callback, void* reference);
// Slots 16 and 17: the callback runs once the read queue holds at least
// `threshold` bytes, or once the write queue has fallen below it. A
// threshold above the queue's size is lowered to it; no callback (or
// kNoThreshold) disarms.
bool port_set_read_callback(PortBlock* port, std::uint32_t threshold, PortCallback callback,
                            void* reference);
bool port_set_write_callback(PortBlock* port, std::uint32_t threshold, PortCallback callback,
                             void* reference);
// Slot 18: the SERIAL_..._STATE bits of the lines toward the application.
bool port_get_modem_status(PortBlock* port, std::uint32_t* status);
// Slot 19: `size` becomes 48; a smaller buffer is refused.
bool port_get_comm_config(PortBlock* port, CommConfig* config, std::uint32_t* size);
// Slot 20: applies the configuration's DCB with every field selected.
bool port_set_comm_config(PortBlock* port, const CommConfig* config, std::uint32_t size);
bool port_get_error(PortBlock* port, std::int32_t* error);  // 21

}  // namespace vxctl
