// The texts of the result codes and of the connection reports.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

namespace vxctl {

// Verbose text of result codes 0-39 (index = numeric code). Empty rows print
// nothing of their own: 20 is CONNECT with the rate, 21 is never printed,
// 5 and 17-19 belong to the voice service. Codes 254 and 255 print the
// voice message text instead.
inline constexpr std::array<std::string_view, 40> kResultText = {
    "OK",          "CONNECT",     "RING",         "NO CARRIER",   "ERROR",
    "",            "NO DIALTONE", "BUSY",         "NO ANSWER",    "DELAYED CALL",
    "BLACKLISTED", "+FCERROR",    "RINGBACK",     "CPON=",        "CPOF=",
    "DRON=",       "DROF=",       "",             "",             "",
    "",            "",            "+DR: NONE",    "+DR: V42B RD", "+DR: V42B TD",
    "+DR: V42B",   "+ER: NONE",   "+ER: LAPM",    "+ER: ALT",     "+DR: V44 RD",
    "+DR: V44 TD", "+DR: V44",    "+DR: ALT",     "LINE IN USE",  "LINE UNAVAILABLE",
    "DIGITAL LINE DETECTED",      "RINGA",        "RINGB",        "RINGC",
    "RINGD",
};

// +MCR names by the modem task's modulation code (19-21 have none).
inline constexpr std::array<std::string_view, 25> kModulationName = {
    "BELL103", "BELL212", "V21",  "V21CHAN2", "V23C", "V23S", "V22", "V22B", "V27SHORT",
    "V27LONG", "V27TC",   "V29",  "V32",      "V32TCM", "V17", "V33", "V32B", "V34S",
    "V34",     "",        "",     "",         "X2",   "V90",  "V92",
};

// +DR result code by the error-control statistics' compression kind (mod 8).
inline constexpr std::array<std::uint8_t, 8> kCompressionReport = {22, 23, 24, 25, 29, 30, 31, 32};

}  // namespace vxctl
