#include "platform/reg/registry.h"

#include <system_error>

#include "platform/nt/ntstatus.h"
#include "platform/reg/valueinfo.h"

namespace plat::reg {

std::optional<LoadError> Registry::Load(std::string_view seedName, std::string_view seedText,
                                        const std::filesystem::path& stateFile) {
  Hive seed;
  if (auto error = ParseHiveText(seedName, seedText, HiveSource::kSeed, seed)) return error;
  Hive loaded;
  ParseHiveText(seedName, seedText, HiveSource::kSeed, loaded);
  std::error_code missing;
  if (!stateFile.empty() &&
      std::filesystem::exists(std::filesystem::symlink_status(stateFile, missing))) {
    std::string text;
    if (auto error = ReadHiveFile(stateFile, &text)) return error;
    if (auto error = ParseHiveText(stateFile.string(), text, HiveSource::kState, loaded)) {
      return error;
    }
  }
  hive_ = std::move(loaded);
  seed_ = std::move(seed);
  state_.reset();
  if (!stateFile.empty()) state_.emplace(stateFile);
  return std::nullopt;
}

template <typename Undo>
NTSTATUS Registry::WriteThrough(const Key& changed, Undo undo) {
  if (changed.is_volatile() || !state_ || state_->Write(StateText())) {
    return STATUS_SUCCESS;
  }
  undo();
  return STATUS_REGISTRY_IO_FAILED;
}

NTSTATUS Registry::OpenKey(const Key* base, std::u16string_view path,
                           std::shared_ptr<Key>* key) const {
  return hive_.Open(base, path, key);
}

NTSTATUS Registry::CreateKey(const Key* base, std::u16string_view path, ULONG options,
                             std::shared_ptr<Key>* key, ULONG* disposition) {
  if ((options & ~REG_OPTION_VOLATILE) != 0) return STATUS_INVALID_PARAMETER;
  std::shared_ptr<Key> result;
  bool created = false;
  NTSTATUS status =
      hive_.Create(base, path, (options & REG_OPTION_VOLATILE) != 0, &result, &created);
  if (status != STATUS_SUCCESS) return status;
  if (created) {
    status = WriteThrough(*result, [&] { hive_.Delete(*result); });
    if (status != STATUS_SUCCESS) return status;
  }
  *key = std::move(result);
  if (disposition != nullptr)
    *disposition = created ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
  return STATUS_SUCCESS;
}

NTSTATUS Registry::DeleteKey(Key& key) {
  Key* const parent = key.parent();
  const std::shared_ptr<Key> owner = parent ? parent->FindSubkey(key.name()) : nullptr;
  const NTSTATUS status = hive_.Delete(key);
  if (status != STATUS_SUCCESS) return status;
  return WriteThrough(key, [&] { hive_.Restore(*parent, owner); });
}

NTSTATUS Registry::SetValue(Key& key, std::u16string_view name, ULONG type,
                            std::span<const UCHAR> data) {
  const Value* existing = key.FindValue(name);
  const std::optional<Value> old = existing ? std::optional<Value>(*existing) : std::nullopt;
  const NTSTATUS status = hive_.SetValue(key, name, type, data);
  if (status != STATUS_SUCCESS) return status;
  return WriteThrough(key, [&] { hive_.RestoreValue(key, name, old ? &*old : nullptr); });
}

NTSTATUS Registry::DeleteValue(Key& key, std::u16string_view name) {
  const Value* existing = key.FindValue(name);
  const std::optional<Value> old = existing ? std::optional<Value>(*existing) : std::nullopt;
  const NTSTATUS status = hive_.DeleteValue(key, name);
  if (status != STATUS_SUCCESS) return status;
  return WriteThrough(key, [&] { hive_.RestoreValue(key, name, &*old); });
}

NTSTATUS Registry::QueryValue(const Key& key, std::u16string_view name,
                              KEY_VALUE_INFORMATION_CLASS infoClass, PVOID buffer, ULONG length,
                              ULONG* resultLength) const {
  if (key.deleted()) return STATUS_KEY_DELETED;
  const Value* value = key.FindValue(name);
  if (value == nullptr) return STATUS_OBJECT_NAME_NOT_FOUND;
  return QueryValueInformation(*value, infoClass, buffer, length, resultLength);
}

}  // namespace plat::reg
