// One RAII template for every platform resource that is a handle freed by one function, with
// one-line aliases for the handles the program obtains.
#pragma once

#include <utility>

#include "platform/Platform.h"

namespace tessarwick {

template <typename T, auto Free>
class UniqueAny {
 public:
  UniqueAny() noexcept = default;
  explicit UniqueAny(T value) noexcept : value_(value) {}
  UniqueAny(const UniqueAny&) = delete;
  UniqueAny& operator=(const UniqueAny&) = delete;
  UniqueAny(UniqueAny&& other) noexcept : value_(std::exchange(other.value_, T{})) {}
  UniqueAny& operator=(UniqueAny&& other) noexcept {
    if (this != &other) reset(std::exchange(other.value_, T{}));
    return *this;
  }
  ~UniqueAny() { reset(); }

  T get() const noexcept { return value_; }
  explicit operator bool() const noexcept { return value_ != T{}; }
  // Frees what is held, then hands out the address for an out-parameter.
  T* put() noexcept {
    reset();
    return &value_;
  }
  T* addressof() noexcept { return &value_; }
  T release() noexcept { return std::exchange(value_, T{}); }
  void reset(T value = T{}) noexcept {
    T old = std::exchange(value_, value);
    if (old != T{}) Free(old);
  }

 private:
  T value_{};
};

// A structure with an init and a clear function (a VARIANT): cleared on every exit.
template <typename T, auto Init, auto Clear>
class UniqueStruct {
 public:
  UniqueStruct() noexcept { Init(&value_); }
  UniqueStruct(const UniqueStruct&) = delete;
  UniqueStruct& operator=(const UniqueStruct&) = delete;
  ~UniqueStruct() { Clear(&value_); }

  T* get() noexcept { return &value_; }
  const T* get() const noexcept { return &value_; }
  T* operator->() noexcept { return &value_; }
  const T* operator->() const noexcept { return &value_; }
  // Clears the old contents before the structure is filled again.
  T* reset() noexcept {
    Clear(&value_);
    return &value_;
  }

 private:
  T value_;
};

namespace detail {
inline void FreeLocal(void* memory) noexcept { LocalFree(memory); }
inline void DestroySafeArray(SAFEARRAY* array) noexcept { SafeArrayDestroy(array); }
inline void FreeBstr(BSTR text) noexcept { SysFreeString(text); }
inline void InitVariant(VARIANT* value) noexcept { VariantInit(value); }
inline void ClearVariant(VARIANT* value) noexcept { VariantClear(value); }
}  // namespace detail

using UniqueBstr = UniqueAny<BSTR, detail::FreeBstr>;
using UniqueVariant = UniqueStruct<VARIANT, detail::InitVariant, detail::ClearVariant>;
using UniqueSafeArray = UniqueAny<SAFEARRAY*, detail::DestroySafeArray>;
// A buffer that a security or message service allocated for the caller.
template <typename T>
using UniqueLocal = UniqueAny<T, detail::FreeLocal>;

}  // namespace tessarwick
