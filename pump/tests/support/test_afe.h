// A front end for data-pump tests: the AfeInterface contract served over a
// real AfeContext, with a scripted telephone line in place of the codec.
//
//   afe::AfeEventBlock events{};            // ProfileFlags pointer, per-block event
//   auto front = std::make_unique<TestAfe>(&events);   // on a machine's thread
//   AfeAccess* access = BuildAfeAccess(&front->Interface());
//   front->FeedLine(samples);                // what the line brings in
//   front->Step();                           // one block by hand, or:
//   front->Interface().AfeStartDma(front->Interface().Context);  // one per block period
//   ... front->LineOutput() ...              // what was played to the line
//
// Blocks. Each block (a hand Step, or the block timer's DPC once the DMA
// runs) takes the next block of line input into the receive ring, moves the
// transmit slots the data pump has written behind those already queued,
// plays one queued block to the line output (silence when none is queued),
// then runs the deferred work: a scheduled rate change once the block
// counter reaches it, ProfileFlags bit 24 while the balance of received
// over transmitted blocks is not negative, and the per-block event. A
// positive latency adjustment drops the newest queued blocks, one each, so
// the output comes earlier. After a ring reset the transmit write cursor is
// 3 slots ahead and the latency 3: the data pump's answer to input block k
// is played as output block k + 3.
//
// Requests: 1, 2, 3, 4, 8, 10-20, 34, 38, 39, 41, 43, 44 and 47 as the front
// end serves them; any other code (9, 21 and 40 among them) or a wrong size
// gives -999. Registers 0-100 stand behind requests 16 and 17 and the bits
// the requests set. Sound-path requests check the level first (-999 above
// PASSIVE_LEVEL except 24, 29, 30, 37), then ProfileFlags bit 17 (its own
// code), then run the stream commands; event changes are recorded.
//
// Every entry call is logged with its code, argument, size word, whether
// the interface lock was held, and the IRQL. The front end keeps no statics.
#pragma once

#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <span>
#include <vector>

#include "afe/windows/afe_contract.h"
#include "platform/ke/dpc.h"

namespace plat::ke {
class Kernel;
}

namespace pump::testing {

enum class AfeEntry {
  kInit,
  kReadBlock,
  kWriteBlock,
  kRequest,
  kSoundPath,
  kStartDma,
  kStopDma,
  kSetResources,
  kInterruptService,
  kDeferredService,
};

struct AfeCall {
  AfeEntry entry;
  ULONG code;      // request code; 0 for the other entries
  ULONG argument;  // requests: the argument's first bytes on entry (at most 4, by the size
                   // word; 0 when the size is wrong for the code); block transfers: the byte count
  ULONG size;      // the size or count word on entry; 0 when none
  bool lock_held;  // the interface's spin lock was held
  KIRQL irql;
  LONG result;
};

// One change of a voice bridge event: `set` true for a signal, false for a reset.
struct SoundEventChange {
  int event;
  bool set;
  bool operator==(const SoundEventChange&) const = default;
};

struct LineToAppStream {
  bool capture_started = false;
  bool level_adjustable = false;
  bool accepting = false;
  ULONG level = 3;
};

struct AppToLineStream {
  bool level_adjustable = false;
  bool active = false;
  bool apply_level = true;
  ULONG level = 3;
};

class TestAfe {
 public:
  static constexpr USHORT kVendorId = 0x5654;
  static constexpr USHORT kDeviceId = 0x4146;
  static constexpr int kRegisters = 101;  // 0 to 100
  static constexpr int kSoundQueueEntries = 32;

  // The front end as its start request leaves it: initialised, rings reset,
  // 9600 Hz in blocks of 96, power state 4, DMA stopped. Built on a thread
  // of the machine it serves; `events` may be null.
  explicit TestAfe(afe::AfeEventBlock* events);
  ~TestAfe();
  TestAfe(const TestAfe&) = delete;
  TestAfe& operator=(const TestAfe&) = delete;

  afe::AfeInterface& Interface() { return interface_; }
  afe::AfeContext& Context();

  // One block by hand, at DISPATCH_LEVEL, as the block timer's DPC does it.
  void Step();
  bool running() const { return running_; }

  // The line.
  void FeedLine(std::span<const std::int16_t> samples);
  const std::vector<std::int16_t>& LineOutput() const { return line_output_; }
  std::size_t QueuedOutputBlocks() const { return tx_queue_.size(); }

  // Inputs a test sets.
  void SetLineVoltageReading(UCHAR reading);  // register 60 bits 0-4; 31 = no reading
  void SetLineStatusBit(bool set);            // register 53 bit 2
  void SetLineStatus(ULONG status) { line_status_ = status; }  // request 34
  void SetControllerKind(ULONG kind);
  UCHAR& Register(int index) { return registers_[index]; }
  void RefuseBlocks(bool refuse) { refuse_blocks_ = refuse; }  // block transfers answer 0
  // Request `code` answers `result` from now on and does nothing.
  void ForceResult(ULONG code, LONG result) { forced_results_[code] = result; }

  // The sound path.
  const LineToAppStream& line_stream() const { return line_stream_; }
  const AppToLineStream& app_stream() const { return app_stream_; }
  // Every block queued by request 29, in order, as queued (after scaling).
  const std::vector<std::vector<std::int16_t>>& SoundPuts() const { return sound_puts_; }
  std::size_t SoundReadQueueDepth() const { return sound_read_queue_.size(); }
  // What the voice bridge writes: one entry of the application-to-line queue.
  void QueueAppSamples(std::span<const std::int16_t> entry);
  const std::vector<SoundEventChange>& SoundEvents() const { return sound_events_; }

  // State behind the requests.
  ULONG test_mode() const { return test_mode_; }
  ULONG line_monitor() const { return line_monitor_; }
  int off_hook_counter() const { return off_hook_counter_; }

  const std::vector<AfeCall>& Log() const { return log_; }
  void ClearLog() { log_.clear(); }

 private:
  struct Device;  // the context and a way back to this object

  static TestAfe& Of(afe::AfeContext* context);
  static ULONG InitEntry(afe::AfeContext* context);
  static ULONG ReadBlockEntry(afe::AfeContext* context, PVOID buffer, ULONG bytes);
  static ULONG WriteBlockEntry(afe::AfeContext* context, PVOID buffer, ULONG bytes);
  static LONG RequestEntry(afe::AfeContext* context, ULONG code, PVOID argument, ULONG* size);
  static LONG SoundPathEntry(afe::AfeContext* context, ULONG code, PVOID argument, ULONG* count);
  static ULONG StartDmaEntry(afe::AfeContext* context);
  static ULONG StopDmaEntry(afe::AfeContext* context);
  static void SetResourcesEntry(afe::AfeContext* context, PVOID*, PVOID*, LARGE_INTEGER, PVOID,
                                LARGE_INTEGER, PVOID);
  static ULONG InterruptServiceEntry(afe::AfeContext* context);
  static ULONG DeferredServiceEntry(afe::AfeContext* context);
  static void BlockDpc(PKDPC dpc, PVOID context, PVOID, PVOID);

  ULONG Transfer(AfeEntry entry, PVOID buffer, ULONG bytes);            // a block read or write
  LONG Serve(AfeEntry entry, ULONG code, PVOID argument, ULONG* size);  // a request, logged
  void Record(AfeEntry entry, ULONG code, ULONG argument, ULONG size, LONG result);
  static ULONG ArgumentOnEntry(AfeEntry entry, ULONG code, const void* argument, const ULONG* size);

  // Ring and DMA.
  void Init();
  void ResetRing();
  ULONG StartDma();
  void StopDma();
  std::uint64_t CurrentBlockInstant() const;
  void ArmNextBlock();
  void RunBlock();          // what the interrupt and its DPC do for one block
  void MoveBlock();         // the interrupt: receive one block, queue and play transmit blocks
  ULONG DeferredService();  // scheduled rate change, off-hook sequence; the line status
  void SignalBlock();       // ProfileFlags bit 24 and the per-block event
  void SetSampleRate(ULONG value);

  // Requests.
  LONG Request(ULONG code, PVOID argument, ULONG* size);
  LONG SoundPath(ULONG code, PVOID argument, ULONG* count);
  void LineOn();
  void LineOff();
  void SetSpeaker(ULONG level);
  void SetTestMode(ULONG mode);
  LONG SetPowerState(ULONG state);
  void FillInfo(afe::AfeInfo& info) const;
  USHORT LineVoltage();
  void SetBit(int reg, int bit, bool value);
  bool Bit(int reg, int bit) const { return (registers_[reg] >> bit & 1) != 0; }

  // Sound commands.
  ULONG ProfileFlags() const;
  void Signal(int set_event, int reset_event);
  void LineStreamOn(bool capture);
  void LineStreamOff();
  void AppStreamOn();
  void AppStreamOff();
  LONG PutSamples(PVOID argument, ULONG* count);
  LONG TakeSamples(PVOID argument, ULONG* count);
  LONG SetLevel(PVOID argument);

  plat::ke::Kernel& kernel_;
  afe::AfeEventBlock* events_;
  std::unique_ptr<Device> device_;
  afe::AfeInterface interface_{};
  KTIMER timer_{};
  KDPC dpc_{};
  bool running_ = false;
  std::uint64_t timing_base_ns_ = 0;  // the block instant the timing counts from
  std::uint64_t timing_blocks_ = 0;   // blocks moved by the timer since then

  std::vector<AfeCall> log_;
  UCHAR registers_[kRegisters + 3] = {};  // three bytes beyond, read as 0 by request 17
  bool refuse_blocks_ = false;
  std::map<ULONG, LONG> forced_results_;

  // The line.
  std::deque<std::int16_t> line_input_;
  std::vector<std::int16_t> line_output_;
  std::deque<std::vector<std::int16_t>> tx_queue_;  // blocks queued for playing, oldest first

  // Front-end state.
  ULONG test_mode_ = 0;
  bool test_mode_active_ = false;
  ULONG line_monitor_ = 1;
  int off_hook_counter_ = 0;
  bool rate_change_pending_ = false;
  ULONG scheduled_rate_ = 0;
  LONG scheduled_block_ = 0;
  SHORT attenuation_step_ = 0;
  SHORT gain_step_ = 0;
  USHORT last_voltage_ = 0;
  ULONG line_status_ = 2;

  // The sound device.
  LineToAppStream line_stream_;
  AppToLineStream app_stream_;
  std::deque<std::vector<std::int16_t>> sound_read_queue_;
  std::deque<std::vector<std::int16_t>> sound_write_queue_;
  std::vector<std::vector<std::int16_t>> sound_puts_;
  std::vector<SoundEventChange> sound_events_;
};

}  // namespace pump::testing
