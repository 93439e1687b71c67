#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "platform/ex/handletable.h"
#include "platform/ex/rtlstring.h"
#include "platform/ke/irql.h"
#include "platform/ke/simulation.h"
#include "platform/reg/machine_registry.h"
#include "platform/reg/regroutines.h"
#include "platform/reg/rtlregistry.h"
#include "platform/win32/win32.h"

namespace {

struct Rule {
  const char* what;
  std::function<void()> breach;
  const char* diagnostic;  // the fatal message it must end with
};

NTSTATUS Ignore(PWSTR, ULONG, PVOID, ULONG, PVOID, PVOID) { return 0; }

void QueryWithEntry(RTL_QUERY_REGISTRY_TABLE entry) {
  plat::reg::Registry registry;
  ULONG value = 0;
  entry.Name = const_cast<PWSTR>(u"x");
  entry.EntryContext = &value;
  RTL_QUERY_REGISTRY_TABLE table[] = {entry, {}};
  plat::reg::QueryRegistryValues(registry, RTL_REGISTRY_ABSOLUTE, u"\\Registry\\Machine", table);
}

// Runs body as a system thread of a fresh machine, then shuts the machine down.
void OnMachine(const std::function<void(plat::ke::Kernel&)>& body) {
  plat::Simulation sim;
  plat::ke::Kernel& machine = sim.AddMachine("M");
  bool done = false;
  auto job = [&] {
    body(machine);
    done = true;
  };
  using Job = decltype(job);
  machine.CreateSystemThread(
      "driver", [](PVOID context) { (*static_cast<Job*>(context))(); }, &job, nullptr);
  sim.RunUntil([&] { return done; });
  machine.Shutdown();
}

HANDLE OpenParametersKey() {
  UNICODE_STRING name;
  RtlInitUnicodeString(&name, u"\\Registry\\Machine");
  OBJECT_ATTRIBUTES attributes;
  InitializeObjectAttributes(&attributes, &name, OBJ_KERNEL_HANDLE, 0, nullptr);
  HANDLE key = 0;
  ZwOpenKey(&key, KEY_READ, &attributes);
  return key;
}

TEST(ExDiagnostics, EachRuleStopsTheMachineWithItsMessage) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  WCHAR units[4] = {u'a', u'b', u'c', 0};
  const Rule rules[] = {
      {"odd length",
       [&] {
         UNICODE_STRING s{3, 8, units};
         RtlEqualUnicodeString(&s, &s, TRUE);
       },
       R"(FATAL \[rtl.unicode-string\]: RtlEqualUnicodeString: odd Length)"},
      {"length above maximum",
       [&] {
         UNICODE_STRING s{6, 4, units};
         RtlAppendUnicodeToString(&s, u"d");
       },
       R"(FATAL \[rtl.unicode-string\]: RtlAppendUnicodeToString: Length above MaximumLength)"},
      {"length without a buffer",
       [&] {
         UNICODE_STRING s{2, 2, nullptr};
         ULONG value = 0;
         RtlUnicodeStringToInteger(&s, 10, &value);
       },
       R"(FATAL \[rtl.unicode-string\]: RtlUnicodeStringToInteger: Length without a Buffer)"},
      {"query table callback",
       [] {
         QueryWithEntry({Ignore, RTL_QUERY_REGISTRY_DIRECT, nullptr, nullptr, 0, nullptr, 0});
       },
       R"(FATAL \[reg.query-table\]: .*callback form)"},
      {"query table without DIRECT",
       [] {
         QueryWithEntry({nullptr, 0, nullptr, nullptr, 0, nullptr, 0});
       },
       R"(FATAL \[reg.query-table\]: .*callback form)"},
      {"query table subkey entry",
       [] {
         QueryWithEntry({nullptr, RTL_QUERY_REGISTRY_DIRECT | RTL_QUERY_REGISTRY_SUBKEY, nullptr,
                         nullptr, 0, nullptr, 0});
       },
       R"(FATAL \[reg.query-table\]: SUBKEY)"},
      {"close of a handle not open", [] { OnMachine([](plat::ke::Kernel&) { ZwClose(8); }); },
       R"(FATAL \[ob.handle-not-open\]: ZwClose from kernel code with handle 0x8, which is not open)"},
      {"use of a closed key handle",
       [] {
         OnMachine([](plat::ke::Kernel&) {
           const HANDLE key = OpenParametersKey();
           ZwClose(key);
           ZwDeleteKey(key);
         });
       },
       R"(FATAL \[ob.handle-not-open\]: ZwDeleteKey from kernel code with handle 0x4)"},
      {"reference count below zero",
       [] {
         OnMachine([](plat::ke::Kernel& machine) {
           PVOID event = plat::ke::CreateObject(machine, plat::ex::kEventObjectType, 16);
           ObDereferenceObject(event);
           ObDereferenceObject(event);
         });
       },
       R"(FATAL \[ob.negative-references\]: ObDereferenceObject of object #[0-9]+ \(Event\))"},
      {"handles open at shutdown",
       [] {
         OnMachine([](plat::ke::Kernel&) {
           OpenParametersKey();
           HANDLE thread = 0;
           PsCreateSystemThread(
               &thread, THREAD_ALL_ACCESS, nullptr, 0, nullptr, [](PVOID) {}, nullptr);
         });
       },
       R"(FATAL \[ob.handles-open-at-shutdown\]: 2 handles still open:\s+0x4 Key #[0-9]+ \(opened by kernel code, access 0x20019\)\s+0x8 Thread)"},
      {"registry call above PASSIVE_LEVEL",
       [] {
         OnMachine([](plat::ke::Kernel&) {
           KIRQL old = 0;
           KeRaiseIrql(DISPATCH_LEVEL, &old);
           RtlCheckRegistryKey(RTL_REGISTRY_SERVICES, nullptr);
         });
       },
       R"(FATAL \[irql.not-passive\]: RtlCheckRegistryKey called at IRQL 2; it runs only at PASSIVE_LEVEL)"},
      {"user-mode call from kernel code",
       [] { OnMachine([](plat::ke::Kernel&) { CreateEvent(nullptr, TRUE, FALSE, nullptr); }); },
       R"(FATAL \[win32.kernel-caller\]: CreateEvent called by kernel code)"},
  };
  for (const auto& rule : rules) {
    EXPECT_DEATH(rule.breach(), rule.diagnostic) << rule.what;
  }
}

}  // namespace
