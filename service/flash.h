#pragma once
// Flash data: the blob a device fetches over TFTP, "123 " and the selected
// script's stream, compressed as a delta against the built-in base stream.
//
//   Bytes data = flashData(path);   // empty: nothing to serve

#include <cstdint>
#include <string>

#include "service/stream.h"

inline constexpr int32_t kMaxScriptFileSize = 1000000;
inline constexpr size_t kStreamSlack = 1000;  // a stream may exceed its script by this much
inline constexpr char kFlashPrefix[] = "123 ";

// Encodes data as a delta against base 1 and decodes it again; the stream is
// used only when it gives back data byte for byte and fits destinationSize.
// Returns the stream's length, written to destination, or -1.
int32_t compressScript(uint8_t* destination, size_t destinationSize, const uint8_t* data, size_t size);

// The compressed stream of the file at path (UTF-8), or empty when the file is
// missing, unreadable, over kMaxScriptFileSize, or does not compress.
Bytes scriptStream(const std::string& path);

// "123 " followed by stream. A stream that could not be made gives no flash
// data at all: four bytes without a stream are no configuration, and serving
// them would report a device as provisioned when it was not.
Bytes flashDataFromStream(const Bytes& stream);

// flashDataFromStream(scriptStream(path)).
Bytes flashData(const std::string& path);
