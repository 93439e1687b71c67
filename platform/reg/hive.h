// The key tree of one machine's registry: keys under \Registry\Machine and
// \Registry\User with case-insensitive, case-preserving names, typed values
// and volatile keys. Names are UTF-16 code units. The tree knows nothing of
// files or handles; Registry (registry.h) adds both.
#pragma once

#include <cstddef>
#include <map>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/reg/regdefs.h"

namespace plat::reg {

inline constexpr std::size_t kMaxKeyNameUnits = 255;
inline constexpr std::size_t kMaxValueNameUnits = 16383;
inline constexpr std::size_t kMaxValueBytes = std::size_t{1} << 20;
inline constexpr std::size_t kMaxKeyDepth = 512;

// Two names are the same when their folded forms are equal; folded order is
// also the order keys and values are listed and saved in.
std::u16string FoldName(std::u16string_view name);

struct Value {
  std::u16string name;  // as first created
  ULONG type = REG_NONE;
  std::vector<UCHAR> data;
  friend bool operator==(const Value&, const Value&) = default;
};

class Key {
 public:
  Key(std::u16string name, bool isVolatile, Key* parent);
  Key(const Key&) = delete;
  Key& operator=(const Key&) = delete;

  const std::u16string& name() const { return name_; }
  bool is_volatile() const { return volatile_; }
  // A deleted key stays alive while someone holds it, but serves nothing.
  bool deleted() const { return deleted_; }
  // Null for \Registry and for a deleted key.
  Key* parent() const { return parent_; }
  // "\Registry\Machine\..." with the names as created.
  std::u16string Path() const;

  const Value* FindValue(std::u16string_view name) const;
  std::shared_ptr<Key> FindSubkey(std::u16string_view name) const;
  // Both keyed and ordered by folded name.
  const std::map<std::u16string, std::shared_ptr<Key>>& subkeys() const { return subkeys_; }
  const std::map<std::u16string, Value>& values() const { return values_; }

 private:
  friend class Hive;

  std::u16string name_;
  bool volatile_;
  bool deleted_ = false;
  Key* parent_;
  std::map<std::u16string, std::shared_ptr<Key>> subkeys_;
  std::map<std::u16string, Value> values_;
};

// Statuses are those the registry routines report.
class Hive {
 public:
  // \Registry with its two roots and the volatile \Registry\Machine\HARDWARE.
  Hive();
  Hive(Hive&&) = default;
  Hive& operator=(Hive&&) = default;

  Key& root() const { return *root_; }
  Key& machine() const;
  Key& hardware() const;

  // An absolute path ("\Registry\...") when base is null, else a path below
  // base (empty for base itself).
  NTSTATUS Open(const Key* base, std::u16string_view path, std::shared_ptr<Key>* key) const;
  // Creates the last component when it is missing; the others must exist. A
  // volatile parent takes volatile children only.
  NTSTATUS Create(const Key* base, std::u16string_view path, bool isVolatile,
                  std::shared_ptr<Key>* key, bool* created);
  // A key without subkeys, and none of the four fixed keys.
  NTSTATUS Delete(Key& key);

  // Puts a deleted key back under its former parent (undoes Delete).
  void Restore(Key& parent, const std::shared_ptr<Key>& key);

  NTSTATUS SetValue(Key& key, std::u16string_view name, ULONG type, std::span<const UCHAR> data);
  NTSTATUS DeleteValue(Key& key, std::u16string_view name);
  // Undoes a change of the value: puts old back, or removes the value when
  // there was none.
  void RestoreValue(Key& key, std::u16string_view name, const Value* old);

  // Whether a name may be a key's name: 1 to 255 code units, no backslash,
  // no control character, no unpaired surrogate.
  static bool IsValidKeyName(std::u16string_view name);

 private:
  NTSTATUS Walk(const Key* base, std::u16string_view path, bool allButLast, Key** parent,
                std::u16string_view* last) const;
  Key& Child(Key& parent, std::u16string_view name) const;

  std::shared_ptr<Key> root_;
};

}  // namespace plat::reg
