#pragma once
// Message: the typed key/value record that carries window, view and
// application state. A copy-on-write handle: copying shares the entries, and
// the first change through a shared handle gives it entries of its own.
//
//   Message m;
//   m.at("active") = boolValue(1);
//   uint32_t ip = m.getU32("clientIP", 0);
//   parent.set("field-1", m.toBytes());      // nested; read back with getMessage
//
// Keys order byte by byte with each byte taken as signed; both byte forms
// (the buffer form of toBytes/parse and the record form of the view-state
// file) write entries in that order.

#include <cstdint>
#include <cstdio>
#include <map>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "base/ibase.h"

class RecordSource;
class RecordSink;

// Signed-byte key order; transparent so lookups need no key copy.
struct MessageKeyLess {
  using is_transparent = void;
  bool operator()(std::string_view a, std::string_view b) const;
};

class Message {
public:
  using Entries = std::map<std::string, std::string, MessageKeyLess>;

  // Limits of the two byte forms.
  static constexpr size_t kMaxKey = 255;
  static constexpr size_t kMaxBufferValue = 65535;
  static constexpr size_t kMaxBufferForm = 65535;   // what toBytes can hold
  static constexpr size_t kMaxRecord = 65535;       // key + value + 1 in the record form

  Message();
  Message(const Message& other) = default;
  Message& operator=(const Message& other) = default;

  // Reading: never copies the entries. find's pointer lives until the next change.
  const std::string* find(std::string_view key) const;
  uint32_t getU32(std::string_view key, uint32_t fallback) const;
  uint32_t getU32OrNone(std::string_view key) const;   // 0xFFFFFFFF when absent or not 4 bytes
  bool getBool(std::string_view key, bool fallback) const;
  std::string getBytes(std::string_view key, const std::string& fallback) const;
  std::string getString(std::string_view key, const std::string& fallback) const;
  std::vector<std::string> getStringList(std::string_view key, const std::vector<std::string>& fallback) const;
  std::vector<uint32_t> getU32List(std::string_view key, const std::vector<uint32_t>& fallback) const;
  Message getMessage(std::string_view key, const Message& fallback) const;
  bool hasError() const;
  std::string getError() const;

  // Changing: each unshares first.
  std::string& at(std::string_view key);   // inserts an empty value when absent
  std::string& set(std::string_view key, const std::string& value);
  void remove(std::string_view key);

  // Buffer form. serialize returns the bytes written or -1 when an entry does
  // not fit; toBytes gives "" then. parse keeps the entries read before a failure.
  int serialize(uint8_t* buffer, size_t capacity) const;
  std::string toBytes() const;
  bool parse(const void* bytes, size_t length);

  // Record form. readRecords returns the bytes consumed (0: nothing usable);
  // writeRecords the bytes written, or 0 when a write failed.
  size_t readRecords(FILE* stream);
  size_t readRecords(RecordSource& source);
  size_t writeRecords(FILE* stream) const;
  size_t writeRecords(RecordSink& sink) const;

  void dump(std::ostream& out) const;

  const Entries& entries() const;
  size_t size() const { return entries().size(); }
  bool isSharedWith(const Message& other) const { return body_ == other.body_; }
  // Same entries; shared or not.
  friend bool operator==(const Message& a, const Message& b) { return a.entries() == b.entries(); }

private:
  class Body : public RefCounted<> {
  public:
    Entries entries;
  };
  Entries& mutableEntries();

  Ref<Body> body_;
};

// Value makers: the bytes the typed getters read back.
std::string u32Value(uint32_t value);
std::string boolValue(unsigned flag);   // the low byte of the number
std::string stringValue(const std::string& text);
std::string stringListValue(const std::vector<std::string>& items);
std::string u32ListValue(const std::vector<uint32_t>& numbers);

// Value decoders shared by the getters and the codecs.
std::vector<std::string> decodeStringList(std::string_view bytes);
std::vector<uint32_t> decodeU32List(std::string_view bytes);

// A command reply: "sys-cmd" = 7 and "error" = text.
Message makeErrorMessage(const std::string& text);
