#include "platform/reg/hivetext.h"

#include <algorithm>
#include <fstream>
#include <set>
#include <system_error>

#include "platform/nt/ntstatus.h"

namespace plat::reg {
namespace {

constexpr char kHex[] = "0123456789abcdef";
constexpr std::string_view kHeader =
    "# Registry state of a simulated machine: keys sorted, one value a line.\n";
constexpr std::string_view kLayerHeader =
    "# Registry state of a simulated machine: what differs from its seed, keys sorted, one value a "
    "line.\n";

struct TypeName {
  ULONG type;
  std::string_view name;
};
constexpr TypeName kTypeNames[] = {
    {REG_NONE, "none"},     {REG_SZ, "sz"},       {REG_EXPAND_SZ, "expand_sz"},
    {REG_BINARY, "binary"}, {REG_DWORD, "dword"}, {REG_MULTI_SZ, "multi_sz"},
};

constexpr std::u16string_view kRoot = u"\\REGISTRY\\";

bool IsHighSurrogate(char32_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool IsLowSurrogate(char32_t c) { return c >= 0xDC00 && c <= 0xDFFF; }
bool IsStringType(ULONG type) { return type == REG_SZ || type == REG_EXPAND_SZ; }

// ---- writing ---------------------------------------------------------------

void AppendUtf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

void AppendEscape(std::string& out, char16_t c) {
  out += "\\u";
  for (int shift = 12; shift >= 0; shift -= 4) out += kHex[(c >> shift) & 0xF];
}

// UTF-8 for text with well-formed surrogate pairs; others are escaped when
// escapeSpecials is set (quoted text) and cannot occur otherwise (key names).
void AppendText(std::string& out, std::u16string_view text, bool escapeSpecials) {
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char16_t c = text[i];
    if (IsHighSurrogate(c) && i + 1 < text.size() && IsLowSurrogate(text[i + 1])) {
      AppendUtf8(out, 0x10000 + ((char32_t{c} - 0xD800) << 10) + (text[i + 1] - 0xDC00));
      ++i;
    } else if (!escapeSpecials) {
      AppendUtf8(out, c);
    } else if (c == u'"' || c == u'\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c < 0x20 || (c >= 0x7F && c <= 0x9F) || IsHighSurrogate(c) || IsLowSurrogate(c)) {
      AppendEscape(out, c);
    } else {
      AppendUtf8(out, c);
    }
  }
}

void AppendQuoted(std::string& out, std::u16string_view text) {
  out += '"';
  AppendText(out, text, true);
  out += '"';
}

std::u16string Units(const std::vector<UCHAR>& data) {
  std::u16string units(data.size() / 2, u'\0');
  for (std::size_t i = 0; i < units.size(); ++i) {
    units[i] = static_cast<char16_t>(data[2 * i] | data[2 * i + 1] << 8);
  }
  return units;
}

// The quoted form of string data, or false when the data is not a
// terminated string (or, for lists, a terminated list of terminated strings).
bool AppendStrings(std::string& out, const Value& value) {
  const bool list = value.type == REG_MULTI_SZ;
  if (!(IsStringType(value.type) || list) || value.data.size() % 2 != 0) return false;
  const std::u16string units = Units(value.data);
  if (units.empty() || units.back() != 0) return false;
  if (!list) {
    AppendQuoted(out, std::u16string_view(units).substr(0, units.size() - 1));
    return true;
  }
  if (units.size() < 2 || units[units.size() - 2] != 0) return false;
  std::size_t start = 0;
  for (std::size_t i = 0; i + 1 < units.size(); ++i) {
    if (units[i] != 0) continue;
    if (start != 0) out += ',';
    AppendQuoted(out, std::u16string_view(units).substr(start, i - start));
    start = i + 1;
  }
  return true;
}

void AppendData(std::string& out, const Value& value) {
  const auto& d = value.data;
  if (value.type == REG_DWORD && d.size() == 4) {
    out += "0x";
    for (int i = 3; i >= 0; --i) {
      out += kHex[d[i] >> 4];
      out += kHex[d[i] & 0xF];
    }
    return;
  }
  if (AppendStrings(out, value)) return;
  for (std::size_t i = 0; i < d.size(); ++i) {
    if (i != 0) out += ' ';
    out += kHex[d[i] >> 4];
    out += kHex[d[i] & 0xF];
  }
}

void AppendType(std::string& out, ULONG type) {
  for (const auto& t : kTypeNames) {
    if (t.type == type) {
      out += t.name;
      return;
    }
  }
  out += "type(" + std::to_string(type) + ")";
}

void AppendKeyLine(std::string& out, const Key& key, std::string_view opening) {
  out += "\n";
  out += opening;
  AppendText(out, key.Path(), false);
  out += "]\n";
}

void AppendValueLine(std::string& out, const Value& value) {
  AppendQuoted(out, value.name);
  out += '=';
  AppendType(out, value.type);
  out += ':';
  AppendData(out, value);
  out += '\n';
}

bool Saved(const Key* key) { return key != nullptr && !key->is_volatile(); }

const Key* FindSubkey(const Key* key, const std::u16string& folded) {
  if (key == nullptr) return nullptr;
  const auto found = key->subkeys().find(folded);
  return found == key->subkeys().end() ? nullptr : found->second.get();
}

// The key as a layer over base (null when base lacks it): a key base lacks
// is written whole, one it has only for the values that differ.
void WriteKey(std::string& out, const Key& key, const Key* base) {
  if (key.is_volatile()) return;
  std::string values;
  for (const auto& [folded, value] : key.values()) {
    const auto was = base != nullptr ? base->values().find(folded) : key.values().end();
    if (base == nullptr || was == base->values().end() || !(was->second == value)) {
      AppendValueLine(values, value);
    }
  }
  if (base != nullptr) {
    for (const auto& [folded, value] : base->values()) {
      if (key.values().contains(folded)) continue;
      AppendQuoted(values, value.name);
      values += "=-\n";
    }
  }
  if (base == nullptr || !values.empty()) {
    AppendKeyLine(out, key, "[");
    out += values;
  }
  for (const auto& [folded, subkey] : key.subkeys()) {
    WriteKey(out, *subkey, FindSubkey(base, folded));
  }
  if (base == nullptr) return;
  for (const auto& [folded, gone] : base->subkeys()) {
    if (Saved(gone.get()) && !Saved(FindSubkey(&key, folded))) AppendKeyLine(out, *gone, "[-");
  }
}

// ---- reading ---------------------------------------------------------------

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Reads a line's text from left to right; each step reports its error.
class Cursor {
 public:
  explicit Cursor(std::string_view text) : rest_(text) {}

  bool AtEnd() const { return rest_.empty(); }
  bool Peek(char c) const { return !rest_.empty() && rest_[0] == c; }
  bool StartsWith(std::string_view s) const { return rest_.substr(0, s.size()) == s; }
  bool Take(char c) {
    if (!Peek(c)) return false;
    rest_.remove_prefix(1);
    return true;
  }
  std::string_view TakeUntil(char c) {
    const std::size_t n = std::min(rest_.find(c), rest_.size());
    const std::string_view taken = rest_.substr(0, n);
    rest_.remove_prefix(n);
    return taken;
  }
  void Skip(std::size_t n) { rest_.remove_prefix(n); }
  // The value of a leading hex digit, which is consumed; -1 when there is none.
  int TakeHexDigit() {
    const int digit = AtEnd() ? -1 : HexValue(rest_[0]);
    if (digit >= 0) rest_.remove_prefix(1);
    return digit;
  }

  // One strictly formed UTF-8 sequence.
  std::optional<std::string> CodePoint(char32_t* c) {
    const auto lead = static_cast<unsigned char>(rest_[0]);
    int extra = 0;
    char32_t value = 0;
    char32_t least = 0;
    if (lead < 0x80) {
      value = lead;
    } else if ((lead & 0xE0) == 0xC0) {
      extra = 1, value = lead & 0x1F, least = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
      extra = 2, value = lead & 0x0F, least = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
      extra = 3, value = lead & 0x07, least = 0x10000;
    } else {
      return "invalid UTF-8";
    }
    if (rest_.size() <= static_cast<std::size_t>(extra)) return "invalid UTF-8";
    for (int i = 1; i <= extra; ++i) {
      const auto next = static_cast<unsigned char>(rest_[i]);
      if ((next & 0xC0) != 0x80) return "invalid UTF-8";
      value = value << 6 | (next & 0x3F);
    }
    if (value < least || value > 0x10FFFF || IsHighSurrogate(value) || IsLowSurrogate(value)) {
      return "invalid UTF-8";
    }
    rest_.remove_prefix(1 + extra);
    *c = value;
    return std::nullopt;
  }

  // Appends one character of text as UTF-16.
  std::optional<std::string> Character(std::u16string* out) {
    char32_t c = 0;
    if (auto error = CodePoint(&c)) return error;
    if (c < 0x20) return "control character in text";
    if (c >= 0x10000) {
      *out += static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10));
      *out += static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
    } else {
      *out += static_cast<char16_t>(c);
    }
    return std::nullopt;
  }

  std::optional<std::string> Quoted(std::u16string* out) {
    if (!Take('"')) return "expected '\"'";
    for (;;) {
      if (AtEnd()) return "unterminated string";
      if (Take('"')) return std::nullopt;
      if (!Take('\\')) {
        if (auto error = Character(out)) return error;
        continue;
      }
      if (Take('\\')) {
        *out += u'\\';
      } else if (Take('"')) {
        *out += u'"';
      } else if (Take('u')) {
        unsigned unit = 0;
        for (int i = 0; i < 4; ++i) {
          const int digit = TakeHexDigit();
          if (digit < 0) return "\\u needs four hex digits";
          unit = unit << 4 | static_cast<unsigned>(digit);
        }
        *out += static_cast<char16_t>(unit);
      } else {
        return "unknown escape";
      }
    }
  }

 private:
  std::string_view rest_;
};

void AppendUnits(std::vector<UCHAR>& data, std::u16string_view text) {
  for (const char16_t c : text) {
    data.push_back(static_cast<UCHAR>(c & 0xFF));
    data.push_back(static_cast<UCHAR>(c >> 8));
  }
  data.push_back(0);
  data.push_back(0);
}

std::optional<std::string> ParseType(std::string_view token, ULONG* type) {
  for (const auto& t : kTypeNames) {
    if (t.name == token) {
      *type = t.type;
      return std::nullopt;
    }
  }
  constexpr std::string_view kOpen = "type(";
  if (token.size() > kOpen.size() + 1 && token.substr(0, kOpen.size()) == kOpen &&
      token.back() == ')') {
    const std::string_view digits = token.substr(kOpen.size(), token.size() - kOpen.size() - 1);
    std::uint64_t n = 0;
    bool ok = digits.size() <= 10;
    for (const char c : digits) {
      ok = ok && c >= '0' && c <= '9';
      n = n * 10 + static_cast<unsigned>(c - '0');
    }
    if (ok && n <= 0xFFFFFFFFu) {
      *type = static_cast<ULONG>(n);
      return std::nullopt;
    }
  }
  return "unknown value type '" + std::string(token) + "'";
}

std::optional<std::string> ParseData(Cursor& in, ULONG type, std::vector<UCHAR>* data) {
  if (in.Peek('"')) {
    if (!IsStringType(type) && type != REG_MULTI_SZ) return "quoted data for a non-string type";
    do {
      std::u16string text;
      if (auto error = in.Quoted(&text)) return error;
      AppendUnits(*data, text);
    } while (type == REG_MULTI_SZ && in.Take(','));
    if (type == REG_MULTI_SZ) data->insert(data->end(), {0, 0});
    return std::nullopt;
  }
  if (in.StartsWith("0x")) {
    if (type != REG_DWORD) return "a 0x number for a type other than dword";
    in.Skip(2);
    ULONG n = 0;
    for (int i = 0; i < 8; ++i) {
      const int digit = in.TakeHexDigit();
      if (digit < 0) return "dword needs eight hex digits";
      n = n << 4 | static_cast<ULONG>(digit);
    }
    for (int i = 0; i < 4; ++i) data->push_back(static_cast<UCHAR>(n >> (8 * i)));
    return std::nullopt;
  }
  while (!in.AtEnd()) {
    if (!data->empty() && !in.Take(' ')) return "hex bytes are separated by one space";
    const std::string_view pair = in.TakeUntil(' ');
    if (pair.size() != 2 || HexValue(pair[0]) < 0 || HexValue(pair[1]) < 0) {
      return "bad hex byte '" + std::string(pair) + "'";
    }
    data->push_back(static_cast<UCHAR>(HexValue(pair[0]) << 4 | HexValue(pair[1])));
    if (data->size() > kMaxValueBytes) return "value data above 1 MiB";
  }
  return std::nullopt;
}

class Parser {
 public:
  Parser(HiveSource source, Hive& hive) : source_(source), hive_(hive) {}

  std::optional<std::string> Line(std::string_view line) {
    if (line.find('\0') != std::string_view::npos) return "NUL byte";
    while (!line.empty() && (line.front() == ' ' || line.front() == '\t')) line.remove_prefix(1);
    while (!line.empty() && (line.back() == ' ' || line.back() == '\t' || line.back() == '\r')) {
      line.remove_suffix(1);
    }
    if (line.empty() || line[0] == '#' || line[0] == ';') return std::nullopt;
    if (line.starts_with("[-")) return TombstoneLine(line);
    if (line[0] == '[') return KeyLine(line);
    if (line[0] == '"') return ValueLine(line);
    return "expected a [key] line or a \"value\"=type:data line";
  }

 private:
  // The path of a key line: "[path]" less its first `skip` characters.
  static std::optional<std::string> KeyPath(std::string_view line, std::size_t skip,
                                            std::u16string* path) {
    if (line.back() != ']') return "key line without closing ']'";
    Cursor in(line.substr(skip, line.size() - skip - 1));
    while (!in.AtEnd()) {
      if (auto error = in.Character(path)) return error;
    }
    if (FoldName(path->substr(0, kRoot.size())) != kRoot) return "key path must start \\Registry\\";
    return std::nullopt;
  }

  std::optional<std::string> Declare(const std::u16string& path) {
    if (!declared_.insert(FoldName(path)).second) return "key listed twice";
    values_.clear();
    return std::nullopt;
  }

  std::optional<std::string> TombstoneLine(std::string_view line) {
    if (source_ != HiveSource::kState) return "a deleted key outside a state file";
    std::u16string path;
    if (auto error = KeyPath(line, 2, &path)) return error;
    if (auto error = Declare(path)) return error;
    current_ = nullptr;
    std::shared_ptr<Key> key;
    if (hive_.Open(nullptr, path, &key) != STATUS_SUCCESS) return std::nullopt;
    if (key->is_volatile()) return "volatile key in a state file";
    if (DeleteTree(*key) != STATUS_SUCCESS) return "the key cannot be deleted";
    return std::nullopt;
  }

  NTSTATUS DeleteTree(Key& key) {
    while (!key.subkeys().empty()) {
      const std::shared_ptr<Key> child = key.subkeys().begin()->second;
      if (const NTSTATUS status = DeleteTree(*child); status != STATUS_SUCCESS) return status;
    }
    return hive_.Delete(key);
  }

  std::optional<std::string> KeyLine(std::string_view line) {
    std::u16string path;
    if (auto error = KeyPath(line, 1, &path)) return error;
    Key* key = &hive_.root();
    std::u16string_view rest = std::u16string_view(path).substr(kRoot.size());
    for (;;) {
      const std::u16string_view name = rest.substr(0, rest.find(u'\\'));
      if (!Hive::IsValidKeyName(name)) return "invalid key name in path";
      std::shared_ptr<Key> next;
      bool created = false;
      const NTSTATUS status = hive_.Create(key, name, key->is_volatile(), &next, &created);
      if (status == STATUS_ACCESS_DENIED) return "keys live under \\Registry\\Machine or \\User";
      if (status != STATUS_SUCCESS) return "key path too deep";
      key = next.get();
      if (name.size() == rest.size()) break;
      rest.remove_prefix(name.size() + 1);
    }
    if (source_ == HiveSource::kState && key->is_volatile()) {
      return "volatile key in a state file";
    }
    if (auto error = Declare(path)) return error;
    current_ = key;
    return std::nullopt;
  }

  std::optional<std::string> ValueLine(std::string_view line) {
    if (current_ == nullptr) {
      return declared_.empty() ? "value before any [key] line" : "value under a deleted key";
    }
    Cursor in(line);
    Value value;
    if (auto error = in.Quoted(&value.name)) return error;
    if (!in.Take('=')) return "expected '=' after the value name";
    if (!values_.insert(FoldName(value.name)).second) return "value listed twice";
    if (in.Take('-')) {
      if (source_ != HiveSource::kState) return "a deleted value outside a state file";
      if (!in.AtEnd()) return "text after the deleted value";
      hive_.DeleteValue(*current_, value.name);
      return std::nullopt;
    }
    const std::string_view token = in.TakeUntil(':');
    if (!in.Take(':')) return "expected type: before the data";
    if (auto error = ParseType(token, &value.type)) return error;
    if (auto error = ParseData(in, value.type, &value.data)) return error;
    if (!in.AtEnd()) return "text after the data";
    if (hive_.SetValue(*current_, value.name, value.type, value.data) != STATUS_SUCCESS) {
      return "value name or data too long";
    }
    return std::nullopt;
  }

  const HiveSource source_;
  Hive& hive_;
  Key* current_ = nullptr;
  std::set<std::u16string> declared_;  // folded paths of the key lines seen
  std::set<std::u16string> values_;    // folded names of the current key's values
};

}  // namespace

std::string LoadError::Text() const { return file + ":" + std::to_string(line) + ": " + message; }

std::string WriteHiveText(const Hive& hive) {
  std::string out(kHeader);
  for (const auto& [folded, top] : hive.root().subkeys()) WriteKey(out, *top, nullptr);
  return out;
}

std::string WriteHiveLayer(const Hive& hive, const Hive& base) {
  std::string out(kLayerHeader);
  for (const auto& [folded, top] : hive.root().subkeys()) {
    WriteKey(out, *top, FindSubkey(&base.root(), folded));
  }
  return out;
}

std::optional<LoadError> ReadHiveFile(const std::filesystem::path& path, std::string* text) {
  std::error_code error;
  const auto status = std::filesystem::status(path, error);
  if (error) return LoadError{path.string(), 0, "cannot read: " + error.message()};
  if (!std::filesystem::is_regular_file(status)) {
    return LoadError{path.string(), 0, "not a regular file"};
  }
  const auto size = std::filesystem::file_size(path, error);
  if (!error && size > kMaxHiveFileBytes) {
    return LoadError{path.string(), 0, "file larger than 64 MiB"};
  }
  std::ifstream in(path, std::ios::binary);
  if (!in) return LoadError{path.string(), 0, "cannot open"};
  // The file may grow meanwhile: the read stops one byte past the limit.
  std::string content;
  std::string chunk(std::size_t{1} << 16, '\0');
  while (in && content.size() <= kMaxHiveFileBytes) {
    const std::size_t want = std::min(chunk.size(), kMaxHiveFileBytes + 1 - content.size());
    in.read(chunk.data(), static_cast<std::streamsize>(want));
    content.append(chunk.data(), static_cast<std::size_t>(in.gcount()));
  }
  if (content.size() > kMaxHiveFileBytes) {
    return LoadError{path.string(), 0, "file larger than 64 MiB"};
  }
  if (in.bad()) return LoadError{path.string(), 0, "cannot read"};
  *text = std::move(content);
  return std::nullopt;
}

std::optional<LoadError> ParseHiveText(std::string_view fileName, std::string_view text,
                                       HiveSource source, Hive& hive) {
  if (text.size() > kMaxHiveFileBytes) {
    return LoadError{std::string(fileName), 0, "file larger than 64 MiB"};
  }
  if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
  Parser parser(source, hive);
  int number = 0;
  while (!text.empty()) {
    ++number;
    const std::size_t end = std::min(text.find('\n'), text.size());
    if (auto message = parser.Line(text.substr(0, end))) {
      return LoadError{std::string(fileName), number, *message};
    }
    text.remove_prefix(std::min(end + 1, text.size()));
  }
  return std::nullopt;
}

}  // namespace plat::reg
