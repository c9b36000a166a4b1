#pragma once
// The records of the view-state file in memory: messages numbered by id, the
// application's own under id 0. Knows the file's layout but not the file:
// gui/persist opens it and keeps the one store of the process.
//
//   ViewStateStore store;
//   store.load(&source);                 // or nullptr when there is no file
//   Message* app = store.get(0);         // always there

#include <cstdint>
#include <map>
#include <string>

#include "common/message.h"

class RecordSource;
class RecordSink;

class ViewStateStore {
public:
  static constexpr uint32_t kNoId = 0xFFFFFFFF;

  ViewStateStore();

  // Replaces the records with the messages of the source, in file order; the
  // first message of an id wins. Reading ends at the first message from which
  // nothing could be read; the messages before it are kept.
  void load(RecordSource* source);

  // The record of an id, or null when it is missing and newId is null. With
  // newId, a missing id gives a fresh empty record under a free id instead
  // (stored in *newId; 0 and 0xFFFFFFFF are never handed out).
  Message* get(uint32_t id, uint32_t* newId = nullptr);

  // Stamps every record with its "id" and writes them in ascending id order;
  // false as soon as a write fails.
  bool write(RecordSink& sink);

  const std::map<uint32_t, Message>& records() const { return records_; }
  uint32_t nextId() const { return nextId_; }
  std::string path;   // the file last loaded; "" until then

private:
  static uint32_t following(uint32_t id) { return id >= 0xFFFFFFFE ? 1 : id + 1; }

  std::map<uint32_t, Message> records_;
  uint32_t nextId_ = 1;
};
