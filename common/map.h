#pragma once
// AMap: the objects of one kind, by id, and the enumerators that tables read
// them through. The owner edits the contents and then announces each edit:
//
//   entry->setId(map->nextFreeId());
//   map->insert(entry);                       // the map holds a reference
//   map->notify(MapEvent::Added, entry);      // every enumerator's listeners hear it
//
//   Ref<IEnum> rows = map->getEnum(nullptr);  // cached per (map, comparator)
//   rows->getListeners()->add(tableListener);
//
// An enumerator nobody holds stays cached and is swept about ten seconds after
// its last release, so a view that is rebuilt finds its old one again.

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "base/event.h"
#include "base/listeners.h"
#include "common/object.h"

// What an enumerator tells its listeners. It lives for one delivery.
class MapEvent : public IMsgEvent {
public:
  enum Kind : int32_t { Added = 0, Changed = 1, Removed = 2, AllChanged = 4 };
  MapEvent(int32_t kind, uint32_t id, IObject* object) : kind(kind), id(id), object(object) {}

  int32_t kind;
  uint32_t id;         // BADID when there is no object
  Ref<IObject> object;
};

// Decides which objects an enumerator shows.
class IComparator : public IBase {
public:
  virtual bool accept(IObject* object) = 0;
};

// One walk over an enumerator's objects; made per walk.
class IIterator : public IBase {
public:
  // The next accepted object, or null at the end.
  virtual IObject* next() = 0;
};

class IEnum : public IBase {
public:
  virtual IObject* getObject(uint32_t id) = 0;
  virtual std::string getName(IObject* object) = 0;
  // The id of the next accepted object after current, BADID at the end.
  virtual uint32_t getNextId(IObject* current) = 0;
  virtual uint32_t getParentId(IObject* object) = 0;
  virtual void getAttributes(IObject* object, AttributeList& list) = 0;
  virtual Image* getIcon(IObject* object) = 0;
  virtual int getIndent(IObject* object) = 0;
  virtual Colour getTextColor(IObject* object) = 0;
  virtual bool isEnabled(IObject* object) = 0;
  virtual bool hasChildren(IObject* object) = 0;
  // A new iterator before the first accepted object; the caller holds it.
  virtual Ref<IIterator> createIterator() = 0;
  virtual ListenerList* getListeners() = 0;
};

class MapEnum;

class AMap : public ObjectList {
public:
  static constexpr uint32_t kExpiryMs = 10000;
  static constexpr size_t npos = size_t(-1);

  AMap();
  ~AMap() override;
  const char* getTypeName() override { return "AMap"; }

  // A new, empty object of the element class; the base map makes none.
  virtual Ref<IObject> newObject() { return nullptr; }
  // Copies source's fields into target, leaving target's count alone.
  virtual void copyObject(IObject* /*target*/, IObject* /*source*/) {}

  // Contents. Objects are kept under the id they carry when inserted; an
  // object with the same id is replaced. Ids are the owner's to keep unique.
  void insert(IObject* object);
  void erase(uint32_t id);
  IObject* find(uint32_t id) const;
  size_t size() const { return entries_.size(); }
  bool empty() const { return entries_.empty(); }
  // The objects with the smallest and largest ids (null when empty).
  IObject* first() const { return entries_.empty() ? nullptr : entries_.front().object.get(); }
  IObject* last() const { return entries_.empty() ? nullptr : entries_.back().object.get(); }

  // Positional access in ascending id order, for walks. The lookups remember
  // where they last hit, so stepping through the map costs constant time.
  size_t indexOf(uint32_t id) const;
  size_t indexAfter(uint32_t id) const;
  IObject* objectAt(size_t index) const { return entries_[index].object.get(); }

  // The order ring (only ordered maps use it). A null `before` links at the end.
  void linkBefore(OrderObject* member, OrderObject* before);
  void unlink(OrderObject* member);
  OrderObject* ringSentinel() { return &sentinel_; }

  // Announce an edit the owner has just made: kind Added, Changed or Removed
  // with the object, AllChanged without one.
  void notify(int32_t kind, IObject* object);

  // The enumerator for comparator (null: every object). The caller adds its
  // own reference; an enumerator nobody holds expires.
  IEnum* getEnum(IComparator* comparator);

  // The first object named name, in id order, whose id differs from exceptId.
  IObject* findByName(const std::string& name, uint32_t exceptId = BADID) const;
  // Ids and ring links to the log, for debugging.
  void dump() const;

  // For tests: enumerators cached, held or not.
  size_t cachedEnumCount() const { return cache_.size(); }

private:
  friend class MapEnum;
  struct Entry {
    uint32_t id;
    Ref<IObject> object;
  };
  // Never counted: it lives inside the map.
  class Sentinel : public OrderObject {
  public:
    void addRef() override {}
    void release() override {}
  };

  void enumUnheld(MapEnum* e);
  void armSweep();
  void onSweep(IMsgEvent* event);

  // Sorted by id. Ids mostly grow at the end (log lines), so a sorted array
  // beats a tree in both memory and lookups.
  std::vector<Entry> entries_;
  mutable size_t hint_ = 0;
  Sentinel sentinel_;
  std::map<IComparator*, MapEnum*> cache_;  // owned; each lives while held or not yet swept
  unsigned sweepTimer_;
  int notifying_ = 0;
};
