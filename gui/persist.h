#pragma once
// Window and view state kept between runs, and the registry that finds a
// widget's persistence from its window alone.
//
//   loadViewState("yul");                          // once, before any window
//   Message* app = getViewState(0);                // the application record
//   if (IPersistent* p = findPersistent(window)) p->restore(*app);
//   ...                                            // at the end:
//   p->save(*app); saveViewState();
//
// The store and the registry are process-wide and live on the GUI thread.

#include <cstdint>
#include <string>

#include "base/ibase.h"
#include "common/message.h"
#include "gui/viewstate.h"

class IWindow;   // whatever an object's getInterface(InterfaceId::Window) returns

class IPersistent : public IBase {
public:
  virtual void restore(const Message& state) = 0;
  virtual void save(Message& state) = 0;
};

// Replaces the records with those of <temporary directory>/<shortName>.viw;
// with no file (or none that opens) only an empty application record is left.
void loadViewState(const std::string& shortName);

// The record of an id (changed in place), or null; see ViewStateStore::get.
Message* getViewState(uint32_t id, uint32_t* newId = nullptr);

// The whole store, to look at.
const ViewStateStore& viewStateStore();

// Writes the records to a temporary file and moves it over the file last
// loaded. True when the file was replaced; otherwise the old file is left
// exactly as it was, the temporary file is gone, and one line names the
// failed call and its error code.
bool saveViewState();

// The registry holds no references: a widget registers itself when made and
// unregisters when destroyed.
void registerPersistent(IBase* object, IPersistent* persistent);
void unregisterPersistent(IBase* object, IPersistent* persistent);
IPersistent* findPersistent(IWindow* window);

// Test seam: how saveViewState puts bytes into its temporary file (WriteFile
// semantics; file is the Win32 handle). nullptr restores WriteFile.
using FileWriteFunction = bool (*)(void* file, const void* data, uint32_t size, uint32_t* written);
void setViewStateWriteForTest(FileWriteFunction write);
