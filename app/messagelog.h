#pragma once
// The message log: one numbered, time-stamped line per device outcome. A line
// that repeats the latest one raises that line's count instead.
//
//   Ref<MessageTable> messages = makeRef<MessageTable>(settings->messages());
//   messages->addMessage("Hello");
//   messages->addMessage("Hello");     // still one line, reps 2

#include <cstdint>
#include <string>
#include <string_view>

#include "base/clock.h"
#include "common/map.h"

// One line. The id is the line's number; the fields are public because the
// table's columns read them by offset.
class MessageEntry : public Object {
public:
  uint32_t time = 0;  // seconds since 1970 UTC, of the first time the line was added
  std::string text;
  uint32_t reps = 0;  // times added in a row
};

class MessageMap : public AMap {
public:
  MessageMap();
  Ref<IObject> newObject() override;
  void copyObject(IObject* target, IObject* source) override;
  // The line with the largest number, or null.
  MessageEntry* latest() const { return static_cast<MessageEntry*>(last()); }
};

// The log's model side. The table that shows the lines is bound to rows()
// when the window is built; the map alone decides what it shows.
class MessageTable : public RefCounted<> {
public:
  explicit MessageTable(MessageMap* map, Clock* clock = systemClock());
  void addMessage(std::string_view text);

  MessageMap* map() const { return map_.get(); }
  // The enumerator (no comparator) the table reads and listens on.
  IEnum* rows() const { return rows_.get(); }

private:
  Ref<MessageMap> map_;
  Ref<Clock> clock_;
  Ref<IEnum> rows_;
};
