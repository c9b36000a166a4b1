#include "common/convertor.h"

#include <cstdio>
#include <cstring>
#include <ctime>

namespace {

// --- reading numbers the C library's way --------------------------------

struct Parsed {
  uint32_t value = 0;
  size_t consumed = 0;    // 0 when no digit was read
  bool overflow = false;  // value saturated at 0xFFFFFFFF
};

int digitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'z') return c - 'a' + 10;
  if (c >= 'A' && c <= 'Z') return c - 'A' + 10;
  return 99;
}

bool isSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

// strtoul with a 32-bit unsigned long (as on Windows), the same on every
// platform: leading spaces and a sign, "0x" for bases 16 and 0, a leading 0
// meaning octal for base 0.
Parsed parseUnsigned(std::string_view text, int base) {
  Parsed r;
  if (base < 0 || base == 1 || base > 36) return r;
  size_t i = 0;
  while (i < text.size() && isSpace(text[i])) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  auto hexPrefixAt = [&](size_t at) {
    return at + 2 < text.size() && text[at] == '0' && (text[at + 1] == 'x' || text[at + 1] == 'X') &&
           digitValue(text[at + 2]) < 16;
  };
  if ((base == 0 || base == 16) && hexPrefixAt(i)) {
    base = 16;
    i += 2;
  } else if (base == 0) {
    base = i < text.size() && text[i] == '0' ? 8 : 10;
  }
  const size_t digitsStart = i;
  uint64_t value = 0;
  for (; i < text.size() && digitValue(text[i]) < base; ++i) {
    value = value * uint64_t(base) + uint64_t(digitValue(text[i]));
    if (value > 0xFFFFFFFFu) {
      r.overflow = true;
      value = 0xFFFFFFFFu + uint64_t(1);  // keeps overflowing without wrapping
    }
  }
  if (i == digitsStart) return r;
  r.consumed = i;
  r.value = r.overflow ? 0xFFFFFFFFu : negative ? uint32_t(0u - uint32_t(value)) : uint32_t(value);
  return r;
}

std::string format(const char* fmt, auto... args) {
  char buffer[64];
  int n = std::snprintf(buffer, sizeof buffer, fmt, args...);
  return std::string(buffer, n < 0 ? 0 : size_t(n) < sizeof buffer ? size_t(n) : sizeof buffer - 1);
}

uint32_t load32(const void* value) {
  uint32_t v;
  std::memcpy(&v, value, sizeof v);
  return v;
}

void store32(void* value, uint32_t v) { std::memcpy(value, &v, sizeof v); }

// Network order keeps the first octet in the first byte of memory.
uint32_t hostOrder(uint32_t networkOrder) {
  uint8_t b[4];
  std::memcpy(b, &networkOrder, 4);
  return uint32_t(b[0]) << 24 | uint32_t(b[1]) << 16 | uint32_t(b[2]) << 8 | b[3];
}

uint32_t networkOrder(uint32_t hostOrder) {
  uint8_t b[4] = {uint8_t(hostOrder >> 24), uint8_t(hostOrder >> 16), uint8_t(hostOrder >> 8), uint8_t(hostOrder)};
  uint32_t v;
  std::memcpy(&v, b, 4);
  return v;
}

// --- text ------------------------------------------------------------------

class TextConvertor : public Convertor {
public:
  TextConvertor(uint32_t minLength, uint32_t maxLength) : min_(minLength), max_(maxLength) {}
  std::string toText(const void* value) override { return *static_cast<const std::string*>(value); }
  void fromText(void* value, const std::string& text) override { *static_cast<std::string*>(value) = text; }
  bool isValidText(const std::string& text) override { return min_ <= text.size() && text.size() <= max_; }
  bool isNonDefault(const void* value) override { return !static_cast<const std::string*>(value)->empty(); }
  void getDefault(void* value) override { static_cast<std::string*>(value)->clear(); }
  std::string describe() override {
    return format("%s [%d;%d]", "text with number of symbols in range", int(min_), int(max_));
  }
  bool less(const void* a, const void* b) override {
    return lessAsSignedBytes(*static_cast<const std::string*>(a), *static_cast<const std::string*>(b));
  }

private:
  uint32_t min_, max_;
};

// --- number ----------------------------------------------------------------

class NumberConvertor : public Convertor {
public:
  NumberConvertor(int base, uint32_t minimum, uint32_t maximum, uint32_t defaultValue)
      : base_(base), min_(minimum), max_(maximum), default_(defaultValue == uint32_t(-1) ? minimum : defaultValue) {}

  std::string toText(const void* value) override {
    uint32_t v = load32(value);
    // Only the default is brought into range: it may lie outside on purpose
    // ("not set"), while any other value is shown as it is.
    if (v == default_) v = v < min_ ? min_ : v > max_ ? max_ : v;
    return formatInBase(v);
  }
  void fromText(void* value, const std::string& text) override { store32(value, parseUnsigned(text, base_).value); }
  bool isValidText(const std::string& text) override {
    Parsed p = parseUnsigned(text, base_);
    return p.consumed != 0 && p.consumed == text.size() && !p.overflow && min_ <= p.value && p.value <= max_;
  }
  bool isNonDefault(const void* value) override { return load32(value) != default_; }
  void getDefault(void* value) override { store32(value, default_); }
  bool normalizeText(std::string& text) override {
    const uint32_t v = parseUnsigned(text, base_).value;
    // A minimum of 10 or more is left alone while typing, or the first digit
    // of a two-digit number would be corrected away.
    std::string corrected = min_ <= 9 && v < min_ ? formatInBase(min_) : v > max_ ? formatInBase(max_) : text;
    if (corrected == text) return false;
    text = std::move(corrected);
    return true;
  }
  std::string describe() override {
    std::string name = base_ == 10 ? "decimal"
                       : base_ == 16 ? "hexadecimal"
                       : base_ == 8  ? "octal"
                       : base_ == 2  ? "binary"
                                     : format("%d base", base_);
    return format("%s %s [%d;%d]", name.c_str(), "number in range", int(min_), int(max_));
  }
  bool less(const void* a, const void* b) override { return load32(a) < load32(b); }

private:
  std::string formatInBase(uint32_t v) const {
    if (base_ == 16) return format("%x", v);
    if (base_ == 8) return format("%o", v);
    if (base_ == 2) {
      if (v == 0) return "0";
      std::string bits;
      for (int bit = 31 - __builtin_clz(v); bit >= 0; --bit) bits.push_back(char('0' + ((v >> bit) & 1)));
      return bits;
    }
    return format("%u", v);
  }

  int base_;
  uint32_t min_, max_, default_;
};

// --- bytes -----------------------------------------------------------------

class BytesConvertor : public Convertor {
public:
  std::string toText(const void* value) override {
    const uint32_t count = load32(value);
    if (count <= 4999) return format("%u B", count);
    if (count <= 4999999) {
      // Tenths of a kilobyte, rounded, so the digit after the point always
      // belongs to the whole number before it.
      const uint32_t tenths = uint32_t((uint64_t(count) * 10 + 512) >> 10);
      return format("%u.%1u kB", tenths / 10, tenths % 10);
    }
    const uint32_t tenths = uint32_t((uint64_t(count) * 10) >> 20);
    return format("%u.%1u MB", tenths / 10, tenths % 10);
  }
  bool isNonDefault(const void* value) override { return load32(value) != 0; }
  std::string describe() override { return "bytes"; }
  bool less(const void* a, const void* b) override { return load32(a) < load32(b); }
};

// --- IP address --------------------------------------------------------------

class IpAddressConvertor : public Convertor {
public:
  explicit IpAddressConvertor(bool allowZero) : allowZero_(allowZero) {}
  std::string toText(const void* value) override { return formatIpAddress(load32(value)); }
  void fromText(void* value, const std::string& text) override {
    uint32_t address;
    if (parseIpAddress(text, &address)) store32(value, address);
  }
  bool isValidText(const std::string& text) override {
    uint32_t address;
    return parseIpAddress(text, &address) && (allowZero_ || address != 0);
  }
  bool isNonDefault(const void* value) override { return load32(value) != 0; }
  void getDefault(void* value) override { store32(value, 0); }
  std::string describe() override { return allowZero_ ? "ip address" : "non zero ip address"; }
  bool less(const void* a, const void* b) override { return hostOrder(load32(a)) < hostOrder(load32(b)); }

private:
  bool allowZero_;
};

// --- date --------------------------------------------------------------------

class DateConvertor : public Convertor {
public:
  explicit DateConvertor(Clock* clock) : clock_(clock) {}
  std::string toText(const void* value) override {
    std::tm then{}, now{};
    if (!clock_->toLocal(int64_t(load32(value)), &then) || !clock_->toLocal(clock_->now(), &now)) return "";
    const char* fmt = then.tm_year != now.tm_year                                   ? "%b/%d/%Y %H:%M:%S"
                      : then.tm_mon == now.tm_mon && then.tm_mday == now.tm_mday ? "%H:%M:%S"
                                                                                   : "%b/%d %H:%M:%S";
    char buffer[128];
    size_t n = std::strftime(buffer, sizeof buffer, fmt, &then);
    return std::string(buffer, n);
  }
  bool isNonDefault(const void* value) override { return load32(value) != 0; }
  std::string describe() override { return "date"; }
  bool less(const void* a, const void* b) override { return load32(a) < load32(b); }

private:
  Ref<Clock> clock_;
};

// --- boolean -----------------------------------------------------------------

class BooleanConvertor : public Convertor {
public:
  BooleanConvertor(std::string trueText, std::string falseText)
      : true_(std::move(trueText)), false_(std::move(falseText)) {}
  std::string toText(const void* value) override { return *static_cast<const uint8_t*>(value) ? true_ : false_; }
  void fromText(void* value, const std::string& text) override { *static_cast<uint8_t*>(value) = text == true_; }
  bool isValidText(const std::string& text) override { return text == true_ || text == false_; }
  std::string describe() override { return "boolean"; }

private:
  std::string true_, false_;
};

}  // namespace

bool Convertor::less(const void* a, const void* b) { return lessAsSignedBytes(toText(a), toText(b)); }

bool lessAsSignedBytes(std::string_view a, std::string_view b) {
  const size_t n = a.size() < b.size() ? a.size() : b.size();
  for (size_t i = 0; i < n; ++i)
    if (a[i] != b[i]) return static_cast<signed char>(a[i]) < static_cast<signed char>(b[i]);
  return a.size() < b.size();
}

Ref<Convertor> textConvertor(uint32_t minLength, uint32_t maxLength) {
  return Ref<Convertor>(new TextConvertor(minLength, maxLength));
}

Ref<Convertor> numberConvertor(int base, uint32_t minimum, uint32_t maximum, uint32_t defaultValue) {
  return Ref<Convertor>(new NumberConvertor(base, minimum, maximum, defaultValue));
}

Ref<Convertor> bytesConvertor() { return Ref<Convertor>(new BytesConvertor); }

Ref<Convertor> ipAddressConvertor(bool allowZero) { return Ref<Convertor>(new IpAddressConvertor(allowZero)); }

Ref<Convertor> dateConvertor(Clock* clock) { return Ref<Convertor>(new DateConvertor(clock)); }

Ref<Convertor> booleanConvertor(std::string trueText, std::string falseText) {
  return Ref<Convertor>(new BooleanConvertor(std::move(trueText), std::move(falseText)));
}

Convertor* booleanNoYes() {
  static Ref<Convertor> instance = booleanConvertor("no", "yes");
  return instance.get();
}

Convertor* booleanMark() {
  static Ref<Convertor> instance = booleanConvertor("!", "");
  return instance.get();
}

std::string formatMac(const uint8_t* bytes, size_t length) {
  if (!bytes || length != 6) return "XX:XX:XX:XX:XX:XX";
  return format("%2.2X:%2.2X:%2.2X:%2.2X:%2.2X:%2.2X", bytes[0], bytes[1], bytes[2], bytes[3], bytes[4], bytes[5]);
}

std::string formatIpAddress(uint32_t address) {
  const uint32_t h = hostOrder(address);
  return format("%u.%u.%u.%u", h >> 24, (h >> 16) & 0xFF, (h >> 8) & 0xFF, h & 0xFF);
}

bool parseIpAddress(std::string_view text, uint32_t* address) {
  uint32_t value = 0;
  for (int part = 0; part < 4; ++part) {
    Parsed p = parseUnsigned(text, 0);
    if (p.consumed == 0 || p.value > 255) return false;
    text.remove_prefix(p.consumed);
    if (text.empty()) {
      *address = networkOrder(value + p.value);  // the last part goes in unshifted
      return true;
    }
    if (text.front() != '.') return false;
    text.remove_prefix(1);
    value |= p.value << (24 - 8 * part);
  }
  return false;  // a fifth part
}

MemberField::MemberField(uint32_t offset, Convertor* convertor, Convertor* fullText, bool leftAligned)
    : leftAligned_(leftAligned), offset_(offset), convertor_(convertor), fullText_(fullText ? fullText : convertor) {}

std::string MemberField::getText(IObject* object) { return convertor_->toText(member(object)); }
std::string MemberField::getFullText(IObject* object) { return fullText_->toText(member(object)); }
bool MemberField::less(IObject* a, IObject* b) { return convertor_->less(member(a), member(b)); }
