// The built-in country list. Calling codes from ITU-T E.164; members of
// the North American numbering plan other than the USA and Canada take 1
// and their area code (the Bahamas 1242); Canada takes 2, the system's
// number for it. T.35 codes from ITU-T T.35 Annex A (its names in the
// comments); a country it gives no one-octet code carries 0xFF, the
// extension escape. Each country has a delta record of its own: the USA
// 16, Japan 95, the others 17-101 in list order.
#include "controller/line/country/builtin_records.h"

namespace vxctl {
namespace {

constexpr std::array<CountryListEntry, kBuiltInCountries> kCountries = {{
    {1, 0xB5, 16, {'U', 'S', 'A', 0}},  // United States
    {82, 0x61, 17, {'K', 'O', 'R', 0}},  // Korea (Republic of)
    {593, 0x35, 18, {'E', 'C', 'U', 0}},  // Ecuador
    {591, 0x14, 19, {'B', 'O', 'L', 0}},  // Bolivia
    {56, 0x25, 20, {'C', 'H', 'L', 0}},  // Chile
    {57, 0x27, 21, {'C', 'O', 'L', 0}},  // Colombia
    {507, 0x85, 22, {'P', 'A', 'N', 0}},  // Panama
    {51, 0x88, 23, {'P', 'E', 'R', 0}},  // Peru
    {966, 0x98, 24, {'S', 'A', 'U', 0}},  // Saudi Arabia
    {66, 0xA9, 25, {'T', 'H', 'A', 0}},  // Thailand
    {84, 0xBC, 26, {'V', 'N', 'M', 0}},  // Viet Nam
    {46, 0xA5, 27, {'S', 'W', 'E', 0}},  // Sweden
    {45, 0x31, 28, {'D', 'E', 'N', 0}},  // Denmark
    {358, 0x3C, 29, {'F', 'I', 'N', 0}},  // Finland
    {47, 0x82, 30, {'N', 'O', 'R', 0}},  // Norway
    {354, 0x52, 31, {'I', 'S', 'L', 0}},  // Iceland
    {353, 0x57, 32, {'I', 'R', 'L', 0}},  // Ireland
    {972, 0x58, 33, {'I', 'S', 'R', 0}},  // Israel
    {423, 0x68, 34, {'L', 'I', 'E', 0}},  // Liechtenstein
    {34, 0xA0, 35, {'E', 'S', 'P', 0}},  // Spain
    {90, 0xAE, 36, {'T', 'U', 'R', 0}},  // Turkey
    {49, 0x04, 37, {'D', 'E', 'U', 0}},  // Germany
    {43, 0x0A, 38, {'A', 'U', 'T', 0}},  // Austria
    {41, 0xA6, 39, {'C', 'H', 'E', 0}},  // Switzerland
    {357, 0x2D, 40, {'C', 'Y', 'P', 0}},  // Cyprus
    {30, 0x46, 41, {'G', 'R', 'C', 0}},  // Greece
    {39, 0x59, 42, {'I', 'T', 'A', 0}},  // Italy
    {352, 0x69, 43, {'L', 'U', 'X', 0}},  // Luxembourg
    {31, 0x7B, 44, {'N', 'L', 'D', 0}},  // Netherlands
    {44, 0xB4, 45, {'G', 'B', 'R', 0}},  // United Kingdom
    {32, 0x0F, 46, {'B', 'E', 'L', 0}},  // Belgium
    {33, 0x3D, 47, {'F', 'R', 'A', 0}},  // France
    {351, 0x8B, 48, {'P', 'R', 'T', 0}},  // Portugal
    {92, 0x84, 49, {'P', 'A', 'K', 0}},  // Pakistan
    {81, 0x00, 95, {'J', 'P', 'N', 0}},  // Japan
    {7, 0xB8, 50, {'R', 'U', 'S', 0}},  // U.S.S.R.
    {61, 0x09, 51, {'A', 'U', 'S', 0}},  // Australia
    {60, 0x6C, 52, {'M', 'Y', 'S', 0}},  // Malaysia
    {86, 0x26, 53, {'C', 'H', 'N', 0}},  // China
    {852, 0x50, 54, {'H', 'K', 'G', 0}},  // Hong Kong
    {65, 0x9C, 55, {'S', 'G', 'P', 0}},  // Singapore
    {64, 0x7E, 56, {'N', 'Z', 'L', 0}},  // New Zealand
    {54, 0x07, 57, {'A', 'R', 'G', 0}},  // Argentina
    {55, 0x16, 58, {'B', 'R', 'A', 0}},  // Brazil
    {52, 0x73, 59, {'M', 'E', 'X', 0}},  // Mexico
    {886, 0xFE, 60, {'T', 'W', 'N', 0}},  // Taiwan
    {91, 0x53, 61, {'I', 'N', 'D', 0}},  // India
    {63, 0x89, 62, {'P', 'H', 'L', 0}},  // Philippines
    {62, 0x54, 63, {'I', 'D', 'N', 0}},  // Indonesia
    {1242, 0x0B, 64, {'B', 'H', 'S', 0}},  // Bahamas
    {1246, 0x0E, 65, {'B', 'R', 'B', 0}},  // Barbados
    {1441, 0x12, 66, {'B', 'M', 'U', 0}},  // Bermudas
    {502, 0x49, 67, {'G', 'T', 'M', 0}},  // Guatemala
    {509, 0x4E, 68, {'H', 'T', 'I', 0}},  // Haiti
    {504, 0x4F, 69, {'H', 'N', 'D', 0}},  // Honduras
    {1876, 0x5B, 70, {'J', 'A', 'M', 0}},  // Jamaica
    {505, 0x7F, 71, {'N', 'I', 'C', 0}},  // Nicaragua
    {595, 0x87, 72, {'P', 'R', 'Y', 0}},  // Paraguay
    {1787, 0x8C, 73, {'P', 'R', 'I', 0}},  // Puerto Rico
    {597, 0xA3, 74, {'S', 'U', 'R', 0}},  // Suriname
    {1868, 0xAC, 75, {'T', 'T', 'O', 0}},  // Trinidad and Tobago
    {598, 0xB7, 76, {'U', 'R', 'Y', 0}},  // Uruguay
    {58, 0xBB, 77, {'V', 'E', 'N', 0}},  // Venezuela
    {263, 0xC4, 78, {'Z', 'W', 'E', 0}},  // Zimbabwe
    {592, 0x4D, 79, {'G', 'U', 'Y', 0}},  // Guayana
    {372, 0xF9, 80, {'E', 'S', 'T', 0}},  // Estonia
    {36, 0x51, 81, {'H', 'U', 'N', 0}},  // Hungary (Republic of)
    {386, 0xC6, 82, {'S', 'V', 'N', 0}},  // Slovenia
    {971, 0xB3, 83, {'A', 'R', 'E', 0}},  // United Arab Emirates
    {421, 0xC5, 84, {'S', 'V', 'K', 0}},  // Slovakia
    {2, 0x20, 85, {'C', 'A', 'N', 0}},  // Canada
    {506, 0x2B, 86, {'C', 'R', 'I', 0}},  // Costa Rica
    {1809, 0x33, 87, {'D', 'O', 'M', 0}},  // Dominican Republic
    {503, 0x37, 88, {'S', 'L', 'V', 0}},  // El Salvador
    {220, 0x41, 89, {'G', 'M', 'B', 0}},  // Gambia
    {350, 0x45, 90, {'G', 'I', 'B', 0}},  // Gibraltar
    {48, 0x8A, 91, {'P', 'O', 'L', 0}},  // Poland (Republic of)
    {20, 0x36, 92, {'E', 'G', 'Y', 0}},  // Egypt
    {420, 0x2E, 93, {'C', 'Z', 'E', 0}},  // Czech and Slovak Federal Republic
    {27, 0x9F, 94, {'Z', 'A', 'F', 0}},  // South Africa
    {594, 0xFF, 96, {'G', 'U', 'F', 0}},  // no one-octet code
    {359, 0x1B, 97, {'B', 'U', 'L', 0}},  // Bulgaria
    {385, 0xFF, 98, {'C', 'R', 'O', 0}},  // no one-octet code
    {371, 0xF8, 99, {'L', 'A', 'T', 0}},  // Latvia
    {370, 0xF7, 100, {'L', 'I', 'T', 0}},  // Lithuania
    {94, 0xA1, 101, {'S', 'R', 'L', 0}},  // Sri Lanka
}};

constexpr CountryList BuildList() {
  CountryList list{kCountryListVersion, kBuiltInCountries, {}};
  for (std::size_t i = 0; i < kCountries.size(); ++i) list.entries[i] = kCountries[i];
  return list;
}

constexpr CountryList kList = BuildList();

}  // namespace

const CountryList& BuiltInCountryList() { return kList; }

}  // namespace vxctl
