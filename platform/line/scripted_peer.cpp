#include "platform/line/scripted_peer.h"

#include <algorithm>
#include <cmath>

#include "platform/line/levels.h"
#include "platform/line/wav.h"

namespace plat::line {

ScriptedPeer& ScriptedPeer::Tones(Tone first, Tone second, std::int64_t samples) {
  steps_.push_back(
      ToneStep{{first.hz, second.hz}, {SinePeak(first.dbm0), SinePeak(second.dbm0)}, samples});
  return *this;
}

ScriptedPeer& ScriptedPeer::Tones(Tone tone, std::int64_t samples) {
  steps_.push_back(ToneStep{{tone.hz, 0.0}, {SinePeak(tone.dbm0), 0.0}, samples});
  return *this;
}

ScriptedPeer& ScriptedPeer::Silence(std::int64_t samples) {
  steps_.push_back(ToneStep{{0.0, 0.0}, {0.0, 0.0}, samples});
  return *this;
}

ScriptedPeer& ScriptedPeer::Play(std::vector<std::int16_t> samples) {
  steps_.push_back(PlayStep{std::move(samples)});
  return *this;
}

ScriptedPeer& ScriptedPeer::Blocks(BlockFn fn) {
  steps_.emplace_back(std::in_place_type<BlockFn>, std::move(fn));
  return *this;
}

ScriptedPeer& ScriptedPeer::WaitUntil(Condition condition) {
  steps_.emplace_back(std::in_place_type<Condition>, std::move(condition));
  return *this;
}

ScriptedPeer& ScriptedPeer::Do(Action action) {
  steps_.emplace_back(std::in_place_type<Action>, std::move(action));
  return *this;
}

std::string ScriptedPeer::PlayWavFile(const std::string& path) {
  WavResult wav = ReadWavFile(path);
  if (!wav.ok()) return wav.error;
  if (wav.audio.rate_hz != 8000) {
    return path + ": " + std::to_string(wav.audio.rate_hz) + " Hz, the line runs at 8000 Hz";
  }
  Play(std::move(wav.audio.samples));
  return {};
}

void ScriptedPeer::Generate(std::span<std::int16_t> out) {
  while (!out.empty()) {
    if (steps_.empty()) {
      std::fill(out.begin(), out.end(), std::int16_t{0});
      instant_ += static_cast<std::int64_t>(out.size());
      return;
    }
    const std::size_t filled = RunStep(out);
    instant_ += static_cast<std::int64_t>(filled);
    out = out.subspan(filled);
  }
}

std::size_t ScriptedPeer::RunStep(std::span<std::int16_t> out) {
  auto next_step = [this] {
    steps_.pop_front();
    step_position_ = 0;
  };
  Step& step = steps_.front();

  if (auto* tone = std::get_if<ToneStep>(&step)) {
    const auto count =
        static_cast<std::size_t>(std::min<std::int64_t>(tone->length - step_position_, out.size()));
    for (std::size_t i = 0; i < count; ++i) {
      const std::int64_t n = step_position_ + static_cast<std::int64_t>(i);
      const double v =
          tone->peak[0] * ToneAt(tone->hz[0], n) + tone->peak[1] * ToneAt(tone->hz[1], n);
      out[i] = static_cast<std::int16_t>(std::clamp(std::nearbyint(v), -32768.0, 32767.0));
    }
    step_position_ += static_cast<std::int64_t>(count);
    if (step_position_ >= tone->length) next_step();
    return count;
  }
  if (auto* play = std::get_if<PlayStep>(&step)) {
    const auto first = play->samples.begin() + step_position_;
    const auto count = std::min<std::size_t>(play->samples.end() - first, out.size());
    std::copy_n(first, count, out.begin());
    step_position_ += static_cast<std::int64_t>(count);
    if (step_position_ >= static_cast<std::int64_t>(play->samples.size())) next_step();
    return count;
  }
  if (auto* block = std::get_if<BlockFn>(&step)) {
    std::fill(out.begin(), out.end(), std::int16_t{0});
    if ((*block)(instant_, out)) next_step();
    return out.size();
  }
  if (auto* condition = std::get_if<Condition>(&step)) {
    std::size_t count = 0;
    // Silence up to the instant the condition first holds; the next step starts there.
    while (count < out.size() && !(*condition)(instant_ + static_cast<std::int64_t>(count))) {
      out[count++] = 0;
    }
    if (count < out.size()) next_step();
    return count;
  }
  std::get<Action>(step)(instant_);
  next_step();
  return 0;
}

void ScriptedPeer::Hear(std::span<const std::int16_t> samples) {
  if (recorder_) recorder_->Write(samples);
}

}  // namespace plat::line
