#include "base/listeners.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

namespace {

// Appends its name to a shared trace and runs an optional action.
class Recorder : public EventListener {
public:
  Recorder(std::string* trace, char name) : trace_(trace), name_(name) {}
  void onEvent(IMsgEvent*) override {
    trace_->push_back(name_);
    if (action) action();
  }
  std::function<void()> action;

private:
  std::string* trace_;
  char name_;
};

struct Fixture {
  std::string trace;
  Ref<ListenerList> list = makeRef<ListenerList>();
  Ref<Recorder> a = makeRef<Recorder>(&trace, 'a');
  Ref<Recorder> b = makeRef<Recorder>(&trace, 'b');
  Ref<Recorder> c = makeRef<Recorder>(&trace, 'c');
  Fixture() {
    list->add(a.get());
    list->add(b.get());
    list->add(c.get());
  }
  void deliver() {
    IMsgEvent event;
    list->deliver(&event);
  }
};

TEST(ListenerList, EditsDuringDeliveryTakeEffectAsTheyHappen) {
  struct Case {
    const char* name;
    std::function<void(Fixture&)> arrange;  // sets up b's action
    const char* first;                      // trace of the delivery that edits
    const char* second;                     // trace of the next delivery
  };
  const Case cases[] = {
      {"nothing", [](Fixture&) {}, "abc", "abcabc"},
      {"b removes c", [](Fixture& f) { f.b->action = [&f] { f.list->remove(f.c.get()); }; }, "ab", "abab"},
      {"b removes a", [](Fixture& f) { f.b->action = [&f] { f.list->remove(f.a.get()); }; }, "abc", "abcbc"},
      {"b removes itself", [](Fixture& f) { f.b->action = [&f] { f.list->remove(f.b.get()); }; }, "abc", "abcac"},
      {"b adds a listener",
       [](Fixture& f) {
         f.b->action = [&f] {
           f.b->action = nullptr;
           f.list->add(makeRef<Recorder>(&f.trace, 'd').get());
         };
       },
       "abc", "abcabcd"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Fixture f;
    c.arrange(f);
    f.deliver();
    EXPECT_EQ(f.trace, c.first);
    f.deliver();
    EXPECT_EQ(f.trace, c.second);
  }
}

TEST(ListenerList, SurvivesItsLastOutsideReferenceDroppedByAListener) {
  std::string trace;
  Ref<ListenerList> list = makeRef<ListenerList>();
  Ref<Recorder> a = makeRef<Recorder>(&trace, 'a');
  Ref<Recorder> b = makeRef<Recorder>(&trace, 'b');
  list->add(a.get());
  list->add(b.get());
  a->action = [&] { list = nullptr; };
  IMsgEvent event;
  ListenerList* raw = list.get();
  raw->deliver(&event);
  EXPECT_EQ(trace, "ab");
  EXPECT_EQ(a->getRefCount(), 1);  // the list is gone and gave its references back
}

TEST(ListenerList, NestedDeliveryKeepsTheOuterWalkIntact) {
  Fixture f;
  // a delivers again from inside, and the inner delivery's b removes c.
  int depth = 0;
  f.a->action = [&] {
    if (depth++ == 0) f.deliver();
  };
  f.b->action = [&] { f.list->remove(f.c.get()); };
  f.deliver();
  EXPECT_EQ(f.trace, "aabb");
  EXPECT_EQ(f.list->size(), 2u);
  EXPECT_FALSE(f.list->contains(f.c.get()));
}

}  // namespace
