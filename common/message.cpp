#include "common/message.h"

#include <climits>
#include <cstring>

#include "base/log.h"

namespace {

uint32_t readLe32(const char* p) {
  const auto* b = reinterpret_cast<const uint8_t*>(p);
  return uint32_t(b[0]) | uint32_t(b[1]) << 8 | uint32_t(b[2]) << 16 | uint32_t(b[3]) << 24;
}

void appendLe32(std::string& out, uint32_t v) {
  char b[4] = {char(v), char(v >> 8), char(v >> 16), char(v >> 24)};
  out.append(b, 4);
}

}  // namespace

bool MessageKeyLess::operator()(std::string_view a, std::string_view b) const {
  size_t n = a.size() < b.size() ? a.size() : b.size();
  for (size_t i = 0; i < n; ++i) {
    auto x = static_cast<signed char>(a[i]), y = static_cast<signed char>(b[i]);
    if (x != y) return x < y;
  }
  return a.size() < b.size();
}

Message::Message() : body_(new Body) {}

const Message::Entries& Message::entries() const { return body_->entries; }

Message::Entries& Message::mutableEntries() {
  if (body_->getRefCount() > 1) {
    Ref<Body> own(new Body);
    own->entries = body_->entries;
    body_ = own;
  }
  return body_->entries;
}

const std::string* Message::find(std::string_view key) const {
  auto it = entries().find(key);
  return it == entries().end() ? nullptr : &it->second;
}

uint32_t Message::getU32(std::string_view key, uint32_t fallback) const {
  const std::string* v = find(key);
  return v && v->size() == 4 ? readLe32(v->data()) : fallback;
}

uint32_t Message::getU32OrNone(std::string_view key) const { return getU32(key, 0xFFFFFFFFu); }

bool Message::getBool(std::string_view key, bool fallback) const {
  const std::string* v = find(key);
  return v && v->size() == 1 ? (*v)[0] != 0 : fallback;
}

std::string Message::getBytes(std::string_view key, const std::string& fallback) const {
  const std::string* v = find(key);
  return v ? *v : fallback;
}

std::string Message::getString(std::string_view key, const std::string& fallback) const {
  return getBytes(key, fallback);
}

std::vector<std::string> Message::getStringList(std::string_view key,
                                                const std::vector<std::string>& fallback) const {
  const std::string* v = find(key);
  return v ? decodeStringList(*v) : fallback;
}

std::vector<uint32_t> Message::getU32List(std::string_view key, const std::vector<uint32_t>& fallback) const {
  const std::string* v = find(key);
  return v ? decodeU32List(*v) : fallback;
}

Message Message::getMessage(std::string_view key, const Message& fallback) const {
  const std::string* v = find(key);
  if (!v) return fallback;
  Message nested;
  return nested.parse(v->data(), v->size()) ? nested : fallback;
}

bool Message::hasError() const { return find("error") != nullptr; }

std::string Message::getError() const { return getBytes("error", std::string()); }

std::string& Message::at(std::string_view key) {
  Entries& e = mutableEntries();
  auto it = e.find(key);
  if (it == e.end()) it = e.emplace(std::string(key), std::string()).first;
  return it->second;
}

std::string& Message::set(std::string_view key, const std::string& value) { return at(key) = value; }

void Message::remove(std::string_view key) {
  Entries& e = mutableEntries();
  auto it = e.find(key);
  if (it != e.end()) e.erase(it);
}

int Message::serialize(uint8_t* buffer, size_t capacity) const {
  if (capacity > size_t(INT_MAX)) capacity = size_t(INT_MAX);
  size_t pos = 0;
  for (const auto& [key, value] : entries()) {
    // A key or value longer than its length field would wrap that field and
    // garble every entry after it, so it counts as not fitting.
    bool representable = key.size() <= kMaxKey && value.size() <= kMaxBufferValue;
    if (!representable || key.size() + value.size() + 3 > capacity - pos) {
      nv::log << "do not fit in msg: " << key << ", " << value.size() << nv::endl;
      return -1;
    }
    buffer[pos++] = uint8_t(key.size());
    std::memcpy(buffer + pos, key.data(), key.size());
    pos += key.size();
    buffer[pos++] = uint8_t(value.size() >> 8);
    buffer[pos++] = uint8_t(value.size());
    std::memcpy(buffer + pos, value.data(), value.size());
    pos += value.size();
  }
  return int(pos);
}

std::string Message::toBytes() const {
  // One scratch buffer for every call: messages live on the GUI thread only.
  static uint8_t scratch[kMaxBufferForm];
  int n = serialize(scratch, sizeof scratch);
  return n < 0 ? std::string() : std::string(reinterpret_cast<const char*>(scratch), size_t(n));
}

bool Message::parse(const void* bytes, size_t length) {
  Entries& e = mutableEntries();
  const auto* p = static_cast<const uint8_t*>(bytes);
  const uint8_t* end = p + length;
  while (true) {
    if (end - p < 1) return false;
    size_t keyLen = *p++;
    if (size_t(end - p) < keyLen) return false;
    std::string key(reinterpret_cast<const char*>(p), keyLen);
    p += keyLen;
    if (end - p < 2) return false;
    size_t valueLen = size_t(p[0]) << 8 | p[1];
    p += 2;
    if (size_t(end - p) < valueLen) return false;
    e[std::move(key)].assign(reinterpret_cast<const char*>(p), valueLen);
    p += valueLen;
    if (p == end) return true;
  }
}

void Message::dump(std::ostream& out) const {
  for (const auto& [key, value] : entries()) {
    out << key << "=";
    if (value.size() > 31) {
      out << "#" << value.size();
    } else {
      for (char c : value) out << " " << unsigned(uint8_t(c));
    }
    out << "\n";
  }
}

std::string u32Value(uint32_t value) {
  std::string out;
  appendLe32(out, value);
  return out;
}

std::string boolValue(unsigned flag) { return std::string(1, char(flag & 0xFF)); }

std::string stringValue(const std::string& text) { return text; }

std::string stringListValue(const std::vector<std::string>& items) {
  std::string out;
  for (const std::string& item : items) {
    appendLe32(out, uint32_t(item.size()));
    out += item;
  }
  return out;
}

std::string u32ListValue(const std::vector<uint32_t>& numbers) {
  std::string out;
  out.reserve(numbers.size() * 4);
  for (uint32_t n : numbers) appendLe32(out, n);
  return out;
}

std::vector<std::string> decodeStringList(std::string_view bytes) {
  std::vector<std::string> items;
  size_t pos = 0;
  while (bytes.size() - pos >= 4) {
    size_t len = readLe32(bytes.data() + pos);
    pos += 4;
    if (len > bytes.size() - pos) break;
    items.emplace_back(bytes.substr(pos, len));
    pos += len;
  }
  return items;
}

std::vector<uint32_t> decodeU32List(std::string_view bytes) {
  std::vector<uint32_t> numbers(bytes.size() / 4);
  for (size_t i = 0; i < numbers.size(); ++i) numbers[i] = readLe32(bytes.data() + 4 * i);
  return numbers;
}

Message makeErrorMessage(const std::string& text) {
  Message m;
  m.at("sys-cmd") = u32Value(7);
  m.at("error") = text;
  return m;
}
