#include "gui/persist.h"

#include <windows.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <memory>

#include "app/files.h"
#include "base/log.h"
#include "base/text.h"
#include "common/record_stream.h"

namespace {

ViewStateStore& store() {
  static ViewStateStore theStore;
  return theStore;
}

std::map<IWindow*, IPersistent*>& registry() {
  static std::map<IWindow*, IPersistent*> theRegistry;
  return theRegistry;
}

bool writeFileCall(void* file, const void* data, uint32_t size, uint32_t* written) {
  DWORD n = 0;
  BOOL ok = WriteFile(file, data, size, &n, nullptr);
  *written = n;
  return ok;
}

FileWriteFunction gWrite = writeFileCall;

// Collects the many small record writes into few large file writes, and
// remembers the error of the first one that fails.
class BufferedFileSink : public RecordSink {
public:
  explicit BufferedFileSink(HANDLE file) : file_(file) {}
  BufferedFileSink(const BufferedFileSink&) = delete;
  BufferedFileSink& operator=(const BufferedFileSink&) = delete;

  bool write(const void* data, size_t size) override {
    if (size > sizeof buffer_ - used_ && !flush()) return false;
    if (size >= sizeof buffer_) return put(data, size);
    std::memcpy(buffer_ + used_, data, size);
    used_ += size;
    return true;
  }
  bool flush() {
    bool ok = put(buffer_, used_);
    used_ = 0;
    return ok;
  }
  DWORD error() const { return error_; }

private:
  bool put(const void* data, size_t size) {
    if (failed_) return false;
    uint32_t written = 0;
    if (size && (!gWrite(file_, data, uint32_t(size), &written) || written != size)) {
      error_ = GetLastError();
      if (error_ == 0) error_ = ERROR_DISK_FULL;   // a short write without a reason
      failed_ = true;
    }
    return !failed_;
  }

  HANDLE file_;   // borrowed
  char buffer_[64 * 1024];
  size_t used_ = 0;
  bool failed_ = false;
  DWORD error_ = 0;
};

// Every byte must be on the disk before the move, so that a power cut leaves
// either the old file or the whole new one.
bool writeViewStateFile(const std::string& path) {
  HANDLE file = CreateFileW(toWide(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    nv::log << "view state: CreateFile " << path << ": " << unsigned(GetLastError()) << nv::endl;
    return false;
  }
  auto sink = std::make_unique<BufferedFileSink>(file);
  bool ok = store().write(*sink) && sink->flush();
  if (!ok) {
    nv::log << "view state: WriteFile: " << unsigned(sink->error()) << nv::endl;
  } else if (!FlushFileBuffers(file)) {
    nv::log << "view state: FlushFileBuffers: " << unsigned(GetLastError()) << nv::endl;
    ok = false;
  }
  if (!CloseHandle(file) && ok) {
    nv::log << "view state: CloseHandle: " << unsigned(GetLastError()) << nv::endl;
    ok = false;
  }
  return ok;
}

}  // namespace

void loadViewState(const std::string& shortName) {
  ViewStateStore& s = store();
  s.path = tempPath() + "/" + shortName + ".viw";
  FILE* file = _wfopen(toWide(s.path).c_str(), L"rb");
  if (!file) {
    DWORD error = GetLastError();
    // No file is the first run; anything else is worth a line, since this
    // run starts from defaults.
    if (error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND)
      nv::log << "view state: open " << s.path << ": " << unsigned(error) << nv::endl;
    s.load(nullptr);
    return;
  }
  static char buffer[64 * 1024];
  setvbuf(file, buffer, _IOFBF, sizeof buffer);
  FileSource source(file);
  s.load(&source);
  fclose(file);
}

Message* getViewState(uint32_t id, uint32_t* newId) { return store().get(id, newId); }

const ViewStateStore& viewStateStore() { return store(); }

bool saveViewState() {
  ViewStateStore& s = store();
  if (s.path.empty()) {
    nv::log << "WARNING: view state was never loaded, not saved" << nv::endl;
    return false;
  }
  std::string temp = tempFileName("");
  if (temp.empty()) return false;   // tempFileName has said why
  bool ok = writeViewStateFile(temp) && moveFile(temp, s.path);
  if (!ok) deleteFile(temp);
  return ok;
}

void setViewStateWriteForTest(FileWriteFunction write) { gWrite = write ? write : writeFileCall; }

void registerPersistent(IBase* object, IPersistent* persistent) {
  auto* w = static_cast<IWindow*>(object->getInterface(int(InterfaceId::Window)));
  if (!w) nv::assertFailed("w", "void registerPersistent(IBase*, IPersistent*)", "gui/persist.cpp", 127);
  registry()[w] = persistent;
}

void unregisterPersistent(IBase* object, IPersistent* persistent) {
  auto* w = static_cast<IWindow*>(object->getInterface(int(InterfaceId::Window)));
  if (!w) nv::assertFailed("w", "void unregisterPersistent(IBase*, IPersistent*)", "gui/persist.cpp", 133);
  auto it = registry().find(w);
  if (it == registry().end() || it->second != persistent) {
    nv::log << "WARNING unregistering unregisterded persitent" << nv::endl;
    return;
  }
  registry().erase(it);
}

IPersistent* findPersistent(IWindow* window) {
  auto it = registry().find(window);
  return it == registry().end() ? nullptr : it->second;
}
