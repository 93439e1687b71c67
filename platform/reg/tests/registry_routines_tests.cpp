#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <functional>
#include <string>

#include "platform/ex/handletable.h"
#include "platform/ke/simulation.h"
#include "platform/nt/ntstatus.h"
#include "platform/reg/machine_registry.h"
#include "platform/reg/regroutines.h"
#include "platform/reg/tests/registry_test_util.h"

namespace plat::reg {
namespace {

constexpr char kRoutinesSeed[] = R"(
[\Registry\Machine\SOFTWARE\Microsoft\Windows NT\CurrentVersion]
"CurrentVersion"=sz:"4.0"

[\Registry\Machine\System\CurrentControlSet\Services\vxctl\Parameters]
"ComPort"=dword:0x00000003
"gpio_lpohd"=dword:0x00000001
"v92rptopt"=binary:01

[\Registry\Machine\HARDWARE\DEVICEMAP\SERIALCOMM]
)";

constexpr WCHAR kVersionKey[] =
    u"\\REGISTRY\\Machine\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion";

// A machine with the seed; each test body runs as a system thread of it.
class RegistryRoutines : public ::testing::Test {
 protected:
  void SetUp() override {
    machine = &sim.AddMachine("M");
    ASSERT_TRUE(Loaded(RegistryOf(*machine).registry.Load("seed", kRoutinesSeed)));
  }
  // Every thread ended and every handle closed.
  void TearDown() override {
    for (const auto& m : sim.machines()) m->Shutdown();
  }
  void Run(const std::function<void()>& body) {
    bool done = false;
    auto job = [&] {
      body();
      done = true;
    };
    using Job = decltype(job);
    ASSERT_EQ(machine->CreateSystemThread(
                  "driver", [](PVOID context) { (*static_cast<Job*>(context))(); }, &job, nullptr),
              STATUS_SUCCESS);
    ASSERT_TRUE(sim.RunUntil([&] { return done; }));
  }

  Simulation sim;
  ke::Kernel* machine = nullptr;
};

NTSTATUS Open(HANDLE* handle, PCWSTR path, HANDLE root = 0, ACCESS_MASK access = KEY_READ) {
  UNICODE_STRING name;
  RtlInitUnicodeString(&name, path);
  OBJECT_ATTRIBUTES attributes;
  InitializeObjectAttributes(&attributes, &name, OBJ_CASE_INSENSITIVE | OBJ_KERNEL_HANDLE, root,
                             nullptr);
  return ZwOpenKey(handle, access, &attributes);
}

NTSTATUS Create(HANDLE* handle, PCWSTR path, HANDLE root, ULONG options, ULONG* disposition) {
  UNICODE_STRING name;
  RtlInitUnicodeString(&name, path);
  OBJECT_ATTRIBUTES attributes;
  InitializeObjectAttributes(&attributes, &name, OBJ_KERNEL_HANDLE, root, nullptr);
  return ZwCreateKey(handle, KEY_ALL_ACCESS, &attributes, 0, nullptr, options, disposition);
}

NTSTATUS Query(HANDLE key, PCWSTR valueName, KEY_VALUE_INFORMATION_CLASS infoClass, Bytes* buffer,
               ULONG* result) {
  UNICODE_STRING name;
  RtlInitUnicodeString(&name, valueName);
  return ZwQueryValueKey(key, &name, infoClass, buffer->data(), static_cast<ULONG>(buffer->size()),
                         result);
}

NTSTATUS Set(HANDLE key, PCWSTR valueName, ULONG type, const Bytes& data) {
  UNICODE_STRING name;
  RtlInitUnicodeString(&name, valueName);
  return ZwSetValueKey(key, &name, 0, type, const_cast<UCHAR*>(data.data()),
                       static_cast<ULONG>(data.size()));
}

TEST_F(RegistryRoutines, TheVersionCheckReadsFullInformation) {
  Run([] {
    HANDLE key = 0;
    ASSERT_EQ(Open(&key, kVersionKey), STATUS_SUCCESS);
    EXPECT_EQ(key % 4, 0u);
    Bytes buffer(256);
    ULONG result = 0;
    ASSERT_EQ(Query(key, u"CurrentVersion", KeyValueFullInformation, &buffer, &result),
              STATUS_SUCCESS);
    const auto* info = reinterpret_cast<const KEY_VALUE_FULL_INFORMATION*>(buffer.data());
    EXPECT_EQ(info->Type, REG_SZ);
    EXPECT_EQ(info->NameLength, 28u);
    EXPECT_EQ(info->DataOffset, 48u);
    EXPECT_EQ(info->DataLength, 8u);
    EXPECT_EQ(result, 56u);
    WCHAR first = 0;
    std::memcpy(&first, buffer.data() + info->DataOffset, 2);
    EXPECT_EQ(first, u'4');
    EXPECT_EQ(ZwClose(key), STATUS_SUCCESS);
  });
}

TEST_F(RegistryRoutines, KeysOpenRelativeToAKeyHandleOnly) {
  Run([&] {
    HANDLE services = 0;
    ASSERT_EQ(Open(&services, u"\\Registry\\Machine\\System\\CurrentControlSet\\Services"),
              STATUS_SUCCESS);
    HANDLE parameters = 0;
    ASSERT_EQ(Open(&parameters, u"VXCTL\\parameters", services), STATUS_SUCCESS);
    Bytes buffer(16);
    ULONG result = 0;
    EXPECT_EQ(Query(parameters, u"ComPort", KeyValuePartialInformation, &buffer, &result),
              STATUS_SUCCESS);
    EXPECT_EQ(buffer[12], 3);
    EXPECT_EQ(Open(&parameters, u"\\Registry\\Machine", services), STATUS_OBJECT_PATH_SYNTAX_BAD);

    // A handle of another type is no key.
    HANDLE thread = 0;
    ASSERT_EQ(PsCreateSystemThread(
                  &thread, THREAD_ALL_ACCESS, nullptr, 0, nullptr, [](PVOID) {}, nullptr),
              STATUS_SUCCESS);
    HANDLE key = 0;
    EXPECT_EQ(Open(&key, u"vxctl", thread), STATUS_OBJECT_TYPE_MISMATCH);
    EXPECT_EQ(Query(thread, u"ComPort", KeyValuePartialInformation, &buffer, &result),
              STATUS_OBJECT_TYPE_MISMATCH);
    for (const HANDLE h : {services, parameters, thread}) ZwClose(h);
    EXPECT_EQ(ex::HandlesOf(*machine).open(), 0u);
  });
}

TEST_F(RegistryRoutines, CreateSetQueryDeleteThroughHandles) {
  Run([] {
    HANDLE parameters = 0;
    ASSERT_EQ(Open(&parameters, kParameters, 0, KEY_ALL_ACCESS), STATUS_SUCCESS);
    HANDLE saved = 0;
    ULONG disposition = 0;
    ASSERT_EQ(Create(&saved, u"Saved", parameters, REG_OPTION_NON_VOLATILE, &disposition),
              STATUS_SUCCESS);
    EXPECT_EQ(disposition, REG_CREATED_NEW_KEY);
    HANDLE again = 0;
    ASSERT_EQ(Create(&again, u"saved", parameters, REG_OPTION_VOLATILE, &disposition),
              STATUS_SUCCESS);
    EXPECT_EQ(disposition, REG_OPENED_EXISTING_KEY);

    const Bytes qc = {1, 2, 3, 4, 5};
    ASSERT_EQ(Set(saved, u"qcData", REG_BINARY, qc), STATUS_SUCCESS);
    Bytes buffer(12 + 5);
    ULONG result = 0;
    ASSERT_EQ(Query(again, u"QCDATA", KeyValuePartialInformation, &buffer, &result),
              STATUS_SUCCESS);
    EXPECT_EQ(Bytes(buffer.begin() + 12, buffer.end()), qc);

    UNICODE_STRING name;
    RtlInitUnicodeString(&name, u"qcData");
    EXPECT_EQ(ZwDeleteValueKey(saved, &name), STATUS_SUCCESS);
    EXPECT_EQ(ZwDeleteValueKey(saved, &name), STATUS_OBJECT_NAME_NOT_FOUND);

    // A deleted key's handles stay open but serve nothing.
    EXPECT_EQ(ZwDeleteKey(parameters), STATUS_CANNOT_DELETE);
    ASSERT_EQ(ZwDeleteKey(saved), STATUS_SUCCESS);
    EXPECT_EQ(Set(again, u"x", REG_BINARY, qc), STATUS_KEY_DELETED);
    EXPECT_EQ(ZwDeleteKey(again), STATUS_KEY_DELETED);
    HANDLE child = 0;
    EXPECT_EQ(Create(&child, u"Child", again, 0, &disposition), STATUS_KEY_DELETED);
    for (const HANDLE h : {parameters, saved, again}) EXPECT_EQ(ZwClose(h), STATUS_SUCCESS);
  });
}

TEST_F(RegistryRoutines, AOneByteSwitchReadAsTheControllerDoes) {
  // Full information into the caller's size + 22 + the name's bytes: a
  // REG_DWORD does not fit a one-byte switch and counts as absent.
  Run([] {
    HANDLE key = 0;
    ASSERT_EQ(Open(&key, kParameters), STATUS_SUCCESS);
    for (const auto& [name, status] : {std::pair{u"gpio_lpohd", STATUS_BUFFER_OVERFLOW},
                                       std::pair{u"v92rptopt", STATUS_SUCCESS}}) {
      Bytes buffer(1 + 22 + std::u16string_view(name).size() * 2);
      ULONG result = 0;
      EXPECT_EQ(Query(key, name, KeyValueFullInformation, &buffer, &result), status);
    }
    ZwClose(key);
  });
}

TEST_F(RegistryRoutines, FaultKnobsFailTheNamedRoutine) {
  ex::CallFaults& faults = RegistryOf(*machine).faults;
  faults.FailNth("ZwOpenKey", 2, STATUS_OBJECT_NAME_NOT_FOUND);
  faults.FailNth("RtlWriteRegistryValue", 1, STATUS_REGISTRY_IO_FAILED);
  Run([] {
    HANDLE key = 0;
    EXPECT_EQ(Open(&key, kVersionKey), STATUS_SUCCESS);
    ZwClose(key);
    EXPECT_EQ(Open(&key, kVersionKey), STATUS_OBJECT_NAME_NOT_FOUND);
    EXPECT_EQ(Open(&key, kVersionKey), STATUS_SUCCESS);
    ZwClose(key);

    // The country write of a private request, failed once.
    ULONG country = 49;
    EXPECT_EQ(RtlWriteRegistryValue(RTL_REGISTRY_ABSOLUTE, kParameters, u"CurrentCountry",
                                    REG_DWORD, &country, 4),
              STATUS_REGISTRY_IO_FAILED);
    EXPECT_EQ(RtlCheckRegistryKey(RTL_REGISTRY_ABSOLUTE, const_cast<PWSTR>(kParameters)),
              STATUS_SUCCESS);
    ULONG read = 0;
    RTL_QUERY_REGISTRY_TABLE table[] = {
        {nullptr, RTL_QUERY_REGISTRY_DIRECT, const_cast<PWSTR>(u"CurrentCountry"), &read, REG_NONE,
         nullptr, 0},
        {}};
    EXPECT_EQ(RtlQueryRegistryValues(RTL_REGISTRY_ABSOLUTE, kParameters, table, nullptr, nullptr),
              STATUS_SUCCESS);
    EXPECT_EQ(read, 0u) << "the failed write wrote nothing";
    EXPECT_EQ(RtlWriteRegistryValue(RTL_REGISTRY_ABSOLUTE, kParameters, u"CurrentCountry",
                                    REG_DWORD, &country, 4),
              STATUS_SUCCESS);
    EXPECT_EQ(RtlQueryRegistryValues(RTL_REGISTRY_ABSOLUTE, kParameters, table, nullptr, nullptr),
              STATUS_SUCCESS);
    EXPECT_EQ(read, 49u);
  });
  faults.FailEvery("RtlCreateRegistryKey", STATUS_INSUFFICIENT_RESOURCES);
  Run([] {
    for (int i = 0; i < 3; ++i) {
      EXPECT_EQ(RtlCreateRegistryKey(RTL_REGISTRY_SERVICES, const_cast<PWSTR>(u"vxdsp")),
                STATUS_INSUFFICIENT_RESOURCES);
    }
    EXPECT_EQ(RtlDeleteRegistryValue(RTL_REGISTRY_ABSOLUTE, kParameters, u"ComPort"),
              STATUS_SUCCESS);
  });
}

TEST_F(RegistryRoutines, AFailedStateWriteKeepsTheOldValue) {
  const auto state = std::filesystem::temp_directory_path() /
                     ("vx-routines-" + std::to_string(::getpid()) + ".reg");
  std::filesystem::remove(state);
  Registry& registry = RegistryOf(*machine).registry;
  ASSERT_TRUE(Loaded(registry.Load("seed", kRoutinesSeed, state)));
  registry.state_file()->FailNthWrite(1, StateWriteFault::kBeforeRename);
  Run([] {
    HANDLE key = 0;
    ASSERT_EQ(Open(&key, kParameters, 0, KEY_SET_VALUE | KEY_QUERY_VALUE), STATUS_SUCCESS);
    EXPECT_EQ(Set(key, u"ComPort", REG_DWORD, U32({4})), STATUS_REGISTRY_IO_FAILED);
    Bytes buffer(16);
    ULONG result = 0;
    ASSERT_EQ(Query(key, u"ComPort", KeyValuePartialInformation, &buffer, &result), STATUS_SUCCESS);
    EXPECT_EQ(buffer[12], 3);
    EXPECT_EQ(Set(key, u"ComPort", REG_DWORD, U32({4})), STATUS_SUCCESS);
    ZwClose(key);
  });
  Registry reloaded;
  ASSERT_TRUE(Loaded(reloaded.Load("seed", kRoutinesSeed, state)));
  std::filesystem::remove(state);
  std::shared_ptr<Key> key;
  ASSERT_EQ(reloaded.OpenKey(nullptr, kParameters, &key), STATUS_SUCCESS);
  EXPECT_EQ(key->FindValue(u"ComPort")->data, U32({4}));
}

TEST_F(RegistryRoutines, AFullHandleTableRefusesBeforeTheKeyIsMade) {
  ex::HandlesOf(*machine).SetCapacity(0);
  Run([] {
    HANDLE key = 0;
    ULONG disposition = 0;
    EXPECT_EQ(Create(&key, u"\\Registry\\Machine\\SOFTWARE\\New", 0, 0, &disposition),
              STATUS_INSUFFICIENT_RESOURCES);
  });
  std::shared_ptr<Key> key;
  EXPECT_EQ(
      RegistryOf(*machine).registry.OpenKey(nullptr, u"\\Registry\\Machine\\SOFTWARE\\New", &key),
      STATUS_OBJECT_NAME_NOT_FOUND);
}

TEST_F(RegistryRoutines, EachMachineHasItsOwnRegistry) {
  ke::Kernel& other = sim.AddMachine("N");
  ASSERT_TRUE(Loaded(RegistryOf(other).registry.Load("empty", "")));
  Run([] {
    ULONG one = 1;
    EXPECT_EQ(
        RtlWriteRegistryValue(RTL_REGISTRY_ABSOLUTE, kParameters, u"Mark", REG_DWORD, &one, 4),
        STATUS_SUCCESS);
  });
  ASSERT_TRUE(sim.RunUserThread(other, "other", [] {
    EXPECT_EQ(RtlCheckRegistryKey(RTL_REGISTRY_ABSOLUTE, const_cast<PWSTR>(kParameters)),
              STATUS_OBJECT_NAME_NOT_FOUND);
  }));
  EXPECT_NE(RegistryOf(*machine).registry.hive().machine().FindSubkey(u"System"), nullptr);
  EXPECT_EQ(RegistryOf(other).registry.hive().machine().FindSubkey(u"System"), nullptr);
}

}  // namespace
}  // namespace plat::reg
