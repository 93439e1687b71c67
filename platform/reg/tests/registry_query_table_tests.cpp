#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstring>

#include "platform/ex/expool.h"
#include "platform/nt/ntstatus.h"
#include "platform/reg/rtlregistry.h"
#include "platform/reg/tests/registry_test_util.h"

namespace plat::reg {
namespace {

constexpr char kQueryTableSeed[] = R"(
[\Registry\Machine\SOFTWARE\Microsoft\Windows NT\CurrentVersion]
"CurrentVersion"=sz:"4.0"

[\Registry\Machine\System\CurrentControlSet\Services\vxdsp]
"Profile"=binary:02 00 02 00 01 00 00 00
"Tiny"=binary:7f
"Three"=binary:01 02 03
"Empty"=binary:
"Unterminated"=sz:61 00 62 00
"Paths"=multi_sz:"a","bc"

[\Registry\Machine\System\CurrentControlSet\Services\vxctl\Parameters]
"ComPort"=dword:0x00000003
"DebugFlags"=dword:0x80000001

[\Registry\Machine\HARDWARE\DEVICEMAP\SERIALCOMM]
"\\Device\\SerialTolvasa0"=sz:"COM3"
)";

constexpr WCHAR kVxdsp[] = u"\\Registry\\Machine\\System\\CurrentControlSet\\Services\\vxdsp";

class RegistryQueryTable : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(Loaded(registry.Load("seed", kQueryTableSeed))); }

  // A one-entry table.
  NTSTATUS QueryOne(ULONG relativeTo, PCWSTR path, const WCHAR* name, void* destination,
                    ULONG flags = 0, ULONG defaultType = REG_NONE, void* defaultData = nullptr,
                    ULONG defaultLength = 0) {
    RTL_QUERY_REGISTRY_TABLE table[2] = {};
    table[0] = {nullptr,
                RTL_QUERY_REGISTRY_DIRECT | flags,
                const_cast<PWSTR>(name),
                destination,
                defaultType,
                defaultData,
                defaultLength};
    return QueryRegistryValues(registry, relativeTo, path, table);
  }

  Registry registry;
  ex::Pool pool{"query"};
  ex::ScopedPool scope{pool};
};

TEST_F(RegistryQueryTable, SmallValuesAreCopiedRaw) {
  struct Case {
    const WCHAR* name;
    std::array<UCHAR, 4> expected;  // the 4-byte destination, prefilled with 0xEE
  };
  const Case cases[] = {
      {u"Tiny", {0x7F, 0xEE, 0xEE, 0xEE}},
      {u"Three", {0x01, 0x02, 0x03, 0xEE}},
      {u"Empty", {0xEE, 0xEE, 0xEE, 0xEE}},
  };
  for (const auto& c : cases) {
    std::array<UCHAR, 4> out;
    out.fill(0xEE);
    EXPECT_EQ(QueryOne(RTL_REGISTRY_ABSOLUTE, kVxdsp, c.name, out.data()), STATUS_SUCCESS);
    EXPECT_EQ(out, c.expected);
  }
  ULONG comPort = 0;
  EXPECT_EQ(QueryOne(RTL_REGISTRY_SERVICES, u"vxctl\\Parameters", u"ComPort", &comPort),
            STATUS_SUCCESS);
  EXPECT_EQ(comPort, 3u);
}

TEST_F(RegistryQueryTable, LongerValuesGoToASizePrefixedBuffer) {
  struct Case {
    ULONG capacity;
    NTSTATUS status;
  };
  for (const Case c : {Case{8, STATUS_SUCCESS}, Case{20, STATUS_SUCCESS},
                       Case{7, STATUS_BUFFER_TOO_SMALL}, Case{0, STATUS_BUFFER_TOO_SMALL}}) {
    SCOPED_TRACE("capacity " + std::to_string(c.capacity));
    // The size + 12 bytes the data pump's profile reader passes.
    Bytes buffer(8 + 12, 0xEE);
    std::memcpy(buffer.data(), &c.capacity, 4);
    const Bytes before = buffer;
    EXPECT_EQ(QueryOne(RTL_REGISTRY_ABSOLUTE, kVxdsp, u"Profile", buffer.data(),
                       RTL_QUERY_REGISTRY_REQUIRED),
              c.status);
    if (c.status != STATUS_SUCCESS) {
      EXPECT_EQ(buffer, before) << "a refused value leaves the buffer untouched";
      continue;
    }
    Bytes expected = before;
    const Bytes word = U32({8});
    std::copy(word.begin(), word.end(), expected.begin());
    const Bytes profile = {2, 0, 2, 0, 1, 0, 0, 0};
    std::copy(profile.begin(), profile.end(), expected.begin() + 4);
    EXPECT_EQ(buffer, expected) << "length, data, then nothing touched";
  }
}

TEST_F(RegistryQueryTable, StringsGoToAUnicodeString) {
  // Allocated when the buffer is null.
  UNICODE_STRING version{};
  ASSERT_EQ(QueryOne(RTL_REGISTRY_ABSOLUTE,
                     u"\\Registry\\Machine\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion",
                     u"CurrentVersion", &version),
            STATUS_SUCCESS);
  EXPECT_EQ(std::u16string(version.Buffer, version.Length / 2), u"4.0");
  EXPECT_EQ(version.MaximumLength, 8);
  EXPECT_EQ(version.Buffer[3], 0);
  EXPECT_EQ(pool.LiveByType(PagedPool).blocks, 1u);
  RtlFreeUnicodeString(&version);
  EXPECT_EQ(pool.Live().blocks, 0u);

  struct Case {
    const WCHAR* name;
    USHORT maximum;
    NTSTATUS status;
    std::u16string text;
  };
  const Case cases[] = {
      {u"Paths", 16, STATUS_SUCCESS, std::u16string(u"a\0bc\0", 5)},  // the list less one NUL
      {u"Paths", 12, STATUS_SUCCESS, std::u16string(u"a\0bc\0", 5)},
      {u"Paths", 11, STATUS_BUFFER_TOO_SMALL, u""},
      {u"Unterminated", 6, STATUS_SUCCESS, u"ab"},
      {u"Unterminated", 5, STATUS_BUFFER_TOO_SMALL, u""},
  };
  for (const auto& c : cases) {
    std::array<WCHAR, 10> storage;
    storage.fill(0x5A5A);
    const auto before = storage;
    UNICODE_STRING out{0, c.maximum, storage.data()};
    EXPECT_EQ(QueryOne(RTL_REGISTRY_ABSOLUTE, kVxdsp, c.name, &out), c.status)
        << c.maximum << " bytes";
    EXPECT_EQ(std::u16string(out.Buffer, out.Length / 2), c.text);
    if (c.status == STATUS_SUCCESS) {
      EXPECT_EQ(out.Buffer[out.Length / 2], 0);
    } else {
      EXPECT_EQ(storage, before);
    }
  }
}

TEST_F(RegistryQueryTable, MissingValuesTakeTheirDefaultOrFail) {
  ULONG zero = 0;
  ULONG value = 0xEEEEEEEE;
  EXPECT_EQ(QueryOne(RTL_REGISTRY_ABSOLUTE, kVxdsp, u"Missing", &value, 0, REG_DWORD, &zero, 4),
            STATUS_SUCCESS);
  EXPECT_EQ(value, 0u);

  value = 0xEEEEEEEE;
  EXPECT_EQ(QueryOne(RTL_REGISTRY_ABSOLUTE, kVxdsp, u"Missing", &value), STATUS_SUCCESS);
  EXPECT_EQ(value, 0xEEEEEEEEu) << "no default: nothing written";

  EXPECT_EQ(QueryOne(RTL_REGISTRY_ABSOLUTE, kVxdsp, u"Missing", &value, RTL_QUERY_REGISTRY_REQUIRED,
                     REG_DWORD, &zero, 4),
            STATUS_OBJECT_NAME_NOT_FOUND);
  EXPECT_EQ(value, 0xEEEEEEEEu);

  // A string default with length 0 is measured up to its terminator; a list
  // default up to its double terminator.
  UNICODE_STRING text{};
  WCHAR fallback[] = u"USA";
  EXPECT_EQ(QueryOne(RTL_REGISTRY_ABSOLUTE, kVxdsp, u"Missing", &text, 0, REG_SZ, fallback, 0),
            STATUS_SUCCESS);
  EXPECT_EQ(std::u16string(text.Buffer, text.Length / 2), u"USA");
  RtlFreeUnicodeString(&text);
  WCHAR list[] = u"a\0b\0";
  EXPECT_EQ(QueryOne(RTL_REGISTRY_ABSOLUTE, kVxdsp, u"Missing", &text, 0, REG_MULTI_SZ, list, 0),
            STATUS_SUCCESS);
  EXPECT_EQ(std::u16string(text.Buffer, text.Length / 2), std::u16string(u"a\0b\0", 4));
  RtlFreeUnicodeString(&text);
}

TEST_F(RegistryQueryTable, TheControllerParametersQuery) {
  // Three 32-bit values with default 0, the key optional.
  ULONG breakOnEntry = 0xEE;
  ULONG debugFlags = 0xEE;
  ULONG comPort = 0xEE;
  ULONG zero = 0;
  const auto entry = [&](const WCHAR* name, ULONG* out) {
    return RTL_QUERY_REGISTRY_TABLE{
        nullptr,      RTL_QUERY_REGISTRY_DIRECT, const_cast<PWSTR>(name), out, REG_DWORD, &zero,
        sizeof(ULONG)};
  };
  RTL_QUERY_REGISTRY_TABLE table[] = {entry(u"BreakOnEntry", &breakOnEntry),
                                      entry(u"DebugFlags", &debugFlags),
                                      entry(u"ComPort", &comPort),
                                      {}};
  const WCHAR path[] =
      u"\\Registry\\Machine\\System\\CurrentControlSet\\Services\\vxctl\\Parameters";
  EXPECT_EQ(
      QueryRegistryValues(registry, RTL_REGISTRY_ABSOLUTE | RTL_REGISTRY_OPTIONAL, path, table),
      STATUS_SUCCESS);
  EXPECT_EQ(breakOnEntry, 0u);
  EXPECT_EQ(debugFlags, 0x80000001u);
  EXPECT_EQ(comPort, 3u);

  // No Parameters key: success with the key optional, nothing copied.
  comPort = 0xEE;
  const WCHAR missing[] =
      u"\\Registry\\Machine\\System\\CurrentControlSet\\Services\\x\\Parameters";
  EXPECT_EQ(
      QueryRegistryValues(registry, RTL_REGISTRY_ABSOLUTE | RTL_REGISTRY_OPTIONAL, missing, table),
      STATUS_SUCCESS);
  EXPECT_EQ(comPort, 0xEEu);
  EXPECT_EQ(QueryRegistryValues(registry, RTL_REGISTRY_ABSOLUTE, missing, table),
            STATUS_OBJECT_NAME_NOT_FOUND);
}

TEST_F(RegistryQueryTable, TheFirstFailingEntryEndsTheQuery) {
  ULONG a = 0xEE;
  ULONG b = 0xEE;
  ULONG c = 0xEE;
  RTL_QUERY_REGISTRY_TABLE table[] = {
      {nullptr, RTL_QUERY_REGISTRY_DIRECT, const_cast<PWSTR>(u"ComPort"), &a, REG_NONE, nullptr, 0},
      {nullptr, RTL_QUERY_REGISTRY_DIRECT | RTL_QUERY_REGISTRY_REQUIRED,
       const_cast<PWSTR>(u"Missing"), &b, REG_NONE, nullptr, 0},
      {nullptr, RTL_QUERY_REGISTRY_DIRECT, const_cast<PWSTR>(u"DebugFlags"), &c, REG_NONE, nullptr,
       0},
      {}};
  EXPECT_EQ(QueryRegistryValues(registry, RTL_REGISTRY_SERVICES, u"vxctl\\Parameters", table),
            STATUS_OBJECT_NAME_NOT_FOUND);
  EXPECT_EQ(a, 3u);
  EXPECT_EQ(b, 0xEEu);
  EXPECT_EQ(c, 0xEEu);
}

TEST_F(RegistryQueryTable, RelativePathForms) {
  UNICODE_STRING com{};
  EXPECT_EQ(QueryOne(RTL_REGISTRY_DEVICEMAP, u"SERIALCOMM", u"\\Device\\SerialTolvasa0", &com),
            STATUS_SUCCESS);
  EXPECT_EQ(std::u16string(com.Buffer, com.Length / 2), u"COM3");
  RtlFreeUnicodeString(&com);
  ULONG value = 0;
  EXPECT_EQ(QueryOne(RTL_REGISTRY_SERVICES, u"\\vxctl\\Parameters", u"ComPort", &value),
            STATUS_SUCCESS);
  EXPECT_EQ(QueryOne(2, u"x", u"ComPort", &value), STATUS_INVALID_PARAMETER);
  EXPECT_EQ(QueryOne(RTL_REGISTRY_ABSOLUTE, nullptr, u"ComPort", &value), STATUS_INVALID_PARAMETER);
}

TEST_F(RegistryQueryTable, WriteDeleteCheckAndCreate) {
  const ULONG three = 3;
  // The device map relative write of a SERIALCOMM entry, then its removal.
  const WCHAR com1[] = u"COM1";
  EXPECT_EQ(WriteRegistryValue(registry, RTL_REGISTRY_DEVICEMAP, u"SERIALCOMM",
                               u"\\Device\\SerialTolvasa1", REG_SZ, com1, sizeof com1),
            STATUS_SUCCESS);
  UNICODE_STRING text{};
  EXPECT_EQ(QueryOne(RTL_REGISTRY_DEVICEMAP, u"SERIALCOMM", u"\\Device\\SerialTolvasa1", &text),
            STATUS_SUCCESS);
  EXPECT_EQ(std::u16string(text.Buffer, text.Length / 2), u"COM1");
  RtlFreeUnicodeString(&text);
  EXPECT_EQ(DeleteRegistryValue(registry, RTL_REGISTRY_DEVICEMAP, u"SERIALCOMM",
                                u"\\Device\\SerialTolvasa1"),
            STATUS_SUCCESS);
  EXPECT_EQ(DeleteRegistryValue(registry, RTL_REGISTRY_DEVICEMAP, u"SERIALCOMM",
                                u"\\Device\\SerialTolvasa1"),
            STATUS_OBJECT_NAME_NOT_FOUND);

  // Writes need the key; creating needs the parent.
  const WCHAR missing[] =
      u"\\Registry\\Machine\\System\\CurrentControlSet\\Services\\x\\Parameters";
  EXPECT_EQ(WriteRegistryValue(registry, RTL_REGISTRY_ABSOLUTE, missing, u"CurrentCountry",
                               REG_DWORD, &three, 4),
            STATUS_OBJECT_NAME_NOT_FOUND);
  EXPECT_EQ(CreateRegistryKey(registry, RTL_REGISTRY_ABSOLUTE, missing),
            STATUS_OBJECT_NAME_NOT_FOUND);
  EXPECT_EQ(CreateRegistryKey(registry, RTL_REGISTRY_SERVICES, u"x"), STATUS_SUCCESS);
  EXPECT_EQ(CheckRegistryKey(registry, RTL_REGISTRY_ABSOLUTE, missing),
            STATUS_OBJECT_NAME_NOT_FOUND);
  EXPECT_EQ(CreateRegistryKey(registry, RTL_REGISTRY_ABSOLUTE, missing), STATUS_SUCCESS);
  EXPECT_EQ(CheckRegistryKey(registry, RTL_REGISTRY_ABSOLUTE, missing), STATUS_SUCCESS);
  EXPECT_EQ(WriteRegistryValue(registry, RTL_REGISTRY_ABSOLUTE, missing, u"CurrentCountry",
                               REG_DWORD, &three, 4),
            STATUS_SUCCESS);
  ULONG country = 0;
  EXPECT_EQ(QueryOne(RTL_REGISTRY_ABSOLUTE, missing, u"CurrentCountry", &country), STATUS_SUCCESS);
  EXPECT_EQ(country, 3u);
}

}  // namespace
}  // namespace plat::reg
