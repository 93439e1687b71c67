#include "platform/io/tests/io_test_driver.h"

namespace plat::io::testing {
namespace {

// Two user threads queue device controls and reads; a worker of the driver
// completes them in its own order with time passing between; one request
// is refused. The same scenario twice gives the same trace.
std::string Scenario() {
  plat::SimulationOptions options;
  options.trace = true;
  plat::Simulation sim(options);
  plat::ke::Kernel& machine = sim.AddMachine("A");
  sim.RunUserThread(machine, "test", [&] {
    TestDriver driver;
    std::vector<PIRP> parked;
    driver.Create(u"\\Device\\Queue", Park(parked, {IRP_MJ_DEVICE_CONTROL, IRP_MJ_READ}));
    PFILE_OBJECT file = Open(u"\\Device\\Queue");
    for (int t = 0; t < 2; ++t) {
      plat::ke::CurrentKernel().CreateUserThread(
          "user" + std::to_string(t),
          [file, t] {
            for (int i = 0; i < 3; ++i) {
              std::byte out[4];
              if ((i + t) % 2 == 0) {
                FileDeviceControl(file, UserMode, kTestCode, {}, out);
              } else {
                FileRead(file, UserMode, out);
              }
            }
          },
          nullptr);
    }
    int served = 0;
    while (served < 6) {
      SleepMs(3);
      if (parked.empty()) continue;
      PIRP irp = parked.back();  // newest first
      parked.pop_back();
      Complete(irp, served == 2 ? STATUS_UNSUCCESSFUL : STATUS_SUCCESS, served % 4);
      ++served;
    }
    SleepMs(1);
    CloseFile(file, UserMode);
  });
  return sim.TraceText();
}

TEST(IoDeterminism, SameScenarioSameTrace) {
  const std::string first = Scenario();
  const std::string second = Scenario();
  EXPECT_EQ(first, second);
  EXPECT_NE(first.find("user1#8: request 3 -> device 1 \\Device\\Queue READ"), std::string::npos)
      << first;
  EXPECT_NE(first.find("status 0xC0000001 information 2"), std::string::npos);
}

}  // namespace
}  // namespace plat::io::testing
