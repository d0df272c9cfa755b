// The texts of the Windows error codes and HRESULTs that this program can meet, in the stand-in's
// own words. Codes that WMI itself defines (0x8004xxxx of the WBEM range) have no system text on
// Windows either: their names come from the program's own table.
#include "platform/portable/messages/SystemMessages.h"

namespace tessarwick::portable {
namespace {

constexpr SystemMessage kSystemMessages[] = {
    {0, "The operation finished without error.\r\n"},
    {1, "The function does not apply to this object.\r\n"},
    {2, "No file was found at the path given.\r\n"},
    {3, "No folder was found at the path given.\r\n"},
    {5, "Access to the object was refused.\r\n"},
    {6, "The handle does not refer to an open object.\r\n"},
    {8, "Too little memory is left to carry out this request.\r\n"},
    {14, "Memory ran out before the operation could finish.\r\n"},
    // A message of two lines with inserts, as the platform's own text for this code has.
    {34, "The disk in the drive is not the one expected.\r\nPut disk %2 (volume serial number %3) into drive %1.\r\n"},
    {53, "No computer answered at the network path given.\r\n"},
    {87, "A parameter has a value that is not accepted.\r\n"},
    {120, "This function is not available on this system.\r\n"},
    {122, "The buffer given is too small for the data.\r\n"},
    {317, "No text exists for message number 0x%1 in the message file of %2.\r\n"},
    {1305, "The revision level is not one that the system knows.\r\n"},
    {1326, "Logon refused: the user name or the password does not match.\r\n"},
    {1332, "None of the account names given could be mapped to a security identifier.\r\n"},
    {1336, "The access control list does not have a valid structure.\r\n"},
    {1337, "The security identifier does not have a valid structure.\r\n"},
    {1338, "The security descriptor does not have a valid structure.\r\n"},
    {1355, "The domain named does not exist or could not be reached.\r\n"},
    {1705, "The text is not a valid universal unique identifier (UUID).\r\n"},
    {1722, "The RPC server could not be reached.\r\n"},
    {1804, "The data type given is not valid.\r\n"},
    {15100, "No message text exists in the language asked for.\r\n"},
    {0x80004001, "The operation is not implemented.\r\n"},
    {0x80004002, "The object does not support the interface asked for.\r\n"},
    {0x80004003, "A pointer given is not valid.\r\n"},
    {0x80004005, "The operation failed for a reason not given.\r\n"},
    {0x8000FFFF, "A failure happened that was not expected.\r\n"},
    {0x80010108, "The object has been disconnected from its clients.\r\n"},
    {0x80020008, "The variant type is not valid.\r\n"},
    {0x8002000D, "The array is locked and cannot be changed.\r\n"},
    {0x80040154, "The class asked for is not registered.\r\n"},
    {0x800401F0, "COM has not been initialized on this thread.\r\n"},
};

std::span<const SystemMessage> supplementaryMessages;

}  // namespace

std::span<const SystemMessage> SystemMessageTable() noexcept { return kSystemMessages; }

void SetSupplementaryMessages(std::span<const SystemMessage> messages) noexcept { supplementaryMessages = messages; }

const char* FindSystemMessage(DWORD code) noexcept {
  for (const SystemMessage& message : supplementaryMessages) {
    if (message.code == code) return message.text;
  }
  for (const SystemMessage& message : kSystemMessages) {
    if (message.code == code) return message.text;
  }
  return nullptr;
}

}  // namespace tessarwick::portable
