#include "wmi/ErrorText.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "platform/UniqueAny.h"

namespace tessarwick {
namespace {

// The system text holds at most 1023 characters and its terminating zero; the fallback of
// WbemErrorText holds "WBEMerr ", eight digits, a blank and 60 characters of system text.
constexpr std::size_t kSystemTextBytes = 1024;
constexpr std::size_t kFallbackTextBytes = 80;

// FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_ARGUMENT_ARRAY, and
// LANG_NEUTRAL with SUBLANG_DEFAULT: the user's own language.
constexpr DWORD kFormatFlags = 0x3100;
constexpr DWORD kUserDefaultLanguage = 0x400;

// The message formatter fills insert %n from entry n-1 of the argument array. Entries 1 to 7 are
// the placeholders themselves, so a message that expects inserts prints them unfilled: the program
// has nothing to put there. The message syntax allows insert numbers up to %99, and the formatter
// reads the entry of whatever number a message names without knowing the array's length. So the
// array is as long as the highest insert number: the null entry after "%7" ends the texts, and it
// and every entry after it are null, which the formatter prints as "(null)". An eighth or later
// insert thus reads "(null)", and no message can make the formatter read past the array.
constexpr std::size_t kHighestInsertNumber = 99;
const char* const kInsertTexts[kHighestInsertNumber] = {"%1", "%2", "%3", "%4", "%5", "%6", "%7", nullptr};

// The names that the SDK's WBEMSTATUS enumeration gives each code, except that 0 carries all three
// of its names and 0x00040006 is written without the "S_" of WBEM_S_OPERATION_CANCELLED. Codes
// outside these runs, the gaps between them included, take the fallback text.
constexpr WbemStatusName kWbemStatusNames[] = {
    {0x00000000, "WBEM_NO_ERROR/WBEM_S_NO_ERROR/WBEM_S_SAME"},
    {0x00000001, "WBEM_S_FALSE"},

    {0x00040001, "WBEM_S_ALREADY_EXISTS"},
    {0x00040002, "WBEM_S_RESET_TO_DEFAULT"},
    {0x00040003, "WBEM_S_DIFFERENT"},
    {0x00040004, "WBEM_S_TIMEDOUT"},
    {0x00040005, "WBEM_S_NO_MORE_DATA"},
    {0x00040006, "WBEM_OPERATION_CANCELLED"},
    {0x00040007, "WBEM_S_PENDING"},
    {0x00040008, "WBEM_S_DUPLICATE_OBJECTS"},

    {0x80041001, "WBEM_E_FAILED"},
    {0x80041002, "WBEM_E_NOT_FOUND"},
    {0x80041003, "WBEM_E_ACCESS_DENIED"},
    {0x80041004, "WBEM_E_PROVIDER_FAILURE"},
    {0x80041005, "WBEM_E_TYPE_MISMATCH"},
    {0x80041006, "WBEM_E_OUT_OF_MEMORY"},
    {0x80041007, "WBEM_E_INVALID_CONTEXT"},
    {0x80041008, "WBEM_E_INVALID_PARAMETER"},
    {0x80041009, "WBEM_E_NOT_AVAILABLE"},
    {0x8004100A, "WBEM_E_CRITICAL_ERROR"},
    {0x8004100B, "WBEM_E_INVALID_STREAM"},
    {0x8004100C, "WBEM_E_NOT_SUPPORTED"},
    {0x8004100D, "WBEM_E_INVALID_SUPERCLASS"},
    {0x8004100E, "WBEM_E_INVALID_NAMESPACE"},
    {0x8004100F, "WBEM_E_INVALID_OBJECT"},
    {0x80041010, "WBEM_E_INVALID_CLASS"},
    {0x80041011, "WBEM_E_PROVIDER_NOT_FOUND"},
    {0x80041012, "WBEM_E_INVALID_PROVIDER_REGISTRATION"},
    {0x80041013, "WBEM_E_PROVIDER_LOAD_FAILURE"},
    {0x80041014, "WBEM_E_INITIALIZATION_FAILURE"},
    {0x80041015, "WBEM_E_TRANSPORT_FAILURE"},
    {0x80041016, "WBEM_E_INVALID_OPERATION"},
    {0x80041017, "WBEM_E_INVALID_QUERY"},
    {0x80041018, "WBEM_E_INVALID_QUERY_TYPE"},
    {0x80041019, "WBEM_E_ALREADY_EXISTS"},
    {0x8004101A, "WBEM_E_OVERRIDE_NOT_ALLOWED"},
    {0x8004101B, "WBEM_E_PROPAGATED_QUALIFIER"},
    {0x8004101C, "WBEM_E_PROPAGATED_PROPERTY"},
    {0x8004101D, "WBEM_E_UNEXPECTED"},
    {0x8004101E, "WBEM_E_ILLEGAL_OPERATION"},
    {0x8004101F, "WBEM_E_CANNOT_BE_KEY"},
    {0x80041020, "WBEM_E_INCOMPLETE_CLASS"},
    {0x80041021, "WBEM_E_INVALID_SYNTAX"},
    {0x80041022, "WBEM_E_NONDECORATED_OBJECT"},
    {0x80041023, "WBEM_E_READ_ONLY"},
    {0x80041024, "WBEM_E_PROVIDER_NOT_CAPABLE"},
    {0x80041025, "WBEM_E_CLASS_HAS_CHILDREN"},
    {0x80041026, "WBEM_E_CLASS_HAS_INSTANCES"},
    {0x80041027, "WBEM_E_QUERY_NOT_IMPLEMENTED"},
    {0x80041028, "WBEM_E_ILLEGAL_NULL"},
    {0x80041029, "WBEM_E_INVALID_QUALIFIER_TYPE"},
    {0x8004102A, "WBEM_E_INVALID_PROPERTY_TYPE"},
    {0x8004102B, "WBEM_E_VALUE_OUT_OF_RANGE"},
    {0x8004102C, "WBEM_E_CANNOT_BE_SINGLETON"},
    {0x8004102D, "WBEM_E_INVALID_CIM_TYPE"},
    {0x8004102E, "WBEM_E_INVALID_METHOD"},
    {0x8004102F, "WBEM_E_INVALID_METHOD_PARAMETERS"},
    {0x80041030, "WBEM_E_SYSTEM_PROPERTY"},
    {0x80041031, "WBEM_E_INVALID_PROPERTY"},
    {0x80041032, "WBEM_E_CALL_CANCELLED"},
    {0x80041033, "WBEM_E_SHUTTING_DOWN"},
    {0x80041034, "WBEM_E_PROPAGATED_METHOD"},
    {0x80041035, "WBEM_E_UNSUPPORTED_PARAMETER"},
    {0x80041036, "WBEM_E_MISSING_PARAMETER_ID"},
    {0x80041037, "WBEM_E_INVALID_PARAMETER_ID"},
    {0x80041038, "WBEM_E_NONCONSECUTIVE_PARAMETER_IDS"},
    {0x80041039, "WBEM_E_PARAMETER_ID_ON_RETVAL"},
    {0x8004103A, "WBEM_E_INVALID_OBJECT_PATH"},
    {0x8004103B, "WBEM_E_OUT_OF_DISK_SPACE"},
    {0x8004103C, "WBEM_E_BUFFER_TOO_SMALL"},
    {0x8004103D, "WBEM_E_UNSUPPORTED_PUT_EXTENSION"},
    {0x8004103E, "WBEM_E_UNKNOWN_OBJECT_TYPE"},
    {0x8004103F, "WBEM_E_UNKNOWN_PACKET_TYPE"},
    {0x80041040, "WBEM_E_MARSHAL_VERSION_MISMATCH"},
    {0x80041041, "WBEM_E_MARSHAL_INVALID_SIGNATURE"},
    {0x80041042, "WBEM_E_INVALID_QUALIFIER"},
    {0x80041043, "WBEM_E_INVALID_DUPLICATE_PARAMETER"},
    {0x80041044, "WBEM_E_TOO_MUCH_DATA"},
    {0x80041045, "WBEM_E_SERVER_TOO_BUSY"},
    {0x80041046, "WBEM_E_INVALID_FLAVOR"},
    {0x80041047, "WBEM_E_CIRCULAR_REFERENCE"},
    {0x80041048, "WBEM_E_UNSUPPORTED_CLASS_UPDATE"},
    {0x80041049, "WBEM_E_CANNOT_CHANGE_KEY_INHERITANCE"},

    {0x80041050, "WBEM_E_CANNOT_CHANGE_INDEX_INHERITANCE"},
    {0x80041051, "WBEM_E_TOO_MANY_PROPERTIES"},
    {0x80041052, "WBEM_E_UPDATE_TYPE_MISMATCH"},
    {0x80041053, "WBEM_E_UPDATE_OVERRIDE_NOT_ALLOWED"},
    {0x80041054, "WBEM_E_UPDATE_PROPAGATED_METHOD"},
    {0x80041055, "WBEM_E_METHOD_NOT_IMPLEMENTED"},
    {0x80041056, "WBEM_E_METHOD_DISABLED"},
    {0x80041057, "WBEM_E_REFRESHER_BUSY"},
    {0x80041058, "WBEM_E_UNPARSABLE_QUERY"},
    {0x80041059, "WBEM_E_NOT_EVENT_CLASS"},
    {0x8004105A, "WBEM_E_MISSING_GROUP_WITHIN"},
    {0x8004105B, "WBEM_E_MISSING_AGGREGATION_LIST"},
    {0x8004105C, "WBEM_E_PROPERTY_NOT_AN_OBJECT"},
    {0x8004105D, "WBEM_E_AGGREGATING_BY_OBJECT"},

    {0x8004105F, "WBEM_E_UNINTERPRETABLE_PROVIDER_QUERY"},
    {0x80041060, "WBEM_E_BACKUP_RESTORE_WINMGMT_RUNNING"},
    {0x80041061, "WBEM_E_QUEUE_OVERFLOW"},
    {0x80041062, "WBEM_E_PRIVILEGE_NOT_HELD"},
    {0x80041063, "WBEM_E_INVALID_OPERATOR"},
    {0x80041064, "WBEM_E_LOCAL_CREDENTIALS"},
    {0x80041065, "WBEM_E_CANNOT_BE_ABSTRACT"},
    {0x80041066, "WBEM_E_AMENDED_OBJECT"},
    {0x80041067, "WBEM_E_CLIENT_TOO_SLOW"},

    {0x80043001, "WBEM_E_RETRY_LATER"},
    {0x80043002, "WBEM_E_RESOURCE_CONTENTION"},
};

// A message shorter than its closing carriage return and line feed has nothing to cut: it is
// copied whole (the copy drops any line end it holds), so the cut never reaches before the text.
std::size_t LengthWithoutClosingLineEnd(const char* message) noexcept {
  const std::size_t length = std::strlen(message);
  return length >= 2 ? length - 2 : length;
}

}  // namespace

std::span<const WbemStatusName> WbemStatusNames() noexcept { return kWbemStatusNames; }

const char* SystemErrorText(DWORD code) noexcept {
  static char systemText[kSystemTextBytes];
  if (code == 0) code = GetLastError();

  UniqueLocal<char*> message;
  // With FORMAT_MESSAGE_ARGUMENT_ARRAY the argument list is really an array of pointer-sized
  // values; the service's signature still names it a va_list pointer.
  FormatMessageA(kFormatFlags, nullptr, code, kUserDefaultLanguage, reinterpret_cast<LPSTR>(message.put()), 0,
                 reinterpret_cast<va_list*>(const_cast<char**>(kInsertTexts)));
  if (!message) {
    // "%08lx" wants an unsigned long, which is 32 bits on Windows and 64 on Linux: widening the
    // code to it first prints the same eight digits on both.
    std::snprintf(systemText, sizeof systemText, "Error 0x%08lx", static_cast<unsigned long>(code));
    return systemText;
  }

  // System messages end in a carriage return and a line feed, and a message of several lines
  // has one after each line; the text is printed inside a one-line failure message, so its lines
  // are joined as they stand.
  const char* text = message.get();
  const std::size_t end = LengthWithoutClosingLineEnd(text);
  std::size_t copied = 0;
  for (std::size_t index = 0; index < end && copied < kSystemTextBytes - 1; ++index) {
    if (text[index] == '\r' || text[index] == '\n') continue;
    systemText[copied++] = text[index];
  }
  systemText[copied] = '\0';
  return systemText;
}

const char* WbemErrorText(HRESULT code) noexcept {
  // WBEM codes are compared as the unsigned 32-bit values the SDK writes them as.
  const DWORD status = static_cast<DWORD>(code);
  const auto row = std::lower_bound(std::begin(kWbemStatusNames), std::end(kWbemStatusNames), status,
                                    [](const WbemStatusName& entry, DWORD value) { return entry.code < value; });
  if (row != std::end(kWbemStatusNames) && row->code == status) return row->name;

  static char fallbackText[kFallbackTextBytes];
  const char* systemText = SystemErrorText(status);
  std::snprintf(fallbackText, sizeof fallbackText, "WBEMerr %08lX %.60s", static_cast<unsigned long>(status),
                systemText);
  return fallbackText;
}

}  // namespace tessarwick
