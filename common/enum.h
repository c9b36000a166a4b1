#pragma once
// The two enumerator kinds behind AMap::getEnum: plain (ascending id) and
// ordered (the map's order ring). Only the map makes them.

#include <set>

#include "common/map.h"

class MapEnum : public IEnum {
public:
  MapEnum(AMap* map, IComparator* comparator);
  ~MapEnum() override;

  // Counting goes through the map: an enumerator whose count drops to zero
  // waits in the map's cache until it is swept or taken again.
  void addRef() override { ++refs_; }
  void release() override;
  int getRefCount() override { return refs_; }
  void* getInterface(int id) override { return id == int(InterfaceId::Enum) ? this : nullptr; }

  IObject* getObject(uint32_t id) override { return map_ ? map_->find(id) : nullptr; }
  std::string getName(IObject* object) override { return object->getName(); }
  uint32_t getParentId(IObject*) override { return BADID; }
  void getAttributes(IObject* object, AttributeList& list) override { object->getAttributes(list); }
  Image* getIcon(IObject* object) override { return object->getIcon(); }
  int getIndent(IObject* object) override { return object->getIndent(); }
  Colour getTextColor(IObject* object) override { return object->getTextColor(); }
  bool isEnabled(IObject* object) override { return object->isEnabled(); }
  bool hasChildren(IObject* object) override { return object->hasChildren(); }
  ListenerList* getListeners() override { return listeners_.get(); }

  // Map side.
  void onMapEvent(MapEvent& event);
  void fillIds();
  void detach() { map_ = nullptr; }
  bool accepts(IObject* object) { return !comparator_ || comparator_->accept(object); }
  IComparator* comparator() const { return comparator_.get(); }
  uint32_t releasedAt() const { return releasedAt_; }
  void setReleasedAt(uint32_t ticks) { releasedAt_ = ticks; }

protected:
  AMap* map_;  // back link: the map owns its cache; null once the map is gone
  Ref<IComparator> comparator_;
  std::set<uint32_t> ids_;  // what the listeners were shown; kept only with a comparator
  Ref<ListenerList> listeners_;
  int refs_ = 0;
  uint32_t releasedAt_ = 0;
};

class PlainEnum : public MapEnum {
public:
  using MapEnum::MapEnum;
  uint32_t getNextId(IObject* current) override;
  Ref<IIterator> createIterator() override;
};

class OrderedEnum : public MapEnum {
public:
  using MapEnum::MapEnum;
  uint32_t getNextId(IObject* current) override;
  Ref<IIterator> createIterator() override;
};
