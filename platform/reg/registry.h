// One machine's registry: the key tree, loaded from a seed text and an
// optional state file, with every change of a non-volatile key or value
// written through to the state file. The state file is a layer over the
// seed: it holds what differs from it, so keys a newer seed adds show
// through, and deleting the file restores the seed at the next load.
//
// The operations take and give keys, not handles, and report the statuses
// of the Zw registry routines built on them.
#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "platform/reg/hive.h"
#include "platform/reg/hivetext.h"
#include "platform/reg/statefile.h"

namespace plat::reg {

class Registry {
 public:
  Registry() = default;

  // Replaces the whole content before any key is in use: the seed, then,
  // when stateFile names an existing file, its layer over the seed (a state
  // file that copies whole keys changes only what differs). A malformed
  // file leaves the registry as it was. With a stateFile, later changes are
  // written to it.
  std::optional<LoadError> Load(std::string_view seedName, std::string_view seedText,
                                const std::filesystem::path& stateFile = {});

  const Hive& hive() const { return hive_; }
  // What the state file holds for the present content.
  std::string StateText() const { return WriteHiveLayer(hive_, seed_); }
  // The state file, or null when changes stay in memory.
  StateFile* state_file() { return state_ ? &*state_ : nullptr; }

  NTSTATUS OpenKey(const Key* base, std::u16string_view path, std::shared_ptr<Key>* key) const;
  // options: REG_OPTION_NON_VOLATILE or REG_OPTION_VOLATILE.
  NTSTATUS CreateKey(const Key* base, std::u16string_view path, ULONG options,
                     std::shared_ptr<Key>* key, ULONG* disposition);
  NTSTATUS DeleteKey(Key& key);
  NTSTATUS SetValue(Key& key, std::u16string_view name, ULONG type, std::span<const UCHAR> data);
  NTSTATUS DeleteValue(Key& key, std::u16string_view name);
  NTSTATUS QueryValue(const Key& key, std::u16string_view name,
                      KEY_VALUE_INFORMATION_CLASS infoClass, PVOID buffer, ULONG length,
                      ULONG* resultLength) const;

 private:
  template <typename Undo>
  NTSTATUS WriteThrough(const Key& changed, Undo undo);

  Hive hive_;
  Hive seed_;  // the seed as loaded, which the state file is a layer over
  std::optional<StateFile> state_;
};

}  // namespace plat::reg
