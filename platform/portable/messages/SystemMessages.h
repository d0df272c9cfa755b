// The stand-in's source of system message texts, behind FormatMessageA.
#pragma once

#include <span>

#include "platform/portable/Base.h"

namespace tessarwick::portable {

// One system message: a Windows error code or an HRESULT and its text, which ends in "\r\n" after
// every line as the platform's message tables do. Inserts are written %1 to %99; "%%" is a
// percent sign.
struct SystemMessage {
  DWORD code;
  const char* text;
};

// The system's own texts, sorted by code. A FACILITY_WIN32 HRESULT has no row of its own: the
// service finds the text of its Windows error code.
std::span<const SystemMessage> SystemMessageTable() noexcept;

// The text of exactly this code, supplementary texts first; null when there is none.
const char* FindSystemMessage(DWORD code) noexcept;

// Texts consulted before the system's own, for the stand-in's tests: they need messages that the
// system never has (longer than any buffer, shorter than a line end, with an eighth insert).
// The rows must outlive their use; an empty span removes them.
void SetSupplementaryMessages(std::span<const SystemMessage> messages) noexcept;

}  // namespace tessarwick::portable
