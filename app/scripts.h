#pragma once
// The operator's script files: one entry per file with its status, size and
// compressed size, kept in a ScriptMap and edited through a ScriptTable.
//
//   ScriptTable list(settings->scripts.get(), compressedLength);
//   list.addScript("C:\\scripts\\site-a.nsc");   // measured and compressed once
//   list.markSelected("C:\\scripts\\site-a.nsc");

#include <cstdint>
#include <functional>
#include <string>

#include "common/map.h"

class ScriptEntry : public Object {
public:
  enum Status : uint32_t { None = 0, Selected = 1, Missing = 2, TooBig = 3 };

  uint32_t status = None;
  std::string path;         // UTF-8, full path
  uint32_t size = 0;        // bytes; 0 when missing
  uint32_t compressed = 0;  // length of the compressed stream; 0 until made or when it cannot be
};

// The Status column's texts: "", "selected", "missing", "too big".
const char* scriptStatusName(uint32_t status);

class ScriptMap : public AMap {
public:
  ScriptMap();
  Ref<IObject> newObject() override;
  void copyObject(IObject* target, IObject* source) override;
  // 1 for the first entry, then the largest id plus 1.
  uint32_t nextId() const;
  // The first entry (ascending id) whose path is path, or null.
  ScriptEntry* findPath(const std::string& path) const;
  ScriptEntry* entryAt(size_t index) const { return static_cast<ScriptEntry*>(objectAt(index)); }
};

class ScriptTable : public RefCounted<> {
public:
  // How a script's compressed size is found; the stream's length, 0 when none.
  using CompressedLength = std::function<uint32_t(const std::string& path)>;
  static constexpr int32_t kMaxScriptSize = 1000000;

  ScriptTable(ScriptMap* map, CompressedLength compressedLength);

  // Adds the file, or re-measures it when its path is listed already.
  void addScript(const std::string& path);
  // Moves the selected mark to the entry with path; missing and too-big
  // entries are never marked.
  void markSelected(const std::string& path);
  std::string selectedPath() const;
  void removeScript(const std::string& path);
  // Re-reads the file's size and, for a usable file, its compressed size.
  void refreshScript(ScriptEntry* entry);

  ScriptMap* map() const { return map_.get(); }

private:
  Ref<ScriptMap> map_;
  CompressedLength compressedLength_;
};
