#include <gtest/gtest.h>
#include <mmintrin.h>

#include <cstring>
#include <functional>
#include <string>

#include "platform/ke/kernel.h"
#include "platform/ke/simulation.h"
#include "platform/ke/tests/ke_test_util.h"

namespace plat::ke {
namespace {

using testing::kMs;
using testing::OnMachine;
using testing::SleepNs;
using testing::WaitForever;

KFLOATING_SAVE shared_save;  // a driver-wide area, as one driver keeps

struct DeathCase {
  const char* rule;
  std::function<void()> scenario;
  const char* pattern;
};

TEST(KeDiagnostics, EachRuleIsFatal) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  const DeathCase cases[] = {
      {"deadlock",
       [] {
         OnMachine([](Kernel&) {
           KEVENT never;
           KeInitializeEvent(&never, NotificationEvent, FALSE);
           WaitForever(&never);
         });
       },
       "FATAL \\[ke.deadlock\\].*test#1 priority 8: waiting for any of \\[#2\\] without "
       "time-out \\(last kernel call at diagnostics_tests.cpp:"},
      {"watchdog",
       [] {
         SimulationOptions options;
         options.watchdog_seconds = 0.2;
         OnMachine(
             [](Kernel&) {
               volatile bool forever = true;
               while (forever) {
               }
             },
             options);
       },
       "FATAL \\[ke.watchdog\\]: context test#1 of machine M held its CPU"},
      {"no context",
       [] {
         KEVENT event;
         KeSetEvent(&event, 0, FALSE);
       },
       "FATAL \\[ke.no-context\\]"},
      {"device callback waits",
       [] {
         Simulation sim;
         Kernel& machine = sim.AddMachine("M");
         machine.ScheduleAt(kMs, [] { SleepNs(kMs); });
         sim.RunFor(2 * kMs);
       },
       "FATAL \\[ke.no-context\\]: KeDelayExecutionThread called from a device callback"},
      {"zero-filled event",
       [] {
         OnMachine([](Kernel&) {
           KEVENT event;
           std::memset(&event, 0, sizeof event);
           KeSetEvent(&event, 0, FALSE);
         });
       },
       "FATAL \\[ke.uninitialised-object\\]: KeSetEvent"},
      {"four objects without wait blocks",
       [] {
         OnMachine([](Kernel&) {
           KEVENT events[4];
           PVOID objects[4];
           for (int i = 0; i < 4; ++i) {
             KeInitializeEvent(&events[i], NotificationEvent, FALSE);
             objects[i] = &events[i];
           }
           KeWaitForMultipleObjects(4, objects, WaitAny, Executive, KernelMode, FALSE, nullptr,
                                    nullptr);
         });
       },
       "FATAL \\[ke.wait-blocks-missing\\]: a wait on 4 objects"},
      {"65 objects",
       [] {
         OnMachine([](Kernel&) {
           KEVENT event;
           KeInitializeEvent(&event, NotificationEvent, FALSE);
           PVOID objects[65];
           for (PVOID& o : objects) o = &event;
           KWAIT_BLOCK blocks[65];
           KeWaitForMultipleObjects(65, objects, WaitAny, Executive, KernelMode, FALSE, nullptr,
                                    blocks);
         });
       },
       "FATAL \\[ke.too-many-objects\\]: a wait on 65 objects"},
      {"object twice in WaitAll",
       [] {
         OnMachine([](Kernel&) {
           KEVENT a, b;
           KeInitializeEvent(&a, NotificationEvent, FALSE);
           KeInitializeEvent(&b, NotificationEvent, FALSE);
           PVOID objects[3] = {&a, &b, &a};
           KeWaitForMultipleObjects(3, objects, WaitAll, Executive, KernelMode, FALSE, nullptr,
                                    nullptr);
         });
       },
       "FATAL \\[ke.duplicate-wait-object\\]: object #2 stands twice \\(0 and 2\\)"},
      {"set with Wait TRUE",
       [] {
         OnMachine([](Kernel&) {
           KEVENT event;
           KeInitializeEvent(&event, NotificationEvent, FALSE);
           KeSetEvent(&event, 0, TRUE);
         });
       },
       "FATAL \\[ke.set-event-wait\\]"},
      {"user thread terminating as a system thread",
       [] { OnMachine([](Kernel&) { PsTerminateSystemThread(STATUS_SUCCESS); }); },
       "FATAL \\[ke.terminate-other-thread\\]: PsTerminateSystemThread called by test#1"},
      {"termination swallowed",
       [] {
         OnMachine([](Kernel& machine) {
           PKTHREAD thread;
           machine.CreateSystemThread(
               "swallower",
               [](PVOID) {
                 try {
                   PsTerminateSystemThread(STATUS_SUCCESS);
                 } catch (...) {
                 }
               },
               nullptr, &thread);
           WaitForever(thread);
         });
       },
       "FATAL \\[ke.unwind-swallowed\\]"},
      {"restore without save",
       [] {
         OnMachine([](Kernel&) {
           KFLOATING_SAVE save{};
           KeRestoreFloatingPointState(&save);
         });
       },
       "FATAL \\[ke.fp-restore-without-save\\]"},
      {"second save into a live driver-wide area",
       [] {
         OnMachine([](Kernel& machine) {
           machine.CreateUserThread(
               "first caller",
               [] {
                 KeSaveFloatingPointState(&shared_save);
                 SleepNs(kMs);
               },
               nullptr);
           SleepNs(kMs / 2);
           KeSaveFloatingPointState(&shared_save);
         });
       },
       "FATAL \\[ke.fp-save-nested\\]"},
      {"packed-integer state left in use",
       [] {
         OnMachine([](Kernel&) {
           KFLOATING_SAVE save;
           KeSaveFloatingPointState(&save);
           __m64 value = _mm_cvtsi32_si64(7);
           asm volatile("" : "+y"(value));
           KeRestoreFloatingPointState(&save);
         });
       },
       "FATAL \\[ke.fp-packed-integer-dirty\\]"},
      {"thread alive at shutdown",
       [] {
         Simulation sim;
         Kernel& machine = sim.AddMachine("M");
         machine.CreateUserThread(
             "sleeper", [] { SleepNs(1000 * kMs); }, nullptr);
         sim.RunFor(kMs);
         machine.Shutdown();
       },
       "FATAL \\[ke.thread-alive-at-shutdown\\]: threads still alive:\n  sleeper#1"},
  };
  for (const DeathCase& c : cases) {
    EXPECT_DEATH(c.scenario(), c.pattern) << c.rule;
  }
}

// A fatal report names the machine, the context, the virtual time, every
// thread's wait and the trace tail.
TEST(KeDiagnostics, ReportCarriesTheMachineState) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_DEATH(OnMachine([](Kernel& machine) {
                 KEVENT never;
                 KeInitializeEvent(&never, SynchronizationEvent, FALSE);
                 machine.CreateUserThread(
                     "waiter", [&] { WaitForever(&never); }, nullptr);
                 SleepNs(3 * kMs);
                 KeSetEvent(&never, 0, TRUE);
               }),
               "machine M, context test#1, virtual time 3000000 ns\n"
               ".*waiter#3 priority 8: waiting for any of \\[#2\\] without time-out.*"
               "trace tail:.*start waiter#3 priority 8");
}

}  // namespace
}  // namespace plat::ke
