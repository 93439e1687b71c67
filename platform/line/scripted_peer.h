// A scripted peer: an end of the line played by a script instead of a
// machine. It sends line samples (8000 Hz) step by step and records what it
// hears. Steps: tones (one or two, each a frequency and a level), silence,
// samples from a WAV file, a block callback, and two seams for the line's
// signalling: WaitUntil (silence until a condition holds, such as the far end
// going off hook) and Do (an action at the instant the script reaches it,
// such as going off hook or ringing the far end).
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <span>
#include <string>
#include <variant>
#include <vector>

#include "platform/line/taps.h"

namespace plat::line {

// Line samples in a duration of milliseconds.
constexpr std::int64_t LineSamplesInMs(std::int64_t ms) { return ms * 8; }

class ScriptedPeer {
 public:
  struct Tone {
    double hz = 0.0;
    double dbm0 = 0.0;
  };
  // Fills `out` with the samples from `instant` on; returns true when the step
  // ends with this block.
  using BlockFn = std::function<bool(std::int64_t instant, std::span<std::int16_t> out)>;
  using Condition = std::function<bool(std::int64_t instant)>;
  using Action = std::function<void(std::int64_t instant)>;

  // Steps run in the order added; after the last the peer sends silence.
  ScriptedPeer& Tones(Tone first, Tone second, std::int64_t samples);
  ScriptedPeer& Tones(Tone tone, std::int64_t samples);
  ScriptedPeer& Silence(std::int64_t samples);
  ScriptedPeer& Play(std::vector<std::int16_t> samples);
  ScriptedPeer& Blocks(BlockFn fn);
  ScriptedPeer& WaitUntil(Condition condition);
  ScriptedPeer& Do(Action action);
  // Plays an 8000 Hz WAV file; returns the error (and adds no step) when the
  // file cannot be read or has another rate.
  std::string PlayWavFile(const std::string& path);

  // The peer's next line output samples.
  void Generate(std::span<std::int16_t> out);
  std::int64_t generated() const { return instant_; }
  bool finished() const { return steps_.empty(); }

  // What the peer hears goes to `sink` (none: dropped).
  void RecordTo(SampleSink* sink) { recorder_ = sink; }
  void Hear(std::span<const std::int16_t> samples);

 private:
  struct ToneStep {
    double hz[2];
    double peak[2];
    std::int64_t length;
  };
  struct PlayStep {
    std::vector<std::int16_t> samples;
  };
  using Step = std::variant<ToneStep, PlayStep, BlockFn, Condition, Action>;

  // Runs the first step over the start of `out`; returns the samples it filled.
  std::size_t RunStep(std::span<std::int16_t> out);

  std::deque<Step> steps_;
  std::int64_t step_position_ = 0;  // samples of the first step already sent
  std::int64_t instant_ = 0;
  SampleSink* recorder_ = nullptr;
};

}  // namespace plat::line
