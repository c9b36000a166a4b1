#include "common/object.h"

#include <windows.h>

namespace {
constexpr int kDisabledAttributeNumber = 88;
}  // namespace

Attribute* disabledAttribute() {
  // Made on first use; the static holder releases it at exit.
  static Ref<Attribute> disabled(new Attribute(kDisabledAttributeNumber, "disabled", 0));
  return disabled.get();
}

void BaseObject::getAttributes(AttributeList& list) {
  if (!isEnabled()) list.emplace_back(disabledAttribute());
}

Colour BaseObject::getTextColor() {
  // System colours follow the desktop theme, so they are read each time.
  return GetSysColor(isEnabled() ? COLOR_WINDOWTEXT : COLOR_GRAYTEXT);
}
