#include "platform/io/tests/cancellable_queue.h"
#include "platform/win32/files.h"

namespace plat::io::testing {
namespace {

// Two user threads queue reads and device controls on one handle; the
// driver's worker completes the oldest now and then, one status an error,
// and another thread cancels what is pending at one moment. The same
// scenario twice gives the same trace.
std::string Scenario() {
  plat::SimulationOptions options;
  options.trace = true;
  plat::Simulation sim(options);
  plat::ke::Kernel& machine = sim.AddMachine("A");
  sim.RunUserThread(machine, "test", [&] {
    TestDriver driver;
    QueueDevice queued(driver);
    Link(u"\\??\\Queue", u"\\Device\\Queue");
    HANDLE handle = CreateFile(u"\\\\.\\Queue", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, 0);
    int finished = 0;
    for (int t = 0; t < 2; ++t) {
      SpawnUser([handle, t, &finished] {
        for (int i = 0; i < 4; ++i) {
          char out[4];
          DWORD count;
          if ((i + t) % 2 == 0) {
            DeviceIoControl(handle, kTestCode, nullptr, 0, out, 4, &count, nullptr);
          } else {
            ReadFile(handle, out, 4, &count, nullptr);
          }
        }
        ++finished;
      });
    }
    for (int round = 0; finished < 2; ++round) {
      SleepMs(3);
      if (round == 2) {
        CancelIoEx(handle, nullptr);
      } else {
        queued.queue.CompleteOldest(round == 4 ? STATUS_UNSUCCESSFUL : STATUS_SUCCESS);
      }
    }
    CloseHandle(handle);
  });
  return sim.TraceText();
}

TEST(IoDeterminism, SameScenarioSameTrace) {
  const std::string first = Scenario();
  const std::string second = Scenario();
  EXPECT_EQ(first, second);
  for (const char* expected : {"-> device 1 \\Device\\Queue READ", "cancelled at device 1",
                               "status 0xC0000120", "status 0xC0000001"}) {
    EXPECT_NE(first.find(expected), std::string::npos) << expected << "\n" << first;
  }
}

}  // namespace
}  // namespace plat::io::testing
