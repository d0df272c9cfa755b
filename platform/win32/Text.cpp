#include "platform/Text.h"

#include <climits>

#include "platform/Platform.h"

namespace tessarwick::platform {

bool WideToAnsi(const wchar_t* text, std::size_t length, std::string& out) {
  out.clear();
  if (length == 0) return true;
  if (text == nullptr || length > INT_MAX) return false;
  int needed = WideCharToMultiByte(CP_ACP, 0, text, static_cast<int>(length), nullptr, 0, nullptr, nullptr);
  if (needed <= 0) return false;
  out.resize(static_cast<std::size_t>(needed));
  return WideCharToMultiByte(CP_ACP, 0, text, static_cast<int>(length), out.data(), needed, nullptr, nullptr) == needed;
}

bool AnsiToWide(const char* text, std::size_t length, std::wstring& out) {
  out.clear();
  if (length == 0) return true;
  if (text == nullptr || length > INT_MAX) return false;
  int needed = MultiByteToWideChar(CP_ACP, 0, text, static_cast<int>(length), nullptr, 0);
  if (needed <= 0) return false;
  out.resize(static_cast<std::size_t>(needed));
  return MultiByteToWideChar(CP_ACP, 0, text, static_cast<int>(length), out.data(), needed) == needed;
}

}  // namespace tessarwick::platform
