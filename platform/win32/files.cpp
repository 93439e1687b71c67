#include "platform/win32/files.h"

#include <string>

#include "platform/ex/handletable.h"
#include "platform/io/files.h"
#include "platform/nt/ntstatus.h"
#include "platform/win32/user_call.h"

namespace plat::win32 {
namespace {

constexpr std::u16string_view kLocalDevice = u"\\\\.\\";
constexpr std::u16string_view kGlobalDos = u"\\??\\";

// The file of a user handle, referenced; null with the last error set.
class FileOfHandle {
 public:
  explicit FileOfHandle(HANDLE handle) {
    PVOID object = nullptr;
    const NTSTATUS status =
        ObReferenceObjectByHandle(handle, 0, &io::kFileObjectType, UserMode, &object, nullptr);
    if (status != STATUS_SUCCESS) {
      LastError() = RtlNtStatusToDosError(status);
      return;
    }
    file_ = static_cast<PFILE_OBJECT>(object);
  }
  ~FileOfHandle() {
    if (file_ != nullptr) ObDereferenceObject(file_);
  }
  FileOfHandle(const FileOfHandle&) = delete;
  FileOfHandle& operator=(const FileOfHandle&) = delete;

  PFILE_OBJECT get() const { return file_; }

 private:
  PFILE_OBJECT file_ = nullptr;
};

// The result of a transfer as the calls report it.
BOOL Report(const io::Transfer& result, LPDWORD bytes) {
  if (bytes != nullptr && !NT_ERROR(result.status)) *bytes = static_cast<DWORD>(result.information);
  if (NT_SUCCESS(result.status)) return TRUE;
  return Fail(RtlNtStatusToDosError(result.status), FALSE);
}

// The checks every transfer makes before it reaches the file.
bool Acceptable(const void* buffer, DWORD bytes, LPOVERLAPPED overlapped) {
  if (overlapped != nullptr) return Fail(ERROR_NOT_SUPPORTED, false);
  if (buffer == nullptr && bytes != 0) return Fail(ERROR_NOACCESS, false);
  return true;
}

std::span<std::byte> Writable(LPVOID buffer, DWORD bytes) {
  return {static_cast<std::byte*>(buffer), buffer != nullptr ? bytes : 0};
}

std::span<const std::byte> Readable(LPCVOID buffer, DWORD bytes) {
  return {static_cast<const std::byte*>(buffer), buffer != nullptr ? bytes : 0};
}

// A read or write: checks, the handle's file, the request, the report.
template <typename Send>
BOOL Transfer(const char* call, HANDLE file, const void* buffer, DWORD bytes, LPDWORD count,
              LPOVERLAPPED overlapped, Send send) {
  RequireUserThread(call);
  if (count != nullptr) *count = 0;
  if (!Acceptable(buffer, bytes, overlapped)) return FALSE;
  const FileOfHandle opened(file);
  if (opened.get() == nullptr) return FALSE;
  return Report(send(opened.get()), count);
}

}  // namespace
}  // namespace plat::win32

using namespace plat::win32;

HANDLE CreateFile(LPCWSTR fileName, DWORD desiredAccess, DWORD /*shareMode*/,
                  LPSECURITY_ATTRIBUTES /*attributes*/, DWORD /*creationDisposition*/,
                  DWORD flagsAndAttributes, HANDLE templateFile) {
  plat::ke::Kernel& kernel = RequireUserThread("CreateFile");
  if (fileName == nullptr) return Fail(ERROR_INVALID_PARAMETER, INVALID_HANDLE_VALUE);
  if ((flagsAndAttributes & FILE_FLAG_OVERLAPPED) != 0 || templateFile != 0) {
    return Fail(ERROR_NOT_SUPPORTED, INVALID_HANDLE_VALUE);
  }
  const std::u16string_view name(fileName);
  if (!name.starts_with(kLocalDevice)) return Fail(ERROR_FILE_NOT_FOUND, INVALID_HANDLE_VALUE);
  const std::u16string device =
      std::u16string(kGlobalDos) + std::u16string(name.substr(kLocalDevice.size()));

  plat::ex::HandleTable& handles = plat::ex::HandlesOf(kernel);
  HANDLE handle = 0;
  NTSTATUS status = handles.Reserve(&handle);
  PFILE_OBJECT file = nullptr;
  if (status == STATUS_SUCCESS) {
    status = plat::io::OpenDevice(device, UserMode, &file);
    if (status != STATUS_SUCCESS) handles.Release(handle);
  }
  if (status != STATUS_SUCCESS) return Fail(RtlNtStatusToDosError(status), INVALID_HANDLE_VALUE);
  handles.Fill(handle, file, desiredAccess, UserMode);
  return handle;
}

BOOL ReadFile(HANDLE file, LPVOID buffer, DWORD bytesToRead, LPDWORD bytesRead,
              LPOVERLAPPED overlapped) {
  return Transfer("ReadFile", file, buffer, bytesToRead, bytesRead, overlapped,
                  [&](PFILE_OBJECT opened) {
                    return plat::io::FileRead(opened, UserMode, Writable(buffer, bytesToRead));
                  });
}

BOOL WriteFile(HANDLE file, LPCVOID buffer, DWORD bytesToWrite, LPDWORD bytesWritten,
               LPOVERLAPPED overlapped) {
  return Transfer("WriteFile", file, buffer, bytesToWrite, bytesWritten, overlapped,
                  [&](PFILE_OBJECT opened) {
                    return plat::io::FileWrite(opened, UserMode, Readable(buffer, bytesToWrite));
                  });
}

BOOL DeviceIoControl(HANDLE device, DWORD ioControlCode, LPVOID inBuffer, DWORD inBufferSize,
                     LPVOID outBuffer, DWORD outBufferSize, LPDWORD bytesReturned,
                     LPOVERLAPPED overlapped) {
  RequireUserThread("DeviceIoControl");
  if (bytesReturned == nullptr) return Fail(ERROR_INVALID_PARAMETER, FALSE);
  *bytesReturned = 0;
  if (!Acceptable(inBuffer, inBufferSize, overlapped) ||
      !Acceptable(outBuffer, outBufferSize, nullptr)) {
    return FALSE;
  }
  const FileOfHandle opened(device);
  if (opened.get() == nullptr) return FALSE;
  return Report(plat::io::FileDeviceControl(opened.get(), UserMode, ioControlCode,
                                            Readable(inBuffer, inBufferSize),
                                            Writable(outBuffer, outBufferSize)),
                bytesReturned);
}

BOOL FlushFileBuffers(HANDLE file) {
  RequireUserThread("FlushFileBuffers");
  const FileOfHandle opened(file);
  if (opened.get() == nullptr) return FALSE;
  return Report(plat::io::FileFlush(opened.get(), UserMode), nullptr);
}

BOOL CancelIoEx(HANDLE file, LPOVERLAPPED overlapped) {
  RequireUserThread("CancelIoEx");
  if (overlapped != nullptr) return Fail(ERROR_NOT_SUPPORTED, FALSE);
  const FileOfHandle opened(file);
  if (opened.get() == nullptr) return FALSE;
  if (plat::io::CancelFileRequests(opened.get()) == 0) return Fail(ERROR_NOT_FOUND, FALSE);
  return TRUE;
}
