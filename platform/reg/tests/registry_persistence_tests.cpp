#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

#include "platform/nt/ntstatus.h"
#include "platform/reg/registry.h"
#include "platform/reg/rtlregistry.h"
#include "platform/reg/tests/registry_test_util.h"

namespace plat::reg {
namespace {

namespace fs = std::filesystem;
using namespace std::string_literals;

constexpr char kPersistenceSeed[] = R"(# a small machine
[\Registry\Machine\SOFTWARE\Microsoft\Windows NT\CurrentVersion]
"CurrentVersion"=sz:"4.0"

[\Registry\Machine\System\CurrentControlSet\Services\vxctl\Parameters]
"ComPort"=dword:0x00000003
"EEProm"=binary:00 01 02 03

[\Registry\Machine\HARDWARE\DEVICEMAP\SERIALCOMM]
"\\Device\\Serial0"=sz:"COM1"

[\Registry\User\.DEFAULT\Control Panel\International]
"iCountry"=sz:"49"
)";


class RegistryPersistence : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
    dir = fs::temp_directory_path() / ("vx-reg-" + std::to_string(::getpid()) + "-" + test->name());
    fs::remove_all(dir);
    fs::create_directories(dir);
    state = dir / "state.reg";
  }
  void TearDown() override { fs::remove_all(dir); }

  std::shared_ptr<Key> Open(Registry& registry, std::u16string_view path) {
    std::shared_ptr<Key> key;
    EXPECT_EQ(registry.OpenKey(nullptr, path, &key), STATUS_SUCCESS);
    return key;
  }
  NTSTATUS SetDword(Registry& registry, std::u16string_view name, ULONG value) {
    const Bytes data = U32({value});
    return registry.SetValue(*Open(registry, kParameters), name, REG_DWORD, data);
  }
  ULONG Dword(Registry& registry, std::u16string_view name) {
    const Value* v = Open(registry, kParameters)->FindValue(name);
    EXPECT_NE(v, nullptr);
    ULONG out = 0;
    if (v != nullptr) std::memcpy(&out, v->data.data(), 4);
    return out;
  }

  fs::path dir;
  fs::path state;
};

TEST_F(RegistryPersistence, ChangesSurviveAReloadAndDeletingTheStateRestoresTheSeed) {
  {
    Registry registry;
    ASSERT_TRUE(Loaded(registry.Load("seed", kPersistenceSeed, state)));
    EXPECT_FALSE(fs::exists(state)) << "nothing written before the first change";
    ASSERT_EQ(SetDword(registry, u"ComPort", 5), STATUS_SUCCESS);
    ASSERT_EQ(SetDword(registry, u"CurrentCountry", 49), STATUS_SUCCESS);
    ASSERT_EQ(registry.DeleteValue(*Open(registry, kParameters), u"EEProm"), STATUS_SUCCESS);
    std::shared_ptr<Key> key;
    ULONG disposition = 0;
    ASSERT_EQ(registry.CreateKey(nullptr, std::u16string(kParameters) + u"\\Saved", 0, &key,
                                 &disposition),
              STATUS_SUCCESS);
    ASSERT_EQ(registry.DeleteKey(
                  *Open(registry, u"\\Registry\\User\\.DEFAULT\\Control Panel\\International")),
              STATUS_SUCCESS);
    EXPECT_EQ(ReadFile(state), registry.StateText());
    EXPECT_EQ(registry.state_file()->writes(), 5u);
  }
  Registry reloaded;
  ASSERT_TRUE(Loaded(reloaded.Load("seed", kPersistenceSeed, state)));
  EXPECT_EQ(Dword(reloaded, u"ComPort"), 5u);
  EXPECT_EQ(Dword(reloaded, u"CurrentCountry"), 49u);
  EXPECT_EQ(Open(reloaded, kParameters)->FindValue(u"EEProm"), nullptr);
  EXPECT_NE(Open(reloaded, kParameters)->FindSubkey(u"saved"), nullptr);
  std::shared_ptr<Key> key;
  EXPECT_EQ(
      reloaded.OpenKey(nullptr, u"\\Registry\\User\\.DEFAULT\\Control Panel\\International", &key),
      STATUS_OBJECT_NAME_NOT_FOUND);
  // The device map comes from the seed at every load.
  EXPECT_NE(Open(reloaded, u"\\Registry\\Machine\\HARDWARE\\DEVICEMAP\\SERIALCOMM")
                ->FindValue(u"\\Device\\Serial0"),
            nullptr);

  fs::remove(state);
  Registry fresh;
  ASSERT_TRUE(Loaded(fresh.Load("seed", kPersistenceSeed, state)));
  EXPECT_EQ(Dword(fresh, u"ComPort"), 3u);
  Registry seedOnly;
  ASSERT_TRUE(Loaded(seedOnly.Load("seed", kPersistenceSeed)));
  EXPECT_EQ(WriteHiveText(fresh.hive()), WriteHiveText(seedOnly.hive()));
}

TEST_F(RegistryPersistence, VolatileKeysAreNeverWritten) {
  Registry registry;
  ASSERT_TRUE(Loaded(registry.Load("seed", kPersistenceSeed, state)));
  const auto serialcomm = Open(registry, u"\\Registry\\Machine\\HARDWARE\\DEVICEMAP\\SERIALCOMM");
  const Bytes com = Utf16(std::u16string(u"COM2\0", 5));
  ASSERT_EQ(registry.SetValue(*serialcomm, u"\\Device\\Serial1", REG_SZ, com), STATUS_SUCCESS);
  std::shared_ptr<Key> scratch;
  ULONG disposition = 0;
  ASSERT_EQ(registry.CreateKey(nullptr, std::u16string(kParameters) + u"\\Scratch",
                               REG_OPTION_VOLATILE, &scratch, &disposition),
            STATUS_SUCCESS);
  std::shared_ptr<Key> inner;
  ASSERT_EQ(registry.CreateKey(scratch.get(), u"Inner", REG_OPTION_VOLATILE, &inner, &disposition),
            STATUS_SUCCESS);
  ASSERT_EQ(registry.SetValue(*inner, u"Live", REG_BINARY, com), STATUS_SUCCESS);
  ASSERT_EQ(registry.DeleteValue(*serialcomm, u"\\Device\\Serial0"), STATUS_SUCCESS);
  EXPECT_EQ(registry.state_file()->writes(), 0u);
  EXPECT_FALSE(fs::exists(state));

  ASSERT_EQ(SetDword(registry, u"ComPort", 4), STATUS_SUCCESS);
  const std::string saved = ReadFile(state);
  EXPECT_EQ(saved.find("HARDWARE"), std::string::npos);
  EXPECT_EQ(saved.find("Scratch"), std::string::npos);
  ASSERT_EQ(registry.DeleteKey(*inner), STATUS_SUCCESS);
  EXPECT_EQ(registry.state_file()->writes(), 1u);

  // After a reload the volatile keys are gone and the device map is the seed's.
  Registry reloaded;
  ASSERT_TRUE(Loaded(reloaded.Load("seed", kPersistenceSeed, state)));
  EXPECT_EQ(Open(reloaded, kParameters)->FindSubkey(u"Scratch"), nullptr);
  const auto map = Open(reloaded, u"\\Registry\\Machine\\HARDWARE\\DEVICEMAP\\SERIALCOMM");
  EXPECT_NE(map->FindValue(u"\\Device\\Serial0"), nullptr);
  EXPECT_EQ(map->FindValue(u"\\Device\\Serial1"), nullptr);
  EXPECT_TRUE(map->is_volatile());
}

TEST_F(RegistryPersistence, AFailedWriteLeavesTheOldFileWholeAndTheOldValue) {
  for (const auto fault : {StateWriteFault::kTempFileCut, StateWriteFault::kBeforeRename}) {
    SCOPED_TRACE(fault == StateWriteFault::kTempFileCut ? "temp file cut" : "before rename");
    fs::remove(state);
    Registry registry;
    ASSERT_TRUE(Loaded(registry.Load("seed", kPersistenceSeed, state)));
    ASSERT_EQ(SetDword(registry, u"ComPort", 5), STATUS_SUCCESS);
    const std::string old = ReadFile(state);

    // Each kind of change, failed at its write: the status, the old content
    // in memory and on disk.
    registry.state_file()->FailNthWrite(1, fault);
    EXPECT_EQ(SetDword(registry, u"ComPort", 6), STATUS_REGISTRY_IO_FAILED);
    EXPECT_EQ(Dword(registry, u"ComPort"), 5u);
    registry.state_file()->FailNthWrite(1, fault);
    EXPECT_EQ(SetDword(registry, u"NewValue", 1), STATUS_REGISTRY_IO_FAILED);
    EXPECT_EQ(Open(registry, kParameters)->FindValue(u"NewValue"), nullptr);
    registry.state_file()->FailNthWrite(1, fault);
    EXPECT_EQ(registry.DeleteValue(*Open(registry, kParameters), u"EEProm"),
              STATUS_REGISTRY_IO_FAILED);
    EXPECT_NE(Open(registry, kParameters)->FindValue(u"EEProm"), nullptr);
    std::shared_ptr<Key> key;
    ULONG disposition = 0;
    registry.state_file()->FailNthWrite(1, fault);
    EXPECT_EQ(registry.CreateKey(Open(registry, kParameters).get(), u"Sub", 0, &key, &disposition),
              STATUS_REGISTRY_IO_FAILED);
    EXPECT_EQ(Open(registry, kParameters)->FindSubkey(u"Sub"), nullptr);
    const auto international =
        Open(registry, u"\\Registry\\User\\.DEFAULT\\Control Panel\\International");
    registry.state_file()->FailNthWrite(1, fault);
    EXPECT_EQ(registry.DeleteKey(*international), STATUS_REGISTRY_IO_FAILED);
    EXPECT_FALSE(international->deleted());
    EXPECT_EQ(Open(registry, u"\\Registry\\User\\.DEFAULT\\Control Panel\\International"),
              international);

    EXPECT_EQ(ReadFile(state), old);
    EXPECT_EQ(registry.StateText(), old);
    Registry reread;
    EXPECT_TRUE(Loaded(reread.Load("seed", kPersistenceSeed, state)));

    // The next write replaces both the file and the leftover temporary file.
    ASSERT_EQ(SetDword(registry, u"ComPort", 7), STATUS_SUCCESS);
    EXPECT_EQ(ReadFile(state), registry.StateText());
    EXPECT_FALSE(fs::exists(registry.state_file()->TempPath()));
  }
}

TEST_F(RegistryPersistence, AWriteStoppedAtAnyPointLeavesTheOldOrTheNewFileWhole) {
  // A fault on the n-th of several writes, for every n: the file on disk is
  // always one complete state, the one before the failed write.
  const ULONG kWrites = 6;
  for (ULONG failAt = 1; failAt <= kWrites; ++failAt) {
    fs::remove(state);
    Registry registry;
    ASSERT_TRUE(Loaded(registry.Load("seed", kPersistenceSeed, state)));
    registry.state_file()->FailNthWrite(failAt, StateWriteFault::kBeforeRename);
    std::string lastGood = fs::exists(state) ? ReadFile(state) : "";
    for (ULONG i = 1; i <= kWrites; ++i) {
      const NTSTATUS status = SetDword(registry, u"Counter", i);
      EXPECT_EQ(status, i == failAt ? STATUS_REGISTRY_IO_FAILED : STATUS_SUCCESS);
      if (status == STATUS_SUCCESS) lastGood = registry.StateText();
      EXPECT_EQ(fs::exists(state) ? ReadFile(state) : "", lastGood) << "write " << i;
    }
  }
}

TEST_F(RegistryPersistence, IOErrorsFailTheChangeToo) {
  Registry registry;
  ASSERT_TRUE(Loaded(registry.Load("seed", kPersistenceSeed, dir / "missing-folder" / "state.reg")));
  EXPECT_EQ(SetDword(registry, u"ComPort", 5), STATUS_REGISTRY_IO_FAILED);
  EXPECT_EQ(Dword(registry, u"ComPort"), 3u);
}

TEST_F(RegistryPersistence, CanonicalTextLoadsAndSavesToTheSameBytes) {
  const std::string canonical =
      "# Registry state of a simulated machine: keys sorted, one value a line.\n"
      "\n[\\Registry\\Machine]\n"
      "\n[\\Registry\\Machine\\SOFTWARE]\n"
      "\n[\\Registry\\Machine\\SOFTWARE\\V\u00e9ndor \u20ac]\n"
      "\"\"=sz:\"default\"\n"
      "\"a\\\\b \\\"q\\\"\"=multi_sz:\"one\",\"\",\"\\u0009tab\"\n"
      "\"Big\"=binary:00 ff 10\n"
      "\"Count\"=dword:0x0000002a\n"
      "\"Empty\"=multi_sz:00 00\n"
      "\"Expand\"=expand_sz:\"%SystemRoot%\\\\x\"\n"
      "\"Lone\"=sz:\"\\ud800x\\u0000y\"\n"
      "\"None\"=none:\n"
      "\"Odd\"=sz:61 00 62\n"
      "\"Qword\"=type(11):01 00 00 00 00 00 00 00\n"
      "\"Short\"=dword:01 02\n"
      "\"Smile \U0001F600\"=sz:\"\U0001F600\"\n"
      "\n[\\Registry\\User]\n";
  Hive hive;
  ASSERT_TRUE(Loaded(ParseHiveText("canonical", canonical, HiveSource::kState, hive)));
  EXPECT_EQ(WriteHiveText(hive), canonical);
  const auto* lone =
      hive.machine().FindSubkey(u"software")->FindSubkey(u"V\u00e9ndor \u20ac")->FindValue(u"Lone");
  ASSERT_NE(lone, nullptr);
  EXPECT_EQ(lone->data, Utf16(std::u16string(u"\xD800x\0y\0", 5)));
}

TEST_F(RegistryPersistence, AnyTextSavesCanonically) {
  // Unsorted keys, other spellings of the same data, comments and CRLF.
  const std::string loose =
      "\xEF\xBB\xBF; first line comment\r\n"
      "[\\REGISTRY\\User\\b]\r\n"
      "   \"Z\"=dword:2a 00 00 00   \r\n"
      "\"y\"=sz:\"\\u0041\"\n"
      "[\\Registry\\User\\A]\n"
      "\t# indented comment\n"
      "\"x\"=binary:0A 0b\n";
  Hive first;
  ASSERT_TRUE(Loaded(ParseHiveText("loose", loose, HiveSource::kSeed, first)));
  const std::string saved = WriteHiveText(first);
  EXPECT_EQ(saved,
            "# Registry state of a simulated machine: keys sorted, one value a line.\n"
            "\n[\\Registry\\Machine]\n"
            "\n[\\Registry\\User]\n"
            "\n[\\Registry\\User\\A]\n"
            "\"x\"=binary:0a 0b\n"
            "\n[\\Registry\\User\\b]\n"
            "\"y\"=sz:\"A\"\n"
            "\"Z\"=dword:0x0000002a\n");
  Hive second;
  ASSERT_TRUE(Loaded(ParseHiveText("saved", saved, HiveSource::kState, second)));
  EXPECT_EQ(WriteHiveText(second), saved);
}

// A hive of random keys and values: names with quotes, backslashes, controls
// and characters outside the basic plane; data of every type and shape.
std::u16string RandomName(std::mt19937& rng, bool key) {
  static constexpr char16_t kUnits[] = {u'a',   u'Z',   u'0',    u' ',   u'"',
                                        u'\\',  u'\t',  u'\x7F', 0x00E9, 0x20AC,
                                        0xD83D, 0xDE00, 0x0000,  u']',   u'#'};
  std::u16string name;
  const int length = 1 + static_cast<int>(rng() % 8);
  while (static_cast<int>(name.size()) < length) {
    const char16_t c = kUnits[rng() % std::size(kUnits)];
    name += c;
  }
  if (key) {
    // A key name: no backslash, no control, surrogates in pairs.
    std::u16string clean;
    for (const char16_t c : name) {
      if (c == u'\\' || c < 0x20 || (c >= 0xD800 && c <= 0xDFFF))
        clean += u'k';
      else
        clean += c;
    }
    if (rng() % 3 == 0) clean += u"\U0001F600";
    return clean;
  }
  return name;
}

Hive RandomHive(std::uint32_t seed) {
  std::mt19937 rng(seed);
  Hive hive;
  std::vector<std::shared_ptr<Key>> keys;
  std::shared_ptr<Key> top;
  hive.Open(nullptr, u"\\Registry\\Machine", &top);
  keys.push_back(top);
  for (int i = 0; i < 40; ++i) {
    const auto& parent = keys[rng() % keys.size()];
    std::shared_ptr<Key> key;
    bool created = false;
    if (hive.Create(parent.get(), RandomName(rng, true), parent->is_volatile(), &key, &created) ==
        STATUS_SUCCESS) {
      keys.push_back(key);
    }
    static constexpr ULONG kTypes[] = {REG_NONE,     REG_SZ, REG_EXPAND_SZ, REG_BINARY, REG_DWORD,
                                       REG_MULTI_SZ, 11};
    Bytes data(rng() % 12);
    for (auto& b : data) b = static_cast<UCHAR>(rng() % 3 == 0 ? 0 : rng());
    hive.SetValue(*keys[rng() % keys.size()], RandomName(rng, false), kTypes[rng() % 7], data);
  }
  return hive;
}

TEST_F(RegistryPersistence, RandomHivesRoundTripExactly) {
  for (std::uint32_t seed = 1; seed <= 200; ++seed) {
    const Hive hive = RandomHive(seed);
    const std::string text = WriteHiveText(hive);
    Hive back;
    ASSERT_TRUE(Loaded(ParseHiveText("random", text, HiveSource::kSeed, back))) << text;
    EXPECT_EQ(WriteHiveText(back), text) << "seed " << seed;
  }
}

TEST_F(RegistryPersistence, FileBytesDependOnlyOnTheContent) {
  // The same content reached in two orders, and the same operations twice.
  const auto build = [&](bool reversed, const fs::path& file) {
    Registry registry;
    EXPECT_TRUE(Loaded(registry.Load("seed", kPersistenceSeed, file)));
    std::vector<std::pair<std::u16string, ULONG>> values = {
        {u"Alpha", 1}, {u"beta", 2}, {u"GAMMA", 3}, {u"delta", 4}};
    if (reversed) std::reverse(values.begin(), values.end());
    for (const auto& [name, value] : values) EXPECT_EQ(SetDword(registry, name, value), 0);
    return ReadFile(file);
  };
  const std::string a = build(false, dir / "a.reg");
  EXPECT_EQ(build(true, dir / "b.reg"), a);
  EXPECT_EQ(build(false, dir / "c.reg"), a);
}

struct MalformedCase {
  std::string text;
  int line;
  const char* message;
};

TEST_F(RegistryPersistence, MalformedFilesAreRefusedWithFileAndLine) {
  const MalformedCase cases[] = {
      {"\"x\"=dword:0x00000001\n", 1, "value before any [key] line"},
      {"[\\Registry\\Machine\\A]\nplain text\n", 2, "expected a [key]"},
      {"[\\Registry\\Machine\\A\n", 1, "without closing"},
      {"[\\Registry\\Other]\n", 1, "keys live under"},
      {"[Machine\\A]\n", 1, "must start"},
      {"[\\Registry\\]\n", 1, "invalid key name"},
      {"[\\Registry\\Machine\\\\A]\n", 1, "invalid key name"},
      {"[\\Registry\\Machine\\a\tb]\n", 1, "control character"},
      {"[\\Registry\\Machine\\A]\n[\\registry\\machine\\a]\n", 2, "listed twice"},
      {"[\\Registry\\Machine\\A]\n\"x\"=sz:\"1\"\n\"X\"=sz:\"2\"\n", 3, "listed twice"},
      {"[\\Registry\\Machine\\A]\n\"x=sz:\"1\"\n", 2, "expected '='"},
      {"[\\Registry\\Machine\\A]\n\"x\"=sz:\"open\n", 2, "unterminated"},
      {"[\\Registry\\Machine\\A]\n\"x\"sz:\"1\"\n", 2, "expected '='"},
      {"[\\Registry\\Machine\\A]\n\"x\"=sz\n", 2, "expected type"},
      {"[\\Registry\\Machine\\A]\n\"x\"=qword:00\n", 2, "unknown value type"},
      {"[\\Registry\\Machine\\A]\n\"x\"=type(4294967296):00\n", 2, "unknown value type"},
      {"[\\Registry\\Machine\\A]\n\"x\"=type(-1):00\n", 2, "unknown value type"},
      {"[\\Registry\\Machine\\A]\n\"x\"=binary:\"text\"\n", 2, "quoted data"},
      {"[\\Registry\\Machine\\A]\n\"x\"=binary:0x00000001\n", 2, "0x number"},
      {"[\\Registry\\Machine\\A]\n\"x\"=dword:0x0001\n", 2, "eight hex digits"},
      {"[\\Registry\\Machine\\A]\n\"x\"=dword:0x000000010\n", 2, "text after"},
      {"[\\Registry\\Machine\\A]\n\"x\"=binary:0 1\n", 2, "bad hex byte"},
      {"[\\Registry\\Machine\\A]\n\"x\"=binary:00  01\n", 2, "bad hex byte"},
      {"[\\Registry\\Machine\\A]\n\"x\"=binary:0g\n", 2, "bad hex byte"},
      {"[\\Registry\\Machine\\A]\n\"x\"=sz:\"a\",\"b\"\n", 2, "text after"},
      {"[\\Registry\\Machine\\A]\n\"x\"=sz:\"\\q\"\n", 2, "unknown escape"},
      {"[\\Registry\\Machine\\A]\n\"x\"=sz:\"\\u12\"\n", 2, "four hex digits"},
      {"[\\Registry\\Machine\\A]\n\"x\"=sz:\"\xC3\"\n", 2, "invalid UTF-8"},
      {"[\\Registry\\Machine\\A]\n\"x\"=sz:\"\xC0\xAF\"\n", 2, "invalid UTF-8"},      // overlong
      {"[\\Registry\\Machine\\A]\n\"x\"=sz:\"\xED\xA0\x80\"\n", 2, "invalid UTF-8"},  // surrogate
      {"[\\Registry\\Machine\\A]\n\"x\"=sz:\"\xF4\x90\x80\x80\"\n", 2, "invalid UTF-8"},
      {"[\\Registry\\Machine\\A]\n\"x\"=sz:\"\x80\"\n", 2, "invalid UTF-8"},
      {"[\\Registry\\Machine\\A]\n\"x\"=sz:\"a\tb\"\n", 2, "control character"},
      {"[\\Registry\\Machine\\A]\n\"x\"=binary:00\0 01\n"s, 2, "NUL byte"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    const std::string& text = c.text;
    // As a state file: the error names the file; the registry keeps its content.
    Registry registry;
    ASSERT_TRUE(Loaded(registry.Load("seed", kPersistenceSeed)));
    const std::string before = WriteHiveText(registry.hive());
    WriteFile(state, text);
    const auto error = registry.Load("seed", kPersistenceSeed, state);
    ASSERT_TRUE(error.has_value());
    EXPECT_EQ(error->file, state.string());
    EXPECT_EQ(error->line, c.line);
    EXPECT_NE(error->message.find(c.message), std::string::npos) << error->message;
    EXPECT_EQ(WriteHiveText(registry.hive()), before);
    // As a seed: the error names the seed.
    const auto seedError = registry.Load("seed.reg", text);
    ASSERT_TRUE(seedError.has_value());
    EXPECT_EQ(seedError->Text().substr(0, 9), "seed.reg:");
  }
}

TEST_F(RegistryPersistence, StateFilesHoldNoVolatileKeys) {
  WriteFile(state, "[\\Registry\\Machine\\HARDWARE\\DEVICEMAP]\n");
  Registry registry;
  const auto error = registry.Load("seed", kPersistenceSeed, state);
  ASSERT_TRUE(error.has_value());
  EXPECT_EQ(error->line, 1);
  EXPECT_NE(error->message.find("volatile"), std::string::npos);
}

TEST_F(RegistryPersistence, LimitsAreRefusedNotCrashedOn) {
  std::string deep = "[\\Registry\\Machine";
  for (std::size_t i = 0; i < kMaxKeyDepth + 5; ++i) deep += "\\k";
  deep += "]\n";
  std::string longName = "[\\Registry\\Machine\\" + std::string(256, 'n') + "]\n";
  std::string bigValue = "[\\Registry\\Machine\\A]\n\"x\"=binary:00";
  for (std::size_t i = 0; i < kMaxValueBytes; ++i) bigValue += " 00";
  bigValue += "\n";
  for (const auto& text : {deep, longName, bigValue}) {
    Hive hive;
    const auto error = ParseHiveText("limits", text, HiveSource::kSeed, hive);
    ASSERT_TRUE(error.has_value());
    EXPECT_LE(error->line, 2);
  }
}

TEST_F(RegistryPersistence, MutatedFilesLoadOrFailCleanly) {
  // Random damage to a good file: every load either succeeds or names a
  // line of the file; under the sanitizers nothing reads out of bounds.
  const std::string good[] = {kPersistenceSeed, WriteHiveText(RandomHive(7))};
  std::mt19937 rng(12345);
  int refused = 0;
  for (int round = 0; round < 3000; ++round) {
    std::string text = good[round % 2];
    const int edits = 1 + static_cast<int>(rng() % 4);
    for (int e = 0; e < edits && !text.empty(); ++e) {
      const std::size_t at = rng() % text.size();
      switch (rng() % 5) {
        case 0:
          text[at] = static_cast<char>(rng());
          break;
        case 1:
          text.erase(at, 1 + rng() % 8);
          break;
        case 2:
          text.insert(at, 1, "\"\\[]=:,x0\n\xC3\xE2"[rng() % 12]);
          break;
        case 3:
          text.resize(at);
          break;
        case 4:
          text.insert(at, text.substr(rng() % text.size(), rng() % 40));
          break;
      }
    }
    const int lines = static_cast<int>(std::count(text.begin(), text.end(), '\n')) + 1;
    Hive hive;
    const auto error = ParseHiveText("mutated", text, HiveSource::kSeed, hive);
    if (!error) continue;
    ++refused;
    EXPECT_EQ(error->file, "mutated");
    EXPECT_GE(error->line, 1);
    EXPECT_LE(error->line, lines);
    EXPECT_FALSE(error->message.empty());
  }
  EXPECT_GT(refused, 1000) << "the mutations should break most files";
}

}  // namespace
}  // namespace plat::reg
