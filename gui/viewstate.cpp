#include "gui/viewstate.h"

#include "base/log.h"
#include "common/record_stream.h"

ViewStateStore::ViewStateStore() { records_.emplace(0, Message()); }

void ViewStateStore::load(RecordSource* source) {
  records_.clear();
  while (source) {
    Message m;
    if (m.readRecords(*source) == 0) break;
    uint32_t id = m.getU32("id", 0);
    if (id == kNoId) {
      nv::log << "WARNING: bad message id" << nv::endl;
      continue;
    }
    records_.try_emplace(id, m);
  }
  // A file with no application record still gives the application defaults.
  records_.try_emplace(0, Message());
}

Message* ViewStateStore::get(uint32_t id, uint32_t* newId) {
  auto it = records_.find(id);
  if (it != records_.end()) return &it->second;
  if (!newId) return nullptr;
  uint32_t free = nextId_;
  while (records_.count(free)) free = following(free);
  *newId = free;
  nextId_ = following(free);
  return &records_.emplace(free, Message()).first->second;
}

bool ViewStateStore::write(RecordSink& sink) {
  for (auto& [id, record] : records_) {
    record.at("id") = u32Value(id);
    if (record.writeRecords(sink) == 0) return false;
  }
  return true;
}
