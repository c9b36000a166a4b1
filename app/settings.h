#pragma once
// The operator's settings: whether the service answers devices, the Boot
// Client Address, the script list and the message log's lines.

#include <cstdint>

#include "app/messagelog.h"
#include "app/scripts.h"
#include "common/object.h"

class Settings : public Object {
public:
  Settings() : scripts(makeRef<ScriptMap>()), messages(makeRef<MessageMap>()) {}

  bool active = false;
  uint32_t spare = 0;     // kept for the record layout; nothing reads it
  uint32_t clientIP = 0;  // network order
  Ref<ScriptMap> scripts;
  Ref<MessageMap> messages;
};
