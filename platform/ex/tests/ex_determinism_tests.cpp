#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "platform/ex/handletable.h"
#include "platform/ke/simulation.h"
#include "platform/nt/ntstatus.h"
#include "platform/reg/machine_registry.h"
#include "platform/reg/regroutines.h"
#include "platform/win32/win32.h"

namespace {

namespace fs = std::filesystem;

constexpr char kSeed[] = R"(
[\Registry\Machine\System\CurrentControlSet\Services\vxctl\Parameters]
"ComPort"=dword:0x00000000
[\Registry\Machine\HARDWARE\DEVICEMAP\SERIALCOMM]
)";

constexpr WCHAR kParameters[] =
    u"\\Registry\\Machine\\System\\CurrentControlSet\\Services\\vxctl\\Parameters";

struct Outcome {
  std::string trace;
  std::string state;
  std::vector<std::string> log;  // handles and statuses as the code saw them
};

struct Driver {
  std::vector<std::string>* log;
  int writes;
};

void Note(std::vector<std::string>& log, const char* what, ULONG value) {
  log.push_back(std::string(what) + " " + std::to_string(value));
}

// A system thread of the driver: saved data written in steps, with sleeps.
void SaveData(PVOID context) {
  auto* driver = static_cast<Driver*>(context);
  for (int i = 0; i < driver->writes; ++i) {
    LARGE_INTEGER delay;
    delay.QuadPart = -(3 + i) * 10'000;
    KeDelayExecutionThread(KernelMode, FALSE, &delay);
    UCHAR data[5] = {static_cast<UCHAR>(i), 1, 2, 3, 4};
    Note(*driver->log, "save",
         RtlWriteRegistryValue(RTL_REGISTRY_ABSOLUTE, kParameters, u"qcData", REG_BINARY, data,
                               sizeof data));
  }
}

DWORD Ring(LPVOID event) {
  Sleep(7);
  SetEvent(*static_cast<HANDLE*>(event));
  return 0;
}

Outcome RunOnce(const fs::path& state) {
  fs::remove(state);
  plat::SimulationOptions options;
  options.trace = true;
  plat::Simulation sim(options);
  plat::ke::Kernel& machine = sim.AddMachine("A");
  EXPECT_FALSE(plat::reg::RegistryOf(machine).registry.Load("seed", kSeed, state).has_value());
  Outcome outcome;
  std::vector<std::string>& log = outcome.log;

  Driver driver{&log, 3};
  bool loaded = false;
  auto load = [&] {
    UNICODE_STRING name;
    RtlInitUnicodeString(&name, kParameters);
    OBJECT_ATTRIBUTES attributes;
    InitializeObjectAttributes(&attributes, &name, OBJ_KERNEL_HANDLE, 0, nullptr);
    HANDLE parameters = 0;
    Note(log, "open", ZwOpenKey(&parameters, KEY_ALL_ACCESS, &attributes));
    Note(log, "key handle", parameters);
    UNICODE_STRING sub;
    RtlInitUnicodeString(&sub, u"Saved");
    InitializeObjectAttributes(&attributes, &sub, OBJ_KERNEL_HANDLE, parameters, nullptr);
    HANDLE saved = 0;
    ULONG disposition = 0;
    Note(log, "create",
         ZwCreateKey(&saved, KEY_ALL_ACCESS, &attributes, 0, nullptr, 0, &disposition));
    ULONG port = 3;
    UNICODE_STRING value;
    RtlInitUnicodeString(&value, u"ComPort");
    Note(log, "set", ZwSetValueKey(parameters, &value, 0, REG_DWORD, &port, 4));

    HANDLE thread = 0;
    Note(log, "thread",
         PsCreateSystemThread(&thread, THREAD_ALL_ACCESS, nullptr, 0, nullptr, SaveData, &driver));
    Note(log, "thread handle", thread);
    PVOID object = nullptr;
    ObReferenceObjectByHandle(thread, THREAD_ALL_ACCESS, *PsThreadType, KernelMode, &object,
                              nullptr);
    ZwClose(thread);
    Note(log, "wait", KeWaitForSingleObject(object, Executive, KernelMode, FALSE, nullptr));
    ObDereferenceObject(object);
    Note(log, "delete", ZwDeleteKey(saved));
    ZwClose(saved);
    ZwClose(parameters);
    loaded = true;
  };
  using Load = decltype(load);
  machine.CreateSystemThread(
      "driver", [](PVOID context) { (*static_cast<Load*>(context))(); }, &load, nullptr);

  EXPECT_TRUE(sim.RunUserThread(machine, "program", [&] {
    HANDLE events[3];
    for (HANDLE& e : events) {
      e = CreateEvent(nullptr, FALSE, FALSE, nullptr);
      Note(log, "event", e);
    }
    const HANDLE thread = CreateThread(nullptr, 0, Ring, &events[1], 0, nullptr);
    Note(log, "user thread", thread);
    Note(log, "woke", WaitForMultipleObjects(3, events, FALSE, INFINITE));
    WaitForSingleObject(thread, INFINITE);
    for (const HANDLE e : events) CloseHandle(e);
    CloseHandle(thread);
  }));
  EXPECT_TRUE(sim.RunUntil([&] { return loaded; }));
  machine.Shutdown();
  outcome.trace = sim.TraceText();
  std::ifstream in(state, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  outcome.state = bytes.str();
  fs::remove(state);
  return outcome;
}

TEST(ExDeterminism, TheSameOperationsGiveTheSameTraceAndStateFile) {
  const fs::path dir = fs::temp_directory_path();
  const std::string pid = std::to_string(::getpid());
  const Outcome first = RunOnce(dir / ("vx-determinism-a-" + pid + ".reg"));
  const Outcome second = RunOnce(dir / ("vx-determinism-b-" + pid + ".reg"));
  ASSERT_FALSE(first.trace.empty());
  ASSERT_NE(first.state.find("qcData"), std::string::npos);
  EXPECT_EQ(first.log.size(), 16u);
  EXPECT_EQ(first.log, second.log);
  EXPECT_EQ(first.state, second.state);
  EXPECT_EQ(first.trace, second.trace);
}

}  // namespace
