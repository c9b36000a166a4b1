#pragma once
// The built-in base streams that delta streams refer to. Devices hold the same
// bytes, so they change only together with the devices' firmware.

#include "service/stream.h"

// The base stream at index, or an empty span: only index 1 exists.
ByteSpan loadBaseStream(unsigned index);
