#include "common/map.h"

#include <algorithm>
#include <vector>

#include "base/log.h"
#include "base/timer.h"
#include "common/enum.h"

AMap::AMap() : sweepTimer_(TimerManager::kNoTimer) {}

AMap::~AMap() {
  if (sweepTimer_ != TimerManager::kNoTimer) removeTimer(sweepTimer_);
  size_t held = 0;
  for (auto& [comparator, e] : cache_) {
    if (e->getRefCount() > 0) {
      ++held;
      e->detach();  // its last holder deletes it
    } else {
      delete e;
    }
  }
  cache_.clear();
  if (held) nv::log << "BUG: destructing cache that is not empty " << held << nv::endl;
  // Members outliving the map must not point into it.
  for (OrderObject* member = sentinel_.next_; member && member != &sentinel_;) {
    OrderObject* next = member->next_;
    member->prev_ = member->next_ = nullptr;
    member = next;
  }
}

void AMap::insert(IObject* object) {
  const uint32_t id = object->getId();
  auto at = std::lower_bound(entries_.begin(), entries_.end(), id,
                             [](const Entry& e, uint32_t key) { return e.id < key; });
  if (at != entries_.end() && at->id == id)
    at->object = object;
  else
    entries_.insert(at, Entry{id, Ref<IObject>(object)});
}

void AMap::erase(uint32_t id) {
  size_t i = indexOf(id);
  if (i == npos) return;
  Ref<IObject> keep = entries_[i].object;  // released after the map is consistent
  entries_.erase(entries_.begin() + i);
  if (auto* member = dynamic_cast<OrderObject*>(keep.get()); member && member->isLinked()) unlink(member);
}

IObject* AMap::find(uint32_t id) const {
  size_t i = indexOf(id);
  return i == npos ? nullptr : entries_[i].object.get();
}

size_t AMap::indexOf(uint32_t id) const {
  const size_t n = entries_.size();
  // A walk asks for the entry it stepped to last time, or the one after it.
  for (size_t i = hint_; i < n && i <= hint_ + 1; ++i)
    if (entries_[i].id == id) return hint_ = i;
  auto at = std::lower_bound(entries_.begin(), entries_.end(), id,
                             [](const Entry& e, uint32_t key) { return e.id < key; });
  if (at == entries_.end() || at->id != id) return npos;
  return hint_ = size_t(at - entries_.begin());
}

size_t AMap::indexAfter(uint32_t id) const {
  size_t i = indexOf(id);
  if (i != npos) return i + 1;
  auto at = std::upper_bound(entries_.begin(), entries_.end(), id,
                             [](uint32_t key, const Entry& e) { return key < e.id; });
  return size_t(at - entries_.begin());
}

void AMap::linkBefore(OrderObject* member, OrderObject* before) {
  if (member == before) return;
  if (member->isLinked()) unlink(member);
  if (!before || !before->isLinked()) before = &sentinel_;
  if (!sentinel_.next_) sentinel_.next_ = sentinel_.prev_ = &sentinel_;
  OrderObject* prev = before->prev_;
  member->prev_ = prev;
  member->next_ = before;
  prev->next_ = member;
  before->prev_ = member;
  member->nextId_ = before->getId();
  prev->nextId_ = member->getId();
}

void AMap::unlink(OrderObject* member) {
  if (!member->isLinked()) return;
  OrderObject* prev = member->prev_;
  OrderObject* next = member->next_;
  prev->next_ = next;
  next->prev_ = prev;
  prev->nextId_ = next->getId();
  member->prev_ = member->next_ = nullptr;
  member->nextId_ = BADID;
}

void AMap::notify(int32_t kind, IObject* object) {
  if (cache_.empty()) return;
  MapEvent event(kind, object ? object->getId() : BADID, object);
  // A listener may take new enumerators; they start from the map as it is
  // now and need not hear of this edit.
  // A map has an enumerator or two; every logged line comes through here.
  constexpr size_t kInline = 8;
  MapEnum* inlineList[kInline];
  std::vector<MapEnum*> longList;
  MapEnum** enums = inlineList;
  if (cache_.size() > kInline) {
    longList.resize(cache_.size());
    enums = longList.data();
  }
  size_t count = 0;
  for (auto& [comparator, e] : cache_) enums[count++] = e;
  ++notifying_;
  for (size_t i = 0; i < count; ++i) enums[i]->onMapEvent(event);
  --notifying_;
}

IEnum* AMap::getEnum(IComparator* comparator) {
  AMap* volatile self = this;  // a call through a null map must still be caught here
  if (!self) nv::assertFailed("this", "IEnum* AMap::getEnum(IComparator*)", "common/map.cpp", 315);
  auto cached = cache_.find(comparator);
  if (cached != cache_.end()) return cached->second;
  MapEnum* e = isOrdered() ? static_cast<MapEnum*>(new OrderedEnum(this, comparator))
                           : static_cast<MapEnum*>(new PlainEnum(this, comparator));
  e->fillIds();
  cache_.emplace(comparator, e);
  enumUnheld(e);  // until the caller takes it, it is already on its way out
  return e;
}

void AMap::enumUnheld(MapEnum* e) {
  e->setReleasedAt(timerTicks());
  armSweep();
}

void AMap::armSweep() {
  if (sweepTimer_ == TimerManager::kNoTimer)
    sweepTimer_ = addTimerListener(kExpiryMs, makeDelegate(this, &AMap::onSweep), nullptr);
}

void AMap::onSweep(IMsgEvent*) {
  sweepTimer_ = TimerManager::kNoTimer;
  const uint32_t now = timerTicks();
  bool waiting = false;
  for (auto it = cache_.begin(); it != cache_.end();) {
    MapEnum* e = it->second;
    // Enumerators a running notify is walking are left for the next sweep.
    if (e->getRefCount() == 0 && !notifying_ && now - e->releasedAt() >= kExpiryMs) {
      it = cache_.erase(it);
      delete e;
      continue;
    }
    waiting = waiting || e->getRefCount() == 0;
    ++it;
  }
  if (waiting) armSweep();
}

IObject* AMap::findByName(const std::string& name, uint32_t exceptId) const {
  for (const Entry& entry : entries_)
    if (entry.id != exceptId && entry.object->getName() == name) return entry.object.get();
  return nullptr;
}

void AMap::dump() const {
  nv::log << "objs: " << nv::endl;
  for (const Entry& entry : entries_) nv::log << "id: " << entry.id << nv::endl;
  nv::log << "object order: " << nv::endl;
  for (OrderObject* member = sentinel_.next_; member && member != &sentinel_; member = member->next_)
    nv::log << "id: " << member->getId() << ", next: " << member->nextId_ << nv::endl;
  nv::log << "***" << nv::endl;
}
