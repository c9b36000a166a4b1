#include "gui/persist.h"

#include <gtest/gtest.h>

#include <set>

#include "common/record_stream.h"
#include "gui/viewstate.h"
#include "support/bytes.h"
#include "support/runtime.h"
#include "support/temp_dir.h"

using test::readBytes;
using test::writeBytes;

namespace {

// Points the temporary directory (and with it the view-state file) at a
// scratch directory for the length of a test.
class ViewStateTest : public testing::Test {
protected:
  ViewStateTest() : dir_("viewstate"), oldTmp_(env(L"TMP")), oldTemp_(env(L"TEMP")) { pointTempAt(dir_.path()); }
  ~ViewStateTest() override {
    setViewStateWriteForTest(nullptr);
    SetEnvironmentVariableW(L"TMP", oldTmp_.c_str());
    SetEnvironmentVariableW(L"TEMP", oldTemp_.c_str());
  }

  static void pointTempAt(const std::string& path) {
    SetEnvironmentVariableW(L"TMP", toWide(path).c_str());
    SetEnvironmentVariableW(L"TEMP", toWide(path).c_str());
  }
  std::string file() const { return dir_.path() + "/yul.viw"; }
  // Names in the scratch directory that look like our temporary files.
  std::set<std::string> leftovers() const {
    std::set<std::string> names;
    Ref<DirectoryListing> listing = makeRef<DirectoryListing>(dir_.path());
    for (std::string name = listing->next(); !name.empty(); name = listing->next())
      if (name.rfind("vos", 0) == 0) names.insert(name);
    return names;
  }
  // A saved file whose application record holds `entries` values of `size` bytes.
  std::string saveGoodFile(int entries, size_t size) {
    loadViewState("yul");
    for (int i = 0; i < entries; ++i) getViewState(0)->set("field-" + std::to_string(i), std::string(size, 'g'));
    EXPECT_TRUE(saveViewState());
    return readBytes(file());
  }

  test::TempDir dir_;

private:
  static std::wstring env(const wchar_t* name) {
    wchar_t buffer[1024];
    DWORD n = GetEnvironmentVariableW(name, buffer, 1024);
    return std::wstring(buffer, n < 1024 ? n : 0);
  }
  std::wstring oldTmp_, oldTemp_;
};

TEST_F(ViewStateTest, FirstRunSavesOnlyTheApplicationRecordsId) {
  loadViewState("yul");
  Message* app = getViewState(0);
  ASSERT_NE(app, nullptr);
  EXPECT_EQ(app->size(), 0u);
  EXPECT_EQ(getViewState(1), nullptr);
  EXPECT_TRUE(saveViewState());
  EXPECT_EQ(test::hex(readBytes(file())), "07 00 02 69 64 00 00 00 00 00 00");
  EXPECT_TRUE(leftovers().empty());
}

TEST_F(ViewStateTest, WhatIsSavedLoadsBack) {
  loadViewState("yul");
  getViewState(0)->set("clientIP", u32Value(0x0A00A8C0));
  getViewState(0)->set("files", stringListValue({"C:\\scripts\\\xc3\xbc.txt"}));
  uint32_t id = 0;
  getViewState(0, &id);
  getViewState(5, &id)->set("winmgr", "x");
  ASSERT_TRUE(saveViewState());
  Message app = *getViewState(0), other = *getViewState(id);

  getViewState(0)->set("clientIP", u32Value(1));   // changes after the save are not kept
  loadViewState("yul");
  EXPECT_EQ(*getViewState(0), app);
  EXPECT_EQ(*getViewState(id), other);
  EXPECT_EQ(getViewState(0)->getU32("clientIP", 0), 0x0A00A8C0u);
}

// Writes through the real WriteFile until `budget` bytes have gone, then
// writes what still fits and fails as a full disk does.
uint32_t gBudget;
bool fillingDisk(void* file, const void* data, uint32_t size, uint32_t* written) {
  DWORD n = 0;
  uint32_t part = size < gBudget ? size : gBudget;
  bool ok = WriteFile(file, data, part, &n, nullptr);
  gBudget -= n;
  *written = n;
  if (!ok || part < size) {
    SetLastError(ERROR_DISK_FULL);
    return false;
  }
  return true;
}

TEST_F(ViewStateTest, AFailedWriteLeavesTheOldFileAsItWas) {
  // Over 64 KiB, so the file goes out in several writes.
  const std::string good = saveGoodFile(300, 400);
  ASSERT_GT(good.size(), 100000u);
  const uint32_t budgets[] = {0, 1, 65536, 100000, uint32_t(good.size() - 1)};
  for (uint32_t budget : budgets) {
    SCOPED_TRACE(budget);
    loadViewState("yul");
    getViewState(0)->set("new", "this must not reach the file");
    gBudget = budget;
    setViewStateWriteForTest(fillingDisk);
    test::LogCapture log;
    EXPECT_FALSE(saveViewState());
    EXPECT_EQ(log.text(), "view state: WriteFile: 112\n");
    EXPECT_TRUE(readBytes(file()) == good);
    EXPECT_TRUE(leftovers().empty());
    setViewStateWriteForTest(nullptr);
  }
}

TEST_F(ViewStateTest, NoUsableTemporaryDirectoryLeavesTheOldFileAsItWas) {
  const std::string good = saveGoodFile(3, 10);
  ASSERT_TRUE(writeBytes(dir_ / "not-a-dir", "x"));
  const std::string places[] = {dir_ / "vanished\\", dir_ / "not-a-dir\\"};
  for (const std::string& place : places) {
    SCOPED_TRACE(place);
    loadViewState("yul");
    getViewState(0)->set("new", "x");
    pointTempAt(place);   // after the load: the file stays where it was
    test::LogCapture log;
    EXPECT_FALSE(saveViewState());
    EXPECT_TRUE(log.contains("temp file name in "));
    pointTempAt(dir_.path());
    EXPECT_TRUE(readBytes(file()) == good);
  }
}

TEST_F(ViewStateTest, AFailedMoveLeavesTheOldFileAsItWas) {
  const std::string good = saveGoodFile(3, 10);
  getViewState(0)->set("new", "x");
  // Held open without sharing, the file can be neither replaced nor overwritten.
  HANDLE held = CreateFileW(toWide(file()).c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  test::LogCapture log;
  EXPECT_FALSE(saveViewState());
  CloseHandle(held);
  EXPECT_TRUE(log.contains("move file: "));
  EXPECT_TRUE(readBytes(file()) == good);
  EXPECT_TRUE(leftovers().empty());
}

// Loading from the file behaves as loading the same bytes from memory, at
// every point where the file could have been cut short.
TEST_F(ViewStateTest, TruncatedFilesLoadLikeTheirBytes) {
  loadViewState("yul");
  getViewState(0)->set("files", stringListValue({"a", "b"}));
  uint32_t id;
  getViewState(9, &id)->set("w", u32Value(3));
  getViewState(9, &id)->set("\x80", std::string(70, 'v'));
  ASSERT_TRUE(saveViewState());
  const std::string full = readBytes(file());
  test::LogCapture quiet;
  for (size_t cut = 0; cut <= full.size(); ++cut) {
    SCOPED_TRACE(cut);
    const std::string bytes = full.substr(0, cut);
    ASSERT_TRUE(writeBytes(file(), bytes));
    loadViewState("yul");
    ViewStateStore expected;
    MemorySource in(bytes);
    expected.load(&in);
    ASSERT_EQ(viewStateStore().records(), expected.records());
  }
}

// A widget as the registry sees it: an object whose interface 1 is its window.
class FakeWidget : public RefCounted<IPersistent> {
public:
  explicit FakeWidget(bool hasWindow = true) : hasWindow_(hasWindow) {}
  void* getInterface(int id) override { return id == int(InterfaceId::Window) && hasWindow_ ? &window_ : nullptr; }
  void restore(const Message&) override {}
  void save(Message&) override {}
  IWindow* window() { return reinterpret_cast<IWindow*>(&window_); }

private:
  bool hasWindow_;
  char window_ = 0;
};

TEST(PersistentRegistry, FindsByWindowAndWarnsOnStrayUnregistering) {
  Ref<FakeWidget> widget = makeRef<FakeWidget>(), other = makeRef<FakeWidget>();
  Ref<FakeWidget> second = makeRef<FakeWidget>();
  const std::string warning = "WARNING unregistering unregisterded persitent\n";
  EXPECT_EQ(findPersistent(widget->window()), nullptr);
  registerPersistent(widget.get(), widget.get());
  EXPECT_EQ(findPersistent(widget->window()), widget.get());
  EXPECT_EQ(findPersistent(other->window()), nullptr);

  // A second persistent for the same window replaces the first; taking the
  // first away afterwards changes nothing.
  registerPersistent(widget.get(), second.get());
  EXPECT_EQ(findPersistent(widget->window()), second.get());
  test::LogCapture log;
  unregisterPersistent(widget.get(), widget.get());
  EXPECT_EQ(log.text(), warning);
  EXPECT_EQ(findPersistent(widget->window()), second.get());
  unregisterPersistent(other.get(), other.get());   // never registered
  EXPECT_EQ(log.text(), warning + warning);
  unregisterPersistent(widget.get(), second.get());
  EXPECT_EQ(findPersistent(widget->window()), nullptr);
  EXPECT_EQ(log.text(), warning + warning);
}

}  // namespace
