// The attachment to the data pump's DSP device and the start handshake:
// IOCTL_MODEM_START carries ntdrv_dsp_callback in and the DspContext out;
// the register page inside the context's host interface is then bound to
// the link.
#include <cstring>

#include "afe/windows/afe_contract.h"
#include "layer2/corecode/mt/dsp/dsp_link.h"
#include "layer2/corecode/mt/frame/frame.h"

namespace vxctl {

NTSTATUS ntdrv_attach_and_start(SerialDeviceExtension& e) {
  UNICODE_STRING dsp;
  RtlInitUnicodeString(&dsp, kDspDeviceName);
  if (!NT_SUCCESS(IoAttachDevice(e.device, &dsp, &e.lower))) {
    e.lower = nullptr;
    return STATUS_UNSUCCESSFUL;
  }
  std::uint8_t in[afe::kStartBufferBytes] = {};
  std::uint8_t out[afe::kStartBufferBytes] = {};
  const pump::ControllerCallback callback = ntdrv_dsp_callback;
  std::memcpy(in, &callback, sizeof in);
  KEVENT done;
  KeInitializeEvent(&done, NotificationEvent, FALSE);
  IO_STATUS_BLOCK status_block{};
  PIRP irp = IoBuildDeviceIoControlRequest(afe::IOCTL_MODEM_START, e.lower, in, sizeof in, out,
                                           sizeof out, FALSE, &done, &status_block);
  if (irp == nullptr) return STATUS_UNSUCCESSFUL;
  irp->IoStatus.Information = 0;
  NTSTATUS status = IoCallDriver(e.lower, irp);
  if (status == STATUS_PENDING) {
    KeWaitForSingleObject(&done, Executive, KernelMode, FALSE, nullptr);
    status = status_block.Status;
  }
  if (!NT_SUCCESS(status) || status_block.Information < sizeof out) return STATUS_UNSUCCESSFUL;
  pump::DspContext* context = nullptr;
  std::memcpy(&context, out, sizeof context);
  if (context == nullptr || context->host == nullptr) return STATUS_UNSUCCESSFUL;
  e.dsp_context = context;
  e.host = context->host;
  e.register_page = &e.host->comram;
  dsp_set_comram(e.register_page);
  dsp_set_dsp_context(context);
  return STATUS_SUCCESS;
}

}  // namespace vxctl
