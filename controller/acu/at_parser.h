// The AT command-line parser engine: a stack of command tables, the
// pre-processing of a line, the matcher, the argument parser and the
// separator rules between commands. One instance per machine
// (at_parser_machine.h); it allocates nothing.
#pragma once

#include <array>
#include <cstdint>
#include <span>

#include "controller/acu/at_arguments.h"
#include "controller/acu/at_command.h"

namespace vxctl {

enum AtRunResult : std::uint8_t { kAtRan = 0, kAtError = 1, kAtLineEnd = 2 };

class AtParser {
 public:
  static constexpr std::size_t kMaxTables = 15;

  // Clears the argument buffer, empties the stack, forgets the saved copy
  // and sets an empty line.
  void Reset();

  // Performs `op` on the stack (`table` matters for Push and Remove only).
  // False only for a Push onto a full stack, which changes nothing.
  bool TableOp(AtStackOp op, const at_command_entry* table);

  // Sets a NUL-terminated line to parse; it is pre-processed in place (spaces
  // removed, upper case outside quotes) by the first RunNext.
  void BeginLine(char* line);

  // Parses and runs the next command of the line: kAtRan, kAtError (nothing
  // matched, the argument was refused, or a required separator is missing)
  // or kAtLineEnd.
  std::uint8_t RunNext();

  std::span<const at_command_entry* const> Tables() const { return {tables_.data(), count_}; }
  const AtArgumentBuffer& Argument() const { return argument_; }
  // The first character of the line not yet consumed.
  const char* Rest() const { return parse_; }

  // The shared command error flag: set by a handler that refuses its command.
  std::uint8_t error_flag = 0;

 private:
  const at_command_entry* Find();

  std::array<const at_command_entry*, kMaxTables + 1> tables_{};
  std::uint8_t count_ = 0;
  std::array<const at_command_entry*, kMaxTables> saved_tables_{};
  std::uint8_t saved_count_ = 0;
  AtArgumentBuffer argument_;
  char empty_line_[1] = {'\0'};
  char* parse_ = empty_line_;
  const at_command_entry* cursor_ = nullptr;
  std::uint8_t search_index_ = 0;
  std::uint8_t line_state_ = 2;
};

// Pre-processing, also used on the rest of a line after each command.
// Removes every space outside double quotes, compacting in place.
void AtRemoveSpaces(char* text);
// Upper-cases 'a' to 'z' outside closed quotes; a quote with no closing quote
// opens nothing.
void AtUpperCase(char* text);

}  // namespace vxctl
