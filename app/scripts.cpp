#include "app/scripts.h"

#include "app/files.h"

const char* scriptStatusName(uint32_t status) {
  static const char* const names[] = {"", "selected", "missing", "too big"};
  return status < 4 ? names[status] : "";
}

ScriptMap::ScriptMap() { setName("Object"); }

Ref<IObject> ScriptMap::newObject() { return Ref<IObject>(new ScriptEntry); }

void ScriptMap::copyObject(IObject* target, IObject* source) {
  auto* to = dynamic_cast<ScriptEntry*>(target);
  auto* from = dynamic_cast<ScriptEntry*>(source);
  if (!to || !from || to == from) return;
  to->setId(from->getId());
  to->setName(from->name());
  to->status = from->status;
  to->path = from->path;
  to->size = from->size;
  to->compressed = from->compressed;
}

uint32_t ScriptMap::nextId() const { return empty() ? 1 : last()->getId() + 1; }

ScriptEntry* ScriptMap::findPath(const std::string& path) const {
  for (size_t i = 0; i < size(); ++i) {
    if (entryAt(i)->path == path) return entryAt(i);
  }
  return nullptr;
}

ScriptTable::ScriptTable(ScriptMap* map, CompressedLength compressedLength)
    : map_(map), compressedLength_(std::move(compressedLength)) {}

void ScriptTable::addScript(const std::string& path) {
  if (ScriptEntry* listed = map_->findPath(path)) {
    refreshScript(listed);
    return;
  }
  Ref<ScriptEntry> entry = makeRef<ScriptEntry>();
  entry->path = path;
  entry->setId(map_->nextId());
  map_->insert(entry.get());
  map_->notify(MapEvent::Added, entry.get());
  refreshScript(entry.get());
}

void ScriptTable::refreshScript(ScriptEntry* entry) {
  int32_t size = fileSize(entry->path);
  if (size == -1) {
    entry->status = ScriptEntry::Missing;
    entry->size = 0;
  } else {
    entry->size = uint32_t(size);
    if (size > kMaxScriptSize) entry->status = ScriptEntry::TooBig;
  }
  // A missing or too-big mark stays until the list is rebuilt at the next start.
  if (entry->status == ScriptEntry::None || entry->status == ScriptEntry::Selected)
    entry->compressed = compressedLength_ ? compressedLength_(entry->path) : 0;
  map_->notify(MapEvent::Changed, entry);
}

void ScriptTable::markSelected(const std::string& path) {
  for (size_t i = 0; i < map_->size(); ++i) {
    ScriptEntry* entry = map_->entryAt(i);
    if (entry->status == ScriptEntry::Selected) {
      entry->status = ScriptEntry::None;
      map_->notify(MapEvent::Changed, entry);
      break;
    }
  }
  ScriptEntry* entry = map_->findPath(path);
  if (entry && entry->status == ScriptEntry::None) {
    entry->status = ScriptEntry::Selected;
    map_->notify(MapEvent::Changed, entry);
  }
}

std::string ScriptTable::selectedPath() const {
  for (size_t i = 0; i < map_->size(); ++i) {
    if (map_->entryAt(i)->status == ScriptEntry::Selected) return map_->entryAt(i)->path;
  }
  return {};
}

void ScriptTable::removeScript(const std::string& path) {
  Ref<ScriptEntry> entry = map_->findPath(path);
  if (!entry) return;
  map_->notify(MapEvent::Removed, entry.get());
  map_->erase(entry->getId());
}
