#pragma once
// TFTP wire forms: read-request parsing, acknowledgement classification and
// the DATA and OACK packets a transfer sends. Only reading is served, in
// 512-byte blocks, and "tsize" is the only option understood.
//
//   tftp::ReadRequest rrq;
//   if (!tftp::parseReadRequest(data, length, &rrq)) return;   // ignored whole
//   switch (tftp::classifyAck(data, length, block)) { ... }
//
// Every read is bounded by the received length; a string that is not
// NUL-terminated inside the datagram makes the whole request void.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace tftp {

enum Opcode : uint16_t { kRrq = 1, kWrq = 2, kData = 3, kAck = 4, kError = 5, kOack = 6 };

constexpr size_t kBlockSize = 512;
constexpr size_t kHeaderSize = 4;  // opcode and block number
constexpr size_t kMaxPacket = kHeaderSize + kBlockSize;

struct Option {
  std::string name;
  std::string value;
};

struct ReadRequest {
  std::string fileName;
  std::string mode;   // not examined: every mode is served as raw bytes
  bool tsize = false;  // the first "tsize", in any letter case; its value is not read
  std::vector<Option> others;  // every other option, a repeated "tsize" included
};

// True when the datagram is a well-formed read request; false means ignore it
// (too short, not RRQ, or any string unterminated inside the datagram).
bool parseReadRequest(const uint8_t* data, size_t length, ReadRequest* request);

enum class Ack {
  Current,   // acknowledges the packet last sent
  Previous,  // repeats the acknowledgement before it
  Bad,       // anything else, ERROR packets included
};
// blockNumber is the transfer's count of DATA blocks sent; only its low 16
// bits go on the wire, so block numbers wrap from 65535 to 0.
Ack classifyAck(const uint8_t* data, size_t length, uint32_t blockNumber);

// Writes a DATA packet into out (kMaxPacket bytes); returns its length.
size_t writeData(uint8_t* out, uint32_t blockNumber, const uint8_t* data, size_t length);
// Writes the OACK for a transfer of dataSize bytes into out; returns its
// length. Empty data gives the opcode alone.
size_t writeOptionAck(uint8_t* out, uint64_t dataSize);

}  // namespace tftp
