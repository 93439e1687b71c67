// Taps: where a recorded stream of samples goes (a line direction, a codec's
// DAC, ADC or speaker stream, what a peer hears), in memory or to a WAV file.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace plat::line {

class SampleSink {
 public:
  virtual ~SampleSink() = default;
  virtual void Write(std::span<const std::int16_t> samples) = 0;
};

class MemoryTap final : public SampleSink {
 public:
  void Write(std::span<const std::int16_t> samples) override {
    samples_.insert(samples_.end(), samples.begin(), samples.end());
  }
  const std::vector<std::int16_t>& samples() const { return samples_; }

 private:
  std::vector<std::int16_t> samples_;
};

// Hands samples to a function: a receiver that listens to an end's hearing.
class CallbackSink final : public SampleSink {
 public:
  using Fn = std::function<void(std::span<const std::int16_t>)>;
  explicit CallbackSink(Fn fn) : fn_(std::move(fn)) {}
  void Write(std::span<const std::int16_t> samples) override { fn_(samples); }

 private:
  Fn fn_;
};

// Streams samples into a WAV file; the header's sizes are completed on Close
// (or destruction). Errors are kept, not thrown: ok() and error() tell.
class WavTap final : public SampleSink {
 public:
  WavTap(const std::string& path, std::uint32_t rate_hz);
  ~WavTap() override;
  WavTap(const WavTap&) = delete;
  WavTap& operator=(const WavTap&) = delete;

  void Write(std::span<const std::int16_t> samples) override;
  // Completes the file; later writes are errors.
  void Close();
  bool ok() const { return error_.empty(); }
  const std::string& error() const { return error_; }

 private:
  struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
  };
  void SetError(std::string error);

  std::string path_;
  std::unique_ptr<std::FILE, FileCloser> file_;
  std::uint64_t data_bytes_ = 0;
  bool closed_ = false;
  std::string error_;
};

}  // namespace plat::line
