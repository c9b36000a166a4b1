#pragma once
// The byte streams that messages are read from and written to in the record
// form. A stdio stream is the usual one; memory streams serve tests and the
// damage checks, and a caller may plug in its own (a checked file writer).
//
//   FileSource in(file);          // file: an open binary stdio stream, not ours
//   msg.readRecords(in);

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

// Behaves like a stdio stream opened for binary reading: a read that runs past
// the end consumes what there was and sets the end-of-file indicator; a skip
// may go past the end and clears it.
class RecordSource {
public:
  virtual ~RecordSource() = default;
  virtual bool atEnd() = 0;                           // the end-of-file indicator
  virtual bool read(void* to, size_t size) = 0;       // true only when all bytes came
  virtual void skip(size_t size) = 0;
};

class RecordSink {
public:
  virtual ~RecordSink() = default;
  virtual bool write(const void* data, size_t size) = 0;   // true only when all bytes went
};

class FileSource : public RecordSource {
public:
  explicit FileSource(FILE* file) : file_(file) {}
  bool atEnd() override { return feof(file_) != 0; }
  bool read(void* to, size_t size) override { return fread(to, 1, size, file_) == size; }
  void skip(size_t size) override { fseek(file_, long(size), SEEK_CUR); }

private:
  FILE* file_;   // borrowed
};

class FileSink : public RecordSink {
public:
  explicit FileSink(FILE* file) : file_(file) {}
  bool write(const void* data, size_t size) override { return fwrite(data, 1, size, file_) == size; }

private:
  FILE* file_;   // borrowed
};

class MemorySource : public RecordSource {
public:
  MemorySource(const void* data, size_t size) : data_(static_cast<const uint8_t*>(data)), size_(size) {}
  explicit MemorySource(const std::string& bytes) : MemorySource(bytes.data(), bytes.size()) {}
  explicit MemorySource(std::string&&) = delete;   // would read a string that is gone
  bool atEnd() override { return eof_; }
  bool read(void* to, size_t size) override;
  void skip(size_t size) override;
  size_t position() const { return pos_; }

private:
  const uint8_t* data_;   // borrowed
  size_t size_;
  size_t pos_ = 0;
  bool eof_ = false;
};

class StringSink : public RecordSink {
public:
  bool write(const void* data, size_t size) override {
    bytes.append(static_cast<const char*>(data), size);
    return true;
  }
  std::string bytes;
};
