// The rules that the frame's variant entries share: the lookup of a status
// text and the version record of a variant.
#pragma once

#include "siglib/frame/status_texts.h"
#include "siglib/frame/types.h"

namespace qvls::frame {

// The text of a code: the whole 32-bit code is compared with every code of
// the table, so any value the table does not hold gets the default text.
inline const char* StatusTextOf(qvls_status code) {
  for (const StatusText& entry : kStatusTexts) {
    if (entry.code == code) return entry.text;
  }
  return kUnknownStatusText;
}

// One text shared by the four version records.
inline constexpr char kVersionText[] = "v3.0 gold";
inline constexpr char kBuildDate[] = "Nov 26 2002";

// The record of each variant, by column.
inline constexpr qvls_version kVersionRecords[qvls_variant_count] = {
    {3, 0, 18, 57, {'p', 'x'}, "qvlspxl.lib", kVersionText, kBuildDate},
    {3, 0, 18, 57, {'m', '6'}, "qvlsm6l.lib", kVersionText, kBuildDate},
    {3, 0, 18, 57, {'a', '6'}, "qvlsa6l.lib", kVersionText, kBuildDate},
    {3, 0, 18, 57, {'w', '7'}, "qvlsw7l.lib", kVersionText, kBuildDate},
};

}  // namespace qvls::frame
