#pragma once
// TDeepCopy<T>: an owning pointer with value semantics.  It is a
// std::unique_ptr<T> in every use (get, reset, ->, tests against null,
// assignment of a new unique_ptr), and in addition it can be copied: a copy
// owns a copy of the object, never the same object.  A record whose owned
// objects are TDeepCopy members can therefore keep its copy constructor and
// copy assignment defaulted.
//
// Copy assignment keeps the target's object where it can:
//   source null                -> the target's object is freed;
//   target and source non-null -> the target's object becomes a copy of the
//                                 source's in place (its address stays, so
//                                 code holding it keeps holding the record's);
//   only the source non-null   -> the target gets a new copy.
// A TDeepCopy<T, dcMade> starts with a new default-constructed object instead
// of null (for objects a record always has).
//
// An object is copied through the type's own copy assignment or copy
// constructor when it has them, else through its Assign (made with the default
// constructor first), the library's copying convention.
#include <cstdint>
#include <memory>
#include <type_traits>
#include <utility>

// What a default-constructed TDeepCopy holds.
enum TDeepCopyStart : uint8_t { dcNull, dcMade };

template <typename T, TDeepCopyStart Start = dcNull>
class TDeepCopy : public std::unique_ptr<T> {
  using Base = std::unique_ptr<T>;

 public:
  using Base::Base;
  TDeepCopy() noexcept requires(Start == dcNull) = default;
  TDeepCopy() requires(Start == dcMade) : Base(std::make_unique<T>()) {}
  TDeepCopy(Base&& Owned) noexcept : Base(std::move(Owned)) {}

  TDeepCopy(const TDeepCopy& Source) : Base(Source ? Clone(*Source) : nullptr) {}
  TDeepCopy(TDeepCopy&&) noexcept = default;
  ~TDeepCopy() = default;

  TDeepCopy& operator=(const TDeepCopy& Source) {
    if (this == &Source) return *this;
    if (!Source)
      this->reset();
    else if (*this)
      CopyInto(**this, *Source);
    else
      Base::operator=(Clone(*Source));
    return *this;
  }
  TDeepCopy& operator=(TDeepCopy&&) noexcept = default;
  TDeepCopy& operator=(Base&& Owned) noexcept {
    Base::operator=(std::move(Owned));
    return *this;
  }
  TDeepCopy& operator=(std::nullptr_t) noexcept {
    this->reset();
    return *this;
  }

 private:
  static void CopyInto(T& Target, const T& Source) {
    if constexpr (std::is_copy_assignable_v<T>) {
      Target = Source;
    } else if constexpr (requires { Target.Assign(&Source); }) {
      Target.Assign(&Source);
    } else {
      // Some Assign methods take a non-const source; none of them changes it.
      Target.Assign(const_cast<T*>(&Source));
    }
  }
  static Base Clone(const T& Source) {
    if constexpr (std::is_copy_constructible_v<T>) {
      return std::make_unique<T>(Source);
    } else {
      auto copy = std::make_unique<T>();
      CopyInto(*copy, Source);
      return copy;
    }
  }
};
