// A machine's typed slot table: one object per type, made on first use and
// destroyed with the machine in reverse order of creation. Platform parts and
// drivers keep their per-machine state ("globals") here:
//
//   struct DspGlobals { ULONG run_flag = 0; KEVENT block_idle; };
//   auto& g = plat::ke::CurrentKernel().slots().Get<DspGlobals>();
#pragma once

#include <memory>
#include <typeindex>
#include <utility>
#include <vector>

#include "platform/diag/fatal.h"

namespace plat::ke {

class SlotTable {
 public:
  SlotTable() = default;
  SlotTable(const SlotTable&) = delete;
  SlotTable& operator=(const SlotTable&) = delete;
  ~SlotTable() { Clear(); }

  // The machine's T, default-constructed on first use.
  template <typename T>
  T& Get() {
    if (T* found = Find<T>()) return *found;
    return Emplace<T>();
  }

  // The machine's T, or null when none was made.
  template <typename T>
  T* Find() const {
    for (const Slot& slot : slots_) {
      if (slot.type == std::type_index(typeid(T))) return static_cast<T*>(slot.object.get());
    }
    return nullptr;
  }

  // Makes the machine's T from arguments; a second one is fatal.
  template <typename T, typename... Args>
  T& Emplace(Args&&... args) {
    if (Find<T>() != nullptr) {
      diag::Fatal("ke.slot-exists",
                  std::string("slot of type ") + typeid(T).name() + " made twice on one machine");
    }
    T* object = new T(std::forward<Args>(args)...);
    slots_.push_back(Slot{std::type_index(typeid(T)),
                          Owned(object, [](void* p) { delete static_cast<T*>(p); })});
    return *object;
  }

  // Destroys every slot, newest first.
  void Clear() {
    while (!slots_.empty()) slots_.pop_back();
  }

 private:
  using Owned = std::unique_ptr<void, void (*)(void*)>;
  struct Slot {
    std::type_index type;
    Owned object;
  };
  std::vector<Slot> slots_;  // creation order
};

}  // namespace plat::ke
