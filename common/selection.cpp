// The selection convertor: one of an enumerator's objects, kept by id and
// shown by name. It lives apart from the other convertors because it reads
// the object map.

#include <cstdio>
#include <cstring>

#include "common/convertor.h"
#include "common/map.h"

namespace {

class SelectionConvertor : public Convertor {
public:
  explicit SelectionConvertor(IEnum* choices) : choices_(choices) {}

  void* getInterface(int id) override { return id == int(InterfaceId::Enum) ? choices_.get() : nullptr; }

  std::string toText(const void* value) override {
    IObject* object = choices_->getObject(load(value));
    return object ? choices_->getName(object) : std::string();
  }
  void fromText(void* value, const std::string& text) override {
    uint32_t id = BADID;
    lookUp(text, &id);
    std::memcpy(value, &id, sizeof id);
  }
  bool isValidText(const std::string& text) override {
    uint32_t id;
    return lookUp(text, &id);
  }
  bool isNonDefault(const void* value) override { return choices_->getObject(load(value)) != nullptr; }
  void getDefault(void* value) override {
    const uint32_t none = 0;
    std::memcpy(value, &none, sizeof none);
  }
  std::string describe() override { return "selection"; }
  ListenerList* getListeners() override { return choices_->getListeners(); }
  bool less(const void* a, const void* b) override { return lessAsSignedBytes(toText(a), toText(b)); }

private:
  static uint32_t load(const void* value) {
    uint32_t id;
    std::memcpy(&id, value, sizeof id);
    return id;
  }

  // By name first, in the enumerator's order; failing that, the text may be
  // an id written out ("%u": leading digits, the rest ignored).
  bool lookUp(const std::string& text, uint32_t* id) {
    Ref<IIterator> it = choices_->createIterator();
    while (IObject* object = it->next()) {
      if (choices_->getName(object) == text) {
        *id = object->getId();
        return true;
      }
    }
    unsigned value;
    if (std::sscanf(text.c_str(), "%u", &value) == 1) {
      *id = value;
      return true;
    }
    return false;
  }

  Ref<IEnum> choices_;
};

}  // namespace

Ref<Convertor> selectionConvertor(IEnum* choices) { return Ref<Convertor>(new SelectionConvertor(choices)); }
