// The program's wide string: UTF-16 text (wchar_t) in a shared, reference-counted record.
//
// The record holds the text as an OLE string (BSTR), so it can be handed to WMI as it stands,
// and, once asked for, an 8-bit copy in the ANSI code page that is then kept with it. Copies
// share the record. A string may be absent (no record): it has length 0, a null text and a null
// 8-bit copy, and it prints as "(null)". An absent string is not the same as an empty one.
//
// Exhausted memory, a text longer than an OLE string can hold or a failed code-page conversion
// end the process through FatalStringError: nothing in the program catches them.
#pragma once

#include <cstddef>
#include <string>

#include "platform/Platform.h"

namespace tessarwick {

[[noreturn]] void FatalStringError(const char* reason);

class WideString {
 public:
  WideString() noexcept = default;
  // A null text gives an absent string.
  WideString(const wchar_t* text);
  WideString(const wchar_t* text, std::size_t length);
  // Converts 8-bit text from the ANSI code page; a null text gives an absent string.
  static WideString FromAnsi(const char* text);

  WideString(const WideString& other) noexcept;
  WideString(WideString&& other) noexcept;
  WideString& operator=(const WideString& other) noexcept;
  WideString& operator=(WideString&& other) noexcept;
  ~WideString();

  bool IsAbsent() const noexcept { return record_ == nullptr; }
  bool IsEmpty() const noexcept { return Length() == 0; }
  std::size_t Length() const noexcept;
  // The text, zero-terminated; null when absent.
  const wchar_t* Text() const noexcept;
  // The text as an OLE string owned by the record; null when absent. Callers must not free it.
  BSTR Bstr() const noexcept;
  // The 8-bit copy in the ANSI code page, made on first use and kept; null when absent.
  const char* Ansi() const;

  // A new record with this text followed by the other; an absent operand counts as empty.
  WideString operator+(const WideString& other) const;
  WideString operator+(const wchar_t* other) const;
  WideString& operator+=(const WideString& other);
  WideString& operator+=(const wchar_t* other);

  // Compares texts; an absent string equals only an absent string.
  friend bool operator==(const WideString& left, const WideString& right) noexcept;

  // The number of records sharing this text; 0 when absent. For tests of the sharing rule.
  long ShareCount() const noexcept;

 private:
  struct Record;
  explicit WideString(Record* record) noexcept : record_(record) {}
  static Record* MakeRecord(const wchar_t* first, std::size_t firstLength, const wchar_t* second,
                            std::size_t secondLength);
  void Release() noexcept;

  Record* record_ = nullptr;
};

// Builds a long text piece by piece in linear time, then hands it over as one WideString.
class WideStringBuilder {
 public:
  void Append(const WideString& text);
  void Append(const wchar_t* text, std::size_t length);
  void Append(const wchar_t* text);
  std::size_t Length() const noexcept { return text_.size(); }
  WideString Build() const;

 private:
  std::wstring text_;
};

}  // namespace tessarwick
