// The parameter dictionary, generated at compile time from the layout below.
//
// Numbering: a table's fields count from 1 after the whole table (field 0).
// In the TONE, DAA, S-register and RING tables the count is field 1 and each
// tone record, DAA sequence, S-register row or ring pattern is one field
// (2 onward) whose members are its elements, numbered from 1. A cadence or
// ring segment is an element whose members (sub 1 onward) are its values.
// In a DAA sequence the two hardware words form one element with 2 members
// and the three levels one with 3; the id, the 7 times and the 8 patterns
// are plain elements (23 elements). The FILTER table's two 16-word sets are
// fields with 16 elements each; the black-list table's 38 values are plain
// fields. Counts per table: 11, 4, 3, 36, 538, 74, 39, 107, 263, 5, 6, 5.
#include "controller/line/country/country_dictionary.h"

#include <algorithm>
#include <array>
#include <initializer_list>

#include "controller/line/country/country_record.h"

namespace vxctl {
namespace {

// `count` elements of `size` bytes, each split into the member sizes given
// (none: plain elements).
struct ElementRun {
  std::uint8_t count;
  std::uint8_t size;
  std::array<std::uint8_t, 5> members{};
  std::uint8_t member_count = 0;
};

// `count` fields of `size` bytes, each split into the element runs given
// (none: plain fields).
struct FieldRun {
  std::uint8_t count;
  std::uint16_t size;
  std::array<ElementRun, 5> elements{};
  std::uint8_t element_runs = 0;
};

constexpr ElementRun Plain(std::uint8_t count, std::uint8_t size) { return {count, size}; }
constexpr ElementRun WithMembers(std::uint8_t count, std::initializer_list<std::uint8_t> members) {
  ElementRun run{count, 0};
  for (std::uint8_t m : members) {
    run.members[run.member_count++] = m;
    run.size = static_cast<std::uint8_t>(run.size + m);
  }
  return run;
}
constexpr FieldRun Fields(std::uint8_t count, std::uint16_t size) { return {count, size}; }
constexpr FieldRun Fields(std::uint8_t count, std::uint16_t size,
                          std::initializer_list<ElementRun> elements) {
  FieldRun run{count, size};
  for (const ElementRun& e : elements) run.elements[run.element_runs++] = e;
  return run;
}

struct TableLayout {
  std::array<FieldRun, 3> fields{};
  std::uint8_t field_runs = 0;
};

constexpr TableLayout Table(std::initializer_list<FieldRun> fields) {
  TableLayout table;
  for (const FieldRun& f : fields) table.fields[table.field_runs++] = f;
  return table;
}

constexpr std::array<TableLayout, kCountryTableCount + 1> kLayout = {{
    {},
    Table({Fields(10, 1)}),
    Table({Fields(3, 2)}),
    Table({Fields(2, 1)}),
    Table({Fields(1, 2), Fields(2, kFilterWords * 2, {Plain(kFilterWords, 2)})}),
    Table({Fields(1, 2),
           Fields(kToneRecords, kToneRecordSize,
                  {Plain(4, 1), Plain(6, 2), WithMembers(kCadenceSegments, {1, 2, 2})})}),
    Table({Fields(1, 2),
           Fields(kDaaSequences, kDaaSequenceSize,
                  {Plain(1, 1), WithMembers(1, {2, 2}), WithMembers(1, {2, 2, 2}),
                   Plain(kDaaTimes, 2), Plain(kDaaPatterns, 4)})}),
    Table({Fields(kBlackListWords, 2), Fields(3, 1)}),
    Table({Fields(1, 2), Fields(kSRegisterRows, kSRegisterRowSize, {Plain(kSRegisterRowSize, 1)})}),
    Table({Fields(1, 2),
           Fields(kRingPatterns, kRingPatternSize,
                  {Plain(2, 2), WithMembers(kRingSegments, {1, 2, 2, 2, 2})})}),
    Table({Fields(4, 2)}),
    Table({Fields(5, 2)}),
    Table({Fields(1, 2), Fields(2, 1), Fields(1, 2)}),
}};

struct Builder {
  std::array<CountryParam, kCountryParamCount> entries{};
  std::size_t used = 0;
  bool overflow = false;

  constexpr void Add(std::uint8_t t, std::uint8_t f, std::uint8_t i, std::uint8_t s,
                     std::uint32_t length, std::uint32_t offset) {
    if (used == entries.size()) {
      overflow = true;
      return;
    }
    entries[used++] = {CountryParamId(t, f, i, s), length, offset};
  }
};

constexpr Builder Build() {
  Builder b;
  for (std::uint8_t t = 1; t <= kCountryTableCount; ++t) {
    std::uint32_t at = static_cast<std::uint32_t>(kCountryTables[t].offset);
    b.Add(t, 0, 0, 0, static_cast<std::uint32_t>(kCountryTables[t].size), at);
    std::uint8_t field = 1;
    for (std::size_t fr = 0; fr < kLayout[t].field_runs; ++fr) {
      const FieldRun& fields = kLayout[t].fields[fr];
      for (std::uint8_t n = 0; n < fields.count; ++n, ++field) {
        b.Add(t, field, 0, 0, fields.size, at);
        std::uint32_t element_at = at;
        std::uint8_t index = 1;
        for (std::size_t er = 0; er < fields.element_runs; ++er) {
          const ElementRun& elements = fields.elements[er];
          for (std::uint8_t e = 0; e < elements.count; ++e, ++index) {
            b.Add(t, field, index, 0, elements.size, element_at);
            std::uint32_t member_at = element_at;
            for (std::uint8_t m = 0; m < elements.member_count; ++m) {
              b.Add(t, field, index, static_cast<std::uint8_t>(m + 1), elements.members[m], member_at);
              member_at += elements.members[m];
            }
            element_at += elements.size;
          }
        }
        at += fields.size;
      }
    }
  }
  return b;
}

constexpr Builder kBuilt = Build();
static_assert(!kBuilt.overflow && kBuilt.used == kCountryParamCount);
// Every item a delta names lands inside the record.
static_assert(std::all_of(kBuilt.entries.begin(), kBuilt.entries.end(), [](const CountryParam& p) {
  return p.length > 0 && p.offset + p.length <= kCountryRecordSize;
}));

// Numbered in this order, the ids rise strictly: each is found by a binary
// search, and no id names two entries.
static_assert(std::adjacent_find(kBuilt.entries.begin(), kBuilt.entries.end(),
                                 [](const CountryParam& a, const CountryParam& b) {
                                   return a.id >= b.id;
                                 }) == kBuilt.entries.end());

constexpr std::array<CountryParam, kCountryParamCount> kDict = kBuilt.entries;

}  // namespace

std::span<const CountryParam, kCountryParamCount> CountryParamDict() { return kDict; }

const CountryParam* FindCountryParam(std::uint32_t id) {
  const auto it = std::lower_bound(kDict.begin(), kDict.end(), id,
                                   [](const CountryParam& p, std::uint32_t v) { return p.id < v; });
  return it == kDict.end() || it->id != id ? nullptr : &*it;
}

}  // namespace vxctl
