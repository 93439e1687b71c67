// Every serial request's buffer checks: a buffer shorter than the
// request's structure is refused before anything happens, the exact size
// is served with its information count, and codes the port does not serve
// go down to the data pump's device.
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <vector>

#include "layer2/corecode/mt/frame/frame.h"
#include "layer2/corecode/mt/port/port_block.h"
#include "layer2/corecode/mt/serial/tests/serial_client.h"
#include "platform/nt/serial.h"

namespace vxctl::testing {
namespace {

class SerialRequestBuffers : public SerialTest {};

struct Sizes {
  ULONG code;
  DWORD input;
  DWORD output;
  DWORD information;  // of a served request
};

// Inputs that are valid for each request at their exact size.
std::vector<UCHAR> ValidInput(ULONG code, DWORD size) {
  std::vector<UCHAR> in(size, 0);
  auto put = [&](const auto& value) { std::memcpy(in.data(), &value, sizeof value); };
  if (code == IOCTL_SERIAL_SET_BAUD_RATE) put(ULONG{19200});
  if (code == IOCTL_SERIAL_SET_QUEUE_SIZE) put(SERIAL_QUEUE_SIZE{4096, 1024});
  if (code == IOCTL_SERIAL_SET_LINE_CONTROL) put(SERIAL_LINE_CONTROL{0, 0, 8});
  if (code == IOCTL_SERIAL_SET_TIMEOUTS) put(SERIAL_TIMEOUTS{0xFFFFFFFF, 0, 0, 0, 0});
  if (code == IOCTL_SERIAL_SET_WAIT_MASK) put(ULONG{SERIAL_EV_RXCHAR});
  if (code == IOCTL_SERIAL_PURGE) put(ULONG{SERIAL_PURGE_RXCLEAR});
  if (code == IOCTL_SERIAL_SET_CHARS) put(SERIAL_CHARS{26, 0, 0, 0, 17, 19});
  if (code == IOCTL_SERIAL_SET_HANDFLOW) put(SERIAL_HANDFLOW{SERIAL_DTR_CONTROL, SERIAL_RTS_CONTROL, 512, 512});
  if (code == IOCTL_SERIAL_IMMEDIATE_CHAR) in[0] = 'A';
  return in;
}

constexpr std::array<Sizes, 33> kRequests{{
    {IOCTL_SERIAL_SET_BAUD_RATE, 4, 0, 0},
    {IOCTL_SERIAL_SET_QUEUE_SIZE, 8, 0, 0},
    {IOCTL_SERIAL_SET_LINE_CONTROL, 3, 0, 0},
    {IOCTL_SERIAL_SET_BREAK_ON, 0, 0, 0},
    {IOCTL_SERIAL_SET_BREAK_OFF, 0, 0, 0},
    {IOCTL_SERIAL_IMMEDIATE_CHAR, 1, 0, 0},
    {IOCTL_SERIAL_SET_TIMEOUTS, 20, 0, 0},
    {IOCTL_SERIAL_GET_TIMEOUTS, 0, 20, 20},
    {IOCTL_SERIAL_SET_DTR, 0, 0, 0},
    {IOCTL_SERIAL_CLR_DTR, 0, 0, 0},
    {IOCTL_SERIAL_RESET_DEVICE, 0, 0, 0},
    {IOCTL_SERIAL_SET_RTS, 0, 0, 0},
    {IOCTL_SERIAL_CLR_RTS, 0, 0, 0},
    {IOCTL_SERIAL_SET_XOFF, 0, 0, 0},
    {IOCTL_SERIAL_SET_XON, 0, 0, 0},
    {IOCTL_SERIAL_GET_WAIT_MASK, 0, 4, 4},
    {IOCTL_SERIAL_SET_WAIT_MASK, 4, 0, 0},
    {IOCTL_SERIAL_PURGE, 4, 0, 0},
    {IOCTL_SERIAL_GET_BAUD_RATE, 0, 4, 4},
    {IOCTL_SERIAL_GET_LINE_CONTROL, 0, 3, 3},
    {IOCTL_SERIAL_GET_CHARS, 0, 6, 6},
    {IOCTL_SERIAL_SET_CHARS, 6, 0, 0},
    {IOCTL_SERIAL_GET_HANDFLOW, 0, 16, 16},
    {IOCTL_SERIAL_SET_HANDFLOW, 16, 0, 0},
    {IOCTL_SERIAL_GET_MODEMSTATUS, 0, 4, 4},
    {IOCTL_SERIAL_GET_COMMSTATUS, 0, 18, 18},
    {IOCTL_SERIAL_XOFF_COUNTER, 0, 0, 0},
    {IOCTL_SERIAL_GET_PROPERTIES, 0, 62, 62},
    {IOCTL_SERIAL_GET_DTRRTS, 0, 4, 4},
    {IOCTL_SERIAL_LSRMST_INSERT, 1, 0, 0},
    {IOCTL_SERIAL_CONFIG_SIZE, 0, 4, 4},
    {IOCTL_SERIAL_GET_STATS, 0, 24, 24},
    {IOCTL_SERIAL_CLEAR_STATS, 0, 0, 0},
}};

TEST_F(SerialRequestBuffers, ShortBuffersAreRefusedAndExactOnesServed) {
  WithPort([](HANDLE port) {
    for (const Sizes& r : kRequests) {
      SCOPED_TRACE(::testing::Message() << std::hex << r.code);
      std::vector<UCHAR> out(r.output + 8, 0xEE);
      if (r.input > 0) {
        const std::vector<UCHAR> in = ValidInput(r.code, r.input);
        const ControlResult shorter = Control(port, r.code, in.data(), r.input - 1, out.data(), r.output);
        EXPECT_EQ(shorter.error, ErrorFor(STATUS_BUFFER_TOO_SMALL));
        EXPECT_EQ(shorter.returned, 0u);
      }
      if (r.output > 0) {
        const std::vector<UCHAR> in = ValidInput(r.code, r.input);
        const ControlResult shorter = Control(port, r.code, in.data(), r.input, out.data(), r.output - 1);
        EXPECT_EQ(shorter.error, ErrorFor(STATUS_BUFFER_TOO_SMALL));
        EXPECT_EQ(shorter.returned, 0u);
      }
      const std::vector<UCHAR> in = ValidInput(r.code, r.input);
      const ControlResult exact = Control(port, r.code, in.data(), r.input, out.data(), r.output);
      EXPECT_EQ(exact.error, 0u);
      EXPECT_EQ(exact.returned, r.information);
      // A larger buffer is served the same way and gets no more.
      std::vector<UCHAR> larger_in = ValidInput(r.code, r.input + 8);
      const ControlResult larger =
          Control(port, r.code, larger_in.data(), r.input + 8, out.data(), r.output + 8);
      if (r.code == IOCTL_SERIAL_IMMEDIATE_CHAR) {
        EXPECT_EQ(larger.error, ErrorFor(STATUS_BUFFER_TOO_SMALL));
      } else {
        EXPECT_EQ(larger.error, 0u);
        EXPECT_EQ(larger.returned, r.information);
      }
    }
  });
}

TEST_F(SerialRequestBuffers, ImmediateCharacterTakesExactlyOneByte) {
  WithPort([](HANDLE port) {
    const UCHAR two[2] = {'A', 'B'};
    EXPECT_EQ(Control(port, IOCTL_SERIAL_IMMEDIATE_CHAR, two, 2, nullptr, 0).error,
              ErrorFor(STATUS_BUFFER_TOO_SMALL));
    EXPECT_EQ(Control(port, IOCTL_SERIAL_IMMEDIATE_CHAR, two, 1, nullptr, 0).error, 0u);
  });
}

TEST_F(SerialRequestBuffers, RefusedPortCallsGiveInvalidParameter) {
  struct Case {
    ULONG code;
    std::vector<UCHAR> input;
  };
  const std::vector<Case> cases = {
      {IOCTL_SERIAL_SET_LINE_CONTROL, {0, 0, 9}},  // 9 data bits
      {IOCTL_SERIAL_SET_LINE_CONTROL, {3, 0, 8}},  // stop bits code 3
      {IOCTL_SERIAL_SET_LINE_CONTROL, {0, 5, 8}},  // parity code 5
      {IOCTL_SERIAL_PURGE, {0, 0, 0, 0}},
      {IOCTL_SERIAL_PURGE, {0x10, 0, 0, 0}},
      {IOCTL_SERIAL_PURGE, {0x0F, 0x01, 0, 0}},
  };
  WithPort([&](HANDLE port) {
    for (const Case& c : cases) {
      SCOPED_TRACE(::testing::Message() << std::hex << c.code << " " << int{c.input[0]});
      EXPECT_EQ(Control(port, c.code, c.input.data(), static_cast<DWORD>(c.input.size()), nullptr, 0)
                    .error,
                ErrorFor(STATUS_INVALID_PARAMETER));
    }
    SERIAL_LINE_CONTROL line{};
    ASSERT_EQ(Control(port, IOCTL_SERIAL_GET_LINE_CONTROL, nullptr, 0, &line, sizeof line).error, 0u);
    EXPECT_EQ(line.WordLength, 8) << "a refused setting leaves the port as it was";
  });
}

// What the DSP device answers for `code` sent to it directly by a kernel thread.
NTSTATUS LowerStatus(ULONG code) {
  auto& extension = *static_cast<SerialDeviceExtension*>(ctl_globals().serial->DeviceExtension);
  KEVENT done;
  KeInitializeEvent(&done, NotificationEvent, FALSE);
  IO_STATUS_BLOCK block{};
  UCHAR buffer[64] = {};
  PIRP irp = IoBuildDeviceIoControlRequest(code, extension.lower, buffer, sizeof buffer, buffer,
                                           sizeof buffer, FALSE, &done, &block);
  NTSTATUS status = IoCallDriver(extension.lower, irp);
  if (status == STATUS_PENDING) {
    KeWaitForSingleObject(&done, Executive, KernelMode, FALSE, nullptr);
    status = block.Status;
  }
  return status;
}

TEST_F(SerialRequestBuffers, UnknownCodesGoDownToTheDataPump) {
  BootCtl();
  const std::array<ULONG, 4> codes{IOCTL_SERIAL_GET_COMMCONFIG, IOCTL_SERIAL_SET_COMMCONFIG,
                                   SerialControlCode(0x30), 0x2A0004};
  std::vector<NTSTATUS> lower;
  RunOn([&] {
    for (ULONG code : codes) lower.push_back(LowerStatus(code));
  });
  WithDevice(u"COM1", [&](HANDLE port) {
    for (std::size_t i = 0; i < codes.size(); ++i) {
      SCOPED_TRACE(::testing::Message() << std::hex << codes[i]);
      UCHAR buffer[64] = {};
      EXPECT_EQ(Control(port, codes[i], buffer, sizeof buffer, buffer, sizeof buffer).error,
                ErrorFor(lower[i]));
    }
  });
}

TEST_F(SerialRequestBuffers, TheStatisticsDeviceDoesNotServeCodesYet) {
  BootCtl();
  WithDevice(u"MdmPerfMon2", [](HANDLE device) {
    for (ULONG code : {IOCTL_SERIAL_GET_STATS, IOCTL_SERIAL_GET_BAUD_RATE, 0x2A0004u}) {
      UCHAR buffer[24] = {};
      EXPECT_EQ(Control(device, code, nullptr, 0, buffer, sizeof buffer).error,
                ErrorFor(STATUS_INVALID_DEVICE_REQUEST))
          << std::hex << code;
    }
  });
}

}  // namespace
}  // namespace vxctl::testing
