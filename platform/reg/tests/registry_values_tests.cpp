#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/nt/ntstatus.h"
#include "platform/reg/registry.h"
#include "platform/reg/tests/registry_test_util.h"
#include "platform/reg/valueinfo.h"

namespace plat::reg {
namespace {

Bytes Cat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

// n distinct bytes.
Bytes Data(std::size_t n) {
  Bytes out(n);
  for (std::size_t i = 0; i < n; ++i) out[i] = static_cast<UCHAR>(0xA0 + i);
  return out;
}

constexpr UCHAR kFill = 0xEE;

struct Query {
  NTSTATUS status;
  ULONG result_length;
  Bytes buffer;  // the whole caller buffer afterwards
};

Query QueryInto(const Value& value, KEY_VALUE_INFORMATION_CLASS infoClass, ULONG length) {
  Query q{0, 0xFFFFFFFF, Bytes(length, kFill)};
  q.status = QueryValueInformation(value, infoClass, q.buffer.data(), length, &q.result_length);
  return q;
}

// The record each class holds, written out field by field.
Bytes Expected(const Value& v, KEY_VALUE_INFORMATION_CLASS infoClass) {
  const auto name = static_cast<ULONG>(v.name.size() * 2);
  const auto data = static_cast<ULONG>(v.data.size());
  switch (infoClass) {
    case KeyValueBasicInformation:
      return Cat({U32({0, v.type, name}), Utf16(v.name)});
    case KeyValueFullInformation: {
      const ULONG offset = (20 + name + 3) / 4 * 4;
      return Cat({U32({0, v.type, offset, data, name}), Utf16(v.name), Bytes(offset - 20 - name, 0),
                  v.data});
    }
    case KeyValuePartialInformation:
      return Cat({U32({0, v.type, data}), v.data});
  }
  return {};
}

TEST(RegistryValues, EveryClassTypeAndSizeAgainstTheBufferLength) {
  const Value values[] = {
      {u"Count", REG_DWORD, U32({0x2A})},
      {u"gpio_lpohd", REG_BINARY, Data(1)},
      {u"v92rptopt", REG_BINARY, Data(1)},
      {u"EEProm", REG_BINARY, Data(285)},
      {u"CurrentVersion", REG_SZ, Utf16(std::u16string(u"4.0\0", 4))},
      {u"Paths", REG_MULTI_SZ, Utf16(std::u16string(u"a\0bc\0\0", 6))},
      {u"", REG_NONE, {}},
  };
  for (const Value& v : values) {
    for (const auto infoClass :
         {KeyValueBasicInformation, KeyValueFullInformation, KeyValuePartialInformation}) {
      const Bytes record = Expected(v, infoClass);
      const auto full = static_cast<ULONG>(record.size());
      const ULONG fixed = infoClass == KeyValueFullInformation ? 20 : 12;
      for (ULONG length : {0u, fixed - 1, fixed, full - 1, full, full + 5}) {
        SCOPED_TRACE(std::string(v.name.begin(), v.name.end()) + " class " +
                     std::to_string(infoClass) + " length " + std::to_string(length));
        const Query q = QueryInto(v, infoClass, length);
        EXPECT_EQ(q.result_length, full);
        Bytes expected(length, kFill);
        if (length < fixed) {
          EXPECT_EQ(q.status, STATUS_BUFFER_TOO_SMALL);
        } else if (length < full) {
          EXPECT_EQ(q.status, STATUS_BUFFER_OVERFLOW);
          std::copy(record.begin(), record.begin() + fixed, expected.begin());
        } else {
          EXPECT_EQ(q.status, STATUS_SUCCESS);
          std::copy(record.begin(), record.end(), expected.begin());
        }
        EXPECT_EQ(q.buffer, expected);
      }
    }
  }
}

TEST(RegistryValues, FullInformationPlacesTheDataOnAFourByteBoundary) {
  // Names of odd and even length: 20 + 2n rounded up to 4.
  const Value odd{u"abc", REG_BINARY, Data(3)};
  const Value even{u"abcd", REG_BINARY, Data(3)};
  Query q = QueryInto(odd, KeyValueFullInformation, 64);
  ASSERT_EQ(q.status, STATUS_SUCCESS);
  EXPECT_EQ(q.result_length, 28u + 3u);
  EXPECT_EQ(reinterpret_cast<KEY_VALUE_FULL_INFORMATION*>(q.buffer.data())->DataOffset, 28u);
  q = QueryInto(even, KeyValueFullInformation, 64);
  EXPECT_EQ(q.result_length, 28u + 3u);
  EXPECT_EQ(reinterpret_cast<KEY_VALUE_FULL_INFORMATION*>(q.buffer.data())->DataOffset, 28u);
}

// A reader that queries full information into its own size + 22 + the name's
// bytes, as the controller's settings reader does.
NTSTATUS ReadLikeTheController(const Value& v, ULONG callerSize) {
  const ULONG length = callerSize + 22 + static_cast<ULONG>(v.name.size() * 2);
  return QueryInto(v, KeyValueFullInformation, length).status;
}

TEST(RegistryValues, CallerSizePlus22PlusNameFailsExactlyAboveTheCallerSize) {
  // With a name of odd length the padding is 2 bytes and the rule is exact.
  for (const std::u16string name : {u"EEProm1", u"CountryLst", u"HookFlashMethod"}) {
    for (const ULONG size : {1u, 2u, 3u, 285u, 964u}) {
      SCOPED_TRACE(std::string(name.begin(), name.end()) + " size " + std::to_string(size));
      const bool padded = name.size() % 2 == 1;
      for (ULONG dataBytes = size > 4 ? size - 4 : 0; dataBytes <= size + 4; ++dataBytes) {
        const Value v{name, REG_BINARY, Data(dataBytes)};
        // Without padding 2 more bytes fit: the caller must compare DataLength with its size.
        const ULONG fits_up_to = padded ? size : size + 2;
        EXPECT_EQ(ReadLikeTheController(v, size),
                  dataBytes <= fits_up_to ? STATUS_SUCCESS : STATUS_BUFFER_OVERFLOW)
            << dataBytes << " data bytes";
      }
    }
  }
}

TEST(RegistryValues, ADwordReadAsAOneByteSwitchIsAbsent) {
  // Every one-byte switch name of the controller, stored as REG_DWORD.
  for (const std::u16string name :
       {u"gpio_lpohd", u"v92rptopt", u"v9xMCREnable", u"V34AuxChEnable", u"MohSettingOverride",
        u"BlkLlstInfoPreserved", u"LineInUseDet", u"LineUnAvailDet", u"DlpFaultNotify",
        u"QCDefaultOn", u"MOHDefaultOn", u"RingbackDetEnable", u"Feature1"}) {
    EXPECT_NE(ReadLikeTheController({name, REG_DWORD, U32({1})}, 1), STATUS_SUCCESS)
        << std::string(name.begin(), name.end());
    EXPECT_EQ(ReadLikeTheController({name, REG_BINARY, Data(1)}, 1), STATUS_SUCCESS);
  }
}

TEST(RegistryValues, BadArgumentsAreRefused) {
  const Value v{u"x", REG_DWORD, U32({1})};
  ULONG result = 0;
  EXPECT_EQ(QueryValueInformation(v, KeyValueFullInformation, nullptr, 8, &result),
            STATUS_INVALID_PARAMETER);
  UCHAR buffer[64];
  EXPECT_EQ(QueryValueInformation(v, static_cast<KEY_VALUE_INFORMATION_CLASS>(7), buffer,
                                  sizeof buffer, &result),
            STATUS_INVALID_PARAMETER);
  // A size query with no buffer at all.
  EXPECT_EQ(QueryValueInformation(v, KeyValuePartialInformation, nullptr, 0, &result),
            STATUS_BUFFER_TOO_SMALL);
  EXPECT_EQ(result, 16u);
}

class RegistryKeys : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(Loaded(registry.Load(
        "seed", R"([\Registry\Machine\System\CurrentControlSet\Services\vxctl\Parameters]
"ComPort"=dword:0x00000003
[\Registry\Machine\HARDWARE\DEVICEMAP\SERIALCOMM]
)")));
  }
  std::shared_ptr<Key> Open(std::u16string_view path) {
    std::shared_ptr<Key> key;
    EXPECT_EQ(registry.OpenKey(nullptr, path, &key), STATUS_SUCCESS);
    return key;
  }
  Registry registry;
};

TEST_F(RegistryKeys, NamesAreCaseInsensitiveAndKeepTheirCase) {
  std::shared_ptr<Key> key;
  ASSERT_EQ(registry.OpenKey(nullptr,
                             u"\\REGISTRY\\machine\\SYSTEM\\currentcontrolset\\"
                             u"services\\VXCTL\\parameters",
                             &key),
            STATUS_SUCCESS);
  EXPECT_EQ(key->Path(), kParameters);
  const UCHAR one[4] = {1, 0, 0, 0};
  EXPECT_EQ(registry.SetValue(*key, u"COMPORT", REG_DWORD, one), STATUS_SUCCESS);
  ASSERT_EQ(key->values().size(), 1u);
  EXPECT_EQ(key->FindValue(u"comport")->name, u"ComPort") << "the first spelling stays";
  EXPECT_EQ(key->FindValue(u"comport")->data, Bytes(one, one + 4));
}

struct PathCase {
  std::u16string path;
  bool relative;  // to the Parameters key
  NTSTATUS status;
};

TEST_F(RegistryKeys, PathsAreCheckedAndResolved) {
  const auto parameters = Open(kParameters);
  const PathCase cases[] = {
      {u"\\Registry\\Machine\\System", false, STATUS_SUCCESS},
      {u"\\Registry", false, STATUS_SUCCESS},
      {u"\\Registry\\Machine\\Nothing", false, STATUS_OBJECT_NAME_NOT_FOUND},
      {u"\\RegistryX\\Machine", false, STATUS_OBJECT_NAME_NOT_FOUND},
      {u"\\Device\\Serial0", false, STATUS_OBJECT_NAME_NOT_FOUND},
      {u"\\Registry\\Machine\\\\System", false, STATUS_OBJECT_NAME_INVALID},
      {u"\\Registry\\Machine\\System\\", false, STATUS_OBJECT_NAME_INVALID},
      {u"Registry\\Machine", false, STATUS_OBJECT_PATH_SYNTAX_BAD},
      {u"", true, STATUS_SUCCESS},
      {u"Sub", true, STATUS_OBJECT_NAME_NOT_FOUND},
      {u"\\Sub", true, STATUS_OBJECT_PATH_SYNTAX_BAD},
      {std::u16string(256, u'k'), true, STATUS_OBJECT_NAME_INVALID},
  };
  for (const auto& c : cases) {
    std::shared_ptr<Key> key;
    EXPECT_EQ(registry.OpenKey(c.relative ? parameters.get() : nullptr, c.path, &key), c.status)
        << std::string(c.path.begin(), c.path.end());
  }
}

TEST_F(RegistryKeys, CreateReportsItsDispositionAndNeedsTheParent) {
  const auto parameters = Open(kParameters);
  std::shared_ptr<Key> key;
  ULONG disposition = 0;
  ASSERT_EQ(
      registry.CreateKey(parameters.get(), u"Sub", REG_OPTION_NON_VOLATILE, &key, &disposition),
      STATUS_SUCCESS);
  EXPECT_EQ(disposition, REG_CREATED_NEW_KEY);
  ASSERT_EQ(registry.CreateKey(nullptr, std::u16string(kParameters) + u"\\SUB", REG_OPTION_VOLATILE,
                               &key, &disposition),
            STATUS_SUCCESS);
  EXPECT_EQ(disposition, REG_OPENED_EXISTING_KEY);
  EXPECT_FALSE(key->is_volatile()) << "opening keeps the key as it was created";
  EXPECT_EQ(registry.CreateKey(nullptr, u"\\Registry\\Machine\\A\\B", 0, &key, &disposition),
            STATUS_OBJECT_NAME_NOT_FOUND);
  EXPECT_EQ(registry.CreateKey(nullptr, u"\\Registry\\Other", 0, &key, &disposition),
            STATUS_ACCESS_DENIED);
  EXPECT_EQ(registry.CreateKey(parameters.get(), u"X", 2, &key, &disposition),
            STATUS_INVALID_PARAMETER);
}

TEST_F(RegistryKeys, VolatileParentsTakeVolatileChildrenOnly) {
  const auto devicemap = Open(u"\\Registry\\Machine\\HARDWARE\\DEVICEMAP");
  EXPECT_TRUE(devicemap->is_volatile());
  std::shared_ptr<Key> key;
  ULONG disposition = 0;
  EXPECT_EQ(
      registry.CreateKey(devicemap.get(), u"PORTS", REG_OPTION_NON_VOLATILE, &key, &disposition),
      STATUS_CHILD_MUST_BE_VOLATILE);
  EXPECT_EQ(registry.CreateKey(devicemap.get(), u"PORTS", REG_OPTION_VOLATILE, &key, &disposition),
            STATUS_SUCCESS);
  EXPECT_TRUE(key->is_volatile());
}

TEST_F(RegistryKeys, DeletedKeysServeNothingButStayValidForTheirHolders) {
  const auto parameters = Open(kParameters);
  std::shared_ptr<Key> sub;
  ULONG disposition = 0;
  ASSERT_EQ(registry.CreateKey(parameters.get(), u"Sub", 0, &sub, &disposition), STATUS_SUCCESS);
  const auto service = Open(u"\\Registry\\Machine\\System\\CurrentControlSet\\Services\\vxctl");
  EXPECT_EQ(registry.DeleteKey(*parameters), STATUS_CANNOT_DELETE) << "it has a subkey";
  ASSERT_EQ(registry.DeleteKey(*sub), STATUS_SUCCESS);
  ASSERT_EQ(registry.DeleteKey(*parameters), STATUS_SUCCESS);
  ASSERT_EQ(registry.DeleteKey(*service), STATUS_SUCCESS);  // the parent goes too

  const UCHAR byte = 1;
  EXPECT_EQ(registry.SetValue(*parameters, u"x", REG_BINARY, {&byte, 1}), STATUS_KEY_DELETED);
  EXPECT_EQ(registry.DeleteValue(*parameters, u"ComPort"), STATUS_KEY_DELETED);
  ULONG result = 0;
  EXPECT_EQ(
      registry.QueryValue(*parameters, u"ComPort", KeyValuePartialInformation, nullptr, 0, &result),
      STATUS_KEY_DELETED);
  EXPECT_EQ(registry.DeleteKey(*parameters), STATUS_KEY_DELETED);
  std::shared_ptr<Key> key;
  EXPECT_EQ(registry.CreateKey(parameters.get(), u"New", 0, &key, &disposition),
            STATUS_KEY_DELETED);
  EXPECT_EQ(registry.OpenKey(nullptr, kParameters, &key), STATUS_OBJECT_NAME_NOT_FOUND);
}

TEST(RegistryFixedKeys, CannotBeDeletedEvenWhenEmpty) {
  Registry registry;
  for (const auto path : {u"\\Registry\\User", u"\\Registry\\Machine\\HARDWARE"}) {
    std::shared_ptr<Key> key;
    ASSERT_EQ(registry.OpenKey(nullptr, path, &key), STATUS_SUCCESS);
    ASSERT_TRUE(key->subkeys().empty());
    EXPECT_EQ(registry.DeleteKey(*key), STATUS_CANNOT_DELETE);
  }
}

TEST_F(RegistryKeys, ValuesAreSetQueriedAndDeleted) {
  const auto parameters = Open(kParameters);
  const Bytes data = Data(285);
  ASSERT_EQ(registry.SetValue(*parameters, u"EEProm", REG_BINARY, data), STATUS_SUCCESS);
  Bytes buffer(12 + 285);
  ULONG result = 0;
  ASSERT_EQ(registry.QueryValue(*parameters, u"eeprom", KeyValuePartialInformation, buffer.data(),
                                static_cast<ULONG>(buffer.size()), &result),
            STATUS_SUCCESS);
  EXPECT_EQ(Bytes(buffer.begin() + 12, buffer.end()), data);
  EXPECT_EQ(registry.DeleteValue(*parameters, u"EEPROM"), STATUS_SUCCESS);
  EXPECT_EQ(registry.DeleteValue(*parameters, u"EEPROM"), STATUS_OBJECT_NAME_NOT_FOUND);
  EXPECT_EQ(registry.QueryValue(*parameters, u"EEProm", KeyValuePartialInformation, buffer.data(),
                                static_cast<ULONG>(buffer.size()), &result),
            STATUS_OBJECT_NAME_NOT_FOUND);
  // The default value has the empty name.
  ASSERT_EQ(registry.SetValue(*parameters, u"", REG_SZ, Utf16(std::u16string(u"d\0", 2))),
            STATUS_SUCCESS);
  EXPECT_NE(parameters->FindValue(u""), nullptr);
}

}  // namespace
}  // namespace plat::reg
