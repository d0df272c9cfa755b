// WMI client interfaces of the stand-in platform: the locator, the services of one namespace, the
// context, result enumerators, class objects and call results, with the names, parameter types
// and parameter order of the WMI client API, so that the program's WMI code is one source for both
// builds. The vtables are this platform's own; only the calls have to match. Behind them stands
// the simulated host (platform/portable/wmi/), which fails whatever it does not implement with
// WBEM_E_NOT_SUPPORTED.
#pragma once

#include "platform/portable/Com.h"

// Status codes of the WMI service. Like the SDK's, this is a plain enumeration whose values do not
// fit an int, so its underlying type is unsigned and a status converts to HRESULT on assignment.
enum WBEMSTATUS {
  WBEM_NO_ERROR = 0,
  WBEM_S_NO_ERROR = 0,
  WBEM_S_SAME = 0,
  WBEM_S_FALSE = 1,
  WBEM_S_ALREADY_EXISTS = 0x40001,
  WBEM_S_RESET_TO_DEFAULT = 0x40002,
  WBEM_S_DIFFERENT = 0x40003,
  WBEM_S_TIMEDOUT = 0x40004,
  WBEM_S_NO_MORE_DATA = 0x40005,
  WBEM_S_OPERATION_CANCELLED = 0x40006,
  WBEM_S_PENDING = 0x40007,
  WBEM_S_DUPLICATE_OBJECTS = 0x40008,
  WBEM_S_ACCESS_DENIED = 0x40009,
  WBEM_S_PARTIAL_RESULTS = 0x40010,
  WBEM_S_SOURCE_NOT_AVAILABLE = 0x40017,
  WBEM_E_FAILED = 0x80041001,
  WBEM_E_NOT_FOUND = 0x80041002,
  WBEM_E_ACCESS_DENIED = 0x80041003,
  WBEM_E_PROVIDER_FAILURE = 0x80041004,
  WBEM_E_TYPE_MISMATCH = 0x80041005,
  WBEM_E_OUT_OF_MEMORY = 0x80041006,
  WBEM_E_INVALID_CONTEXT = 0x80041007,
  WBEM_E_INVALID_PARAMETER = 0x80041008,
  WBEM_E_NOT_AVAILABLE = 0x80041009,
  WBEM_E_CRITICAL_ERROR = 0x8004100A,
  WBEM_E_INVALID_STREAM = 0x8004100B,
  WBEM_E_NOT_SUPPORTED = 0x8004100C,
  WBEM_E_INVALID_SUPERCLASS = 0x8004100D,
  WBEM_E_INVALID_NAMESPACE = 0x8004100E,
  WBEM_E_INVALID_OBJECT = 0x8004100F,
  WBEM_E_INVALID_CLASS = 0x80041010,
  WBEM_E_PROVIDER_NOT_FOUND = 0x80041011,
  WBEM_E_INVALID_PROVIDER_REGISTRATION = 0x80041012,
  WBEM_E_PROVIDER_LOAD_FAILURE = 0x80041013,
  WBEM_E_INITIALIZATION_FAILURE = 0x80041014,
  WBEM_E_TRANSPORT_FAILURE = 0x80041015,
  WBEM_E_INVALID_OPERATION = 0x80041016,
  WBEM_E_INVALID_QUERY = 0x80041017,
  WBEM_E_INVALID_QUERY_TYPE = 0x80041018,
  WBEM_E_ALREADY_EXISTS = 0x80041019,
  WBEM_E_OVERRIDE_NOT_ALLOWED = 0x8004101A,
  WBEM_E_PROPAGATED_QUALIFIER = 0x8004101B,
  WBEM_E_PROPAGATED_PROPERTY = 0x8004101C,
  WBEM_E_UNEXPECTED = 0x8004101D,
  WBEM_E_ILLEGAL_OPERATION = 0x8004101E,
  WBEM_E_CANNOT_BE_KEY = 0x8004101F,
  WBEM_E_INCOMPLETE_CLASS = 0x80041020,
  WBEM_E_INVALID_SYNTAX = 0x80041021,
  WBEM_E_NONDECORATED_OBJECT = 0x80041022,
  WBEM_E_READ_ONLY = 0x80041023,
  WBEM_E_PROVIDER_NOT_CAPABLE = 0x80041024,
  WBEM_E_CLASS_HAS_CHILDREN = 0x80041025,
  WBEM_E_CLASS_HAS_INSTANCES = 0x80041026,
  WBEM_E_QUERY_NOT_IMPLEMENTED = 0x80041027,
  WBEM_E_ILLEGAL_NULL = 0x80041028,
  WBEM_E_INVALID_QUALIFIER_TYPE = 0x80041029,
  WBEM_E_INVALID_PROPERTY_TYPE = 0x8004102A,
  WBEM_E_VALUE_OUT_OF_RANGE = 0x8004102B,
  WBEM_E_CANNOT_BE_SINGLETON = 0x8004102C,
  WBEM_E_INVALID_CIM_TYPE = 0x8004102D,
  WBEM_E_INVALID_METHOD = 0x8004102E,
  WBEM_E_INVALID_METHOD_PARAMETERS = 0x8004102F,
  WBEM_E_SYSTEM_PROPERTY = 0x80041030,
  WBEM_E_INVALID_PROPERTY = 0x80041031,
  WBEM_E_CALL_CANCELLED = 0x80041032,
  WBEM_E_SHUTTING_DOWN = 0x80041033,
  WBEM_E_PROPAGATED_METHOD = 0x80041034,
  WBEM_E_UNSUPPORTED_PARAMETER = 0x80041035,
  WBEM_E_MISSING_PARAMETER_ID = 0x80041036,
  WBEM_E_INVALID_PARAMETER_ID = 0x80041037,
  WBEM_E_NONCONSECUTIVE_PARAMETER_IDS = 0x80041038,
  WBEM_E_PARAMETER_ID_ON_RETVAL = 0x80041039,
  WBEM_E_INVALID_OBJECT_PATH = 0x8004103A,
  WBEM_E_OUT_OF_DISK_SPACE = 0x8004103B,
  WBEM_E_BUFFER_TOO_SMALL = 0x8004103C,
  WBEM_E_UNSUPPORTED_PUT_EXTENSION = 0x8004103D,
  WBEM_E_UNKNOWN_OBJECT_TYPE = 0x8004103E,
  WBEM_E_UNKNOWN_PACKET_TYPE = 0x8004103F,
  WBEM_E_MARSHAL_VERSION_MISMATCH = 0x80041040,
  WBEM_E_MARSHAL_INVALID_SIGNATURE = 0x80041041,
  WBEM_E_INVALID_QUALIFIER = 0x80041042,
  WBEM_E_INVALID_DUPLICATE_PARAMETER = 0x80041043,
  WBEM_E_TOO_MUCH_DATA = 0x80041044,
  WBEM_E_SERVER_TOO_BUSY = 0x80041045,
  WBEM_E_INVALID_FLAVOR = 0x80041046,
  WBEM_E_CIRCULAR_REFERENCE = 0x80041047,
  WBEM_E_UNSUPPORTED_CLASS_UPDATE = 0x80041048,
  WBEM_E_CANNOT_CHANGE_KEY_INHERITANCE = 0x80041049,
  WBEM_E_CANNOT_CHANGE_INDEX_INHERITANCE = 0x80041050,
  WBEM_E_TOO_MANY_PROPERTIES = 0x80041051,
  WBEM_E_UPDATE_TYPE_MISMATCH = 0x80041052,
  WBEM_E_UPDATE_OVERRIDE_NOT_ALLOWED = 0x80041053,
  WBEM_E_UPDATE_PROPAGATED_METHOD = 0x80041054,
  WBEM_E_METHOD_NOT_IMPLEMENTED = 0x80041055,
  WBEM_E_METHOD_DISABLED = 0x80041056,
  WBEM_E_REFRESHER_BUSY = 0x80041057,
  WBEM_E_UNPARSABLE_QUERY = 0x80041058,
  WBEM_E_NOT_EVENT_CLASS = 0x80041059,
  WBEM_E_MISSING_GROUP_WITHIN = 0x8004105A,
  WBEM_E_MISSING_AGGREGATION_LIST = 0x8004105B,
  WBEM_E_PROPERTY_NOT_AN_OBJECT = 0x8004105C,
  WBEM_E_AGGREGATING_BY_OBJECT = 0x8004105D,
  WBEM_E_UNINTERPRETABLE_PROVIDER_QUERY = 0x8004105F,
  WBEM_E_BACKUP_RESTORE_WINMGMT_RUNNING = 0x80041060,
  WBEM_E_QUEUE_OVERFLOW = 0x80041061,
  WBEM_E_PRIVILEGE_NOT_HELD = 0x80041062,
  WBEM_E_INVALID_OPERATOR = 0x80041063,
  WBEM_E_LOCAL_CREDENTIALS = 0x80041064,
  WBEM_E_CANNOT_BE_ABSTRACT = 0x80041065,
  WBEM_E_AMENDED_OBJECT = 0x80041066,
  WBEM_E_CLIENT_TOO_SLOW = 0x80041067,
  WBEM_E_NULL_SECURITY_DESCRIPTOR = 0x80041068,
  WBEM_E_TIMED_OUT = 0x80041069,
  WBEM_E_INVALID_ASSOCIATION = 0x8004106A,
  WBEM_E_AMBIGUOUS_OPERATION = 0x8004106B,
  WBEM_E_QUOTA_VIOLATION = 0x8004106C,
  WBEM_E_RESERVED_001 = 0x8004106D,
  WBEM_E_RESERVED_002 = 0x8004106E,
  WBEM_E_UNSUPPORTED_LOCALE = 0x8004106F,
  WBEM_E_HANDLE_OUT_OF_DATE = 0x80041070,
  WBEM_E_CONNECTION_FAILED = 0x80041071,
  WBEM_E_INVALID_HANDLE_REQUEST = 0x80041072,
  WBEM_E_PROPERTY_NAME_TOO_WIDE = 0x80041073,
  WBEM_E_CLASS_NAME_TOO_WIDE = 0x80041074,
  WBEM_E_METHOD_NAME_TOO_WIDE = 0x80041075,
  WBEM_E_QUALIFIER_NAME_TOO_WIDE = 0x80041076,
  WBEM_E_RERUN_COMMAND = 0x80041077,
  WBEM_E_DATABASE_VER_MISMATCH = 0x80041078,
  WBEM_E_VETO_DELETE = 0x80041079,
  WBEM_E_VETO_PUT = 0x8004107A,
  WBEM_E_INVALID_LOCALE = 0x80041080,
  WBEM_E_PROVIDER_SUSPENDED = 0x80041081,
  WBEM_E_SYNCHRONIZATION_REQUIRED = 0x80041082,
  WBEM_E_NO_SCHEMA = 0x80041083,
  WBEM_E_PROVIDER_ALREADY_REGISTERED = 0x80041084,
  WBEM_E_PROVIDER_NOT_REGISTERED = 0x80041085,
  WBEM_E_FATAL_TRANSPORT_ERROR = 0x80041086,
  WBEM_E_ENCRYPTED_CONNECTION_REQUIRED = 0x80041087,
  WBEM_E_PROVIDER_TIMED_OUT = 0x80041088,
  WBEM_E_NO_KEY = 0x80041089,
  WBEM_E_PROVIDER_DISABLED = 0x8004108A,
};

// Flags of the service calls.
enum WBEM_GENERIC_FLAG_TYPE {
  WBEM_FLAG_RETURN_IMMEDIATELY = 0x10,
  WBEM_FLAG_RETURN_WBEM_COMPLETE = 0,
  WBEM_FLAG_BIDIRECTIONAL = 0,
  WBEM_FLAG_FORWARD_ONLY = 0x20,
  WBEM_FLAG_NO_ERROR_OBJECT = 0x40,
  WBEM_FLAG_RETURN_ERROR_OBJECT = 0,
  WBEM_FLAG_SEND_STATUS = 0x80,
  WBEM_FLAG_DONT_SEND_STATUS = 0,
  WBEM_FLAG_ENSURE_LOCATABLE = 0x100,
  WBEM_FLAG_DIRECT_READ = 0x200,
  WBEM_FLAG_SEND_ONLY_SELECTED = 0,
  WBEM_RETURN_WHEN_COMPLETE = 0,
  WBEM_RETURN_IMMEDIATELY = 0x10,
  WBEM_MASK_RESERVED_FLAGS = 0x1F000,
  WBEM_FLAG_USE_AMENDED_QUALIFIERS = 0x20000,
  WBEM_FLAG_STRONG_VALIDATION = 0x100000,
};

enum WBEM_CHANGE_FLAG_TYPE {
  WBEM_FLAG_CREATE_OR_UPDATE = 0,
  WBEM_FLAG_UPDATE_ONLY = 0x1,
  WBEM_FLAG_CREATE_ONLY = 0x2,
  WBEM_FLAG_UPDATE_COMPATIBLE = 0,
  WBEM_FLAG_UPDATE_SAFE_MODE = 0x20,
  WBEM_FLAG_UPDATE_FORCE_MODE = 0x40,
  WBEM_MASK_UPDATE_MODE = 0x60,
  WBEM_FLAG_ADVISORY = 0x10000,
};

enum WBEM_CONNECT_OPTIONS {
  WBEM_FLAG_CONNECT_REPOSITORY_ONLY = 0x40,
  WBEM_FLAG_CONNECT_USE_MAX_WAIT = 0x80,
  WBEM_FLAG_CONNECT_PROVIDERS = 0x100,
};

enum WBEM_QUERY_FLAG_TYPE {
  WBEM_FLAG_DEEP = 0,
  WBEM_FLAG_SHALLOW = 1,
  WBEM_FLAG_PROTOTYPE = 2,
};

enum WBEM_CONDITION_FLAG_TYPE {
  WBEM_FLAG_ALWAYS = 0,
  WBEM_FLAG_ONLY_IF_TRUE = 0x1,
  WBEM_FLAG_ONLY_IF_FALSE = 0x2,
  WBEM_FLAG_ONLY_IF_IDENTICAL = 0x3,
  WBEM_MASK_PRIMARY_CONDITION = 0x3,
  WBEM_FLAG_KEYS_ONLY = 0x4,
  WBEM_FLAG_REFS_ONLY = 0x8,
  WBEM_FLAG_LOCAL_ONLY = 0x10,
  WBEM_FLAG_PROPAGATED_ONLY = 0x20,
  WBEM_FLAG_SYSTEM_ONLY = 0x30,
  WBEM_FLAG_NONSYSTEM_ONLY = 0x40,
  WBEM_MASK_CONDITION_ORIGIN = 0x70,
  WBEM_FLAG_CLASS_OVERRIDES_ONLY = 0x100,
  WBEM_FLAG_CLASS_LOCAL_AND_OVERRIDES = 0x200,
  WBEM_MASK_CLASS_CONDITION = 0x300,
};

enum WBEM_GENUS_TYPE {
  WBEM_GENUS_CLASS = 1,
  WBEM_GENUS_INSTANCE = 2,
};

// Timeouts of Next, GetResultString and friends, in milliseconds.
enum WBEM_TIMEOUT_TYPE {
  WBEM_NO_WAIT = 0,
  WBEM_INFINITE = 0xFFFFFFFF,
};

// The rights of a WMI namespace, as the access mask of its descriptor's entries carries them.
enum WBEM_SECURITY_FLAGS {
  WBEM_ENABLE = 1,
  WBEM_METHOD_EXECUTE = 2,
  WBEM_FULL_WRITE_REP = 4,
  WBEM_PARTIAL_WRITE_REP = 8,
  WBEM_WRITE_PROVIDER = 0x10,
  WBEM_REMOTE_ACCESS = 0x20,
  WBEM_RIGHT_SUBSCRIBE = 0x40,
  WBEM_RIGHT_PUBLISH = 0x80,
};

enum WBEM_FLAVOR_TYPE {
  WBEM_FLAVOR_DONT_PROPAGATE = 0,
  WBEM_FLAVOR_FLAG_PROPAGATE_TO_INSTANCE = 0x1,
  WBEM_FLAVOR_FLAG_PROPAGATE_TO_DERIVED_CLASS = 0x2,
  WBEM_FLAVOR_MASK_PROPAGATION = 0xF,
  WBEM_FLAVOR_OVERRIDABLE = 0,
  WBEM_FLAVOR_NOT_OVERRIDABLE = 0x10,
  WBEM_FLAVOR_MASK_PERMISSIONS = 0x10,
  WBEM_FLAVOR_ORIGIN_LOCAL = 0,
  WBEM_FLAVOR_ORIGIN_PROPAGATED = 0x20,
  WBEM_FLAVOR_ORIGIN_SYSTEM = 0x40,
  WBEM_FLAVOR_MASK_ORIGIN = 0x60,
  WBEM_FLAVOR_NOT_AMENDED = 0,
  WBEM_FLAVOR_AMENDED = 0x80,
  WBEM_FLAVOR_MASK_AMENDED = 0x80,
};

// Property types. A CIMTYPE is a 32-bit value; CIM_FLAG_ARRAY marks an array of the base type.
using CIMTYPE = LONG;
enum CIMTYPE_ENUMERATION {
  CIM_ILLEGAL = 0xFFF,
  CIM_EMPTY = 0,
  CIM_SINT8 = 16,
  CIM_UINT8 = 17,
  CIM_SINT16 = 2,
  CIM_UINT16 = 18,
  CIM_SINT32 = 3,
  CIM_UINT32 = 19,
  CIM_SINT64 = 20,
  CIM_UINT64 = 21,
  CIM_REAL32 = 4,
  CIM_REAL64 = 5,
  CIM_BOOLEAN = 11,
  CIM_STRING = 8,
  CIM_DATETIME = 101,
  CIM_REFERENCE = 102,
  CIM_CHAR16 = 103,
  CIM_OBJECT = 13,
  CIM_FLAG_ARRAY = 0x2000,
};

struct IWbemClassObject;
struct IWbemQualifierSet;
struct IWbemContext;
struct IEnumWbemClassObject;
struct IWbemCallResult;
struct IWbemServices;
struct IWbemLocator;
struct IWbemObjectSink;

struct IWbemQualifierSet : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE Get(LPCWSTR wszName, LONG lFlags, VARIANT* pVal, LONG* plFlavor) = 0;
  virtual HRESULT STDMETHODCALLTYPE Put(LPCWSTR wszName, VARIANT* pVal, LONG lFlavor) = 0;
  virtual HRESULT STDMETHODCALLTYPE Delete(LPCWSTR wszName) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetNames(LONG lFlags, SAFEARRAY** pNames) = 0;
  virtual HRESULT STDMETHODCALLTYPE BeginEnumeration(LONG lFlags) = 0;
  virtual HRESULT STDMETHODCALLTYPE Next(LONG lFlags, BSTR* pstrName, VARIANT* pVal, LONG* plFlavor) = 0;
  virtual HRESULT STDMETHODCALLTYPE EndEnumeration() = 0;

 protected:
  ~IWbemQualifierSet() = default;
};

struct IWbemClassObject : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE GetQualifierSet(IWbemQualifierSet** ppQualSet) = 0;
  virtual HRESULT STDMETHODCALLTYPE Get(LPCWSTR wszName, LONG lFlags, VARIANT* pVal, CIMTYPE* pType,
                                        LONG* plFlavor) = 0;
  virtual HRESULT STDMETHODCALLTYPE Put(LPCWSTR wszName, LONG lFlags, VARIANT* pVal, CIMTYPE Type) = 0;
  virtual HRESULT STDMETHODCALLTYPE Delete(LPCWSTR wszName) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetNames(LPCWSTR wszQualifierName, LONG lFlags, VARIANT* pQualifierVal,
                                             SAFEARRAY** pNames) = 0;
  virtual HRESULT STDMETHODCALLTYPE BeginEnumeration(LONG lEnumFlags) = 0;
  virtual HRESULT STDMETHODCALLTYPE Next(LONG lFlags, BSTR* strName, VARIANT* pVal, CIMTYPE* pType, LONG* plFlavor) = 0;
  virtual HRESULT STDMETHODCALLTYPE EndEnumeration() = 0;
  virtual HRESULT STDMETHODCALLTYPE GetPropertyQualifierSet(LPCWSTR wszProperty, IWbemQualifierSet** ppQualSet) = 0;
  virtual HRESULT STDMETHODCALLTYPE Clone(IWbemClassObject** ppCopy) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetObjectText(LONG lFlags, BSTR* pstrObjectText) = 0;
  virtual HRESULT STDMETHODCALLTYPE SpawnDerivedClass(LONG lFlags, IWbemClassObject** ppNewClass) = 0;
  virtual HRESULT STDMETHODCALLTYPE SpawnInstance(LONG lFlags, IWbemClassObject** ppNewInstance) = 0;
  virtual HRESULT STDMETHODCALLTYPE CompareTo(LONG lFlags, IWbemClassObject* pCompareTo) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetPropertyOrigin(LPCWSTR wszName, BSTR* pstrClassName) = 0;
  virtual HRESULT STDMETHODCALLTYPE InheritsFrom(LPCWSTR strAncestor) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetMethod(LPCWSTR wszName, LONG lFlags, IWbemClassObject** ppInSignature,
                                              IWbemClassObject** ppOutSignature) = 0;
  virtual HRESULT STDMETHODCALLTYPE PutMethod(LPCWSTR wszName, LONG lFlags, IWbemClassObject* pInSignature,
                                              IWbemClassObject* pOutSignature) = 0;
  virtual HRESULT STDMETHODCALLTYPE DeleteMethod(LPCWSTR wszName) = 0;
  virtual HRESULT STDMETHODCALLTYPE BeginMethodEnumeration(LONG lEnumFlags) = 0;
  virtual HRESULT STDMETHODCALLTYPE NextMethod(LONG lFlags, BSTR* pstrName, IWbemClassObject** ppInSignature,
                                               IWbemClassObject** ppOutSignature) = 0;
  virtual HRESULT STDMETHODCALLTYPE EndMethodEnumeration() = 0;
  virtual HRESULT STDMETHODCALLTYPE GetMethodQualifierSet(LPCWSTR wszMethod, IWbemQualifierSet** ppQualSet) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetMethodOrigin(LPCWSTR wszMethodName, BSTR* pstrClassName) = 0;

 protected:
  ~IWbemClassObject() = default;
};

struct IWbemObjectSink : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE Indicate(LONG lObjectCount, IWbemClassObject** apObjArray) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetStatus(LONG lFlags, HRESULT hResult, BSTR strParam,
                                              IWbemClassObject* pObjParam) = 0;

 protected:
  ~IWbemObjectSink() = default;
};

struct IWbemContext : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE Clone(IWbemContext** ppNewCopy) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetNames(LONG lFlags, SAFEARRAY** pNames) = 0;
  virtual HRESULT STDMETHODCALLTYPE BeginEnumeration(LONG lFlags) = 0;
  virtual HRESULT STDMETHODCALLTYPE Next(LONG lFlags, BSTR* pstrName, VARIANT* pValue) = 0;
  virtual HRESULT STDMETHODCALLTYPE EndEnumeration() = 0;
  virtual HRESULT STDMETHODCALLTYPE SetValue(LPCWSTR wszName, LONG lFlags, VARIANT* pValue) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetValue(LPCWSTR wszName, LONG lFlags, VARIANT* pValue) = 0;
  virtual HRESULT STDMETHODCALLTYPE DeleteValue(LPCWSTR wszName, LONG lFlags) = 0;
  virtual HRESULT STDMETHODCALLTYPE DeleteAll() = 0;

 protected:
  ~IWbemContext() = default;
};

struct IEnumWbemClassObject : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE Reset() = 0;
  virtual HRESULT STDMETHODCALLTYPE Next(LONG lTimeout, ULONG uCount, IWbemClassObject** apObjects,
                                         ULONG* puReturned) = 0;
  virtual HRESULT STDMETHODCALLTYPE NextAsync(ULONG uCount, IWbemObjectSink* pSink) = 0;
  virtual HRESULT STDMETHODCALLTYPE Clone(IEnumWbemClassObject** ppEnum) = 0;
  virtual HRESULT STDMETHODCALLTYPE Skip(LONG lTimeout, ULONG nCount) = 0;

 protected:
  ~IEnumWbemClassObject() = default;
};

struct IWbemCallResult : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE GetResultObject(LONG lTimeout, IWbemClassObject** ppResultObject) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetResultString(LONG lTimeout, BSTR* pstrResultString) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetResultServices(LONG lTimeout, IWbemServices** ppServices) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetCallStatus(LONG lTimeout, LONG* plStatus) = 0;

 protected:
  ~IWbemCallResult() = default;
};

struct IWbemServices : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE OpenNamespace(const BSTR strNamespace, LONG lFlags, IWbemContext* pCtx,
                                                  IWbemServices** ppWorkingNamespace, IWbemCallResult** ppResult) = 0;
  virtual HRESULT STDMETHODCALLTYPE CancelAsyncCall(IWbemObjectSink* pSink) = 0;
  virtual HRESULT STDMETHODCALLTYPE QueryObjectSink(LONG lFlags, IWbemObjectSink** ppResponseHandler) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetObject(const BSTR strObjectPath, LONG lFlags, IWbemContext* pCtx,
                                              IWbemClassObject** ppObject, IWbemCallResult** ppCallResult) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetObjectAsync(const BSTR strObjectPath, LONG lFlags, IWbemContext* pCtx,
                                                   IWbemObjectSink* pResponseHandler) = 0;
  virtual HRESULT STDMETHODCALLTYPE PutClass(IWbemClassObject* pObject, LONG lFlags, IWbemContext* pCtx,
                                             IWbemCallResult** ppCallResult) = 0;
  virtual HRESULT STDMETHODCALLTYPE PutClassAsync(IWbemClassObject* pObject, LONG lFlags, IWbemContext* pCtx,
                                                  IWbemObjectSink* pResponseHandler) = 0;
  virtual HRESULT STDMETHODCALLTYPE DeleteClass(const BSTR strClass, LONG lFlags, IWbemContext* pCtx,
                                                IWbemCallResult** ppCallResult) = 0;
  virtual HRESULT STDMETHODCALLTYPE DeleteClassAsync(const BSTR strClass, LONG lFlags, IWbemContext* pCtx,
                                                     IWbemObjectSink* pResponseHandler) = 0;
  virtual HRESULT STDMETHODCALLTYPE CreateClassEnum(const BSTR strSuperclass, LONG lFlags, IWbemContext* pCtx,
                                                    IEnumWbemClassObject** ppEnum) = 0;
  virtual HRESULT STDMETHODCALLTYPE CreateClassEnumAsync(const BSTR strSuperclass, LONG lFlags, IWbemContext* pCtx,
                                                         IWbemObjectSink* pResponseHandler) = 0;
  virtual HRESULT STDMETHODCALLTYPE PutInstance(IWbemClassObject* pInst, LONG lFlags, IWbemContext* pCtx,
                                                IWbemCallResult** ppCallResult) = 0;
  virtual HRESULT STDMETHODCALLTYPE PutInstanceAsync(IWbemClassObject* pInst, LONG lFlags, IWbemContext* pCtx,
                                                     IWbemObjectSink* pResponseHandler) = 0;
  virtual HRESULT STDMETHODCALLTYPE DeleteInstance(const BSTR strObjectPath, LONG lFlags, IWbemContext* pCtx,
                                                   IWbemCallResult** ppCallResult) = 0;
  virtual HRESULT STDMETHODCALLTYPE DeleteInstanceAsync(const BSTR strObjectPath, LONG lFlags, IWbemContext* pCtx,
                                                        IWbemObjectSink* pResponseHandler) = 0;
  virtual HRESULT STDMETHODCALLTYPE CreateInstanceEnum(const BSTR strFilter, LONG lFlags, IWbemContext* pCtx,
                                                       IEnumWbemClassObject** ppEnum) = 0;
  virtual HRESULT STDMETHODCALLTYPE CreateInstanceEnumAsync(const BSTR strFilter, LONG lFlags, IWbemContext* pCtx,
                                                            IWbemObjectSink* pResponseHandler) = 0;
  virtual HRESULT STDMETHODCALLTYPE ExecQuery(const BSTR strQueryLanguage, const BSTR strQuery, LONG lFlags,
                                              IWbemContext* pCtx, IEnumWbemClassObject** ppEnum) = 0;
  virtual HRESULT STDMETHODCALLTYPE ExecQueryAsync(const BSTR strQueryLanguage, const BSTR strQuery, LONG lFlags,
                                                   IWbemContext* pCtx, IWbemObjectSink* pResponseHandler) = 0;
  virtual HRESULT STDMETHODCALLTYPE ExecNotificationQuery(const BSTR strQueryLanguage, const BSTR strQuery, LONG lFlags,
                                                          IWbemContext* pCtx, IEnumWbemClassObject** ppEnum) = 0;
  virtual HRESULT STDMETHODCALLTYPE ExecNotificationQueryAsync(const BSTR strQueryLanguage, const BSTR strQuery,
                                                               LONG lFlags, IWbemContext* pCtx,
                                                               IWbemObjectSink* pResponseHandler) = 0;
  virtual HRESULT STDMETHODCALLTYPE ExecMethod(const BSTR strObjectPath, const BSTR strMethodName, LONG lFlags,
                                               IWbemContext* pCtx, IWbemClassObject* pInParams,
                                               IWbemClassObject** ppOutParams, IWbemCallResult** ppCallResult) = 0;
  virtual HRESULT STDMETHODCALLTYPE ExecMethodAsync(const BSTR strObjectPath, const BSTR strMethodName, LONG lFlags,
                                                    IWbemContext* pCtx, IWbemClassObject* pInParams,
                                                    IWbemObjectSink* pResponseHandler) = 0;

 protected:
  ~IWbemServices() = default;
};

struct IWbemLocator : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE ConnectServer(const BSTR strNetworkResource, const BSTR strUser,
                                                  const BSTR strPassword, const BSTR strLocale, LONG lSecurityFlags,
                                                  const BSTR strAuthority, IWbemContext* pCtx,
                                                  IWbemServices** ppNamespace) = 0;

 protected:
  ~IWbemLocator() = default;
};

TESSARWICK_DECLARE_IID(IWbemQualifierSet, 0xDC12A680, 0x737F, 0x11CF, 0x88, 0x4D, 0x00, 0xAA, 0x00, 0x4B, 0x2E, 0x24);
TESSARWICK_DECLARE_IID(IWbemClassObject, 0xDC12A681, 0x737F, 0x11CF, 0x88, 0x4D, 0x00, 0xAA, 0x00, 0x4B, 0x2E, 0x24);
TESSARWICK_DECLARE_IID(IWbemObjectSink, 0x7C857801, 0x7381, 0x11CF, 0x88, 0x4D, 0x00, 0xAA, 0x00, 0x4B, 0x2E, 0x24);
TESSARWICK_DECLARE_IID(IWbemContext, 0x44ACA674, 0xE8FC, 0x11D0, 0xA0, 0x7C, 0x00, 0xC0, 0x4F, 0xB6, 0x88, 0x20);
TESSARWICK_DECLARE_IID(IEnumWbemClassObject, 0x027947E1, 0xD731, 0x11CE, 0xA3, 0x57, 0x00, 0x00, 0x00, 0x00, 0x00,
                       0x01);
TESSARWICK_DECLARE_IID(IWbemCallResult, 0x44ACA675, 0xE8FC, 0x11D0, 0xA0, 0x7C, 0x00, 0xC0, 0x4F, 0xB6, 0x88, 0x20);
TESSARWICK_DECLARE_IID(IWbemServices, 0x9556DC99, 0x828C, 0x11CF, 0xA3, 0x7E, 0x00, 0xAA, 0x00, 0x32, 0x40, 0xC7);
TESSARWICK_DECLARE_IID(IWbemLocator, 0xDC12A687, 0x737F, 0x11CF, 0x88, 0x4D, 0x00, 0xAA, 0x00, 0x4B, 0x2E, 0x24);

// The two classes the program creates with CoCreateInstance.
inline constexpr CLSID CLSID_WbemLocator{0x4590F811, 0x1D3A, 0x11D0, {0x89, 0x1F, 0x00, 0xAA, 0x00, 0x4B, 0x2E, 0x24}};
inline constexpr CLSID CLSID_WbemContext{0x674B6698, 0xEE92, 0x11D0, {0xAD, 0x71, 0x00, 0xC0, 0x4F, 0xD8, 0xFD, 0xFF}};
