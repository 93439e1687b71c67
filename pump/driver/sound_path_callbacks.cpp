// The speakerphone's sound-path entries of the AfeEventBlock. An entry
// gets only samples and a byte count, so it finds its device through the
// machine's globals: the event block the block thread runs for.
#include "pump/driver/sound_path_callbacks.h"

#include <span>

#include "pump/driver/dsp_device.h"
#include "pump/voice/sound_path_entries.h"

namespace pump {
namespace {

DspContext* Device() {
  afe::AfeEventBlock* events = Globals().thread_events;
  return events != nullptr ? events->DspContext : nullptr;
}

std::size_t Samples(ULONG bytes) { return bytes / sizeof(SHORT); }

LONG NearEndEntry(SHORT* /*samples*/, ULONG bytes) {
  if (DspContext* context = Device()) SoundPathNearEnd(*context, bytes);
  return 0;
}

LONG FarEndEntry(SHORT* /*samples*/, ULONG bytes) {
  if (DspContext* context = Device()) SoundPathFarEnd(*context, bytes);
  return 0;
}

LONG DownEntry(SHORT* samples, ULONG bytes) {
  DspContext* context = Device();
  if (context == nullptr || samples == nullptr) return 0;
  return SoundPathDown(*context, std::span(samples, Samples(bytes)));
}

LONG UpEntry(SHORT* samples, ULONG bytes) {
  DspContext* context = Device();
  if (context == nullptr || samples == nullptr) return 0;
  return SoundPathUp(*context, std::span(samples, 6 * Samples(bytes)), Samples(bytes));
}

}  // namespace

void InstallSoundPathCallbacks(afe::AfeEventBlock& events) {
  events.SoundPathCallbacks[0] = NearEndEntry;
  events.SoundPathCallbacks[1] = FarEndEntry;
  events.SoundPathCallbacks[2] = DownEntry;
  events.SoundPathCallbacks[3] = UpEntry;
}

}  // namespace pump
