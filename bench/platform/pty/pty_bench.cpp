// The pseudo-terminal bridge in run mode in front of the loopback serial
// port (4 KiB buffer). Reported, never asserted:
//   BM_PtyThroughput  bytes per wall second an application on the slave
//                     writes and reads back through the bridge and the port;
//   BM_PtyIdleCpu     host CPU seconds per wall second of the whole process
//                     with the slave open and no traffic.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>

#include "bench/support/paired_ratio.h"
#include "platform/machine/machine.h"
#include "platform/machine/tests/loopback_serial.h"
#include "platform/pty/pty_bridge.h"

namespace {

constexpr std::uint64_t kSecondNs = 1'000'000'000;

plat::SimulationOptions Paced(plat::WallClock& clock) {
  plat::SimulationOptions options;
  options.wall_clock = &clock;
  return options;
}

// A machine with the loopback port and a bridge on it, linked in a
// temporary folder; the slave held open in raw mode.
class PtyLoop {
 public:
  PtyLoop()
      : folder_(std::filesystem::temp_directory_path() /
                ("pty-bench-" + std::to_string(::getpid()))),
        machine_(sim_,
                 {.name = "B",
                  .drivers = {{u"loopserial", plat::machine::testing::LoopbackSerialEntry}}}) {
    std::filesystem::create_directories(folder_);
  }
  ~PtyLoop() {
    if (fd_ >= 0) ::close(fd_);
    bridge_.Stop();
    sim_.RunUntil([&] { return bridge_.stopped(); }, sim_.Now() + 2 * kSecondNs);
    machine_.Shutdown();
    std::filesystem::remove_all(folder_);
  }

  bool Start() {
    if (machine_.Boot() != STATUS_SUCCESS || !bridge_.Start()) return false;
    Run([&] {
      fd_ = ::open((folder_ / "modem").c_str(), O_RDWR | O_NOCTTY);
      termios t{};
      ::tcgetattr(fd_, &t);
      ::cfmakeraw(&t);
      ::tcsetattr(fd_, TCSANOW, &t);
    });
    return fd_ >= 0;
  }
  // Runs `application` on a host thread while the machine runs.
  void Run(const std::function<void()>& application) {
    std::atomic<bool> done{false};
    std::thread host([&] {
      application();
      done = true;
    });
    sim_.RunUntil([&] { return done.load(); }, sim_.Now() + 60 * kSecondNs);
    host.join();
  }
  int fd() const { return fd_; }

 private:
  std::filesystem::path folder_;
  plat::SteadyWallClock clock_;
  plat::Simulation sim_{Paced(clock_)};
  plat::Machine machine_;
  plat::pty::PtyBridge bridge_{machine_.kernel(), (folder_ / "modem").string()};
  int fd_ = -1;
};

// Writes `bytes` and reads as many back; false when they did not all come.
bool RoundTrip(int fd, const std::string& bytes) {
  std::thread writer([&] {
    for (std::size_t sent = 0; sent < bytes.size();) {
      const ssize_t put = ::write(fd, bytes.data() + sent, bytes.size() - sent);
      if (put <= 0) return;
      sent += static_cast<std::size_t>(put);
    }
  });
  std::size_t back = 0;
  char buffer[4096];
  for (int idle = 0; back < bytes.size() && idle < 200;) {
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, 10) <= 0) {
      ++idle;
      continue;
    }
    const ssize_t got = ::read(fd, buffer, sizeof buffer);
    if (got > 0) back += static_cast<std::size_t>(got);
  }
  ::tcflush(fd, TCIOFLUSH);
  writer.join();
  return back == bytes.size();
}

void BM_PtyThroughput(benchmark::State& state) {
  PtyLoop loop;
  if (!loop.Start()) {
    state.SkipWithError("the bridge did not start");
    return;
  }
  const std::string bytes(static_cast<std::size_t>(state.range(0)), 'u');
  for (auto _ : state) {
    bool whole = false;
    loop.Run([&] { whole = RoundTrip(loop.fd(), bytes); });
    if (!whole) {
      state.SkipWithError("bytes did not come back");
      return;
    }
  }
  state.SetBytesProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_PtyThroughput)->Arg(256 << 10)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_PtyIdleCpu(benchmark::State& state) {
  PtyLoop loop;
  if (!loop.Start()) {
    state.SkipWithError("the bridge did not start");
    return;
  }
  const double cpu_start = vx_bench::CpuSeconds();
  const auto wall_start = std::chrono::steady_clock::now();
  for (auto _ : state) loop.Run([] { std::this_thread::sleep_for(std::chrono::seconds(1)); });
  const std::chrono::duration<double> wall = std::chrono::steady_clock::now() - wall_start;
  state.counters["cpu_s_per_wall_s"] = (vx_bench::CpuSeconds() - cpu_start) / wall.count();
}
BENCHMARK(BM_PtyIdleCpu)->Iterations(3)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
