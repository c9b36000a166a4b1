#pragma once
// IBase: the root of every counted object, and Ref<T>, the one holder that
// adds and releases references. Code never pairs addRef/release by hand.
//
//   Ref<UdpSocket> socket = makeRef<UdpSocket>();   // count 1, held here
//   socket->bind(67);                               // released when socket goes

#include <cstddef>
#include <utility>

enum class InterfaceId : int {
  Window = 1,
  EditField = 2,
  Label = 3,
  Persistent = 12,
  LabelColumn = 13,
  Enum = 20,
  DialogButtons = 22,
  FocusTarget = 24,
  ViewLabel = 28,
};

class IBase {
public:
  virtual ~IBase() = default;
  virtual void addRef() = 0;
  virtual void release() = 0;
  virtual int getRefCount() = 0;
  virtual void* getInterface(int id) = 0;
};

// Implements the counting half of IBase; a new object has count 0.
template <class Interface = IBase>
class RefCounted : public Interface {
public:
  RefCounted() = default;
  RefCounted(const RefCounted&) = delete;
  RefCounted& operator=(const RefCounted&) = delete;

  void addRef() override { ++refs_; }
  void release() override {
    if (--refs_ == 0) delete this;
  }
  int getRefCount() override { return refs_; }
  void* getInterface(int) override { return nullptr; }

private:
  int refs_ = 0;
};

// Holds one counted reference; copying adds one, destruction releases it.
template <class T>
class Ref {
public:
  Ref() = default;
  Ref(std::nullptr_t) {}
  Ref(T* p) : p_(p) { if (p_) p_->addRef(); }
  Ref(const Ref& o) : Ref(o.p_) {}
  Ref(Ref&& o) noexcept : p_(std::exchange(o.p_, nullptr)) {}
  template <class U>
  Ref(const Ref<U>& o) : Ref(o.get()) {}
  ~Ref() { reset(); }

  Ref& operator=(const Ref& o) { reset(o.p_); return *this; }
  Ref& operator=(Ref&& o) noexcept {
    if (this != &o) { T* old = std::exchange(p_, std::exchange(o.p_, nullptr)); if (old) old->release(); }
    return *this;
  }
  Ref& operator=(T* p) { reset(p); return *this; }

  // Adds a reference to the new value before releasing the old one, so that
  // assigning an object to the holder that already owns it is safe.
  void reset(T* p = nullptr) {
    if (p) p->addRef();
    T* old = std::exchange(p_, p);
    if (old) old->release();
  }

  T* get() const { return p_; }
  T* operator->() const { return p_; }
  T& operator*() const { return *p_; }
  explicit operator bool() const { return p_ != nullptr; }
  bool operator==(const Ref& o) const { return p_ == o.p_; }
  bool operator==(const T* p) const { return p_ == p; }

private:
  T* p_ = nullptr;
};

template <class T, class... Args>
Ref<T> makeRef(Args&&... args) {
  return Ref<T>(new T(std::forward<Args>(args)...));
}
