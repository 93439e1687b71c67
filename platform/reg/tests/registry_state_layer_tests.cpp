// The state file as a layer over the seed: what it holds, what a newer seed
// adds, what old full copies do, and that a failed write keeps the old file.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

#include "platform/nt/ntstatus.h"
#include "platform/reg/registry.h"
#include "platform/reg/tests/registry_test_util.h"

namespace plat::reg {
namespace {

namespace fs = std::filesystem;

constexpr char kOldSeed[] = R"(
[\Registry\Machine\System\CurrentControlSet\Services\vxafe\Parameters]
"Gain"=dword:0x00000003
"Name"=sz:"front end"
"Spare"=binary:01 02

[\Registry\Machine\System\CurrentControlSet\Services\vxafe\Parameters\Tuning]
"Step"=dword:0x00000001

[\Registry\Machine\System\CurrentControlSet\Services\vxafe\Parameters\Tuning\Fine]
"Bits"=dword:0x00000008

[\Registry\Machine\HARDWARE\DEVICEMAP\SERIALCOMM]
"\\Device\\Serial0"=sz:"COM1"
)";

// The old seed with keys added, as a later release ships it.
const std::string kNewSeed = std::string(kOldSeed) + R"(
[\Registry\Machine\System\CurrentControlSet\Services\vxdsp\Parameters]
"Blocks"=dword:0x00000010

[\Registry\Machine\System\CurrentControlSet\Services\vxafe\Parameters\Added]
"Added"=dword:0x00000007
)";

constexpr char16_t kAfeParameters[] =
    u"\\Registry\\Machine\\System\\CurrentControlSet\\Services\\vxafe\\Parameters";
constexpr char16_t kAdded[] =
    u"\\Registry\\Machine\\System\\CurrentControlSet\\Services\\vxafe\\Parameters\\Added";
constexpr char16_t kTuning[] =
    u"\\Registry\\Machine\\System\\CurrentControlSet\\Services\\vxafe\\Parameters\\Tuning";

std::shared_ptr<Key> Open(const Registry& registry, std::u16string_view path) {
  std::shared_ptr<Key> key;
  return registry.OpenKey(nullptr, path, &key) == STATUS_SUCCESS ? key : nullptr;
}

std::optional<ULONG> Dword(const Registry& registry, std::u16string_view path,
                           std::u16string_view name) {
  const auto key = Open(registry, path);
  const Value* value = key ? key->FindValue(name) : nullptr;
  if (value == nullptr || value->data.size() != 4) return std::nullopt;
  return value->data[0] | value->data[1] << 8 | value->data[2] << 16 | ULONG{value->data[3]} << 24;
}

// The whole content of a registry, volatile keys aside.
std::string Content(const Registry& registry) { return WriteHiveText(registry.hive()); }

std::string SeedContent(std::string_view seed) {
  Registry registry;
  EXPECT_TRUE(Loaded(registry.Load("seed", seed)));
  return Content(registry);
}

class StateLayer : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
    dir =
        fs::temp_directory_path() / ("vx-layer-" + std::to_string(::getpid()) + "-" + test->name());
    fs::remove_all(dir);
    fs::create_directories(dir);
    state = dir / "state.reg";
  }
  void TearDown() override { fs::remove_all(dir); }

  // With the old seed: Gain changed, Spare deleted, Tuning\Fine deleted.
  void MakeOldChanges() {
    Registry registry;
    ASSERT_TRUE(Loaded(registry.Load("seed", kOldSeed, state)));
    ASSERT_EQ(registry.SetValue(*Open(registry, kAfeParameters), u"Gain", REG_DWORD, U32({9})),
              STATUS_SUCCESS);
    ASSERT_EQ(registry.DeleteValue(*Open(registry, kAfeParameters), u"Spare"), STATUS_SUCCESS);
    ASSERT_EQ(registry.DeleteKey(*Open(registry, std::u16string(kTuning) + u"\\Fine")),
              STATUS_SUCCESS);
  }

  fs::path dir;
  fs::path state;
};

TEST_F(StateLayer, ChangesSurviveARestartAndTheFileHoldsOnlyThem) {
  MakeOldChanges();
  const std::string saved = ReadFile(state);
  EXPECT_EQ(saved.find("\"Name\""), std::string::npos) << "an unchanged value is not saved\n"
                                                       << saved;
  EXPECT_EQ(saved.find("Step"), std::string::npos) << saved;
  EXPECT_NE(saved.find("\"Spare\"=-"), std::string::npos) << saved;
  EXPECT_NE(saved.find("[-\\Registry\\Machine\\System\\CurrentControlSet\\Services\\vxafe\\"
                       "Parameters\\Tuning\\Fine]"),
            std::string::npos)
      << saved;

  Registry restarted;
  ASSERT_TRUE(Loaded(restarted.Load("seed", kOldSeed, state)));
  EXPECT_EQ(Dword(restarted, kAfeParameters, u"Gain"), 9u);
  EXPECT_EQ(Open(restarted, kAfeParameters)->FindValue(u"Spare"), nullptr);
  EXPECT_NE(Open(restarted, kAfeParameters)->FindValue(u"Name"), nullptr);
  EXPECT_EQ(Open(restarted, std::u16string(kTuning) + u"\\Fine"), nullptr);
  EXPECT_EQ(Dword(restarted, kTuning, u"Step"), 1u);
}

TEST_F(StateLayer, ANewerSeedsKeysShowThroughAnOlderState) {
  MakeOldChanges();
  Registry newer;
  ASSERT_TRUE(Loaded(newer.Load("seed", kNewSeed, state)));
  EXPECT_EQ(Dword(newer,
                  u"\\Registry\\Machine\\System\\CurrentControlSet\\Services\\vxdsp\\"
                  u"Parameters",
                  u"Blocks"),
            16u);
  EXPECT_EQ(Dword(newer, kAdded, u"Added"), 7u);
  // The old changes still hold.
  EXPECT_EQ(Dword(newer, kAfeParameters, u"Gain"), 9u);
  EXPECT_EQ(Open(newer, kAfeParameters)->FindValue(u"Spare"), nullptr);
  EXPECT_EQ(Open(newer, std::u16string(kTuning) + u"\\Fine"), nullptr);
}

TEST_F(StateLayer, EmptyStateAndFullCopiesOfAnOldStateChangeNothing) {
  struct Case {
    const char* what;
    std::string state;
  };
  const Case cases[] = {
      {"empty file", ""},
      {"comments only", "# nothing\n"},
      {"full copy of the old seed", SeedContent(kOldSeed)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    WriteFile(state, c.state);
    for (const std::string& seed : {std::string(kOldSeed), kNewSeed}) {
      Registry registry;
      ASSERT_TRUE(Loaded(registry.Load("seed", seed, state)));
      EXPECT_EQ(Content(registry), SeedContent(seed));
    }
  }
}

TEST_F(StateLayer, AFullCopyLoadsAsTheLayerItsChangesMake) {
  // An older release saved the whole non-volatile tree; loaded over a newer
  // seed it gives what its layer gives (deletions it could not record aside).
  Registry old;
  ASSERT_TRUE(Loaded(old.Load("seed", kOldSeed)));
  ASSERT_EQ(old.SetValue(*Open(old, kAfeParameters), u"Gain", REG_DWORD, U32({9})), STATUS_SUCCESS);
  std::shared_ptr<Key> created;
  ASSERT_EQ(old.CreateKey(Open(old, kAfeParameters).get(), u"Made", 0, &created, nullptr),
            STATUS_SUCCESS);
  WriteFile(state, WriteHiveText(old.hive()));
  const fs::path layer = dir / "layer.reg";
  WriteFile(layer, old.StateText());

  Registry fromCopy;
  ASSERT_TRUE(Loaded(fromCopy.Load("seed", kNewSeed, state)));
  Registry fromLayer;
  ASSERT_TRUE(Loaded(fromLayer.Load("seed", kNewSeed, layer)));
  EXPECT_EQ(Content(fromCopy), Content(fromLayer));
  EXPECT_EQ(Dword(fromCopy, kAfeParameters, u"Gain"), 9u);
  EXPECT_EQ(Dword(fromCopy, kAdded, u"Added"), 7u);
}

TEST_F(StateLayer, AFailedWriteLeavesThePreviousFileWhole) {
  MakeOldChanges();
  const std::string previous = ReadFile(state);
  Registry registry;
  ASSERT_TRUE(Loaded(registry.Load("seed", kOldSeed, state)));
  const auto gain = [&](ULONG value) {
    return registry.SetValue(*Open(registry, kAfeParameters), u"Gain", REG_DWORD, U32({value}));
  };
  // A real failure: the temporary file's name is taken by a folder.
  fs::create_directory(registry.state_file()->TempPath());
  EXPECT_EQ(gain(10), STATUS_REGISTRY_IO_FAILED);
  fs::remove(registry.state_file()->TempPath());
  // Injected failures at each point of the write.
  for (const auto fault : {StateWriteFault::kTempFileCut, StateWriteFault::kBeforeRename}) {
    registry.state_file()->FailNthWrite(1, fault);
    EXPECT_EQ(gain(11), STATUS_REGISTRY_IO_FAILED);
  }
  EXPECT_EQ(ReadFile(state), previous);
  EXPECT_EQ(Dword(registry, kAfeParameters, u"Gain"), 9u);
  Registry restarted;
  ASSERT_TRUE(Loaded(restarted.Load("seed", kOldSeed, state)));
  EXPECT_EQ(Content(restarted), Content(registry));
}

TEST_F(StateLayer, RandomChangesReloadToTheSameContent) {
  // Random sets, deletions, new keys and removed keys over the seed: after
  // each change a fresh load of seed and state gives the same tree.
  std::mt19937 rng(31);
  Registry registry;
  ASSERT_TRUE(Loaded(registry.Load("seed", kNewSeed, state)));
  const std::u16string names[] = {u"Gain", u"Name", u"Spare", u"Added", u"x", u"Y"};
  for (int step = 0; step < 60; ++step) {
    std::vector<std::shared_ptr<Key>> keys;
    std::vector<std::shared_ptr<Key>> stack{Open(registry, kAfeParameters)};
    while (!stack.empty()) {
      keys.push_back(stack.back());
      stack.pop_back();
      for (const auto& [folded, sub] : keys.back()->subkeys()) stack.push_back(sub);
    }
    Key& key = *keys[rng() % keys.size()];
    const std::u16string& name = names[rng() % std::size(names)];
    NTSTATUS status = STATUS_SUCCESS;
    switch (rng() % 4) {
      case 0:
        status = registry.SetValue(key, name, REG_DWORD, U32({static_cast<ULONG>(rng() % 4)}));
        break;
      case 1:
        status = registry.DeleteValue(key, name);
        break;
      case 2: {
        std::shared_ptr<Key> made;
        status = registry.CreateKey(&key, name, 0, &made, nullptr);
        break;
      }
      case 3:
        status = key.subkeys().empty() && &key != keys.front().get() ? registry.DeleteKey(key)
                                                                     : STATUS_SUCCESS;
        break;
    }
    ASSERT_TRUE(status == STATUS_SUCCESS || status == STATUS_OBJECT_NAME_NOT_FOUND) << status;
    Registry reloaded;
    ASSERT_TRUE(Loaded(reloaded.Load("seed", kNewSeed, state))) << "step " << step;
    ASSERT_EQ(Content(reloaded), Content(registry)) << "step " << step << "\n" << ReadFile(state);
  }
}

TEST_F(StateLayer, TombstonesBelongToStateFilesOnly) {
  struct Case {
    std::string text;
    int line;
    const char* message;
  };
  const Case cases[] = {
      {"[-\\Registry\\Machine\\HARDWARE\\DEVICEMAP]\n", 1, "volatile"},
      {"[-\\Registry\\Machine\\A]\n\"x\"=dword:0x00000001\n", 2, "deleted key"},
      {"[\\Registry\\Machine\\A]\n\"x\"=- 1\n", 2, "text after"},
      {"[-\\Registry\\Machine]\n", 1, "cannot be deleted"},
      {"[-\\Registry\\Machine\\A]\n[\\Registry\\Machine\\a]\n", 2, "listed twice"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    WriteFile(state, c.text);
    Registry registry;
    const auto error = registry.Load("seed", kOldSeed, state);
    ASSERT_TRUE(error.has_value());
    EXPECT_EQ(error->line, c.line);
    EXPECT_NE(error->message.find(c.message), std::string::npos) << error->message;
  }
  // A seed holds no deletions.
  for (const char* text : {"[-\\Registry\\Machine\\A]\n", "[\\Registry\\Machine\\A]\n\"x\"=-\n"}) {
    Hive hive;
    const auto error = ParseHiveText("seed", text, HiveSource::kSeed, hive);
    ASSERT_TRUE(error.has_value()) << text;
    EXPECT_NE(error->message.find("outside a state file"), std::string::npos) << error->message;
  }
}

}  // namespace
}  // namespace plat::reg
