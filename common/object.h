#pragma once
// IObject: an application record that a table can show (a script entry, a
// logged line). Records derive from Object and are held by an AMap under
// their id; everything else about them is read through these operations.
//
//   class Entry : public Object { ... };   // typeName "Object", id BADID
//   entry->setId(7);  map->insert(entry);  map->notify(MapEvent::Added, entry);

#include <cstdint>
#include <string>
#include <vector>

#include "base/ibase.h"

// The id of no object.
inline constexpr uint32_t BADID = 0xFFFFFFFF;

// A Win32 colour value (red in the low byte).
using Colour = uint32_t;

// A picture from the drawing layer; records here have none.
class Image;

// A named mark on an object; a table shows attributes beside the row.
class Attribute : public RefCounted<> {
public:
  Attribute(int number, std::string name, int value) : number_(number), name_(std::move(name)), value_(value) {}
  int number() const { return number_; }
  const std::string& name() const { return name_; }
  int value() const { return value_; }

private:
  int number_;
  std::string name_;
  int value_;
};
using AttributeList = std::vector<Ref<Attribute>>;

// The one "disabled" attribute every object that is not enabled reports.
Attribute* disabledAttribute();

class IObject : public IBase {
public:
  virtual uint32_t getId() = 0;
  virtual std::string getName() = 0;
  virtual void getAttributes(AttributeList& list) = 0;
  virtual Image* getIcon() = 0;
  virtual Colour getTextColor() = 0;
  virtual bool isEnabled() = 0;
  // The operator activated the object (double click, Enter).
  virtual void activate() = 0;
  // Whether the object stands for more than itself in a tree view.
  virtual bool hasChildren() = 0;
  // Indentation steps the object asks for in a flat list.
  virtual int getIndent() = 0;
  virtual const char* getTypeName() = 0;
  // Bracket a change the operator makes to the object through a view.
  virtual void beginEdit() = 0;
  virtual void endEdit() = 0;
  // Whether copyObject may copy the object as a whole; ring members carry
  // links that belong to their map.
  virtual bool isCopyable() = 0;
};

// The defaults every record starts from: id BADID, empty name, count 0.
class BaseObject : public RefCounted<IObject> {
public:
  uint32_t getId() override { return id_; }
  std::string getName() override { return name_; }
  void getAttributes(AttributeList& list) override;
  Image* getIcon() override { return nullptr; }
  Colour getTextColor() override;
  bool isEnabled() override { return true; }
  void activate() override {}
  bool hasChildren() override { return false; }
  int getIndent() override { return 0; }
  const char* getTypeName() override { return "Base Object"; }
  void beginEdit() override {}
  void endEdit() override {}
  bool isCopyable() override { return true; }

  void setId(uint32_t id) { id_ = id; }
  void setName(std::string name) { name_ = std::move(name); }
  const std::string& name() const { return name_; }

private:
  uint32_t id_ = BADID;
  std::string name_;
};

class Object : public BaseObject {
public:
  const char* getTypeName() override { return "Object"; }
};

// A member of an AMap's order ring. The links are back links: the map holds
// the member's reference.
class OrderObject : public Object {
public:
  const char* getTypeName() override { return "Order Object"; }
  bool isCopyable() override { return false; }

  uint32_t nextId() const { return nextId_; }
  OrderObject* prev() const { return prev_; }
  OrderObject* next() const { return next_; }
  bool isLinked() const { return next_ != nullptr; }

private:
  friend class AMap;
  uint32_t nextId_ = BADID;
  OrderObject* prev_ = nullptr;
  OrderObject* next_ = nullptr;
};

class ObjectList : public Object {
public:
  const char* getTypeName() override { return "Object List"; }
  bool isOrdered() const { return ordered_; }
  void setOrdered(bool ordered) { ordered_ = ordered; }

private:
  // The text and the two numbers travel with every list but nothing here
  // gives them a meaning.
  std::string text_;
  uint32_t first_ = 0xFFFFFFFF;
  uint32_t second_ = 0xFFFFFFFF;
  bool ordered_ = false;
};
