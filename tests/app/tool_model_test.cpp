#include "app/tool_model.h"

#include <gtest/gtest.h>

#include "support/runtime.h"
#include "support/temp_dir.h"

namespace {

// The servers listen on ephemeral ports: nothing here talks to the network.
ServicePorts offThePorts() { return {0, 0}; }

const char kScript[] = "[system]\n    hostname  lab-7\ncommit\n";

class ToolModelTest : public ::testing::Test {
protected:
  ToolModelTest() : dir_("tool-model"), model_(makeRef<ToolModel>(offThePorts())) {
    test::writeBytes(dir_ / "a.nsc", kScript);
    test::writeBytes(dir_ / "b.nsc", std::string(kScript) + "# b\n");
    test::writeBytes(dir_ / "big.nsc", std::string(1000001, 'x'));
  }
  ScriptEntry* entry(const std::string& name) { return model_->scripts()->map()->findPath(dir_ / name); }
  size_t flashSize() { return model_->service()->flashData().size(); }

  test::TempDir dir_;
  Ref<ToolModel> model_;
};

TEST_F(ToolModelTest, AddingMeasuresEachFileOnceAndMarksTheUnusable) {
  ScriptTable* list = model_->scripts();
  for (const char* name : {"a.nsc", "gone.nsc", "big.nsc", "a.nsc"}) list->addScript(dir_ / name);
  EXPECT_EQ(list->map()->size(), 3u);
  struct Row { const char* name; uint32_t status; uint32_t size; bool compressed; };
  for (const Row& r : {Row{"a.nsc", ScriptEntry::None, sizeof kScript - 1, true},
                       Row{"gone.nsc", ScriptEntry::Missing, 0, false},
                       Row{"big.nsc", ScriptEntry::TooBig, 1000001, false}}) {
    SCOPED_TRACE(r.name);
    ScriptEntry* e = entry(r.name);
    ASSERT_TRUE(e);
    EXPECT_EQ(e->status, r.status);
    EXPECT_EQ(scriptStatusName(e->status), std::string(r.status == 2 ? "missing" : r.status == 3 ? "too big" : ""));
    EXPECT_EQ(e->size, r.size);
    EXPECT_EQ(e->compressed > 0, r.compressed);
  }
  EXPECT_EQ(entry("a.nsc")->getId(), 1u);
  EXPECT_EQ(entry("big.nsc")->getId(), 3u);
}

TEST_F(ToolModelTest, SelectingBuildsTheFlashDataAndMovesTheMark) {
  model_->scripts()->addScript(dir_ / "a.nsc");
  model_->scripts()->addScript(dir_ / "b.nsc");
  test::LogCapture log;
  model_->selectScript(dir_ / "a.nsc");
  EXPECT_TRUE(log.contains("selected " + dir_ / "a.nsc"));
  EXPECT_EQ(flashSize(), 4 + entry("a.nsc")->compressed);
  EXPECT_TRUE(log.contains("flash data size " + std::to_string(flashSize()) + "\n"));
  const Bytes& flash = model_->service()->flashData();
  EXPECT_EQ(std::string(flash.begin(), flash.begin() + 4), "123 ");

  model_->selectScript(dir_ / "b.nsc");
  EXPECT_EQ(entry("a.nsc")->status, ScriptEntry::None);
  EXPECT_EQ(entry("b.nsc")->status, ScriptEntry::Selected);
  EXPECT_EQ(model_->scripts()->selectedPath(), dir_ / "b.nsc");
}

TEST_F(ToolModelTest, AScriptThatGivesNoStreamGivesNoFlashDataAndKeepsItsMark) {
  model_->scripts()->addScript(dir_ / "gone.nsc");
  model_->selectScript(dir_ / "gone.nsc");
  EXPECT_EQ(flashSize(), 0u);
  EXPECT_EQ(entry("gone.nsc")->status, ScriptEntry::Missing);
  EXPECT_EQ(model_->scripts()->selectedPath(), "");
}

TEST_F(ToolModelTest, SelectingNothingSwitchesTheServiceOffAndEmptiesTheFlashData) {
  model_->scripts()->addScript(dir_ / "a.nsc");
  model_->selectScript(dir_ / "a.nsc");
  model_->toggleActive();
  EXPECT_TRUE(model_->settings()->active);
  model_->scripts()->removeScript(dir_ / "a.nsc");
  EXPECT_TRUE(model_->scripts()->map()->empty());
  model_->selectScript("");
  EXPECT_FALSE(model_->settings()->active);
  EXPECT_EQ(flashSize(), 0u);
}

TEST_F(ToolModelTest, SaveAndRestoreKeepOrderSelectionStateAndAddress) {
  for (const char* name : {"b.nsc", "a.nsc", "gone.nsc"}) model_->scripts()->addScript(dir_ / name);
  model_->selectScript(dir_ / "a.nsc");
  model_->toggleActive();
  model_->settings()->clientIP = 0x3264A8C0;  // 192.168.100.50
  Message app;
  model_->saveSettings(app);

  Ref<ToolModel> restored = makeRef<ToolModel>(offThePorts());
  restored->restoreSettings(app);
  ScriptMap* map = restored->scripts()->map();
  ASSERT_EQ(map->size(), 3u);
  EXPECT_EQ(map->entryAt(0)->path, dir_ / "b.nsc");
  EXPECT_EQ(map->entryAt(1)->path, dir_ / "a.nsc");
  EXPECT_EQ(map->entryAt(2)->path, dir_ / "gone.nsc");
  EXPECT_EQ(restored->scripts()->selectedPath(), dir_ / "a.nsc");
  EXPECT_TRUE(restored->settings()->active);
  EXPECT_EQ(restored->settings()->clientIP, 0x3264A8C0u);
  EXPECT_EQ(restored->service()->flashData(), model_->service()->flashData());
  Message again;
  restored->saveSettings(again);
  EXPECT_EQ(again, app);
}

TEST_F(ToolModelTest, AStoredSelectionNoLongerListedStillBuildsItsFlashData) {
  Message app;
  app.set("files", stringListValue({dir_ / "b.nsc"}));
  app.set("selected", stringValue(dir_ / "a.nsc"));
  app.set("active", boolValue(1));
  app.set("clientIP", u32Value(0x0A00000Au));
  model_->restoreSettings(app);
  EXPECT_GT(flashSize(), 4u);
  EXPECT_TRUE(model_->settings()->active);
  EXPECT_EQ(model_->scripts()->selectedPath(), "");
}

TEST_F(ToolModelTest, AnEmptyRecordLeavesNothingSelectedAndTheServiceOff) {
  model_->restoreSettings(Message());
  EXPECT_FALSE(model_->settings()->active);
  EXPECT_TRUE(model_->scripts()->map()->empty());
  EXPECT_NE(model_->settings()->clientIP, 0u);
}

}  // namespace
