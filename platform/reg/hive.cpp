#include "platform/reg/hive.h"

#include <vector>

#include "platform/nt/ntstatus.h"

namespace plat::reg {
namespace {

bool IsHighSurrogate(char16_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool IsLowSurrogate(char16_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

std::size_t Depth(const Key& key) {
  std::size_t depth = 0;
  for (const Key* k = key.parent(); k != nullptr; k = k->parent()) ++depth;
  return depth;
}

}  // namespace

std::u16string FoldName(std::u16string_view name) {
  std::u16string folded(name);
  for (char16_t& c : folded) c = RtlUpcaseUnicodeChar(c);
  return folded;
}

Key::Key(std::u16string name, bool isVolatile, Key* parent)
    : name_(std::move(name)), volatile_(isVolatile), parent_(parent) {}

std::u16string Key::Path() const {
  std::vector<const Key*> chain;
  for (const Key* k = this; k != nullptr; k = k->parent_) chain.push_back(k);
  std::u16string path;
  for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
    path += u'\\';
    path += (*it)->name_;
  }
  return path;
}

const Value* Key::FindValue(std::u16string_view name) const {
  const auto it = values_.find(FoldName(name));
  return it == values_.end() ? nullptr : &it->second;
}

std::shared_ptr<Key> Key::FindSubkey(std::u16string_view name) const {
  const auto it = subkeys_.find(FoldName(name));
  return it == subkeys_.end() ? nullptr : it->second;
}

Hive::Hive() : root_(std::make_shared<Key>(u"Registry", false, nullptr)) {
  Key& machine = Child(*root_, u"Machine");
  Child(*root_, u"User");
  Key& hardware = Child(machine, u"HARDWARE");
  hardware.volatile_ = true;
}

Key& Hive::Child(Key& parent, std::u16string_view name) const {
  auto& slot = parent.subkeys_[FoldName(name)];
  if (!slot) slot = std::make_shared<Key>(std::u16string(name), parent.volatile_, &parent);
  return *slot;
}

Key& Hive::machine() const { return *root_->FindSubkey(u"Machine"); }

Key& Hive::hardware() const { return *machine().FindSubkey(u"HARDWARE"); }

bool Hive::IsValidKeyName(std::u16string_view name) {
  if (name.empty() || name.size() > kMaxKeyNameUnits) return false;
  for (std::size_t i = 0; i < name.size(); ++i) {
    const char16_t c = name[i];
    if (c < 0x20 || c == u'\\') return false;
    if (IsHighSurrogate(c)) {
      if (i + 1 == name.size() || !IsLowSurrogate(name[i + 1])) return false;
      ++i;
    } else if (IsLowSurrogate(c)) {
      return false;
    }
  }
  return true;
}

NTSTATUS Hive::Walk(const Key* base, std::u16string_view path, bool allButLast, Key** parent,
                    std::u16string_view* last) const {
  Key* key = const_cast<Key*>(base);
  if (base == nullptr) {
    constexpr std::u16string_view kRoot = u"\\Registry";
    if (path.empty() || path[0] != u'\\') return STATUS_OBJECT_PATH_SYNTAX_BAD;
    if (path.size() < kRoot.size() || FoldName(path.substr(0, kRoot.size())) != u"\\REGISTRY" ||
        (path.size() > kRoot.size() && path[kRoot.size()] != u'\\')) {
      return STATUS_OBJECT_NAME_NOT_FOUND;
    }
    key = root_.get();
    path.remove_prefix(kRoot.size());
    if (!path.empty()) {
      path.remove_prefix(1);
      if (path.empty()) return STATUS_OBJECT_NAME_INVALID;
    }
  } else {
    if (base->deleted_) return STATUS_KEY_DELETED;
    if (!path.empty() && path[0] == u'\\') return STATUS_OBJECT_PATH_SYNTAX_BAD;
  }

  *last = {};
  while (!path.empty()) {
    const std::size_t cut = path.find(u'\\');
    const std::u16string_view name = path.substr(0, cut);
    if (!IsValidKeyName(name)) return STATUS_OBJECT_NAME_INVALID;
    path.remove_prefix(cut == std::u16string_view::npos ? path.size() : cut + 1);
    if (cut != std::u16string_view::npos && path.empty()) return STATUS_OBJECT_NAME_INVALID;
    if (allButLast && path.empty()) {
      *last = name;
      break;
    }
    const auto it = key->subkeys_.find(FoldName(name));
    if (it == key->subkeys_.end()) return STATUS_OBJECT_NAME_NOT_FOUND;
    key = it->second.get();
  }
  *parent = key;
  return STATUS_SUCCESS;
}

namespace {

// The owning pointer of a key that is in the tree.
std::shared_ptr<Key> Share(const std::shared_ptr<Key>& root, Key& key) {
  return key.parent() == nullptr ? root : key.parent()->FindSubkey(key.name());
}

}  // namespace

NTSTATUS Hive::Open(const Key* base, std::u16string_view path, std::shared_ptr<Key>* key) const {
  Key* found = nullptr;
  std::u16string_view unused;
  const NTSTATUS status = Walk(base, path, false, &found, &unused);
  if (status != STATUS_SUCCESS) return status;
  *key = Share(root_, *found);
  return STATUS_SUCCESS;
}

NTSTATUS Hive::Create(const Key* base, std::u16string_view path, bool isVolatile,
                      std::shared_ptr<Key>* key, bool* created) {
  Key* parent = nullptr;
  std::u16string_view name;
  const NTSTATUS status = Walk(base, path, true, &parent, &name);
  if (status != STATUS_SUCCESS) return status;
  *created = false;
  if (name.empty()) {  // the base itself
    *key = Share(root_, *parent);
    return STATUS_SUCCESS;
  }
  if (auto existing = parent->FindSubkey(name)) {
    *key = std::move(existing);
    return STATUS_SUCCESS;
  }
  if (parent == root_.get()) return STATUS_ACCESS_DENIED;
  if (parent->volatile_ && !isVolatile) return STATUS_CHILD_MUST_BE_VOLATILE;
  if (Depth(*parent) + 1 >= kMaxKeyDepth) return STATUS_OBJECT_NAME_INVALID;
  auto fresh = std::make_shared<Key>(std::u16string(name), isVolatile, parent);
  parent->subkeys_.emplace(FoldName(name), fresh);
  *key = std::move(fresh);
  *created = true;
  return STATUS_SUCCESS;
}

NTSTATUS Hive::Delete(Key& key) {
  if (key.deleted_) return STATUS_KEY_DELETED;
  const bool fixed = key.parent_ == nullptr || key.parent_ == root_.get() || &key == &hardware();
  if (fixed || !key.subkeys_.empty()) return STATUS_CANNOT_DELETE;
  // Keep the key alive through the erase: the map may hold its last owner.
  const auto owner = Share(root_, key);
  key.parent_->subkeys_.erase(FoldName(key.name_));
  key.deleted_ = true;
  key.parent_ = nullptr;  // the parent may go too; a deleted key has no place
  return STATUS_SUCCESS;
}

void Hive::Restore(Key& parent, const std::shared_ptr<Key>& key) {
  key->deleted_ = false;
  key->parent_ = &parent;
  parent.subkeys_.emplace(FoldName(key->name_), key);
}

NTSTATUS Hive::SetValue(Key& key, std::u16string_view name, ULONG type,
                        std::span<const UCHAR> data) {
  if (key.deleted_) return STATUS_KEY_DELETED;
  if (name.size() > kMaxValueNameUnits || data.size() > kMaxValueBytes) {
    return STATUS_INVALID_PARAMETER;
  }
  auto [it, inserted] = key.values_.try_emplace(FoldName(name));
  if (inserted) it->second.name = name;
  it->second.type = type;
  it->second.data.assign(data.begin(), data.end());
  return STATUS_SUCCESS;
}

NTSTATUS Hive::DeleteValue(Key& key, std::u16string_view name) {
  if (key.deleted_) return STATUS_KEY_DELETED;
  return key.values_.erase(FoldName(name)) == 1 ? STATUS_SUCCESS : STATUS_OBJECT_NAME_NOT_FOUND;
}

void Hive::RestoreValue(Key& key, std::u16string_view name, const Value* old) {
  if (old == nullptr)
    key.values_.erase(FoldName(name));
  else
    key.values_[FoldName(name)] = *old;
}

}  // namespace plat::reg
