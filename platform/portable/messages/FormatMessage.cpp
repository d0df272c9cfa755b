// FormatMessageA for the system's own messages, as the program calls it: from the system table,
// into a buffer of the caller's or one allocated with LocalAlloc, with inserts taken from an
// argument array or left as they are. Other sources and va_list arguments are not available here
// and fail with ERROR_CALL_NOT_IMPLEMENTED rather than give a text the caller did not ask for.
#include <cstring>
#include <new>
#include <string>

#include "platform/portable/Base.h"
#include "platform/portable/messages/SystemMessages.h"

namespace {

constexpr DWORD kErrorCallNotImplemented = 120;
constexpr DWORD kErrorMessageNotFound = 317;     // ERROR_MR_MID_NOT_FOUND
constexpr DWORD kErrorLanguageNotFound = 15100;  // ERROR_RESOURCE_LANG_NOT_FOUND
// The flags honoured here. A line width (FORMAT_MESSAGE_MAX_WIDTH_MASK) is not: texts keep their lines.
constexpr DWORD kSupportedFlags = FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS |
                                  FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_ARGUMENT_ARRAY;

// The texts are written in English: the neutral language, the user's default (sub-language 1 of
// the neutral language) and any English sub-language find them.
bool HasTextsInLanguage(DWORD languageId) {
  const DWORD primaryLanguage = languageId & 0x3FF;
  return languageId == 0 || languageId == 0x400 || primaryLanguage == 0x09;
}

// A FACILITY_WIN32 HRESULT carries a Windows error code in its low 16 bits, and the system reads
// the message of that code for it.
const char* FindText(DWORD code) {
  if (const char* text = tessarwick::portable::FindSystemMessage(code)) return text;
  if ((code & 0xFFFF0000u) == 0x80070000u) return tessarwick::portable::FindSystemMessage(code & 0xFFFFu);
  return nullptr;
}

enum class InsertSource { Unfilled, ArgumentArray };

// Expands %1 to %99 (one or two digits) and "%%". An argument array holds one pointer-sized
// entry per insert number, entry n-1 for %n, as the platform's formatter reads it: a message that
// names %n reads entry n-1 whatever the array's length, and a null entry prints "(null)".
std::string Expand(const char* text, InsertSource source, const char* const* arguments) {
  std::string result;
  for (const char* cursor = text; *cursor != '\0'; ++cursor) {
    if (cursor[0] != '%') {
      result += *cursor;
      continue;
    }
    if (cursor[1] == '%') {
      result += '%';
      ++cursor;
      continue;
    }
    if (cursor[1] < '1' || cursor[1] > '9') {
      result += *cursor;
      continue;
    }
    const char* digits = cursor + 1;
    std::size_t insertNumber = static_cast<std::size_t>(digits[0] - '0');
    std::size_t digitCount = 1;
    if (digits[1] >= '0' && digits[1] <= '9') {
      insertNumber = insertNumber * 10 + static_cast<std::size_t>(digits[1] - '0');
      digitCount = 2;
    }
    if (source == InsertSource::Unfilled) {
      result.append(cursor, digitCount + 1);
    } else {
      const char* insert = arguments[insertNumber - 1];
      result += insert != nullptr ? insert : "(null)";
    }
    cursor += digitCount;
  }
  return result;
}

bool NeedsInserts(const char* text) {
  for (const char* cursor = text; *cursor != '\0'; ++cursor) {
    if (cursor[0] == '%' && cursor[1] >= '1' && cursor[1] <= '9') return true;
    if (cursor[0] == '%' && cursor[1] == '%') ++cursor;
  }
  return false;
}

}  // namespace

DWORD FormatMessageA(DWORD flags, LPCVOID source, DWORD messageId, DWORD languageId, LPSTR buffer, DWORD size,
                     void* arguments) {
  static_cast<void>(source);  // Only the system table is a source here; no module or string is read.
  const bool allocate = (flags & FORMAT_MESSAGE_ALLOCATE_BUFFER) != 0;
  if (allocate && buffer != nullptr) *reinterpret_cast<char**>(buffer) = nullptr;

  if ((flags & ~kSupportedFlags) != 0 || (flags & FORMAT_MESSAGE_FROM_SYSTEM) == 0) {
    SetLastError(kErrorCallNotImplemented);
    return 0;
  }
  if (buffer == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  if (!HasTextsInLanguage(languageId)) {
    SetLastError(kErrorLanguageNotFound);
    return 0;
  }
  const char* text = FindText(messageId);
  if (text == nullptr) {
    SetLastError(kErrorMessageNotFound);
    return 0;
  }

  InsertSource insertSource = InsertSource::Unfilled;
  if ((flags & FORMAT_MESSAGE_IGNORE_INSERTS) == 0 && NeedsInserts(text)) {
    if (arguments == nullptr) {
      SetLastError(ERROR_INVALID_PARAMETER);
      return 0;
    }
    if ((flags & FORMAT_MESSAGE_ARGUMENT_ARRAY) == 0) {
      SetLastError(kErrorCallNotImplemented);
      return 0;
    }
    insertSource = InsertSource::ArgumentArray;
  }

  std::string message;
  try {
    message = Expand(text, insertSource, static_cast<const char* const*>(arguments));
  } catch (const std::bad_alloc&) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return 0;
  }
  const std::size_t bytes = message.size() + 1;

  char* target = buffer;
  if (allocate) {
    // `size` is then the least number of characters to allocate.
    target = static_cast<char*>(LocalAlloc(LMEM_FIXED, bytes > size ? bytes : size));
    if (target == nullptr) return 0;
  } else if (bytes > size) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  std::memcpy(target, message.c_str(), bytes);
  if (allocate) *reinterpret_cast<char**>(buffer) = target;
  return static_cast<DWORD>(message.size());
}
