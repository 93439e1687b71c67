// The start handshake on the real data pump, and the unload's stop.
#include <gtest/gtest.h>

#include "layer2/corecode/mt/dsp/dsp_link.h"
#include "layer2/corecode/mt/dsp/dsp_transport.h"
#include "layer2/corecode/mt/frame/frame.h"
#include "layer2/corecode/mt/frame/tests/ctl_machine.h"
#include "layer2/corecode/mt/machine_state.h"
#include "layer2/corecode/mt/task/task_thread.h"
#include "layer2/corecode/mt/task/timing_thread.h"
#include "layer2/corecode/mt/tests/support/dsp_link_rig.h"
#include "pump/driver/dsp_device.h"

namespace vxctl::testing {
namespace {

class CtlStart : public CtlMachineTest {};

TEST_F(CtlStart, ThePageIsTheDataPumpsAndAResetIsAnsweredThroughTheCallback) {
  BootCtl();
  RunOn([] {
    auto& serial = *static_cast<SerialDeviceExtension*>(ctl_globals().serial->DeviceExtension);
    ASSERT_NE(serial.dsp_context, nullptr);
    // The context lives in vxdsp's own device extension, and the page in
    // its host interface.
    pump::DspDeviceExtension& dsp = pump::ExtensionOf(*serial.dsp_context);
    EXPECT_EQ(dsp.device, serial.lower);
    EXPECT_EQ(serial.host, serial.dsp_context->host);
    EXPECT_EQ(dsp_page(), &serial.dsp_context->host->comram);
    EXPECT_EQ(serial.host->controller_callback, &ntdrv_dsp_callback);

    DspTransportState& transport = MachineState<DspTransportState>();
    transport.rx = {};
    DspAnswer answer;
    EXPECT_EQ(dsp_send_packet(DspCommand::Ack(0x60, {0}), &answer), kDspSent);
    EXPECT_EQ(answer.code, 0xC0);
    // Only the controller's callback takes packets into DspRxPacket.
    EXPECT_EQ(transport.rx.code, 0xC0);
    EXPECT_EQ(transport.rx.payload[0], 0x60);
  });
}

TEST_F(CtlStart, TheUnloadStopsTheDataPumpAndTheFrontEnd) {
  plat::MachineConfig config;
  config.drivers = {VxafeImage(), VxdspImage()};
  BootCtl(std::move(config));
  PDRIVER_OBJECT driver = nullptr;
  ASSERT_EQ(Load(VxctlImage(), &driver), STATUS_SUCCESS);
  for (std::u16string_view name :
       {u"\\Device\\VexorTolvasaDsp", u"\\Device\\VexorTolvasaSound",
        u"\\Device\\VexorTolvasaDiagnostic", u"\\Device\\SerialTolvasa0",
        u"\\Device\\tolvasaprobe", u"\\Device\\MdmPerfMon2"}) {
    EXPECT_TRUE(NameExists(kernel(), name)) << std::string(name.begin(), name.end());
  }
  Unload(driver);
  for (std::u16string_view name :
       {u"\\Device\\VexorTolvasaDsp", u"\\Device\\VexorTolvasaSound",
        u"\\Device\\VexorTolvasaDiagnostic", u"\\Device\\SerialTolvasa0",
        u"\\Device\\tolvasaprobe", u"\\Device\\MdmPerfMon2", u"\\??\\COM1"}) {
    EXPECT_FALSE(NameExists(kernel(), name)) << std::string(name.begin(), name.end());
  }
  EXPECT_EQ(SerialCommValues(kernel()), 0u);
  RunOn([] { EXPECT_EQ(dsp_page(), nullptr); });
}

// The port layer starts the task thread before the timing thread and
// stops them in the same order.
TEST_F(CtlStart, TheTaskThreadStartsAndStopsFirst) {
  plat::MachineConfig config;
  config.drivers = {VxafeImage(), VxdspImage()};
  BootCtl(std::move(config));
  PDRIVER_OBJECT driver = nullptr;
  ASSERT_EQ(Load(VxctlImage(), &driver), STATUS_SUCCESS);
  RunOn([&] {
    PKTHREAD threads[2] = {task_thread_state().thread, timing_thread_state().thread};
    ASSERT_NE(threads[0], nullptr);
    ASSERT_NE(threads[1], nullptr);
    EXPECT_LT(threads[0]->Header.Number, threads[1]->Header.Number);
    for (PKTHREAD thread : threads) ObReferenceObject(thread);
    NTSTATUS first = STATUS_PENDING;
    RunThreads({{31,
                 [&] {
                   KWAIT_BLOCK blocks[2];
                   PVOID objects[2] = {threads[0], threads[1]};
                   first = KeWaitForMultipleObjects(2, objects, WaitAny, Executive, KernelMode,
                                                    FALSE, nullptr, blocks);
                 }},
                {16, [&] { EXPECT_EQ(plat::io::UnloadDriver(driver), STATUS_SUCCESS); }}});
    EXPECT_EQ(first, STATUS_WAIT_0) << "the task thread ends first";
    for (PKTHREAD thread : threads) ObDereferenceObject(thread);
  });
}

}  // namespace
}  // namespace vxctl::testing
