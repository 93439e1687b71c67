// On a booted machine (vxafe, vxdsp, vxctl) with COM1 open: the modem-status
// lines the modem task drives as the application sees them, and the hook
// request reaching the telephone line through the line services and the
// data pump.
#include <gtest/gtest.h>

#include <string>

#include "controller/acu/acu_controller.h"
#include "layer2/corecode/mt/lines/relays.h"
#include "layer2/corecode/mt/dsp/dsp_link.h"
#include "layer2/corecode/mt/dsp/dsp_transport.h"
#include "layer2/corecode/mt/lines/status_lines.h"
#include "layer2/corecode/mt/machine_state.h"
#include "layer2/corecode/mt/modem_task/modem_task_state.h"
#include "layer2/corecode/mt/serial/tests/serial_client.h"
#include "platform/machine/testing/dte_client.h"
#include "platform/win32/comm.h"
#include "platform/win32/win32.h"

namespace vxctl::testing {
namespace {

class StatusLines : public SerialTest {};
class HookOnLine : public SerialTest {};

struct StatusWait {
  DWORD error = 0xFFFFFFFF;
  DWORD events = 0;
};

StatusWait WaitForStatus(HANDLE port) {
  StatusWait r;
  r.error = WaitCommEvent(port, &r.events, nullptr) ? 0 : GetLastError();
  return r;
}

bool CtsBit() {
  return (MachineState<ModemTaskState>().status_word.load() & kStatusCtsOn) != 0;
}

TEST_F(StatusLines, CtsChangesOnlyWhenItDiffersAndKeepsTheStatusBit) {
  BootCtl();
  ASSERT_TRUE(sim.RunUserThread(kernel(), "dte", [&] {
    plat::testing::DteClient dte(u"COM1");
    ASSERT_TRUE(dte.ok());
    // The controller's idle poll drives CTS, DSR and DCD on every pass; in
    // the fax variant's idle state, which polls nothing, the test drives them.
    acu_controller().variants[AcuIdle] = VarFax;
    ModemTask_SetCts(1);
    ASSERT_TRUE(SetCommMask(dte.handle(), EV_CTS));
    ASSERT_TRUE(CtsBit());

    // Already up: no change reaches the application, the bit stays.
    StatusWait wait;
    UserThread waiter([&] { wait = WaitForStatus(dte.handle()); });
    Sleep(10);
    ModemTask_SetCts(1);
    EXPECT_FALSE(waiter.Join(30));
    EXPECT_TRUE(CtsBit());
    EXPECT_EQ(ModemTask_GetCts(), 1);

    ModemTask_SetCts(0);
    ASSERT_TRUE(waiter.Join(30));
    EXPECT_EQ(wait.events, DWORD{EV_CTS});
    EXPECT_FALSE(CtsBit());
    EXPECT_EQ(*dte.ModemStatus() & MS_CTS_ON, 0u);

    StatusWait second;
    UserThread second_waiter([&] { second = WaitForStatus(dte.handle()); });
    Sleep(10);
    ModemTask_SetCts(0);
    EXPECT_FALSE(second_waiter.Join(30));
    ModemTask_SetCts(1);
    ASSERT_TRUE(second_waiter.Join(30));
    EXPECT_EQ(second.events, DWORD{EV_CTS});
    EXPECT_TRUE(CtsBit());
    EXPECT_NE(*dte.ModemStatus() & MS_CTS_ON, 0u);
  }, sim.Now() + 60 * plat::hal::kSecond));
}

TEST_F(StatusLines, DsrRingAndCarrierReachTheModemStatusAndWakeAWait) {
  struct Row {
    const char* name;
    void (*set)(std::uint8_t);
    DWORD event;
    DWORD status;
  };
  const Row rows[] = {
      {"DSR", ModemTask_SetDsr, EV_DSR, MS_DSR_ON},
      {"RI", ModemTask_SetRi, EV_RING, MS_RING_ON},
      {"DCD", ModemTask_SetDcd, EV_RLSD, MS_RLSD_ON},
  };
  BootCtl();
  ASSERT_TRUE(sim.RunUserThread(kernel(), "dte", [&] {
    plat::testing::DteClient dte(u"COM1");
    ASSERT_TRUE(dte.ok());
    // The controller's idle poll drives CTS, DSR and DCD on every pass; in
    // the fax variant's idle state, which polls nothing, the test drives them.
    acu_controller().variants[AcuIdle] = VarFax;
    for (const Row& row : rows) {
      SCOPED_TRACE(row.name);
      row.set(0);
      ASSERT_TRUE(SetCommMask(dte.handle(), row.event));
      StatusWait wait;
      UserThread waiter([&] { wait = WaitForStatus(dte.handle()); });
      Sleep(10);
      EXPECT_FALSE(waiter.Join(10));
      row.set(1);
      ASSERT_TRUE(waiter.Join(30));
      EXPECT_EQ(wait.error, 0u);
      EXPECT_EQ(wait.events, row.event);
      EXPECT_NE(*dte.ModemStatus() & row.status, 0u);
      // Any value but 1 lowers the line.
      row.set(2);
      EXPECT_EQ(*dte.ModemStatus() & row.status, 0u);
    }
  }, sim.Now() + 60 * plat::hal::kSecond));
}

TEST_F(StatusLines, RtsAndDtrAreReadAsTheApplicationSetsThem) {
  BootCtl();
  ASSERT_TRUE(sim.RunUserThread(kernel(), "dte", [&] {
    plat::testing::DteClient dte(u"COM1");
    ASSERT_TRUE(dte.ok());
    for (const bool on : {false, true}) {
      ASSERT_TRUE(dte.SetRts(on));
      ASSERT_TRUE(dte.SetDtr(!on));
      EXPECT_EQ(ModemTask_GetRts(), on ? 1 : 0);
      EXPECT_EQ(ModemTask_GetDtr(), on ? 0 : 1);
    }
  }, sim.Now() + 60 * plat::hal::kSecond));
}

// The hook as the telephone line saw it last.
bool LineOffHook(plat::Machine& machine) {
  const auto& log = machine.line().HookLog(plat::line::Side::kA);
  return !log.empty() && log.back().value;
}

TEST_F(HookOnLine, TheModemTaskTakesTheLineOffHookAndPutsItBack) {
  plat::Machine& machine = BootCtl();
  ASSERT_TRUE(sim.RunUserThread(kernel(), "dte", [&] {
    plat::testing::DteClient dte(u"COM1");
    ASSERT_TRUE(dte.ok());
    // The data pump runs its blocks (and follows the hook relay) once
    // powered and reset, as at the start of a call.
    dsp_power_control(kDspPowerOn);
    ASSERT_EQ(dsp_send_packet(DspCommand::Ack(0x60, {0})), kDspSent);
    Sleep(50);
    EXPECT_FALSE(LineOffHook(machine));
    const std::size_t changes = machine.line().HookLog(plat::line::Side::kA).size();

    ModemTask_SetHook(true);
    Sleep(100);
    EXPECT_TRUE(LineOffHook(machine));
    EXPECT_TRUE(daa_is_off_hook());
    EXPECT_EQ(machine.line().HookLog(plat::line::Side::kA).size(), changes + 1);

    ModemTask_SetHook(false);
    Sleep(100);
    EXPECT_FALSE(LineOffHook(machine));
    EXPECT_FALSE(daa_is_off_hook());
    EXPECT_EQ(machine.line().HookLog(plat::line::Side::kA).size(), changes + 2);
  }, sim.Now() + 60 * plat::hal::kSecond));
}

}  // namespace
}  // namespace vxctl::testing
