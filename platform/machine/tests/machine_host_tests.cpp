// The machine host: boot in order, a failing DriverEntry, shutdown with
// every layer's leak check naming what was left, and the default hive.
#include <gtest/gtest.h>

#include <string>

#include "platform/io/io_manager.h"
#include "platform/machine/testing/fixtures.h"
#include "platform/machine/tests/loopback_serial.h"
#include "platform/machine/tests/test_drivers.h"
#include "platform/reg/machine_registry.h"
#include "platform/reg/regroutines.h"

namespace plat::machine::testing {
namespace {

using plat::testing::MachineTest;

// The registry value `name` under `key` as the machine's drivers read it.
std::u16string StringValue(Machine& m, const char16_t* key, const char16_t* name) {
  std::u16string value;
  m.simulation().RunUserThread(m.kernel(), "reader", [&] {
    UNICODE_STRING path, value_name;
    RtlInitUnicodeString(&path, key);
    RtlInitUnicodeString(&value_name, name);
    OBJECT_ATTRIBUTES attributes;
    InitializeObjectAttributes(&attributes, &path, OBJ_CASE_INSENSITIVE, 0, nullptr);
    HANDLE handle = 0;
    if (!NT_SUCCESS(ZwOpenKey(&handle, KEY_READ, &attributes))) return;
    UCHAR buffer[256];
    ULONG length = 0;
    if (NT_SUCCESS(ZwQueryValueKey(handle, &value_name, KeyValuePartialInformation, buffer,
                                   sizeof buffer, &length))) {
      const auto* info = reinterpret_cast<const KEY_VALUE_PARTIAL_INFORMATION*>(buffer);
      value.assign(reinterpret_cast<const char16_t*>(info->Data), info->DataLength / 2);
      if (!value.empty() && value.back() == u'\0') value.pop_back();
    } else {
      value = u"<absent>";
    }
    ZwClose(handle);
  });
  return value;
}

bool KeyExists(Machine& m, const char16_t* key) {
  bool exists = false;
  m.simulation().RunUserThread(m.kernel(), "reader", [&] {
    UNICODE_STRING path;
    RtlInitUnicodeString(&path, key);
    OBJECT_ATTRIBUTES attributes;
    InitializeObjectAttributes(&attributes, &path, OBJ_CASE_INSENSITIVE, 0, nullptr);
    HANDLE handle = 0;
    exists = NT_SUCCESS(ZwOpenKey(&handle, KEY_READ, &attributes));
    if (exists) ZwClose(handle);
  });
  return exists;
}

TEST_F(MachineTest, BootsAndShutsDownCleanWithoutDrivers) {
  Machine& m = Boot({});
  sim.RunFor(hal::kSecond);
  m.Shutdown();
  EXPECT_TRUE(m.shut_down());
  EXPECT_EQ(m.kernel().pool().Live(), ex::PoolUsage{});
}

TEST_F(MachineTest, DriversLoadInOrderAndUnloadInReverse) {
  Machine& m =
      Boot({.drivers = {{u"loopserial", LoopbackSerialEntry}, {u"impulse", ImpulseDriverEntry}}});
  ASSERT_EQ(m.drivers().size(), 2u);
  EXPECT_EQ(
      std::u16string(m.drivers()[0]->DriverName.Buffer, m.drivers()[0]->DriverName.Length / 2),
      u"\\Driver\\loopserial");
  sim.RunFor(100 * hal::kMillisecond);
  m.Shutdown();
  EXPECT_TRUE(m.drivers().empty());
}

TEST_F(MachineTest, BootStopsAtTheFirstFailingDriverEntry) {
  auto m =
      std::make_unique<Machine>(sim, MachineConfig{.drivers = {{u"loopserial", LoopbackSerialEntry},
                                                               {u"broken", FailingDriverEntry},
                                                               {u"impulse", ImpulseDriverEntry}}});
  EXPECT_EQ(m->Boot(), STATUS_NO_SUCH_DEVICE);
  ASSERT_EQ(m->drivers().size(), 1u);
  EXPECT_NE(m->kernel().LogText().find("DriverEntry of broken failed"), std::string::npos);
  machine_ = std::move(m);  // the teardown unloads what loaded
}

TEST_F(MachineTest, TheDefaultHiveHoldsWhatTheDriversRead) {
  Machine& m = Boot({});
  EXPECT_EQ(StringValue(m, u"\\Registry\\Machine\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion",
                        u"CurrentVersion"),
            u"4.0");
  EXPECT_EQ(
      StringValue(m, u"\\Registry\\User\\.DEFAULT\\Control Panel\\International", u"iCountry"),
      u"1");
  for (const char16_t* key : {u"\\Registry\\Machine\\System\\CurrentControlSet\\Services\\vxafe",
                              u"\\Registry\\Machine\\System\\CurrentControlSet\\Services\\vxdsp",
                              u"\\Registry\\Machine\\System\\CurrentControlSet\\Services\\vxctl\\"
                              u"Parameters",
                              u"\\Registry\\Machine\\HARDWARE\\DEVICEMAP\\SERIALCOMM"}) {
    EXPECT_TRUE(KeyExists(m, key)) << io::Narrow(key);
  }
  const auto* serialcomm = m.kernel().slots().Find<plat::reg::RegistryService>();
  ASSERT_NE(serialcomm, nullptr);
  EXPECT_EQ(plat::reg::WriteHiveText(serialcomm->registry.hive()).find("SERIALCOMM"),
            std::string::npos)
      << "SERIALCOMM is volatile";
}

class MachineHostDeathTest : public ::testing::TestWithParam<std::pair<Leak, const char*>> {};

// Each kind of leak a driver can leave, and what the shutdown says of it.
TEST_P(MachineHostDeathTest, ALeakAtShutdownIsFatalAndNamesItsOwner) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  const auto [leak, message] = GetParam();
  EXPECT_DEATH(
      {
        Simulation sim;
        Machine m(sim, {.name = "leaky", .drivers = {{u"leaky", LeakDriverEntry}}});
        m.kernel().slots().Get<LeakChoice>().leak = leak;
        if (m.Boot() == STATUS_SUCCESS) m.Shutdown();
      },
      message);
}

INSTANTIATE_TEST_SUITE_P(
    MachineHost, MachineHostDeathTest,
    ::testing::Values(std::pair{Leak::kPoolBlock, "FATAL \\[machine.pool-leak\\].*tag 'Leak'"},
                      std::pair{Leak::kHandle, "FATAL \\[ob.handles-open-at-shutdown\\].*Key"},
                      std::pair{Leak::kLink,
                                "FATAL \\[machine.names-left-at-shutdown\\].*link "
                                "\\\\DosDevices\\\\LeakTest -> \\\\Device\\\\LeakTest"},
                      std::pair{Leak::kThread, "FATAL \\[ke.thread-alive-at-shutdown\\]"},
                      std::pair{Leak::kTimer, "FATAL \\[ke.timer-queued-at-shutdown\\]"},
                      std::pair{Leak::kRequest, "FATAL \\[io.outstanding-at-shutdown\\]"},
                      std::pair{Leak::kMapping, "FATAL \\[hal-mapping-leak\\]"},
                      std::pair{Leak::kCommonBuffer, "FATAL \\[hal-common-buffer-leak\\]"},
                      std::pair{Leak::kInterrupt, "FATAL \\[hal-interrupt-leak\\]"}));

TEST(MachineHostDeathTest, ASeedThatDoesNotParseIsFatal) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_DEATH(
      {
        Simulation sim;
        Machine m(sim, {.hive_overrides = "[\\Registry\\Machine\\X]\n\"V\"=dword:zz\n"});
      },
      "FATAL \\[machine.registry-seed\\]");
}

TEST_F(MachineTest, OverridesReplaceAndAddValuesOfTheHive) {
  Machine& m =
      Boot({.hive_overrides =
                "[\\Registry\\Machine\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion]\n"
                "\"currentversion\"=sz:\"5.0\"\n"
                "[\\Registry\\Machine\\System\\CurrentControlSet\\Services\\vxctl\\Parameters]\n"
                "\"ComPort\"=sz:\"3\"\n"});
  EXPECT_EQ(StringValue(m, u"\\Registry\\Machine\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion",
                        u"CurrentVersion"),
            u"5.0");
  EXPECT_EQ(
      StringValue(m, u"\\Registry\\Machine\\System\\CurrentControlSet\\Services\\vxctl\\Parameters",
                  u"ComPort"),
      u"3");
  EXPECT_EQ(
      StringValue(m, u"\\Registry\\User\\.DEFAULT\\Control Panel\\International", u"iCountry"),
      u"1");
}

TEST_F(MachineTest, TheLeakDriverLeavesNothingWhenToldNotTo) {
  Machine& m = Boot({.drivers = {{u"leaky", LeakDriverEntry}}});
  sim.RunFor(10 * hal::kMillisecond);
  m.Shutdown();
  EXPECT_EQ(m.kernel().pool().Live(), ex::PoolUsage{});
}

}  // namespace
}  // namespace plat::machine::testing
