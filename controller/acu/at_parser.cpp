#include "controller/acu/at_parser.h"

#include <algorithm>
#include <cstring>

namespace vxctl {
namespace {

constexpr char FoldCase(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

// The name is not longer than the rest and equals its beginning.
bool NameMatches(const char* name, const char* rest) {
  for (; *name != '\0'; ++name, ++rest) {
    if (*rest == '\0' || FoldCase(*rest) != FoldCase(*name)) return false;
  }
  return true;
}

}  // namespace

void AtParser::Reset() {
  argument_ = {};
  TableOp(AtStackOp::Empty, nullptr);
  saved_tables_.fill(nullptr);
  saved_count_ = 0;
  empty_line_[0] = '\0';
  BeginLine(empty_line_);
}

bool AtParser::TableOp(AtStackOp op, const at_command_entry* table) {
  const auto begin = tables_.begin();
  const auto end = begin + count_;
  switch (op) {
    case AtStackOp::Empty:
      tables_.fill(nullptr);
      count_ = 0;
      break;
    case AtStackOp::Save:
      std::copy_n(tables_.begin(), kMaxTables, saved_tables_.begin());
      saved_count_ = count_;
      TableOp(AtStackOp::Empty, nullptr);
      break;
    case AtStackOp::Restore:
      if (saved_count_ == 0) break;
      std::copy_n(saved_tables_.begin(), kMaxTables, tables_.begin());
      tables_[kMaxTables] = nullptr;
      count_ = saved_count_;
      break;
    case AtStackOp::Push:
      if (table == nullptr || std::find(begin, end, table) != end) break;
      if (count_ == kMaxTables) return false;
      std::copy_backward(begin, end, end + 1);
      tables_[0] = table;
      ++count_;
      tables_[count_] = nullptr;
      break;
    case AtStackOp::Remove: {
      const auto found = std::find(begin, end, table);
      if (table == nullptr || found == end) break;
      std::copy(found + 1, end, found);
      --count_;
      tables_[count_] = nullptr;
      break;
    }
  }
  return true;
}

void AtParser::BeginLine(char* line) {
  parse_ = line;
  line_state_ = 1;
  search_index_ = 0;
  cursor_ = tables_[0];
}

// From the cursor: entries in table order, then the tables behind it on the
// stack; the first match wins.
const at_command_entry* AtParser::Find() {
  for (;;) {
    if (cursor_ == nullptr) {
      if (search_index_ >= count_) return nullptr;
      cursor_ = tables_[search_index_++];
    }
    if (cursor_->name[0] == '\0') {
      cursor_ = nullptr;
    } else if (NameMatches(cursor_->name, parse_)) {
      return cursor_;
    } else {
      ++cursor_;
    }
  }
}

std::uint8_t AtParser::RunNext() {
  if (line_state_ == 1) {
    AtRemoveSpaces(parse_);
    AtUpperCase(parse_);
    line_state_ = 2;
  }
  if (*parse_ == '\0') return kAtLineEnd;

  std::uint8_t result = kAtError;
  if (const at_command_entry* entry = Find()) {
    parse_ += std::strlen(entry->name);
    argument_.Start();
    const char* cursor = parse_;
    const bool accepted = ParseAtArgument(entry->kind, cursor, argument_);
    parse_ += cursor - parse_;
    if (accepted) {
      if (entry->handler != nullptr) {
        entry->handler(*this, entry->kind == AtArgumentKind::None ? nullptr : argument_.bytes.data());
      }
      result = kAtRan;
      AtRemoveSpaces(parse_);
      if ((entry->flags & (AtEntryFlag::SkipSeparator | AtEntryFlag::RequireSeparator)) != 0 &&
          *parse_ == ';') {
        ++parse_;
      } else if ((entry->flags & AtEntryFlag::RequireSeparator) != 0 && *parse_ != '\0') {
        result = kAtError;
      }
    }
  }
  cursor_ = nullptr;
  search_index_ = 0;
  return result;
}

}  // namespace vxctl
