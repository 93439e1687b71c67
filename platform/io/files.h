// File objects: one per open of a device, and the requests made on them.
// This is the kernel side of the user-mode calls (CreateFile, ReadFile,
// DeviceIoControl, CloseHandle...); IoAttachDevice uses it for its own open.
//
// An open sends CREATE to the top of the named device's stack; that device
// receives every later request of the file. Dropping the last handle sends
// CLEANUP; the CLOSE follows when the last reference goes, and a request
// still with a driver holds one, so a driver that keeps a request pending
// at cleanup sees the close only after the request ends. A handle of the
// machine's table (the user's CreateFile) holds a file as CloseFile's
// caller does; closing it drops the file's handle the same way.
#pragma once

#include <cstddef>
#include <span>
#include <string_view>
#include <vector>

#include "platform/io/iodefs.h"
#include "platform/ke/object.h"

namespace plat::io {

// The type of file objects in the handle table.
extern const ke::ObjectType kFileObjectType;

struct Transfer {
  NTSTATUS status;
  ULONG_PTR information;
};

// Opens the device that `name` leads to (through links); the file holds one
// handle. STATUS_OBJECT_NAME_NOT_FOUND for no such name, STATUS_ACCESS_DENIED
// when an exclusive device is open already, STATUS_NO_SUCH_DEVICE while the
// device is still initialising, or the status the stack failed the create with.
NTSTATUS OpenDevice(std::u16string_view name, KPROCESSOR_MODE mode, PFILE_OBJECT* file);
// Drops one handle of the file: the last one sends CLEANUP.
void CloseFile(PFILE_OBJECT file, KPROCESSOR_MODE mode);

// Buffered requests, issued by the calling thread, which waits until the
// request is completed. Output receives Information bytes unless the status
// is an error. A request on a deleted device fails with STATUS_DELETE_PENDING
// and reaches no driver.
Transfer FileRead(PFILE_OBJECT file, KPROCESSOR_MODE mode, std::span<std::byte> output);
Transfer FileWrite(PFILE_OBJECT file, KPROCESSOR_MODE mode, std::span<const std::byte> input);
Transfer FileDeviceControl(PFILE_OBJECT file, KPROCESSOR_MODE mode, ULONG code,
                           std::span<const std::byte> input, std::span<std::byte> output);
Transfer FileFlush(PFILE_OBJECT file, KPROCESSOR_MODE mode);

// Cancels (IoCancelIrp) every request of the file still with a driver,
// oldest first, whichever thread issued it; returns how many there were.
std::size_t CancelFileRequests(PFILE_OBJECT file);

// Requests of the file still with a driver, oldest first.
std::vector<PIRP> PendingRequests(PFILE_OBJECT file);

}  // namespace plat::io
