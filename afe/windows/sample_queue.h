// The Sound device's sample queues: 32 entries of one block each between
// the data pump and the voice bridge program. A put into a full queue drops
// the oldest entry; a get hands out the oldest entry's samples, and a get
// that wants fewer samples than the entry holds leaves the rest at the head
// for the next one. Every put and get holds the queue's spin lock, so both
// run at PASSIVE_LEVEL or DISPATCH_LEVEL.
#pragma once

#include <span>

#include "platform/ke/irql.h"
#include "platform/nt/ntdef.h"

namespace afe {

inline constexpr ULONG kSoundQueueEntries = 32;
inline constexpr ULONG kSoundEntrySamples = 480;  // the longest block a queue takes

struct SoundQueueEntry {
  ULONG Bytes;
  SHORT Samples[kSoundEntrySamples];
};
static_assert(sizeof(SoundQueueEntry) == 4 + 2 * kSoundEntrySamples);

struct SampleQueue {
  ULONG WriteIndex;
  ULONG ReadIndex;
  ULONG Count;
  SoundQueueEntry* Entries;  // kSoundQueueEntries, non-paged
  ULONG HeadTaken;           // samples of the entry at the read index already handed out
  KSPIN_LOCK Lock;
};

// Empties the queue and takes its entries from non-paged pool; false when
// the pool has none.
bool AllocateSampleQueue(SampleQueue& queue);
void FreeSampleQueue(SampleQueue& queue);

// Queues `samples` (at most kSoundEntrySamples) as one entry; an empty
// block is not queued.
void PutEntry(SampleQueue& queue, std::span<const SHORT> samples);

// Copies up to out.size() samples of the oldest entry into `out`; the entry
// leaves the queue once all its samples are out. 0 when the queue is empty.
ULONG GetSamples(SampleQueue& queue, std::span<SHORT> out);

}  // namespace afe
