// The information command through the pseudo-terminal: chat asks the
// controller behind the machine's COM1 for the data pump's version, which
// the real data pump answers.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>

#include "afe/windows/afe_device.h"
#include "app/tests/child_process.h"
#include "layer2/corecode/mt/frame/frame.h"
#include "platform/pty/tests/bridge_rig.h"
#include "pump/driver/dsp_device.h"

namespace vxctl::testing {
namespace {

constexpr char kChat[] = "/usr/sbin/chat";

TEST(PtyVersion, ChatReadsTheDataPumpsVersion) {
  if (!std::filesystem::exists(kChat)) GTEST_SKIP() << "chat is missing: scripts/setup installs ppp";
  plat::pty::testing::BridgeRig rig({{u"vxafe", afe::DriverEntry},
                                     {u"vxdsp", pump::DriverEntry},
                                     {u"vxctl", vxctl::DriverEntry}});
  ASSERT_TRUE(rig.Start());
  vxmodem::testing::TempDir dir;
  vxmodem::testing::Finished chat;
  rig.RunApplication(
      [&] {
        vxmodem::testing::Child child(
            "/bin/sh",
            {"-c", "exec <'" + rig.link() + "' >'" + rig.link() + "'; stty raw -echo; exec " +
                       kChat + " -V -t 5 '' ATI6 'DSP Software Version : 2.36.49.0\\r\\nOK'"},
            dir.path());
        chat = child.Wait(std::chrono::milliseconds(8000));
      },
      10);
  EXPECT_TRUE(chat.exited);
  EXPECT_EQ(chat.status, 0) << chat.err;
}

}  // namespace
}  // namespace vxctl::testing
