// Fuzz target: any bytes as one command line, pre-processed and run to its
// end over a table with every argument kind, plain and with each separator
// flag. Every run must end in kAtError or kAtLineEnd, within one command per
// character of the line, with the parse position inside the line.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "controller/acu/at_parser.h"

namespace vxctl {
namespace {

using K = AtArgumentKind;

// Reads the whole argument buffer (so the sanitizers see every byte) and
// refuses the command now and then, as a handler may.
void Take(AtParser& parser, const std::uint8_t* argument) {
  if (argument == nullptr) return;
  unsigned sum = 0;
  for (std::size_t i = 0; i < AtArgumentBuffer::kBytes; ++i) sum += argument[i];
  if (sum % 7 == 0) parser.error_flag = 1;
}

// Letters A to U carry kinds 0 to 20: "A" plain, "+A=" with RequireSeparator,
// "*A=" with SkipSeparator.
constexpr at_command_entry kEveryKind[] = {
    {"A", Take, K::None, 0},
    {"B", Take, K::Decimal8, 0},
    {"C", Take, K::Decimal16, 0},
    {"D", Take, K::Decimal32, 0},
    {"E", Take, K::DecimalList8, 0},
    {"F", Take, K::DecimalList16, 0},
    {"G", Take, K::DecimalList32, 0},
    {"H", Take, K::Hex8, 0},
    {"I", Take, K::Hex16, 0},
    {"J", Take, K::Hex32, 0},
    {"K", Take, K::HexList8, 0},
    {"L", Take, K::HexList16, 0},
    {"M", Take, K::HexList32, 0},
    {"N", Take, K::DialText, 0},
    {"O", Take, K::Quoted, 0},
    {"P", Take, K::DecimalText, 0},
    {"Q", Take, K::RestOfLine, 0},
    {"R", Take, K::DialCharacters, 0},
    {"S", Take, K::ToneString, 0},
    {"T", Take, K::SignedByte, 0},
    {"U", Take, K::TextToSeparator, 0},
    {"+A=", Take, K::None, AtEntryFlag::RequireSeparator},
    {"+B=", Take, K::Decimal8, AtEntryFlag::RequireSeparator},
    {"+C=", Take, K::Decimal16, AtEntryFlag::RequireSeparator},
    {"+D=", Take, K::Decimal32, AtEntryFlag::RequireSeparator},
    {"+E=", Take, K::DecimalList8, AtEntryFlag::RequireSeparator},
    {"+F=", Take, K::DecimalList16, AtEntryFlag::RequireSeparator},
    {"+G=", Take, K::DecimalList32, AtEntryFlag::RequireSeparator},
    {"+H=", Take, K::Hex8, AtEntryFlag::RequireSeparator},
    {"+I=", Take, K::Hex16, AtEntryFlag::RequireSeparator},
    {"+J=", Take, K::Hex32, AtEntryFlag::RequireSeparator},
    {"+K=", Take, K::HexList8, AtEntryFlag::RequireSeparator},
    {"+L=", Take, K::HexList16, AtEntryFlag::RequireSeparator},
    {"+M=", Take, K::HexList32, AtEntryFlag::RequireSeparator},
    {"+N=", Take, K::DialText, AtEntryFlag::RequireSeparator},
    {"+O=", Take, K::Quoted, AtEntryFlag::RequireSeparator},
    {"+P=", Take, K::DecimalText, AtEntryFlag::RequireSeparator},
    {"+Q=", Take, K::RestOfLine, AtEntryFlag::RequireSeparator},
    {"+R=", Take, K::DialCharacters, AtEntryFlag::RequireSeparator},
    {"+S=", Take, K::ToneString, AtEntryFlag::RequireSeparator},
    {"+T=", Take, K::SignedByte, AtEntryFlag::RequireSeparator},
    {"+U=", Take, K::TextToSeparator, AtEntryFlag::RequireSeparator},
    {"*A=", Take, K::None, AtEntryFlag::SkipSeparator},
    {"*B=", Take, K::Decimal8, AtEntryFlag::SkipSeparator},
    {"*C=", Take, K::Decimal16, AtEntryFlag::SkipSeparator},
    {"*D=", Take, K::Decimal32, AtEntryFlag::SkipSeparator},
    {"*E=", Take, K::DecimalList8, AtEntryFlag::SkipSeparator},
    {"*F=", Take, K::DecimalList16, AtEntryFlag::SkipSeparator},
    {"*G=", Take, K::DecimalList32, AtEntryFlag::SkipSeparator},
    {"*H=", Take, K::Hex8, AtEntryFlag::SkipSeparator},
    {"*I=", Take, K::Hex16, AtEntryFlag::SkipSeparator},
    {"*J=", Take, K::Hex32, AtEntryFlag::SkipSeparator},
    {"*K=", Take, K::HexList8, AtEntryFlag::SkipSeparator},
    {"*L=", Take, K::HexList16, AtEntryFlag::SkipSeparator},
    {"*M=", Take, K::HexList32, AtEntryFlag::SkipSeparator},
    {"*N=", Take, K::DialText, AtEntryFlag::SkipSeparator},
    {"*O=", Take, K::Quoted, AtEntryFlag::SkipSeparator},
    {"*P=", Take, K::DecimalText, AtEntryFlag::SkipSeparator},
    {"*Q=", Take, K::RestOfLine, AtEntryFlag::SkipSeparator},
    {"*R=", Take, K::DialCharacters, AtEntryFlag::SkipSeparator},
    {"*S=", Take, K::ToneString, AtEntryFlag::SkipSeparator},
    {"*T=", Take, K::SignedByte, AtEntryFlag::SkipSeparator},
    {"*U=", Take, K::TextToSeparator, AtEntryFlag::SkipSeparator},
    kAtTableEnd,
};

}  // namespace
}  // namespace vxctl

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace vxctl;
  std::vector<char> line(data, data + size);
  line.push_back('\0');
  const char* const begin = line.data();
  const char* const end = begin + std::strlen(begin);

  AtParser parser;
  parser.TableOp(AtStackOp::Push, kEveryKind);
  parser.BeginLine(line.data());
  for (std::size_t commands = 0;; ++commands) {
    const std::uint8_t result = parser.RunNext();
    if (parser.Rest() < begin || parser.Rest() > end) std::abort();
    if (result == kAtError || result == kAtLineEnd) break;
    // Each command takes at least its name's first character.
    if (result != kAtRan || commands > size) std::abort();
  }
  return 0;
}
