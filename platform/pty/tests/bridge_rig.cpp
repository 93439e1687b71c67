#include "platform/pty/tests/bridge_rig.h"

#include <unistd.h>

#include <chrono>
#include <fstream>
#include <thread>

namespace plat::pty::testing {
namespace {

constexpr std::uint64_t kSecondNs = 1'000'000'000;

}  // namespace

BridgeRig::BridgeRig(std::vector<io::DriverImage> drivers)
    : machine_(sim_, {.name = "M", .drivers = std::move(drivers)}) {}

BridgeRig::~BridgeRig() {
  std::vector<PtyBridge*> bridges{&bridge_};
  for (const auto& more : more_bridges_) bridges.push_back(more.get());
  for (PtyBridge* bridge : bridges) bridge->Stop();
  for (PtyBridge* bridge : bridges) {
    EXPECT_TRUE(sim_.RunUntil([&] { return bridge->stopped(); }, sim_.Now() + 2 * kSecondNs));
    EXPECT_EQ(bridge->error(), "");
  }
  machine_.Shutdown();
  std::filesystem::remove_all(folder_);
}

::testing::AssertionResult BridgeRig::Start() {
  if (machine_.Boot() != STATUS_SUCCESS) {
    return ::testing::AssertionFailure() << machine_.kernel().LogText();
  }
  if (!bridge_.Start()) return ::testing::AssertionFailure() << bridge_.error();
  return ::testing::AssertionSuccess();
}

::testing::AssertionResult BridgeRig::AddBridge(const std::string& name, std::u16string port) {
  more_bridges_.push_back(
      std::make_unique<PtyBridge>(machine_.kernel(), link(name), std::move(port)));
  if (!more_bridges_.back()->Start()) {
    return ::testing::AssertionFailure() << more_bridges_.back()->error();
  }
  return ::testing::AssertionSuccess();
}

void BridgeRig::RunApplication(const std::function<void()>& application, int seconds) {
  std::atomic<bool> done{false};
  std::thread host([&] {
    application();
    done = true;
  });
  sim_.RunUntil([&] { return done.load(); }, sim_.Now() + seconds * kSecondNs);
  host.join();
}

SimulationOptions BridgeRig::Paced(WallClock& clock) {
  SimulationOptions options;
  options.wall_clock = &clock;
  return options;
}

std::filesystem::path BridgeRig::MakeFolder() {
  auto folder = std::filesystem::temp_directory_path() /
                ("pty-bridge-" + std::to_string(::getpid()) + "-" +
                 ::testing::UnitTest::GetInstance()->current_test_info()->name());
  std::filesystem::create_directories(folder);
  return folder;
}

bool WaitUntil(const std::function<bool()>& done, int wait_ms) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(wait_ms);
  while (!done()) {
    if (std::chrono::steady_clock::now() >= end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return true;
}

std::string ReadLinesFile(const std::string& link) {
  std::ifstream file(link + ".lines");
  std::string line;
  std::getline(file, line);
  return line;
}

}  // namespace plat::pty::testing

namespace plat::pty {

void PrintTo(const SerialRequest& request, std::ostream* out) {
  *out << "function " << ((request.code >> 2) & 0xFFF) << " {";
  for (const std::uint8_t byte : request.input) *out << ' ' << static_cast<int>(byte);
  *out << " }";
}

}  // namespace plat::pty
