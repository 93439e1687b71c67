// The text form of a hive, used for seeds and state files.
//
//   # comment
//   [\Registry\Machine\SOFTWARE\Vendor]
//   "Name"=sz:"text with \"escapes\" and \u000a"
//   "Count"=dword:0x0000002a
//   "Blob"=binary:01 02 ff
//   "List"=multi_sz:"one","two"
//
// A key line names a key by its full path; the value lines below it belong
// to it. Types are none, sz, expand_sz, binary, dword, multi_sz or type(N).
// Data is written in the first form that holds it exactly: dword as 0x and
// eight hex digits, terminated strings and string lists quoted (UTF-8, with
// \\, \" and \uXXXX escapes), anything else as hex bytes. Writing lists keys
// and values in folded-name order, so the bytes depend only on the content.
//
// A state file is a layer over the seed: it holds what differs from it, and
// deletions as tombstones, which only state files may hold:
//
//   [-\Registry\Machine\SOFTWARE\Vendor\Gone]   the key and all below it
//   "Removed"=-                                 the value, under a key line
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "platform/reg/hive.h"

namespace plat::reg {

inline constexpr std::size_t kMaxHiveFileBytes = std::size_t{64} << 20;

struct LoadError {
  std::string file;
  int line = 0;  // 0 when the whole file is at fault
  std::string message;
  // "file:line: message"
  std::string Text() const;
};

// Where text comes from: a seed may fill \Registry\Machine\HARDWARE (whose
// keys are volatile); a state file holds only non-volatile keys.
enum class HiveSource { kSeed, kState };

// The non-volatile keys and values of the hive.
std::string WriteHiveText(const Hive& hive);

// The layer that turns base into hive: the non-volatile keys and values of
// hive that base lacks or holds otherwise, and tombstones for the
// non-volatile keys and values of base that hive lacks.
std::string WriteHiveLayer(const Hive& hive, const Hive& base);

// Adds the keys and values of text to hive; a state file's tombstones delete
// from it (a tombstone for something hive lacks changes nothing). On an
// error hive is half changed; callers parse into a hive of their own and
// keep it only on success.
std::optional<LoadError> ParseHiveText(std::string_view fileName, std::string_view text,
                                       HiveSource source, Hive& hive);

// The content of a hive or state file: a regular file of at most 64 MiB
// (never more than that and one byte is read).
std::optional<LoadError> ReadHiveFile(const std::filesystem::path& path, std::string* text);

}  // namespace plat::reg
