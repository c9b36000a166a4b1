#include "common/map.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/timer.h"
#include "support/runtime.h"

namespace {

class Item : public OrderObject {
public:
  Item(uint32_t id, std::string name = "") {
    setId(id);
    setName(std::move(name));
  }
  bool isEnabled() override { return enabled; }
  bool enabled = true;
  bool shown = true;  // what ShownOnly accepts
};

class ShownOnly : public RefCounted<IComparator> {
public:
  bool accept(IObject* object) override { return static_cast<Item*>(object)->shown; }
};

// Writes "kind:id " for every event it hears.
class EventTrace : public EventListener {
public:
  void onEvent(IMsgEvent* event) override {
    auto* e = static_cast<MapEvent*>(event);
    text += std::to_string(e->kind) + ":" + (e->id == BADID ? "-" : std::to_string(e->id)) + " ";
  }
  std::string text;
};

Ref<AMap> mapWith(std::initializer_list<uint32_t> ids) {
  Ref<AMap> map = makeRef<AMap>();
  for (uint32_t id : ids) map->insert(makeRef<Item>(id, "item" + std::to_string(id)).get());
  return map;
}

Item* item(AMap* map, uint32_t id) { return static_cast<Item*>(map->find(id)); }

std::string walk(IEnum* e) {
  std::string ids;
  Ref<IIterator> it = e->createIterator();
  while (IObject* object = it->next()) ids += std::to_string(object->getId()) + " ";
  return ids;
}

TEST(ObjectMap, ClassDefaults) {
  Ref<IObject> objects[] = {makeRef<BaseObject>(), makeRef<Object>(), makeRef<OrderObject>(), makeRef<ObjectList>(),
                            makeRef<AMap>()};
  const char* names[] = {"Base Object", "Object", "Order Object", "Object List", "AMap"};
  for (size_t i = 0; i < std::size(objects); ++i) {
    SCOPED_TRACE(names[i]);
    IObject* o = objects[i].get();
    EXPECT_STREQ(o->getTypeName(), names[i]);
    EXPECT_EQ(o->getId(), BADID);
    EXPECT_EQ(o->getName(), "");
    EXPECT_EQ(o->getIcon(), nullptr);
    EXPECT_EQ(o->getInterface(int(InterfaceId::Enum)), nullptr);
    EXPECT_EQ(o->isCopyable(), i != 2);
  }
  EXPECT_EQ(objects[4]->getRefCount(), 1);
}

TEST(ObjectMap, DisabledObjectsReportTheSharedAttributeAndGreyText) {
  Ref<Item> on = makeRef<Item>(1), off = makeRef<Item>(2);
  off->enabled = false;
  AttributeList attributes;
  on->getAttributes(attributes);
  EXPECT_TRUE(attributes.empty());
  EXPECT_EQ(on->getTextColor(), GetSysColor(COLOR_WINDOWTEXT));
  off->getAttributes(attributes);
  off->getAttributes(attributes);
  ASSERT_EQ(attributes.size(), 2u);
  EXPECT_EQ(attributes[0].get(), attributes[1].get());  // one shared object
  EXPECT_EQ(attributes[0]->number(), 88);
  EXPECT_EQ(attributes[0]->name(), "disabled");
  EXPECT_EQ(attributes[0]->value(), 0);
  EXPECT_EQ(off->getTextColor(), GetSysColor(COLOR_GRAYTEXT));
  // The enumerator answers for the object.
  Ref<AMap> map = mapWith({});
  map->insert(off.get());
  Ref<IEnum> e = map->getEnum(nullptr);
  EXPECT_FALSE(e->isEnabled(off.get()));
  EXPECT_EQ(e->getTextColor(off.get()), GetSysColor(COLOR_GRAYTEXT));
}

TEST(ObjectMap, WalksInIdOrderSkippingRejectedObjects) {
  Ref<AMap> map = mapWith({7, 1, 5, 3});
  item(map.get(), 5)->shown = false;
  Ref<ShownOnly> filter = makeRef<ShownOnly>();
  Ref<IEnum> all = map->getEnum(nullptr);
  Ref<IEnum> shown = map->getEnum(filter.get());
  EXPECT_NE(all.get(), shown.get());
  EXPECT_EQ(walk(all.get()), "1 3 5 7 ");
  EXPECT_EQ(walk(shown.get()), "1 3 7 ");
  Ref<Item> stranger = makeRef<Item>(4);
  struct Case {
    IEnum* e;
    IObject* current;
    uint32_t next;
  };
  const Case cases[] = {
      {shown.get(), map->find(3), 7},      {all.get(), map->find(3), 5},   {shown.get(), map->find(7), BADID},
      {shown.get(), stranger.get(), BADID}, {all.get(), map->find(5), 7},   {shown.get(), nullptr, BADID},
  };
  for (const Case& c : cases) EXPECT_EQ(c.e->getNextId(c.current), c.next);
  EXPECT_EQ(shown->getObject(5), map->find(5));  // rejected objects are still there to look at
  EXPECT_EQ(shown->getObject(4), nullptr);
  EXPECT_EQ(shown->getParentId(map->find(1)), BADID);
  EXPECT_EQ(shown->getInterface(int(InterfaceId::Enum)), shown.get());

  // An iterator keeps its place by id, so the map may change under it.
  Ref<IIterator> it = shown->createIterator();
  EXPECT_EQ(it->next()->getId(), 1u);
  EXPECT_EQ(it->next()->getId(), 3u);
  map->erase(3);
  map->insert(makeRef<Item>(4).get());
  EXPECT_EQ(it->next()->getId(), 4u);
  EXPECT_EQ(it->next()->getId(), 7u);
  EXPECT_EQ(it->next(), nullptr);
  EXPECT_EQ(it->next(), nullptr);
}

TEST(ObjectMap, NotifyWithoutEnumeratorsDoesNothing) {
  test::LogCapture log;
  Ref<AMap> map = mapWith({1});
  map->notify(MapEvent::Removed, map->find(1));
  map->notify(MapEvent::Changed, nullptr);
  EXPECT_EQ(map->cachedEnumCount(), 0u);
  EXPECT_EQ(log.text(), "");
}

TEST(ObjectMap, WithoutComparatorEveryEventPassesUnchanged) {
  Ref<AMap> map = mapWith({1, 2});
  Ref<IEnum> e = map->getEnum(nullptr);
  Ref<EventTrace> trace = makeRef<EventTrace>();
  e->getListeners()->add(trace.get());
  Ref<Item> gone = makeRef<Item>(9);  // never in the map, or no longer
  map->notify(MapEvent::Added, map->find(1));
  map->notify(MapEvent::Changed, map->find(2));
  map->notify(MapEvent::Removed, gone.get());
  map->notify(MapEvent::AllChanged, nullptr);
  map->notify(MapEvent::Changed, nullptr);
  EXPECT_EQ(trace->text, "0:1 1:2 2:9 4:- 1:- ");
}

TEST(ObjectMap, ComparatorTurnsEventsIntoWhatTheListenersHaveSeen) {
  // The map holds 1 (shown) and 2 (hidden); the enumerator starts with {1}.
  struct Step {
    uint32_t id;  // 0: an event without an object
    bool shown;   // the comparator's answer for the object at this step
    int32_t kind;
    const char* heard;
  };
  struct Case {
    const char* name;
    std::vector<Step> steps;
    const char* debug;  // the debug line expected, if any
    bool swapFirst = false;  // 1 hidden and 2 shown before the first step, unannounced
  };
  const Case cases[] = {
      {"accepted and shown: unchanged", {{1, true, 1, "1:1 "}, {1, true, 0, "0:1 "}}, nullptr},
      {"shown one removed is no longer shown", {{1, true, 2, "2:1 "}, {1, true, 2, ""}}, "om fe1"},
      {"rejected and shown: removed", {{1, false, 1, "2:1 "}, {1, false, 1, ""}}, nullptr},
      {"accepted and not shown: added", {{2, true, 1, "0:2 "}, {2, true, 1, "1:2 "}}, nullptr},
      {"accepted, not shown, removed: dropped", {{2, true, 2, ""}}, "om fe1"},
      {"rejected and not shown: dropped", {{2, false, 0, ""}, {2, false, 2, ""}}, nullptr},
      {"no object: dropped", {{0, true, 1, ""}}, "om fe2"},
      // Kind 4 rebuilds the set from the map: afterwards 2 is shown and 1 not.
      {"everything changed refills",
       {{0, true, 4, "4:- "}, {2, true, 1, "1:2 "}, {1, false, 1, ""}},
       nullptr,
       true},
  };
  nv::debugLog.enable();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Ref<AMap> map = mapWith({1, 2});
    item(map.get(), 2)->shown = false;
    Ref<ShownOnly> filter = makeRef<ShownOnly>();
    Ref<IEnum> e = map->getEnum(filter.get());
    Ref<EventTrace> trace = makeRef<EventTrace>();
    e->getListeners()->add(trace.get());
    if (c.swapFirst) {
      item(map.get(), 1)->shown = false;
      item(map.get(), 2)->shown = true;
    }
    test::LogCapture log;
    for (const Step& s : c.steps) {
      trace->text.clear();
      Item* object = s.id ? item(map.get(), s.id) : nullptr;
      if (object) object->shown = s.shown;
      map->notify(s.kind, object);
      EXPECT_EQ(trace->text, s.heard) << "kind " << s.kind << " id " << s.id;
    }
    if (c.debug)
      EXPECT_TRUE(log.contains(std::string("DEBUG: ") + c.debug + "\n")) << log.text();
    else
      EXPECT_EQ(log.text(), "");
  }
}

// Timers run on an injected tick count; moving it and firing what is due
// stands in for the seconds passing.
uint32_t gTicks;
uint32_t fakeTicks() { return gTicks; }

class EnumCacheTest : public ::testing::Test {
protected:
  void SetUp() override {
    saved_ = getTimerManager();
    gTicks = 5000;
    setTimerManager(TimerManager::create(fakeTicks));
  }
  void TearDown() override { setTimerManager(saved_.get()); }
  static void advance(uint32_t ms) {
    gTicks += ms;
    getTimerManager()->onTimer(nullptr);
  }
  // Identifies an enumerator by its listener list, which the test keeps alive
  // so that its address cannot be reused.
  Ref<ListenerList> identity(AMap* map) { return Ref<ListenerList>(map->getEnum(nullptr)->getListeners()); }

  Ref<TimerManager> saved_;
};

TEST_F(EnumCacheTest, ReleasedEnumeratorIsKeptForTenSecondsAfterItsLastRelease) {
  Ref<AMap> map = mapWith({1});
  Ref<IEnum> held = map->getEnum(nullptr);
  EXPECT_EQ(map->getEnum(nullptr), held.get());
  Ref<ListenerList> first = identity(map.get());
  held = nullptr;  // t = 0 s; the sweep is due at 10 s

  advance(9000);
  EXPECT_EQ(identity(map.get()), first);  // within 10 s: the same one
  held = map->getEnum(nullptr);           // revived, and let go again at 9 s
  held = nullptr;
  advance(2000);  // the sweep due at 10 s runs at 11 s: released only 2 s ago
  EXPECT_EQ(identity(map.get()), first);
  held = map->getEnum(nullptr);
  advance(10000);  // held across the sweep at 21 s
  held = nullptr;  // t = 21 s
  advance(9000);
  EXPECT_EQ(map->cachedEnumCount(), 1u);
  advance(1000);  // the sweep at 31 s: 10 s after the last release
  EXPECT_EQ(map->cachedEnumCount(), 0u);
  EXPECT_EQ(getTimerManager()->pendingCount(), 0u);  // nothing left to sweep for

  // Taken and let go at once, then asked for 20 s later: a new one.
  Ref<ListenerList> second = identity(map.get());
  EXPECT_NE(second, first);
  advance(20000);
  EXPECT_NE(identity(map.get()), second);
}

TEST_F(EnumCacheTest, UnheldEnumeratorKeepsItsSetCurrentUntilSwept) {
  Ref<AMap> map = mapWith({1, 2});
  Ref<ShownOnly> filter = makeRef<ShownOnly>();
  Ref<ListenerList> listeners(map->getEnum(filter.get())->getListeners());  // nobody holds the enumerator
  Ref<EventTrace> trace = makeRef<EventTrace>();
  listeners->add(trace.get());
  item(map.get(), 2)->shown = false;
  map->notify(MapEvent::Changed, item(map.get(), 2));
  advance(5000);
  Ref<IEnum> again = map->getEnum(filter.get());
  EXPECT_EQ(again->getListeners(), listeners.get());
  EXPECT_EQ(walk(again.get()), "1 ");
  map->notify(MapEvent::Changed, item(map.get(), 2));  // still hidden: nothing to say
  EXPECT_EQ(trace->text, "2:2 ");
}

TEST_F(EnumCacheTest, MapGoingFirstDetachesTheEnumeratorsStillHeld) {
  test::LogCapture log;
  Ref<AMap> map = mapWith({1, 2});
  Ref<IEnum> held = map->getEnum(nullptr);
  map->getEnum(makeRef<ShownOnly>().get());  // unheld: simply destroyed
  Ref<IObject> one(map->find(1));
  map = nullptr;
  EXPECT_TRUE(log.contains("BUG: destructing cache that is not empty 1\n")) << log.text();
  EXPECT_EQ(held->getObject(1), nullptr);
  EXPECT_EQ(held->getNextId(one.get()), BADID);
  EXPECT_EQ(walk(held.get()), "");
  EXPECT_EQ(getTimerManager()->pendingCount(), 0u);
}

TEST(ObjectMap, OrderRingKeepsNextIdsAndDrivesTheOrderedEnumerator) {
  Ref<AMap> map = mapWith({10, 20, 30});
  map->setOrdered(true);
  Item* i10 = item(map.get(), 10);
  Item* i20 = item(map.get(), 20);
  Item* i30 = item(map.get(), 30);
  map->linkBefore(i10, nullptr);
  map->linkBefore(i20, nullptr);
  map->linkBefore(i30, i10);  // ring: 30 10 20
  EXPECT_EQ(i30->nextId(), 10u);
  EXPECT_EQ(i10->nextId(), 20u);
  EXPECT_EQ(i20->nextId(), BADID);

  Ref<IEnum> e = map->getEnum(nullptr);
  EXPECT_EQ(walk(e.get()), "30 10 20 ");
  EXPECT_EQ(e->getNextId(i10), 20u);
  EXPECT_EQ(e->getNextId(i20), BADID);

  map->unlink(i10);
  EXPECT_EQ(i30->nextId(), 20u);
  EXPECT_EQ(e->getNextId(i10), BADID);  // no longer a ring member
  i20->shown = false;
  Ref<IEnum> shown = map->getEnum(makeRef<ShownOnly>().get());
  EXPECT_EQ(walk(shown.get()), "30 ");
  EXPECT_EQ(shown->getNextId(i30), BADID);

  map->erase(30);  // an erased member leaves the ring with it
  EXPECT_EQ(walk(e.get()), "20 ");

  test::LogCapture log;
  map->dump();
  EXPECT_EQ(log.text(), "objs: \nid: 10\nid: 20\nobject order: \nid: 20, next: 4294967295\n***\n");
}

TEST(ObjectMap, FindByName) {
  Ref<AMap> map = makeRef<AMap>();
  map->insert(makeRef<Item>(1, "a").get());
  map->insert(makeRef<Item>(2, "b").get());
  map->insert(makeRef<Item>(3, "a").get());
  EXPECT_EQ(map->findByName("a"), map->find(1));
  EXPECT_EQ(map->findByName("a", 1), map->find(3));
  EXPECT_EQ(map->findByName("A"), nullptr);
  EXPECT_EQ(map->findByName("c"), nullptr);
}

TEST(ObjectMap, InsertingUnderAnExistingIdReplacesAndReleases) {
  Ref<AMap> map = mapWith({1});
  Ref<Item> old(item(map.get(), 1));
  Ref<Item> replacement = makeRef<Item>(1, "new");
  map->insert(replacement.get());
  EXPECT_EQ(map->size(), 1u);
  EXPECT_EQ(map->find(1), replacement.get());
  EXPECT_EQ(old->getRefCount(), 1);
  map->erase(1);
  map->erase(1);
  EXPECT_TRUE(map->empty());
  EXPECT_EQ(replacement->getRefCount(), 1);
}

}  // namespace
