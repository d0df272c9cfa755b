// One owning COM pointer for both builds. put() releases what it holds before handing out its
// address, so an out-parameter can never overwrite (and leak) a live reference.
#pragma once

#include <utility>

#include "platform/Platform.h"

namespace tessarwick {

template <typename T>
class ComPtr {
 public:
  ComPtr() noexcept = default;
  ComPtr(std::nullptr_t) noexcept {}
  // Takes a new reference of its own.
  explicit ComPtr(T* pointer) noexcept : pointer_(pointer) {
    if (pointer_ != nullptr) pointer_->AddRef();
  }
  ComPtr(const ComPtr& other) noexcept : ComPtr(other.pointer_) {}
  ComPtr(ComPtr&& other) noexcept : pointer_(std::exchange(other.pointer_, nullptr)) {}
  ~ComPtr() { reset(); }

  ComPtr& operator=(const ComPtr& other) noexcept {
    ComPtr(other).swap(*this);
    return *this;
  }
  ComPtr& operator=(ComPtr&& other) noexcept {
    if (this != &other) attach(other.detach());
    return *this;
  }

  T* get() const noexcept { return pointer_; }
  T* operator->() const noexcept { return pointer_; }
  explicit operator bool() const noexcept { return pointer_ != nullptr; }

  T** put() noexcept {
    reset();
    return &pointer_;
  }
  void** put_void() noexcept { return reinterpret_cast<void**>(put()); }
  // The address of the held pointer, without releasing it (for calls that take T* const*).
  T** addressof() noexcept { return &pointer_; }

  // Gives up ownership of the reference without releasing it.
  T* detach() noexcept { return std::exchange(pointer_, nullptr); }
  // Takes ownership of a reference that the caller already holds.
  void attach(T* pointer) noexcept {
    reset();
    pointer_ = pointer;
  }
  void reset() noexcept {
    if (T* old = std::exchange(pointer_, nullptr)) old->Release();
  }
  void swap(ComPtr& other) noexcept { std::swap(pointer_, other.pointer_); }

 private:
  T* pointer_ = nullptr;
};

}  // namespace tessarwick
