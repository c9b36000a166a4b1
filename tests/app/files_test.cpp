#include "app/files.h"

#include <gtest/gtest.h>

#include <set>

#include "support/runtime.h"
#include "support/temp_dir.h"

using test::readBytes;
using test::writeBytes;

namespace {

std::set<std::string> namesIn(const std::string& dir) {
  std::set<std::string> names;
  Ref<DirectoryListing> listing = makeRef<DirectoryListing>(dir);
  for (std::string name = listing->next(); !name.empty(); name = listing->next()) names.insert(name);
  return names;
}

TEST(Files, ParentDirectory) {
  struct Case {
    const char* path;
    const char* parent;
  };
  const Case cases[] = {
      {"C:\\a\\b\\", "C:\\a\\"}, {"C:\\a\\b", "C:\\a\\"}, {"b.txt", ""},   {"", ""},
      {"C:\\", ""},              {"\\", ""},              {"\\x", "\\"}, {"C:\\\xc3\xbc\\f\xc3\xa9", "C:\\\xc3\xbc\\"},
  };
  for (const Case& c : cases) EXPECT_EQ(parentDirectory(c.path), c.parent) << c.path;
}

TEST(Files, TemporaryNames) {
  test::TempDir dir("files-temp");
  std::string temp = tempPath();
  ASSERT_FALSE(temp.empty());
  EXPECT_EQ(temp.back(), '\\');
  EXPECT_TRUE(isDirectory(temp));

  std::string made = tempFileName(dir.path());
  EXPECT_EQ(parentDirectory(made), dir.path());
  EXPECT_EQ(made.substr(dir.path().size(), 3), "vos");
  EXPECT_EQ(made.substr(made.size() - 4), ".tmp");
  EXPECT_EQ(fileSize(made), 0);   // the platform made it, empty
  EXPECT_EQ(parentDirectory(tempFileName("")), temp);

  test::LogCapture log;
  EXPECT_EQ(tempFileName(dir / "missing\\"), "");
  EXPECT_TRUE(log.contains("temp file name in "));
}

TEST(Files, SizesAndKinds) {
  test::TempDir dir("files-kinds");
  const std::string file = dir / "f\xc3\xa9.txt";
  ASSERT_TRUE(writeBytes(file, "hello"));
  EXPECT_EQ(fileSize(file), 5);
  EXPECT_EQ(fileSize(dir.path()), -1);   // a directory is no file
  EXPECT_EQ(fileSize(dir / "missing"), -1);
  HANDLE locked = CreateFileW(toWide(file).c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(locked, INVALID_HANDLE_VALUE);
  EXPECT_EQ(fileSize(file), -1);
  CloseHandle(locked);

  EXPECT_TRUE(fileExists(file));
  EXPECT_TRUE(fileExists(dir.path()));
  EXPECT_FALSE(fileExists(dir / "missing"));
  EXPECT_FALSE(isDirectory(file));
  EXPECT_TRUE(isDirectory(dir.path()));
  EXPECT_FALSE(isDirectory(dir / "missing"));
}

TEST(Files, CreateAndDelete) {
  test::TempDir dir("files-create");
  const std::string file = dir / "\xe6\xb5\x8b.bin";
  ASSERT_TRUE(writeBytes(file, "x"));
  test::LogCapture log;
  EXPECT_TRUE(createDirectory(dir / "new\xc3\xbc"));
  EXPECT_TRUE(isDirectory(dir / "new\xc3\xbc"));
  EXPECT_TRUE(createDirectory(dir / "new\xc3\xbc"));   // already there
  EXPECT_FALSE(createDirectory(file));                 // a file is in the way
  EXPECT_FALSE(createDirectory(dir / "missing\\sub"));
  EXPECT_TRUE(log.contains("create directory "));

  EXPECT_TRUE(deleteFile(file));
  EXPECT_FALSE(fileExists(file));
  std::string before = log.text();
  EXPECT_TRUE(deleteFile(file));   // missing: nothing to do, nothing to say
  EXPECT_EQ(log.text(), before);
  EXPECT_FALSE(deleteFile(dir / "new\xc3\xbc"));   // a directory
  EXPECT_TRUE(log.contains("delete file " + dir / "new\xc3\xbc" + ": "));
}

TEST(Files, CopyAndMoveReplaceTheTarget) {
  test::TempDir dir("files-move");
  const std::string source = dir / "s\xc3\xbc", target = dir / "t\xc3\xbc";
  ASSERT_TRUE(writeBytes(source, "new"));
  ASSERT_TRUE(writeBytes(target, "old and longer"));
  EXPECT_TRUE(copyFile(source, target));
  EXPECT_EQ(readBytes(target), "new");

  ASSERT_TRUE(writeBytes(target, "old and longer"));
  EXPECT_TRUE(moveFile(source, target));
  EXPECT_EQ(readBytes(target), "new");
  EXPECT_FALSE(fileExists(source));

  test::LogCapture log;
  EXPECT_FALSE(copyFile(dir / "missing", target));
  EXPECT_TRUE(log.contains("copy file: 2\n"));
  EXPECT_FALSE(moveFile(dir / "missing", target));
  EXPECT_TRUE(log.contains("move file: 2\n"));
  EXPECT_EQ(readBytes(target), "new");
}

TEST(Files, TreesAndListings) {
  test::TempDir dir("files-tree");
  const std::string tree = dir / "tr\xc3\xa9\xc3\xa9";
  ASSERT_TRUE(createDirectory(tree));
  EXPECT_TRUE(namesIn(tree).empty());   // "." and ".." only
  EXPECT_TRUE(namesIn(tree + "\\").empty());
  EXPECT_TRUE(namesIn(dir / "missing").empty());

  ASSERT_TRUE(writeBytes(tree + "\\a\xc3\xbc.txt", "a"));
  ASSERT_TRUE(createDirectory(tree + "\\sub\xd1\x8f"));
  ASSERT_TRUE(createDirectory(tree + "\\empty"));
  ASSERT_TRUE(writeBytes(tree + "\\sub\xd1\x8f\\b.txt", "bb"));
  EXPECT_EQ(namesIn(tree), (std::set<std::string>{"a\xc3\xbc.txt", "empty", "sub\xd1\x8f"}));

  const std::string copy = dir / "copy";
  EXPECT_TRUE(copyTree(tree, copy));
  EXPECT_EQ(namesIn(copy), namesIn(tree));
  EXPECT_EQ(readBytes(copy + "\\sub\xd1\x8f\\b.txt"), "bb");
  EXPECT_TRUE(isDirectory(copy + "\\empty"));

  EXPECT_TRUE(clearDirectory(copy));
  EXPECT_TRUE(isDirectory(copy));
  EXPECT_TRUE(namesIn(copy).empty());
  EXPECT_FALSE(clearDirectory(""));

  EXPECT_TRUE(removeTree(tree));
  EXPECT_FALSE(fileExists(tree));
  EXPECT_TRUE(removeTree(tree));   // already gone
  EXPECT_TRUE(removeDirectory(tree));
  ASSERT_TRUE(writeBytes(dir / "lone", "x"));
  EXPECT_TRUE(removeTree(dir / "lone"));
  EXPECT_FALSE(fileExists(dir / "lone"));
}

TEST(Files, ClearGoesOnPastAFailureAndReportsIt) {
  test::TempDir dir("files-clear");
  ASSERT_TRUE(writeBytes(dir / "a", "a"));
  ASSERT_TRUE(writeBytes(dir / "b", "b"));
  ASSERT_TRUE(writeBytes(dir / "c", "c"));
  // Held open without delete sharing, b cannot go; a and c still do.
  HANDLE held = CreateFileW(toWide(dir / "b").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0,
                            nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  test::LogCapture log;
  EXPECT_FALSE(clearDirectory(dir.path()));
  EXPECT_FALSE(removeDirectory(dir.path()));
  CloseHandle(held);
  EXPECT_EQ(namesIn(dir.path()), std::set<std::string>{"b"});
  EXPECT_TRUE(log.contains("delete file " + dir / "b: "));
  EXPECT_TRUE(log.contains("remove directory " + dir.path() + ": "));
}

}  // namespace
