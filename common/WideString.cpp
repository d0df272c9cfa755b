#include "common/WideString.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <limits>
#include <new>

#include "platform/Text.h"

namespace tessarwick {

struct WideString::Record {
  long references = 1;
  BSTR text = nullptr;
  char* ansi = nullptr;
};

void FatalStringError(const char* reason) {
  std::fprintf(stderr, "Tessarwick: fatal string error: %s\n", reason);
  std::fflush(stderr);
  std::_Exit(EXIT_FAILURE);
}

WideString::Record* WideString::MakeRecord(const wchar_t* first, std::size_t firstLength, const wchar_t* second,
                                           std::size_t secondLength) {
  // An OLE string carries its length in bytes as a 32-bit value.
  constexpr std::size_t kMaxCharacters = (std::numeric_limits<std::uint32_t>::max() / sizeof(OLECHAR)) - 1;
  if (firstLength > kMaxCharacters || secondLength > kMaxCharacters - firstLength)
    FatalStringError("text longer than an OLE string can hold");
  auto* record = new (std::nothrow) Record;
  if (record == nullptr) FatalStringError("out of memory");
  record->text = SysAllocStringLen(nullptr, static_cast<UINT>(firstLength + secondLength));
  if (record->text == nullptr) {
    delete record;
    FatalStringError("out of memory");
  }
  if (firstLength != 0) std::wmemcpy(record->text, first, firstLength);
  if (secondLength != 0) std::wmemcpy(record->text + firstLength, second, secondLength);
  return record;
}

WideString::WideString(const wchar_t* text) {
  if (text != nullptr) record_ = MakeRecord(text, std::wcslen(text), nullptr, 0);
}

WideString::WideString(const wchar_t* text, std::size_t length) {
  if (text != nullptr) record_ = MakeRecord(text, length, nullptr, 0);
}

WideString WideString::FromAnsi(const char* text) {
  if (text == nullptr) return WideString();
  std::wstring wide;
  if (!platform::AnsiToWide(text, std::strlen(text), wide)) FatalStringError("8-bit text cannot be converted");
  return WideString(MakeRecord(wide.data(), wide.size(), nullptr, 0));
}

WideString::WideString(const WideString& other) noexcept : record_(other.record_) {
  if (record_ != nullptr) ++record_->references;
}

WideString::WideString(WideString&& other) noexcept : record_(other.record_) { other.record_ = nullptr; }

WideString& WideString::operator=(const WideString& other) noexcept {
  if (this == &other) return *this;
  if (other.record_ != nullptr) ++other.record_->references;
  Release();
  record_ = other.record_;
  return *this;
}

WideString& WideString::operator=(WideString&& other) noexcept {
  if (this != &other) {
    Release();
    record_ = other.record_;
    other.record_ = nullptr;
  }
  return *this;
}

WideString::~WideString() { Release(); }

void WideString::Release() noexcept {
  if (record_ == nullptr) return;
  if (--record_->references == 0) {
    SysFreeString(record_->text);
    std::free(record_->ansi);
    delete record_;
  }
  record_ = nullptr;
}

std::size_t WideString::Length() const noexcept { return record_ == nullptr ? 0 : SysStringLen(record_->text); }

const wchar_t* WideString::Text() const noexcept { return record_ == nullptr ? nullptr : record_->text; }

BSTR WideString::Bstr() const noexcept { return record_ == nullptr ? nullptr : record_->text; }

const char* WideString::Ansi() const {
  if (record_ == nullptr) return nullptr;
  if (record_->ansi == nullptr) {
    std::string narrow;
    if (!platform::WideToAnsi(record_->text, Length(), narrow)) FatalStringError("text cannot be converted to 8-bit");
    auto* copy = static_cast<char*>(std::malloc(narrow.size() + 1));
    if (copy == nullptr) FatalStringError("out of memory");
    std::memcpy(copy, narrow.c_str(), narrow.size() + 1);
    record_->ansi = copy;
  }
  return record_->ansi;
}

WideString WideString::operator+(const WideString& other) const {
  return WideString(MakeRecord(Text(), Length(), other.Text(), other.Length()));
}

WideString WideString::operator+(const wchar_t* other) const {
  return WideString(MakeRecord(Text(), Length(), other, other == nullptr ? 0 : std::wcslen(other)));
}

WideString& WideString::operator+=(const WideString& other) { return *this = *this + other; }
WideString& WideString::operator+=(const wchar_t* other) { return *this = *this + other; }

bool operator==(const WideString& left, const WideString& right) noexcept {
  if (left.IsAbsent() || right.IsAbsent()) return left.IsAbsent() && right.IsAbsent();
  return left.Length() == right.Length() && std::wmemcmp(left.Text(), right.Text(), left.Length()) == 0;
}

long WideString::ShareCount() const noexcept { return record_ == nullptr ? 0 : record_->references; }

void WideStringBuilder::Append(const WideString& text) { text_.append(text.Text() ? text.Text() : L"", text.Length()); }
void WideStringBuilder::Append(const wchar_t* text, std::size_t length) {
  if (text != nullptr) text_.append(text, length);
}
void WideStringBuilder::Append(const wchar_t* text) {
  if (text != nullptr) text_.append(text);
}
WideString WideStringBuilder::Build() const { return WideString(text_.data(), text_.size()); }

}  // namespace tessarwick
