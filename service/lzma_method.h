#pragma once
// Method 1 of the stream container: raw LZMA with the one set of properties
// that the devices decode (lc 4, lp 0, pb 0, 512 KiB dictionary), no
// properties header and no end marker.

#include "service/stream.h"

// Compressing: encodes all remaining input; the output grows by at most the
// input size plus 32 bytes. Decompressing: decodes exactly length bytes (at
// most the 512 KiB dictionary) and must use up the remaining input.
bool lzmaMethod(Bytes& output, ByteReader& input, bool compress, uint32_t length);
