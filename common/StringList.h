// An ordered, growable list of wide strings. Destroying the list releases every element.
#pragma once

#include <cstddef>
#include <vector>

#include "common/WideString.h"

namespace tessarwick {

class StringList {
 public:
  // Appends at index Count().
  void Append(const WideString& text) { items_.push_back(text); }
  // A shared copy of the element at the index, which must be below Count().
  WideString At(std::size_t index) const { return items_.at(index); }
  std::size_t Count() const noexcept { return items_.size(); }

 private:
  std::vector<WideString> items_;
};

}  // namespace tessarwick
