// A machine's registry service: the registry the routines of regroutines.h
// act on, and the fault knobs of those routines (by routine name).
//
//   auto& service = plat::reg::RegistryOf(machine);
//   service.registry.Load("seed", seedText, statePath);
//   service.faults.FailNth("ZwOpenKey", 1, STATUS_OBJECT_NAME_NOT_FOUND);
#pragma once

#include <memory>

#include "platform/ex/callfaults.h"
#include "platform/ke/kernel.h"
#include "platform/ke/object.h"
#include "platform/reg/registry.h"

namespace plat::reg {

struct RegistryService {
  Registry registry;
  ex::CallFaults faults;
};

RegistryService& RegistryOf(ke::Kernel& machine);

// Key objects: what a key handle refers to.
extern const ke::ObjectType kKeyObjectType;
struct KeyObject {
  std::shared_ptr<Key> key;
};

}  // namespace plat::reg
