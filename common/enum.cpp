#include "common/enum.h"

#include "base/log.h"

namespace {

// Walks the map in ascending id order. The position is the last id returned,
// so the walk survives objects coming and going under it.
class PlainIterator : public RefCounted<IIterator> {
public:
  PlainIterator(AMap* map, IComparator* comparator) : map_(map), comparator_(comparator) {}
  IObject* next() override {
    if (!map_) return nullptr;
    size_t i = started_ ? map_->indexAfter(lastId_) : 0;
    for (; i < map_->size(); ++i) {
      IObject* object = map_->objectAt(i);
      if (comparator_ && !comparator_->accept(object)) continue;
      started_ = true;
      lastId_ = object->getId();
      return object;
    }
    map_ = nullptr;  // at the end for good
    return nullptr;
  }

private:
  Ref<AMap> map_;
  Ref<IComparator> comparator_;
  bool started_ = false;
  uint32_t lastId_ = BADID;
};

// Walks the order ring from the sentinel's successor.
class RingIterator : public RefCounted<IIterator> {
public:
  RingIterator(AMap* map, IComparator* comparator) : map_(map), comparator_(comparator) {}
  IObject* next() override {
    if (!map_) return nullptr;
    OrderObject* sentinel = map_->ringSentinel();
    OrderObject* member = sentinel->next();
    if (started_) {
      // Step on from the last member, as long as it is still in the ring.
      auto* last = dynamic_cast<OrderObject*>(map_->find(lastId_));
      member = last && last->isLinked() ? last->next() : nullptr;
    }
    for (; member && member != sentinel; member = member->next()) {
      if (comparator_ && !comparator_->accept(member)) continue;
      started_ = true;
      lastId_ = member->getId();
      return member;
    }
    map_ = nullptr;
    return nullptr;
  }

private:
  Ref<AMap> map_;
  Ref<IComparator> comparator_;
  bool started_ = false;
  uint32_t lastId_ = BADID;
};

}  // namespace

MapEnum::MapEnum(AMap* map, IComparator* comparator)
    : map_(map), comparator_(comparator), listeners_(makeRef<ListenerList>()) {}

MapEnum::~MapEnum() = default;

void MapEnum::release() {
  if (--refs_ > 0) return;
  if (map_)
    map_->enumUnheld(this);
  else
    delete this;  // its map is gone, so no cache waits for it
}

void MapEnum::fillIds() {
  ids_.clear();
  if (!comparator_) return;  // without a comparator every object is shown; no set needed
  Ref<IIterator> it = createIterator();
  while (IObject* object = it->next()) ids_.insert(object->getId());
}

void MapEnum::onMapEvent(MapEvent& event) {
  if (!comparator_) {
    listeners_->deliver(&event);
    return;
  }
  if (!event.object) {
    if (event.kind != MapEvent::AllChanged) {
      nv::debugLog << "om fe2" << nv::endl;
      return;
    }
    fillIds();
    listeners_->deliver(&event);
    return;
  }
  const bool accepted = comparator_->accept(event.object.get());
  auto shown = ids_.find(event.id);
  if (accepted && shown != ids_.end()) {
    // A removed object is no longer shown; keeping its id would make a later
    // object under the same id look shown already.
    if (event.kind == MapEvent::Removed) ids_.erase(shown);
    listeners_->deliver(&event);
  } else if (accepted) {
    if (event.kind == MapEvent::Removed) {
      nv::debugLog << "om fe1" << nv::endl;
      return;
    }
    ids_.insert(event.id);
    MapEvent added(MapEvent::Added, event.id, event.object.get());
    listeners_->deliver(&added);
  } else if (shown != ids_.end()) {
    ids_.erase(shown);
    MapEvent removed(MapEvent::Removed, event.id, event.object.get());
    listeners_->deliver(&removed);
  }
}

uint32_t PlainEnum::getNextId(IObject* current) {
  if (!map_ || !current) return BADID;
  size_t i = map_->indexOf(current->getId());
  if (i == AMap::npos) return BADID;
  for (++i; i < map_->size(); ++i) {
    IObject* object = map_->objectAt(i);
    if (accepts(object)) return object->getId();
  }
  return BADID;
}

Ref<IIterator> PlainEnum::createIterator() { return Ref<IIterator>(new PlainIterator(map_, comparator_.get())); }

uint32_t OrderedEnum::getNextId(IObject* current) {
  auto* member = dynamic_cast<OrderObject*>(current);
  if (!map_ || !member || !member->isLinked()) return BADID;
  OrderObject* sentinel = map_->ringSentinel();
  for (OrderObject* next = member->next(); next != sentinel; next = next->next())
    if (accepts(next)) return next->getId();
  return BADID;
}

Ref<IIterator> OrderedEnum::createIterator() { return Ref<IIterator>(new RingIterator(map_, comparator_.get())); }
