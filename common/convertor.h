#pragma once
// Convertors turn one kind of value into text and back, for table cells and
// edit fields; a MemberField binds one to a member of a record by its offset.
//
//   Ref<Convertor> port = numberConvertor(10, 0, 65535, 0);
//   port->isValidText("70000");        // false
//   port->describe();                  // "decimal number in range [0;65535]"
//
//   Ref<MemberField> reps = makeRef<MemberField>(NV_MEMBER_OFFSET(MessageEntry, reps),
//                                                numberConvertor(10, 0, ~0u, 0));
//   reps->getText(entry);              // "3"
//
// Values are passed by address; each convertor fixes the type behind it
// (see the factories). Nothing here reports errors: isValidText says no, and
// the caller builds its message from describe().

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "base/clock.h"
#include "base/geometry.h"
#include "base/ibase.h"
#include "base/listeners.h"

class IEnum;
class IObject;
class IWindow;

class Convertor : public RefCounted<> {
public:
  virtual std::string toText(const void* value) = 0;
  virtual void fromText(void* /*value*/, const std::string& /*text*/) {}
  virtual bool isValidText(const std::string& /*text*/) { return false; }
  virtual bool isNonDefault(const void* /*value*/) { return true; }
  virtual void getDefault(void* /*value*/) {}
  // Corrects a typed text; true when it changed.
  virtual bool normalizeText(std::string& /*text*/) { return false; }
  virtual std::string describe() { return "convertor"; }
  // Told when the choices behind the convertor change; most have none.
  virtual ListenerList* getListeners() { return nullptr; }
  // Default order: the two texts as byte strings.
  virtual bool less(const void* a, const void* b);
};

// Byte-string order with bytes taken as signed, shorter first on a common
// prefix: the order every text column sorts in.
bool lessAsSignedBytes(std::string_view a, std::string_view b);

// Value types: text std::string; number, bytes, IP address (network byte
// order), selection (object id) and date (seconds since 1970 UTC) uint32_t;
// boolean uint8_t (non-zero is true).
Ref<Convertor> textConvertor(uint32_t minLength, uint32_t maxLength);
// A default of uint32_t(-1) stands for the minimum.
Ref<Convertor> numberConvertor(int base, uint32_t minimum, uint32_t maximum, uint32_t defaultValue);
Ref<Convertor> bytesConvertor();
Ref<Convertor> ipAddressConvertor(bool allowZero);
// Choices are the objects of the enumerator, shown by name and kept by id.
Ref<Convertor> selectionConvertor(IEnum* choices);
// Shown relative to the clock's "now", in the clock's time zone.
Ref<Convertor> dateConvertor(Clock* clock = systemClock());
Ref<Convertor> booleanConvertor(std::string trueText, std::string falseText);
// Shared instances: "no"/"yes" for flags that say what is missing (such as
// "disabled"), and "!" or nothing for a mark.
Convertor* booleanNoYes();
Convertor* booleanMark();

// "01:02:0A:0B:0C:0D" for exactly six bytes, "XX:XX:XX:XX:XX:XX" otherwise.
std::string formatMac(const uint8_t* bytes, size_t length);

// The text rules of the address convertor, for address fields: dotted
// decimal out; in, up to four parts read the C library's way (0x hexadecimal,
// leading 0 octal), each at most 255, earlier parts filling from the top
// byte, so "10.1" is 10.0.0.1.
std::string formatIpAddress(uint32_t networkOrder);
bool parseIpAddress(std::string_view text, uint32_t* networkOrder);

// The byte offset of a member inside a record class, for MemberField. Records
// have virtual functions, which offsetof accepts here with a warning only.
#define NV_MEMBER_OFFSET(Record, member)                                          \
  ([]() -> uint32_t {                                                             \
    _Pragma("GCC diagnostic push") _Pragma("GCC diagnostic ignored \"-Winvalid-offsetof\"") \
    return uint32_t(offsetof(Record, member));                                    \
    _Pragma("GCC diagnostic pop")                                                 \
  }())

// One table column or view field: a convertor reading one member of any
// record of a class. The record must start with its IObject (single
// inheritance), since the offset is taken from the object's address.
//
// Drawing a cell and showing its tooltip belong to the table painter in the
// GUI layer; it reads getText, getFullText, isLeftAligned and the tip hook
// from here.
class MemberField : public RefCounted<> {
public:
  // Asked first when a tooltip is wanted; non-zero means it handled the tip.
  using TipHook = int (*)(IWindow* window, IObject* object, const Rect& cell, void* data);

  MemberField(uint32_t offset, Convertor* convertor, Convertor* fullText = nullptr, bool leftAligned = false);

  std::string getText(IObject* object);
  std::string getFullText(IObject* object);
  bool less(IObject* a, IObject* b);
  ListenerList* getListeners() { return convertor_->getListeners(); }
  uint32_t getOffset() const { return offset_; }

  bool isLeftAligned() const { return leftAligned_; }
  Convertor* convertor() const { return convertor_.get(); }
  void setTipHook(TipHook hook, void* data) { tipHook_ = hook; tipData_ = data; }
  TipHook tipHook() const { return tipHook_; }
  void* tipData() const { return tipData_; }

private:
  const void* member(IObject* object) const { return reinterpret_cast<const char*>(object) + offset_; }

  bool leftAligned_;
  uint32_t offset_;
  Ref<Convertor> convertor_;
  Ref<Convertor> fullText_;  // the convertor itself unless given
  TipHook tipHook_ = nullptr;
  void* tipData_ = nullptr;
};
