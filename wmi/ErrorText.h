// The texts that end every failure message: the operating system's message for a Windows error
// code or HRESULT, and the symbolic name of a WBEM status code.
//
// Both functions return narrow text (ANSI code page) in static storage that the next call may
// overwrite: print or copy it before calling either function again. Not safe across threads.
#pragma once

#include <span>

#include "platform/Platform.h"

namespace tessarwick {

// The system's message for `code` as one line of text; 0 stands for the thread's last error.
// A code without a message reads "Error 0x" and eight lower-case hexadecimal digits. Never null.
const char* SystemErrorText(DWORD code) noexcept;

// The WBEMSTATUS name of `code`, or "WBEMerr", the code in upper-case hexadecimal and the first
// 60 characters of its system message. Never null.
const char* WbemErrorText(HRESULT code) noexcept;

// One row of the WBEM name table.
struct WbemStatusName {
  DWORD code;
  const char* name;
};

// The name table, sorted by code, as WbemErrorText reads it.
std::span<const WbemStatusName> WbemStatusNames() noexcept;

}  // namespace tessarwick
