// The front end's four relays, driven as lines of bank A (register 242),
// and their read-backs. A relay bit of 0 means the relay is on (for the
// hook relay: off hook). Each switch takes 1 for on and any other value
// for off.
#pragma once

#include <cstdint>

namespace vxctl {

// The hook relay. Going off hook first tunes the task thread's bursts for
// the service class (3 for data, 4 for fax class 1 and voice, others left
// as they are); going on hook sets mode 2. The hook state is then kept in
// the modem task's status word (kStatusOffHook).
void daa_set_hook_relay(std::uint8_t on);
void daa_set_voice_relay(std::uint8_t on);
// Does nothing on front ends of line-interface class 2, which have no
// caller-ID relay.
void daa_set_cid_relay(std::uint8_t on);
void daa_set_spk_hs_relay(std::uint8_t on);

bool daa_voice_relay_on();
bool daa_cid_relay_on();
bool daa_spk_hs_relay_on();
// The local phone is off hook: the front end reports it ("gpio_lpohd"
// non-zero) and bit 1 of register 242 is 0.
bool daa_local_phone_off_hook();
// The line-status inputs match the hook state the line services asked for.
bool daa_is_off_hook();

// Asks the line services to take the line off hook (true) or put it on
// hook; they drive the hook relay when they handle the request.
void ModemTask_SetHook(bool off_hook);

}  // namespace vxctl
