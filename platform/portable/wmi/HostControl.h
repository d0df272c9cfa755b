// Control of the simulated WMI host from C++ tests of the native build: where its state lives,
// faults injected into its calls, and what it has been sent (context values, proxy security,
// connections). The same faults can be written into the host file for tests of the executable
// (docs/host-file.md); in-process faults add to those of the file.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "platform/Platform.h"

namespace tessarwick::wmihost {

// The calls of the host into which a fault can be injected.
enum class HostCall {
  ConnectServer,      // IWbemLocator::ConnectServer to the namespace
  ExecQuery,          // IWbemServices::ExecQuery
  GetObject,          // IWbemServices::GetObject
  ExecMethod,         // IWbemServices::ExecMethod; the fault's name selects the method
  GetMethod,          // IWbemClassObject::GetMethod; the name selects the method
  SpawnInstance,      // IWbemClassObject::SpawnInstance
  Put,                // IWbemClassObject::Put; the name selects the property
  Get,                // IWbemClassObject::Get; the name selects the property
  Next,               // IEnumWbemClassObject::Next
  Clone,              // IWbemClassObject::Clone
  CoSetProxyBlanket,  // on the services or on a query enumerator
  PutInstance,        // IWbemServices::PutInstance
  DeleteInstance,     // IWbemServices::DeleteInstance
  // SafeArrayAccessData: SpawnInstance of SetSD's in-parameters arms the failure, and the next
  // SafeArrayAccessData of the thread takes it. That is the lock of the array that carries the
  // new descriptor, the only array a caller makes between the spawn and the Put of "SD".
  SafeArrayAccessData,
};

// The call's name as the host file writes it ("ExecMethod", "CoSetProxyBlanket", ...); false
// when the text names none.
const wchar_t* HostCallName(HostCall call);
bool HostCallFromName(const std::wstring& name, HostCall& call);

// What GetSD gives as "SD" instead of the byte array, when a fault says so.
enum class SdShape {
  ByteArray,   // no fault: VT_ARRAY | VT_UI1
  Null,        // VT_NULL
  String,      // VT_BSTR holding the descriptor's SDDL text
  Int32Array,  // VT_ARRAY | VT_I4
  // VT_ARRAY | VT_UI1 whose bytes are not a self-relative descriptor: the descriptor's own bytes
  // with a revision (0) that no descriptor has, so every reader refuses them at the first byte.
  InvalidBytes,
};

// One fault. It applies to the calls made on objects obtained from the named namespace (its
// services, its query enumerators, its objects and their clones).
struct Fault {
  std::wstring computer;       // empty or "." for the local computer, else the computer's name
  std::wstring namespacePath;  // "root\\CIMV2"; case-insensitive, "\\" or "/" between names
  HostCall call = HostCall::ConnectServer;
  std::wstring name;    // the method (ExecMethod, GetMethod) or property (Get, Put); empty: any
  std::wstring object;  // only for the __NAMESPACE instance with this Name (Get, Clone, Next); empty: any
  // Get only: just on the out-parameters that ExecMethod of this method ("GetSD" or "SetSD") gave
  // (and their clones); empty: any object.
  std::wstring method;
  HRESULT status = S_OK;                 // negative: the call fails with it (SafeArrayAccessData needs one)
  LONG returnValue = 0;                  // nonzero: ExecMethod of GetSD or SetSD returns it (and SetSD stores nothing)
  SdShape sdShape = SdShape::ByteArray;  // ExecMethod of GetSD gives "SD" in this shape
};

void InjectFault(const Fault& fault);
// CoCreateInstance of the class (CLSID_WbemLocator or CLSID_WbemContext) fails with the status.
void FailCreation(REFCLSID clsid, HRESULT status);
// Drops the faults and creation failures injected in this process (not those of the host file),
// and a SafeArrayAccessData failure that this thread armed and has not taken yet.
void ClearFaults();

// What CoSetProxyBlanket was given, and for which object.
struct ProxyBlanketRecord {
  std::wstring proxy;          // "IWbemServices" or "IEnumWbemClassObject"
  std::wstring computer;       // empty for the local computer
  std::wstring namespacePath;  // as stored, e.g. "root\\CIMV2"
  DWORD authnService = 0;
  DWORD authzService = 0;
  bool serverPrincipalName = false;  // a name was given
  DWORD authnLevel = 0;
  DWORD impLevel = 0;
  bool authInfo = false;  // an identity was given
  DWORD capabilities = 0;
};

// The values of the context that came with a call, in the order they were set.
struct ContextValueRecord {
  std::wstring name;
  VARTYPE type = VT_EMPTY;
  std::wstring text;  // the value of a VT_BSTR, else empty
};
struct ContextRecord {
  std::wstring call;  // "ConnectServer", "ExecQuery", "GetObject", "ExecMethod", "PutInstance", "DeleteInstance"
  std::wstring computer;
  std::wstring namespacePath;
  bool contextGiven = false;
  std::vector<ContextValueRecord> values;
};

// What ConnectServer was given.
struct ConnectRecord {
  std::wstring resource;  // the network resource as passed ("(null)" is not substituted)
  bool resourceGiven = false;
  bool userGiven = false;
  bool passwordGiven = false;
  bool localeGiven = false;
  LONG securityFlags = 0;
  bool authorityGiven = false;
  bool contextGiven = false;
  HRESULT result = S_OK;
};

std::vector<ProxyBlanketRecord> RecordedProxyBlankets();
std::vector<ContextRecord> RecordedContexts();
std::vector<ConnectRecord> RecordedConnects();
void ClearRecords();

// The host file in use: TESSARWICK_HOST_FILE when set and not empty, else
// $XDG_STATE_HOME/tessarwick/host.json, else ~/.local/state/tessarwick/host.json.
std::filesystem::path HostFilePath();

// The local computer's name: the machine's host name, upper-cased and cut to 15 characters.
std::wstring LocalComputerName();

}  // namespace tessarwick::wmihost
