// vxctl's driver frame: its entry and unload, its three devices (the
// serial port with its COM link and SERIALCOMM value, the probe device and
// the statistics device), the attachment to the data pump's DSP device and
// the start handshake that binds the register page, and the callback
// through which the data pump notifies the controller.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>

#include "platform/ex/expool.h"
#include "platform/ex/pool.h"
#include "platform/io/io.h"
#include "platform/ke/irql.h"
#include "pump/context/dsp_context.h"
#include "pump/core/host_interface.h"

namespace vxctl {

struct PortBlock;

inline constexpr ULONG kCtlTag = plat::ex::PoolTag("Ddk ");

inline constexpr PCWSTR kSerialDevicePrefix = u"\\Device\\SerialTolvasa";
inline constexpr PCWSTR kComLinkPrefix = u"\\??\\COM";
inline constexpr PCWSTR kSerialCommKey = u"SERIALCOMM";  // under the device map
inline constexpr PCWSTR kProbeDeviceName = u"\\Device\\tolvasaprobe";
inline constexpr PCWSTR kProbeLinkName = u"\\DosDevices\\tolvasaprobe";
inline constexpr PCWSTR kPerfDeviceName = u"\\Device\\MdmPerfMon2";
inline constexpr PCWSTR kPerfLinkName = u"\\DosDevices\\MdmPerfMon2";
inline constexpr PCWSTR kDspDeviceName = u"\\Device\\VexorTolvasaDsp";

inline constexpr DEVICE_TYPE kProbeDeviceType = FILE_DEVICE_UNKNOWN;  // 0x22
inline constexpr DEVICE_TYPE kPerfDeviceType = 0x8009;
inline constexpr ULONG kSerialDeviceNumbers = 10;  // SerialTolvasa0..9
inline constexpr ULONG kComNumbers = 9;            // COM1..COM9
inline constexpr ULONG kStringBufferBytes = 514;   // 256 characters and a terminator
inline constexpr ULONG kStringBuffers = 8;
inline constexpr ULONG kParametersPathBytes = 256;

enum DeviceKind : ULONG { kSerialPortDevice = 0, kProbeDevice = 1, kStatisticsDevice = 2 };

// The serial port's extension; the probe device uses the kind, the
// accepting flag and the registry-path copy. Fields the port reads while
// it runs (notification locks, receive mark, handflow's flow replace and
// the break character) are kept in the machine's PortState.
struct SerialDeviceExtension {
  ULONG kind;
  KSPIN_LOCK locks[2];
  KSPIN_LOCK event_notification_lock;
  ULONG reserved_a;
  KSPIN_LOCK read_notification_lock;
  KSPIN_LOCK write_notification_lock;
  KSPIN_LOCK open_count_lock;
  PDEVICE_OBJECT device;
  ULONG request_counter;
  ULONG open_count;
  UCHAR removing;
  UCHAR accepting;
  PIRP current_read;
  LIST_ENTRY read_queue;
  KEVENT read_idle;
  PIRP current_write;
  LIST_ENTRY write_queue;
  KEVENT write_idle;
  ULONG wait_mask;
  PIRP pending_wait;
  KSPIN_LOCK wait_lock;
  ULONG history_mask;
  std::atomic<ULONG> event_word;  // the port records the serial events here
  PortBlock* port_handle;
  UNICODE_STRING link_name;
  PortBlock* port_block;
  pump::Comram* register_page;
  UNICODE_STRING registry_path;  // non-paged copy
  ULONG statistics[6];
  UNICODE_STRING device_name;  // also the SERIALCOMM value's name
  PDEVICE_OBJECT statistics_device;
  ULONG reserved_b;
  PDEVICE_OBJECT lower;  // the DSP device
  pump::DspContext* dsp_context;
  pump::HostInterface* host;
};

struct PerfDeviceExtension {
  ULONG kind;
  ULONG zero;
  PDEVICE_OBJECT device;
  UNICODE_STRING link_name;
  UCHAR flag;
};

// What vxctl keeps per machine beside its devices.
struct CtlGlobals {
  PDEVICE_OBJECT serial = nullptr;
  PDEVICE_OBJECT probe = nullptr;
  PDEVICE_OBJECT statistics = nullptr;
  bool serial_counted = false;  // counted in the configuration's SerialCount
};

CtlGlobals& ctl_globals();

// The machine host's image for "vxctl", loaded after vxdsp.
NTSTATUS DriverEntry(PDRIVER_OBJECT driver, PUNICODE_STRING registry_path);
void ntdrv_unload(PDRIVER_OBJECT driver);

// The serial-port device with its COM link (the preferred number when it
// is free, else the first free of COM1..COM9), "ComPort" written back and
// its SERIALCOMM value.
NTSTATUS ntdrv_create_serial_device(PDRIVER_OBJECT driver, PDEVICE_OBJECT* device,
                                    ULONG preferred_com, PCUNICODE_STRING parameters_path);
NTSTATUS ntdrv_create_probe_device(PDRIVER_OBJECT driver);
NTSTATUS ntdrv_create_perf_device(PDRIVER_OBJECT driver);
// Attaches the serial device to the DSP device and starts the data pump;
// binds the register page. STATUS_UNSUCCESSFUL on any failure.
NTSTATUS ntdrv_attach_and_start(SerialDeviceExtension& extension);

// The data pump's notification: its packet taken and dispatched, then the
// data-channel poll.
void ntdrv_dsp_callback(pump::HostInterface* host);

}  // namespace vxctl
