#include "platform/Output.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <cwchar>

#include "platform/Text.h"

namespace tessarwick {
namespace {

OutputReceiver outputReceiver = nullptr;
void* outputContext = nullptr;

void AppendWide(std::string& out, const wchar_t* text, std::size_t length) {
  std::string converted;
  if (platform::WideToAnsi(text, length, converted)) {
    out += converted;
  } else {
    // Characters the code page cannot hold print as '?', as the console does.
    for (std::size_t i = 0; i < length; ++i) out += (text[i] < 0x80 ? static_cast<char>(text[i]) : '?');
  }
}

// Writes one converted field, padded with blanks to the width (counted in characters).
void AppendField(std::string& out, const std::string& field, std::size_t characters, int width, bool leftAlign) {
  std::size_t padding =
      (width > 0 && characters < static_cast<std::size_t>(width)) ? static_cast<std::size_t>(width) - characters : 0;
  if (!leftAlign) out.append(padding, ' ');
  out += field;
  if (leftAlign) out.append(padding, ' ');
}

}  // namespace

std::string WideFormat(const wchar_t* format, va_list arguments) {
  std::string out;
  if (format == nullptr) return out;
  const wchar_t* cursor = format;
  while (*cursor != L'\0') {
    const wchar_t* literal = cursor;
    while (*cursor != L'\0' && *cursor != L'%') ++cursor;
    if (cursor != literal) AppendWide(out, literal, static_cast<std::size_t>(cursor - literal));
    if (*cursor == L'\0') break;

    // A conversion: %[flags][width][.precision][length]type
    const wchar_t* specStart = cursor++;
    std::string flags;
    while (*cursor != L'\0' && std::wcschr(L"-+ #0", *cursor) != nullptr) flags += static_cast<char>(*cursor++);
    int width = 0;
    if (*cursor == L'*') {
      width = va_arg(arguments, int);
      if (width < 0) {
        flags += '-';
        width = -width;
      }
      ++cursor;
    } else {
      while (*cursor >= L'0' && *cursor <= L'9') width = width * 10 + (*cursor++ - L'0');
    }
    int precision = -1;
    if (*cursor == L'.') {
      ++cursor;
      precision = 0;
      if (*cursor == L'*') {
        precision = va_arg(arguments, int);
        ++cursor;
      } else {
        while (*cursor >= L'0' && *cursor <= L'9') precision = precision * 10 + (*cursor++ - L'0');
      }
    }
    int longs = 0;
    bool shortValue = false;
    bool wideModifier = false;
    for (;; ++cursor) {
      if (*cursor == L'l') {
        ++longs;
      } else if (*cursor == L'h') {
        shortValue = true;
      } else if (*cursor == L'w') {
        wideModifier = true;
      } else if (cursor[0] == L'I' && cursor[1] == L'6' && cursor[2] == L'4') {
        longs = 2;
        cursor += 2;
      } else {
        break;
      }
    }
    bool leftAlign = flags.find('-') != std::string::npos;
    wchar_t type = *cursor;
    if (type == L'\0') {
      // A lone '%' at the end is printed as it stands.
      AppendWide(out, specStart, std::wcslen(specStart));
      break;
    }
    ++cursor;
    switch (type) {
      case L'%':
        out += '%';
        break;
      case L's':
      case L'S': {
        // In a wide format %s is wide text unless 'h' says otherwise; %S is the opposite.
        bool narrow = (type == L'S') ? !(longs > 0 || wideModifier) : shortValue;
        if (narrow) {
          const char* text = va_arg(arguments, const char*);
          if (text == nullptr) text = "(null)";
          std::size_t length = std::strlen(text);
          if (precision >= 0 && static_cast<std::size_t>(precision) < length)
            length = static_cast<std::size_t>(precision);
          AppendField(out, std::string(text, length), length, width, leftAlign);
        } else {
          const wchar_t* text = va_arg(arguments, const wchar_t*);
          if (text == nullptr) text = L"(null)";
          std::size_t length = std::wcslen(text);
          if (precision >= 0 && static_cast<std::size_t>(precision) < length)
            length = static_cast<std::size_t>(precision);
          std::string field;
          AppendWide(field, text, length);
          AppendField(out, field, length, width, leftAlign);
        }
        break;
      }
      case L'c':
      case L'C': {
        wchar_t character = static_cast<wchar_t>(va_arg(arguments, int));
        bool narrow = (type == L'C') ? !(longs > 0 || wideModifier) : shortValue;
        std::string field;
        if (narrow)
          field += static_cast<char>(character);
        else
          AppendWide(field, &character, 1);
        AppendField(out, field, 1, width, leftAlign);
        break;
      }
      case L'd':
      case L'i':
      case L'u':
      case L'x':
      case L'X':
      case L'o': {
        // Rebuild the conversion for snprintf with an explicit 64-bit argument.
        bool isSigned = (type == L'd' || type == L'i');
        long long signedValue = 0;
        unsigned long long unsignedValue = 0;
        if (longs >= 2) {
          if (isSigned)
            signedValue = va_arg(arguments, long long);
          else
            unsignedValue = va_arg(arguments, unsigned long long);
        } else {
          if (isSigned) {
            std::int32_t value = va_arg(arguments, std::int32_t);
            signedValue = shortValue ? static_cast<short>(value) : value;
          } else {
            std::uint32_t value = va_arg(arguments, std::uint32_t);
            unsignedValue = shortValue ? static_cast<unsigned short>(value) : value;
          }
        }
        std::string spec(1, '%');
        spec += flags;
        if (width > 0) spec += std::to_string(width);
        if (precision >= 0) {
          spec += '.';
          spec += std::to_string(precision);
        }
        spec += "ll";
        spec += static_cast<char>(type);
        char buffer[128];
        int length = isSigned ? std::snprintf(buffer, sizeof buffer, spec.c_str(), signedValue)
                              : std::snprintf(buffer, sizeof buffer, spec.c_str(), unsignedValue);
        if (length > 0)
          out.append(buffer, static_cast<std::size_t>(length) < sizeof buffer ? static_cast<std::size_t>(length)
                                                                              : sizeof buffer - 1);
        break;
      }
      case L'p': {
        void* pointer = va_arg(arguments, void*);
        char buffer[32];
        int length = std::snprintf(buffer, sizeof buffer, "%016llX",
                                   static_cast<unsigned long long>(reinterpret_cast<std::uintptr_t>(pointer)));
        if (length > 0) out.append(buffer, static_cast<std::size_t>(length));
        break;
      }
      default:
        // An unknown conversion prints as it stands and takes no argument.
        AppendWide(out, specStart, static_cast<std::size_t>(cursor - specStart));
        break;
    }
  }
  return out;
}

int WideVPrintf(const wchar_t* format, va_list arguments) {
  std::string text = WideFormat(format, arguments);
  if (outputReceiver != nullptr) {
    outputReceiver(outputContext, text.data(), text.size());
  } else {
    std::fwrite(text.data(), 1, text.size(), stdout);
    // Output is flushed per call so that it interleaves with the platform's own diagnostics in
    // the order it was produced.
    std::fflush(stdout);
  }
  return static_cast<int>(text.size());
}

int WidePrintf(const wchar_t* format, ...) {
  va_list arguments;
  va_start(arguments, format);
  int written = WideVPrintf(format, arguments);
  va_end(arguments);
  return written;
}

void SetOutputReceiver(OutputReceiver receiver, void* context) {
  outputReceiver = receiver;
  outputContext = context;
}

}  // namespace tessarwick
