// One machine's handle table. A handle is a multiple of 4, never 0; a new
// handle takes the lowest free number. Each entry holds a referenced object,
// the access the handle grants and whether user or kernel code opened it.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "platform/ex/ob.h"
#include "platform/ke/kernel.h"

namespace plat::ex {

struct HandleEntry {
  PVOID object = nullptr;  // null while the number is free or only reserved
  ACCESS_MASK access = 0;
  KPROCESSOR_MODE opener = KernelMode;
  bool reserved = false;
};

class HandleTable {
 public:
  static constexpr std::size_t kDefaultCapacity = 65536;

  HandleTable() = default;
  // Drops the references of the handles still open.
  ~HandleTable();
  HandleTable(const HandleTable&) = delete;
  HandleTable& operator=(const HandleTable&) = delete;

  // Opens a handle; it takes over one reference the caller holds on object.
  NTSTATUS Open(PVOID object, ACCESS_MASK access, KPROCESSOR_MODE opener, HANDLE* handle);
  // Open in two steps, for an object whose making lets other threads run
  // (so the table cannot fill up in between): hold a number, then give it
  // its object, or release it unused.
  NTSTATUS Reserve(HANDLE* handle);
  void Fill(HANDLE handle, PVOID object, ACCESS_MASK access, KPROCESSOR_MODE opener);
  void Release(HANDLE handle);

  // The entry of an open handle, else null.
  const HandleEntry* Find(HANDLE handle) const;
  // Removes an open handle, tells the object's type (its close_handle) and
  // returns the object, whose reference passes to the caller; null when the
  // handle is not open.
  PVOID Close(HANDLE handle);

  std::size_t open() const { return used_; }
  // Fault knob: the most numbers in use at once; a full table refuses new
  // handles with STATUS_INSUFFICIENT_RESOURCES.
  void SetCapacity(std::size_t handles) { capacity_ = handles; }
  // "0x4 Thread (kernel, access 0x1f03ff)" per open handle, lowest first.
  std::vector<std::string> Describe() const;

 private:
  // The entry index of a handle, or entries_.size() for a number never given.
  std::size_t Index(HANDLE handle) const;

  std::vector<HandleEntry> entries_;  // handle h at index h / 4 - 1
  std::size_t used_ = 0;              // open and reserved
  std::size_t capacity_ = kDefaultCapacity;
};

// The machine's handle table, made on first use. The machine's Shutdown then
// fails on handles still open, naming each.
HandleTable& HandlesOf(ke::Kernel& kernel);

// For the kernel's own services (the Zw routines, whose callers are kernel
// code): the entry of an open handle; a handle that is not open is fatal,
// naming the service.
const HandleEntry& RequireKernelHandle(ke::Kernel& kernel, HANDLE handle, const char* service);
// The same, then a reference to its object when it has the given type (any
// type when null), else STATUS_OBJECT_TYPE_MISMATCH.
NTSTATUS ReferenceKernelHandle(HANDLE handle, POBJECT_TYPE type, const char* service,
                               PVOID* object);

// Closes a handle for user-mode code: STATUS_INVALID_HANDLE when it is not
// open or kernel code opened it.
NTSTATUS CloseUserHandle(HANDLE handle);

}  // namespace plat::ex
