#include "app/messagelog.h"

MessageMap::MessageMap() { setName("Object"); }

Ref<IObject> MessageMap::newObject() { return Ref<IObject>(new MessageEntry); }

void MessageMap::copyObject(IObject* target, IObject* source) {
  auto* to = dynamic_cast<MessageEntry*>(target);
  auto* from = dynamic_cast<MessageEntry*>(source);
  if (!to || !from || to == from) return;
  to->setId(from->getId());
  to->setName(from->name());
  to->time = from->time;
  to->text = from->text;
  to->reps = from->reps;
}

MessageTable::MessageTable(MessageMap* map, Clock* clock)
    : map_(map), clock_(clock), rows_(map->getEnum(nullptr)) {}

void MessageTable::addMessage(std::string_view text) {
  MessageEntry* latest = map_->latest();
  // Only the latest line counts as a repeat; its time stays that of the first.
  if (latest && latest->text == text) {
    ++latest->reps;
    map_->notify(MapEvent::Changed, latest);
    return;
  }
  Ref<MessageEntry> entry = makeRef<MessageEntry>();
  entry->time = uint32_t(clock_->now());
  entry->text = text;
  entry->reps = 1;
  entry->setId(latest ? latest->getId() + 1 : 1);
  map_->insert(entry.get());
  map_->notify(MapEvent::Added, entry.get());
}
