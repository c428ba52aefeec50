#pragma once
// The root of the class hierarchy and the plain notification event.
#include <functional>
#include <string>

class TObject {
 public:
  TObject() = default;
  virtual ~TObject();
  // The class's name as written in code ("TMemoryStream"), without any
  // namespace; taken from the run-time type unless a class overrides it.
  virtual std::string ClassName() const;
  // True when this object's own class has the name (case ignored; derived
  // classes do not match).
  bool ClassNameIs(const std::string& Name) const;
};

using TNotifyEvent = std::function<void(TObject* Sender)>;

// Deletes the object and clears the pointer.
template <typename T>
inline void FreeAndNil(T*& Obj) {
  T* tmp = Obj;
  Obj = nullptr;
  delete tmp;
}
