// Reference-counted kernel objects. Each object is a header followed by its
// body; callers hold pointers to the body, as to any kernel object. The
// object manager's handles (platform/ex) and every object type (thread,
// event, timer, key, file) build on this header.
//
//   PVOID body = plat::ke::CreateObject(kernel, kMyType, sizeof(KEVENT));  // one reference
//   ObReferenceObject(body); ... ObDereferenceObject(body);  // the last one deletes it
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/nt/ntdef.h"

namespace plat::ke {

class Kernel;

// A type descriptor: constant, one per object type.
struct ObjectType {
  const char* name;
  void (*destroy)(PVOID body);  // called before the memory goes; may be null
  // Called when a handle to the object closes, before the handle's
  // reference goes (files send their cleanup here); may be null.
  void (*close_handle)(PVOID body) = nullptr;
};

// Threads are objects of this type (what PsThreadType names).
extern const ObjectType kThreadObjectType;

// Makes an object with `body_bytes` zeroed bytes and one reference, owned by `machine`.
PVOID CreateObject(Kernel& machine, const ObjectType& type, std::size_t body_bytes);

// Facts about an object; fatal when `body` is no live object.
const ObjectType& TypeOfObject(PVOID body);
LONG ReferencesOf(PVOID body);
ULONG NumberOfObject(PVOID body);
Kernel& OwnerOfObject(PVOID body);

// ---- kernel side ----
// Precedes every object's body; the body starts kHeaderBytes after it.
struct alignas(16) ObjectHeader {
  ULONG signature;
  LONG references;
  const ObjectType* type;
  Kernel* owner;
  ULONG number;
};
inline constexpr std::size_t kHeaderBytes = sizeof(ObjectHeader);
inline PVOID BodyOf(ObjectHeader* header) {
  return reinterpret_cast<std::byte*>(header) + kHeaderBytes;
}
// Frees an object's memory (machine teardown).
void ReleaseObjectMemory(ObjectHeader* header);

}  // namespace plat::ke
