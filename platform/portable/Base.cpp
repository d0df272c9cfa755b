// Thread error state and local memory of the stand-in platform.
#include "platform/portable/Base.h"

#include <cstdlib>
#include <cstring>

namespace {
thread_local DWORD lastError = ERROR_SUCCESS;
}  // namespace

DWORD GetLastError() { return lastError; }
void SetLastError(DWORD code) { lastError = code; }

HLOCAL LocalAlloc(UINT flags, SIZE_T bytes) {
  // Zero bytes still give a distinct, freeable block, as on Windows.
  void* memory = (flags & LMEM_ZEROINIT) ? std::calloc(bytes ? bytes : 1, 1) : std::malloc(bytes ? bytes : 1);
  if (memory == nullptr) SetLastError(ERROR_NOT_ENOUGH_MEMORY);
  return memory;
}

HLOCAL LocalFree(HLOCAL memory) {
  std::free(memory);
  return nullptr;
}
