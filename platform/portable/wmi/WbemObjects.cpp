// The COM objects of the simulated WMI host: the locator, a namespace's services, the context,
// query enumerators, class objects and call results; and CoCreateInstance and CoSetProxyBlanket,
// which reach them. Every call takes the host file's current version (ReadHostSnapshot), so that
// what another process wrote is seen at once; every change goes through ChangeHostState.
#include <atomic>
#include <cstring>
#include <cwctype>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/ComPtr.h"
#include "platform/Platform.h"
#include "platform/portable/wmi/HostRuntime.h"
#include "platform/portable/wmi/HostStore.h"

namespace tessarwick::wmihost {

namespace {

constexpr HRESULT kClassNoAggregation = static_cast<HRESULT>(0x80040110u);
// What the RPC layer reports for a computer that cannot be reached.
constexpr HRESULT kServerUnavailable = static_cast<HRESULT>(0x800706BAu);

constexpr wchar_t kSystemSecurity[] = L"__SystemSecurity";
constexpr wchar_t kNamespaceClass[] = L"__NAMESPACE";
constexpr wchar_t kParametersClass[] = L"__PARAMETERS";

// --- values -------------------------------------------------------------------------------

// A VARIANT that owns its contents and copies them deeply.
class Value {
 public:
  Value() { VariantInit(&value_); }
  explicit Value(const VARIANT& source) : Value() { VariantCopy(&value_, &source); }
  Value(const Value& other) : Value(other.value_) {}
  // A move takes the contents over as they are, so that handing a value on copies no array.
  Value(Value&& other) noexcept : value_(other.value_) { VariantInit(&other.value_); }
  Value& operator=(const Value& other) {
    if (this != &other) VariantCopy(&value_, &other.value_);
    return *this;
  }
  Value& operator=(Value&& other) noexcept {
    if (this != &other) {
      VariantClear(&value_);
      value_ = other.value_;
      VariantInit(&other.value_);
    }
    return *this;
  }
  ~Value() { VariantClear(&value_); }

  const VARIANT& get() const { return value_; }
  VARIANT* put() {
    VariantClear(&value_);
    return &value_;
  }

 private:
  VARIANT value_;
};

Value StringValue(const std::wstring& text) {
  Value value;
  VARIANT* variant = value.put();
  variant->vt = VT_BSTR;
  variant->bstrVal = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
  return value;
}

Value Int32Value(LONG number) {
  Value value;
  VARIANT* variant = value.put();
  variant->vt = VT_I4;
  variant->lVal = number;
  return value;
}

Value NullValue() {
  Value value;
  value.put()->vt = VT_NULL;
  return value;
}

Value ByteArrayValue(const std::vector<BYTE>& bytes) {
  Value value;
  SAFEARRAY* array = SafeArrayCreateVector(VT_UI1, 0, static_cast<ULONG>(bytes.size()));
  if (array == nullptr) return NullValue();
  void* data = nullptr;
  SafeArrayAccessData(array, &data);
  if (!bytes.empty()) std::memcpy(data, bytes.data(), bytes.size());
  SafeArrayUnaccessData(array);
  VARIANT* variant = value.put();
  variant->vt = VT_ARRAY | VT_UI1;
  variant->parray = array;
  return value;
}

Value Int32ArrayValue(const std::vector<BYTE>& bytes) {
  Value value;
  SAFEARRAY* array = SafeArrayCreateVector(VT_I4, 0, static_cast<ULONG>(bytes.size()));
  if (array == nullptr) return NullValue();
  void* data = nullptr;
  SafeArrayAccessData(array, &data);
  for (std::size_t i = 0; i < bytes.size(); ++i) static_cast<LONG*>(data)[i] = bytes[i];
  SafeArrayUnaccessData(array);
  VARIANT* variant = value.put();
  variant->vt = VT_ARRAY | VT_I4;
  variant->parray = array;
  return value;
}

bool IsNullValue(const VARIANT& value) { return value.vt == VT_EMPTY || value.vt == VT_NULL; }

// Whether a variant may be stored in a property of the type, as the service converts them.
bool FitsType(CIMTYPE type, VARTYPE vt) {
  switch (type) {
    case CIM_STRING:
    case CIM_DATETIME:
    case CIM_REFERENCE:
      return vt == VT_BSTR;
    case CIM_SINT8:
    case CIM_UINT8:
    case CIM_SINT16:
    case CIM_UINT16:
    case CIM_SINT32:
    case CIM_UINT32:
    case CIM_CHAR16:
      return vt == VT_I4 || vt == VT_UI4 || vt == VT_I2 || vt == VT_UI2 || vt == VT_UI1 || vt == VT_I1 ||
             vt == VT_INT || vt == VT_UINT;
    case CIM_SINT64:
    case CIM_UINT64:
      return vt == VT_BSTR || vt == VT_I8 || vt == VT_UI8 || vt == VT_I4;
    case CIM_BOOLEAN:
      return vt == VT_BOOL;
    case CIM_UINT8 | CIM_FLAG_ARRAY:
    case CIM_SINT8 | CIM_FLAG_ARRAY:
      return vt == (VT_ARRAY | VT_UI1) || vt == (VT_ARRAY | VT_I1);
    case CIM_UINT32 | CIM_FLAG_ARRAY:
    case CIM_SINT32 | CIM_FLAG_ARRAY:
      return vt == (VT_ARRAY | VT_I4);
    case CIM_STRING | CIM_FLAG_ARRAY:
      return vt == (VT_ARRAY | VT_BSTR);
    default:
      return false;
  }
}

CIMTYPE TypeOfVariant(VARTYPE vt) {
  switch (vt) {
    case VT_BSTR:
      return CIM_STRING;
    case VT_I4:
    case VT_INT:
      return CIM_SINT32;
    case VT_UI4:
    case VT_UINT:
      return CIM_UINT32;
    case VT_BOOL:
      return CIM_BOOLEAN;
    case VT_ARRAY | VT_UI1:
      return CIM_UINT8 | CIM_FLAG_ARRAY;
    case VT_ARRAY | VT_I4:
      return CIM_SINT32 | CIM_FLAG_ARRAY;
    case VT_ARRAY | VT_BSTR:
      return CIM_STRING | CIM_FLAG_ARRAY;
    default:
      return CIM_ILLEGAL;
  }
}

// Object paths as WMI writes them: Class, Class=@, Class.Key="value" or Class="value"; string
// keys escape backslashes and quotes with a backslash.
struct ObjectPath {
  std::wstring className;
  bool singleton = false;
  bool keyed = false;
  std::wstring keyName;  // empty for Class="value"
  std::wstring keyValue;
};

bool IsNameCharacter(wchar_t c) { return std::iswalnum(static_cast<wint_t>(c)) || c == L'_'; }

bool ParseObjectPath(std::wstring_view text, ObjectPath& path) {
  std::size_t i = 0;
  while (i < text.size() && IsNameCharacter(text[i])) ++i;
  if (i == 0) return false;
  path.className = std::wstring(text.substr(0, i));
  if (i == text.size()) return true;
  if (text.substr(i) == L"=@") {
    path.singleton = true;
    return true;
  }
  if (text[i] == L'.') {
    std::size_t start = ++i;
    while (i < text.size() && IsNameCharacter(text[i])) ++i;
    if (i == start) return false;
    path.keyName = std::wstring(text.substr(start, i - start));
  }
  if (i >= text.size() || text[i] != L'=') return false;
  ++i;
  if (i >= text.size() || (text[i] != L'"' && text[i] != L'\'')) return false;
  wchar_t quote = text[i++];
  std::wstring value;
  for (; i < text.size() && text[i] != quote; ++i) {
    if (text[i] == L'\\') {
      if (++i == text.size()) return false;
    }
    value += text[i];
  }
  if (i + 1 != text.size()) return false;  // the closing quote ends the path
  path.keyed = true;
  path.keyValue = std::move(value);
  return true;
}

std::wstring NamespaceRelativePath(const std::wstring& name) {
  std::wstring path = L"__NAMESPACE.Name=\"";
  for (wchar_t c : name) {
    if (c == L'\\' || c == L'"') path += L'\\';
    path += c;
  }
  return path + L"\"";
}

std::wstring BstrText(const BSTR text) {
  return text == nullptr ? std::wstring() : std::wstring(text, SysStringLen(text));
}

template <typename Interface>
HRESULT HandOut(Interface* object, Interface** out) {
  *out = object;
  return S_OK;
}

// The faults of a version of the host file, sharing that version rather than copying them.
std::shared_ptr<const std::vector<Fault>> FileFaultsOf(const std::shared_ptr<const HostSnapshot>& snapshot) {
  return std::shared_ptr<const std::vector<Fault>>(snapshot, &snapshot->State().faults);
}

// The reference counting and interface lookup every object of the stand-in shares: one
// interface besides IUnknown, and the object deletes itself when its last reference goes.
template <typename Interface>
class ComObject : public Interface {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
    if (object == nullptr) return E_POINTER;
    if (iid == IID_IUnknown || iid == InterfaceId<Interface>::value) {
      AddRef();
      *object = static_cast<Interface*>(this);
      return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
  ULONG STDMETHODCALLTYPE Release() override {
    ULONG left = --references_;
    if (left == 0) delete this;
    return left;
  }

 protected:
  ComObject() = default;
  virtual ~ComObject() = default;

 private:
  std::atomic<ULONG> references_{1};
};

// --- class objects ------------------------------------------------------------------------

class ClassObject;

struct Property {
  std::wstring name;
  CIMTYPE type = CIM_EMPTY;
  Value value;
};

struct Method {
  std::wstring name;
  ComPtr<ClassObject> in;  // null: the method takes no parameters
  ComPtr<ClassObject> out;
};

class ClassObject final : public ComObject<IWbemClassObject> {
 public:
  ClassObject(bool isClass, std::wstring className, Origin origin)
      : isClass_(isClass), className_(std::move(className)), origin_(std::move(origin)) {}

  void AddProperty(std::wstring name, CIMTYPE type, Value value = NullValue()) {
    properties_.push_back({std::move(name), type, std::move(value)});
  }
  void AddMethod(std::wstring name, ComPtr<ClassObject> in, ComPtr<ClassObject> out) {
    methods_.push_back({std::move(name), std::move(in), std::move(out)});
  }
  void SetValue(std::wstring_view name, Value value) {
    if (Property* property = Find(name)) property->value = std::move(value);
  }
  // Marks the object as the in- or out-parameters (class or instance) of a method.
  void MarkParameters(std::wstring method, bool in) {
    parametersOf_ = std::move(method);
    inParameters_ = in;
  }

  // IWbemClassObject: properties
  HRESULT STDMETHODCALLTYPE Get(LPCWSTR name, LONG, VARIANT* value, CIMTYPE* type, LONG* flavor) override {
    if (name == nullptr) return WBEM_E_INVALID_PARAMETER;
    if (auto fault = FindFault(origin_, HostCall::Get, name, InstanceName(), inParameters_ ? L"" : parametersOf_);
        fault && fault->status < 0)
      return fault->status;
    Value found;
    CIMTYPE foundType = CIM_EMPTY;
    LONG foundFlavor = WBEM_FLAVOR_ORIGIN_LOCAL;
    if (const Property* property = Find(name)) {
      found = IsNullValue(property->value.get()) ? NullValue() : property->value;
      foundType = property->type;
    } else if (!SystemProperty(name, found, foundType)) {
      return WBEM_E_NOT_FOUND;
    } else {
      foundFlavor = WBEM_FLAVOR_ORIGIN_SYSTEM;
    }
    if (value != nullptr) {
      // The caller's variant is written, not cleared: the service expects an empty one.
      VariantInit(value);
      HRESULT copied = VariantCopy(value, &found.get());
      if (FAILED(copied)) return WBEM_E_OUT_OF_MEMORY;
    }
    if (type != nullptr) *type = foundType;
    if (flavor != nullptr) *flavor = foundFlavor;
    return WBEM_S_NO_ERROR;
  }

  HRESULT STDMETHODCALLTYPE Put(LPCWSTR name, LONG, VARIANT* value, CIMTYPE type) override {
    if (name == nullptr) return WBEM_E_INVALID_PARAMETER;
    if (auto fault = FindFault(origin_, HostCall::Put, name, InstanceName()); fault && fault->status < 0)
      return fault->status;
    if (name[0] == L'_' && name[1] == L'_') return WBEM_E_READ_ONLY;
    Property* property = Find(name);
    bool null = value == nullptr || IsNullValue(*value);
    if (property == nullptr) {
      // Only a class definition gains properties; an instance has those of its class.
      if (!isClass_) return WBEM_E_NOT_FOUND;
      CIMTYPE newType = type != 0 ? type : (null ? CIM_ILLEGAL : TypeOfVariant(value->vt));
      if (newType == CIM_ILLEGAL) return WBEM_E_TYPE_MISMATCH;
      properties_.push_back({name, newType, NullValue()});
      property = &properties_.back();
    } else if (type != 0 && type != property->type) {
      return WBEM_E_TYPE_MISMATCH;
    }
    if (null) {
      property->value = NullValue();
      return WBEM_S_NO_ERROR;
    }
    if (value->vt & VT_BYREF) return WBEM_E_TYPE_MISMATCH;
    if (!FitsType(property->type, value->vt)) return WBEM_E_TYPE_MISMATCH;
    property->value = Value(*value);
    return WBEM_S_NO_ERROR;
  }

  HRESULT STDMETHODCALLTYPE Clone(IWbemClassObject** copy) override {
    if (copy == nullptr) return WBEM_E_INVALID_PARAMETER;
    *copy = nullptr;
    if (auto fault = FindFault(origin_, HostCall::Clone, {}, InstanceName()); fault && fault->status < 0)
      return fault->status;
    return HandOut<IWbemClassObject>(Copy(isClass_).detach(), copy);
  }

  HRESULT STDMETHODCALLTYPE SpawnInstance(LONG, IWbemClassObject** instance) override {
    if (instance == nullptr) return WBEM_E_INVALID_PARAMETER;
    *instance = nullptr;
    if (auto fault = FindFault(origin_, HostCall::SpawnInstance); fault && fault->status < 0) return fault->status;
    if (!isClass_) return WBEM_E_INVALID_OPERATION;
    // The caller makes the array for the method's "SD" next: its lock is the one that fails.
    if (inParameters_ && !parametersOf_.empty())
      if (auto fault = FindFault(origin_, HostCall::SafeArrayAccessData, parametersOf_); fault && fault->status < 0)
        portable::FailNextSafeArrayAccess(fault->status);
    return HandOut<IWbemClassObject>(Copy(false).detach(), instance);
  }

  HRESULT STDMETHODCALLTYPE GetMethod(LPCWSTR name, LONG, IWbemClassObject** in, IWbemClassObject** out) override {
    if (name == nullptr) return WBEM_E_INVALID_PARAMETER;
    if (in != nullptr) *in = nullptr;
    if (out != nullptr) *out = nullptr;
    if (auto fault = FindFault(origin_, HostCall::GetMethod, name); fault && fault->status < 0) return fault->status;
    for (const Method& method : methods_) {
      if (!EqualsIgnoringCase(method.name, name)) continue;
      // Each caller gets signatures of its own, so that changing one changes no other.
      if (in != nullptr && method.in) *in = method.in->Copy(true).detach();
      if (out != nullptr && method.out) *out = method.out->Copy(true).detach();
      return WBEM_S_NO_ERROR;
    }
    return WBEM_E_NOT_FOUND;
  }

  HRESULT STDMETHODCALLTYPE InheritsFrom(LPCWSTR ancestor) override {
    if (ancestor == nullptr) return WBEM_E_INVALID_PARAMETER;
    return EqualsIgnoringCase(ancestor, className_) ? WBEM_S_NO_ERROR : WBEM_S_FALSE;
  }

  // Not kept by the stand-in.
  HRESULT STDMETHODCALLTYPE GetQualifierSet(IWbemQualifierSet**) override { return WBEM_E_NOT_SUPPORTED; }
  HRESULT STDMETHODCALLTYPE Delete(LPCWSTR) override { return WBEM_E_NOT_SUPPORTED; }
  HRESULT STDMETHODCALLTYPE GetNames(LPCWSTR, LONG, VARIANT*, SAFEARRAY**) override { return WBEM_E_NOT_SUPPORTED; }
  HRESULT STDMETHODCALLTYPE BeginEnumeration(LONG) override { return WBEM_E_NOT_SUPPORTED; }
  HRESULT STDMETHODCALLTYPE Next(LONG, BSTR*, VARIANT*, CIMTYPE*, LONG*) override { return WBEM_E_NOT_SUPPORTED; }
  HRESULT STDMETHODCALLTYPE EndEnumeration() override { return WBEM_E_NOT_SUPPORTED; }
  HRESULT STDMETHODCALLTYPE GetPropertyQualifierSet(LPCWSTR, IWbemQualifierSet**) override {
    return WBEM_E_NOT_SUPPORTED;
  }
  HRESULT STDMETHODCALLTYPE GetObjectText(LONG, BSTR*) override { return WBEM_E_NOT_SUPPORTED; }
  HRESULT STDMETHODCALLTYPE SpawnDerivedClass(LONG, IWbemClassObject**) override { return WBEM_E_NOT_SUPPORTED; }
  HRESULT STDMETHODCALLTYPE CompareTo(LONG, IWbemClassObject*) override { return WBEM_E_NOT_SUPPORTED; }
  HRESULT STDMETHODCALLTYPE GetPropertyOrigin(LPCWSTR, BSTR*) override { return WBEM_E_NOT_SUPPORTED; }
  HRESULT STDMETHODCALLTYPE PutMethod(LPCWSTR, LONG, IWbemClassObject*, IWbemClassObject*) override {
    return WBEM_E_NOT_SUPPORTED;
  }
  HRESULT STDMETHODCALLTYPE DeleteMethod(LPCWSTR) override { return WBEM_E_NOT_SUPPORTED; }
  HRESULT STDMETHODCALLTYPE BeginMethodEnumeration(LONG) override { return WBEM_E_NOT_SUPPORTED; }
  HRESULT STDMETHODCALLTYPE NextMethod(LONG, BSTR*, IWbemClassObject**, IWbemClassObject**) override {
    return WBEM_E_NOT_SUPPORTED;
  }
  HRESULT STDMETHODCALLTYPE EndMethodEnumeration() override { return WBEM_E_NOT_SUPPORTED; }
  HRESULT STDMETHODCALLTYPE GetMethodQualifierSet(LPCWSTR, IWbemQualifierSet**) override {
    return WBEM_E_NOT_SUPPORTED;
  }
  HRESULT STDMETHODCALLTYPE GetMethodOrigin(LPCWSTR, BSTR*) override { return WBEM_E_NOT_SUPPORTED; }

  // A copy with the same properties and methods, as a class or as an instance of this class.
  ComPtr<ClassObject> Copy(bool asClass) const {
    ComPtr<ClassObject> copy;
    copy.attach(new ClassObject(asClass, className_, origin_));
    copy->properties_ = properties_;
    copy->parametersOf_ = parametersOf_;
    copy->inParameters_ = inParameters_;
    for (const Method& method : methods_)
      copy->methods_.push_back(
          {method.name, method.in ? method.in->Copy(true) : nullptr, method.out ? method.out->Copy(true) : nullptr});
    return copy;
  }

  const std::wstring& ClassName() const { return className_; }
  bool IsClass() const { return isClass_; }
  // A property's stored value, for the service's own reading (no faults); null when there is none.
  const VARIANT* ValueOf(std::wstring_view name) const {
    const Property* property = Find(name);
    return property == nullptr ? nullptr : &property->value.get();
  }

  // The Name of a __NAMESPACE instance, by which faults may single it out.
  std::wstring InstanceName() const {
    const Property* name = Find(L"Name");
    if (name == nullptr || name->value.get().vt != VT_BSTR) return {};
    return BstrText(name->value.get().bstrVal);
  }

 private:
  ~ClassObject() override = default;

  Property* Find(std::wstring_view name) {
    for (Property& property : properties_)
      if (EqualsIgnoringCase(property.name, name)) return &property;
    return nullptr;
  }
  const Property* Find(std::wstring_view name) const { return const_cast<ClassObject*>(this)->Find(name); }

  bool SystemProperty(std::wstring_view name, Value& value, CIMTYPE& type) const {
    type = CIM_STRING;
    if (EqualsIgnoringCase(name, L"__CLASS")) {
      value = StringValue(className_);
    } else if (EqualsIgnoringCase(name, L"__GENUS")) {
      value = Int32Value(isClass_ ? WBEM_GENUS_CLASS : WBEM_GENUS_INSTANCE);
      type = CIM_SINT32;
    } else if (EqualsIgnoringCase(name, L"__RELPATH")) {
      if (isClass_)
        value = StringValue(className_);
      else if (EqualsIgnoringCase(className_, kNamespaceClass) && !InstanceName().empty())
        value = StringValue(NamespaceRelativePath(InstanceName()));
      else
        value = NullValue();
    } else if (EqualsIgnoringCase(name, L"__NAMESPACE")) {
      value = StringValue(origin_.namespacePath);
    } else if (EqualsIgnoringCase(name, L"__SERVER")) {
      value = StringValue(origin_.computer.empty() ? LocalComputerName() : origin_.computer);
    } else {
      return false;
    }
    return true;
  }

  bool isClass_;
  std::wstring className_;
  Origin origin_;
  std::vector<Property> properties_;
  std::vector<Method> methods_;
  std::wstring parametersOf_;  // the method whose parameters these are; empty for other objects
  bool inParameters_ = false;
};

ComPtr<ClassObject> MakeObject(bool isClass, const wchar_t* className, const Origin& origin) {
  ComPtr<ClassObject> object;
  object.attach(new ClassObject(isClass, className, origin));
  return object;
}

ComPtr<ClassObject> SystemSecurityClass(const Origin& origin) {
  ComPtr<ClassObject> getOut = MakeObject(true, kParametersClass, origin);
  getOut->AddProperty(L"ReturnValue", CIM_UINT32);
  getOut->AddProperty(L"SD", CIM_UINT8 | CIM_FLAG_ARRAY);
  getOut->MarkParameters(L"GetSD", false);
  ComPtr<ClassObject> setIn = MakeObject(true, kParametersClass, origin);
  setIn->AddProperty(L"SD", CIM_UINT8 | CIM_FLAG_ARRAY);
  setIn->MarkParameters(L"SetSD", true);
  ComPtr<ClassObject> setOut = MakeObject(true, kParametersClass, origin);
  setOut->AddProperty(L"ReturnValue", CIM_UINT32);
  setOut->MarkParameters(L"SetSD", false);
  ComPtr<ClassObject> systemSecurity = MakeObject(true, kSystemSecurity, origin);
  systemSecurity->AddMethod(L"GetSD", nullptr, getOut);
  systemSecurity->AddMethod(L"SetSD", setIn, setOut);
  return systemSecurity;
}

ComPtr<ClassObject> NamespaceClass(const Origin& origin) {
  ComPtr<ClassObject> namespaceClass = MakeObject(true, kNamespaceClass, origin);
  namespaceClass->AddProperty(L"Name", CIM_STRING);
  return namespaceClass;
}

ComPtr<ClassObject> NamespaceInstance(const Origin& origin, const std::wstring& name) {
  ComPtr<ClassObject> instance = NamespaceClass(origin)->Copy(false);
  instance->SetValue(L"Name", StringValue(name));
  return instance;
}

// --- proxies, call results, enumerators ------------------------------------------------------

// What CoSetProxyBlanket needs to know of the objects that stand for remote interfaces.
class ProxyIdentity {
 public:
  virtual const wchar_t* ProxyKind() const = 0;
  virtual const Origin& ProxyOrigin() const = 0;

 protected:
  ~ProxyIdentity() = default;
};

class CallResult final : public ComObject<IWbemCallResult> {
 public:
  CallResult(HRESULT status, std::optional<std::wstring> text, ComPtr<IWbemClassObject> object)
      : status_(status), text_(std::move(text)), object_(std::move(object)) {}

  HRESULT STDMETHODCALLTYPE GetResultObject(LONG, IWbemClassObject** object) override {
    if (object == nullptr) return WBEM_E_INVALID_PARAMETER;
    *object = nullptr;
    if (FAILED(status_)) return status_;
    if (!object_) return WBEM_E_INVALID_OPERATION;
    object_->AddRef();
    *object = object_.get();
    return WBEM_S_NO_ERROR;
  }
  HRESULT STDMETHODCALLTYPE GetResultString(LONG, BSTR* text) override {
    if (text == nullptr) return WBEM_E_INVALID_PARAMETER;
    *text = nullptr;
    if (FAILED(status_)) return status_;
    if (!text_) return WBEM_E_INVALID_OPERATION;
    const std::wstring& path = *text_;
    BSTR copy = SysAllocStringLen(path.c_str(), static_cast<UINT>(path.size()));
    if (copy == nullptr) return WBEM_E_OUT_OF_MEMORY;
    *text = copy;
    return WBEM_S_NO_ERROR;
  }
  HRESULT STDMETHODCALLTYPE GetResultServices(LONG, IWbemServices** services) override {
    if (services != nullptr) *services = nullptr;
    return WBEM_E_NOT_SUPPORTED;
  }
  HRESULT STDMETHODCALLTYPE GetCallStatus(LONG, LONG* status) override {
    if (status == nullptr) return WBEM_E_INVALID_PARAMETER;
    *status = status_;
    return WBEM_S_NO_ERROR;
  }

 private:
  ~CallResult() override = default;
  HRESULT status_;
  std::optional<std::wstring> text_;
  ComPtr<IWbemClassObject> object_;
};

// Hands out a call result when the caller asked for one; it carries the call's status, and the
// object path or object on success.
void GiveCallResult(IWbemCallResult** callResult, HRESULT status, std::optional<std::wstring> text = std::nullopt,
                    ComPtr<IWbemClassObject> object = nullptr) {
  if (callResult == nullptr) return;
  *callResult = new CallResult(status, std::move(text), std::move(object));
}

class Enumerator final : public ComObject<IEnumWbemClassObject>, public ProxyIdentity {
 public:
  Enumerator(Origin origin, std::vector<ComPtr<ClassObject>> objects, bool forwardOnly)
      : origin_(std::move(origin)), objects_(std::move(objects)), forwardOnly_(forwardOnly) {}

  HRESULT STDMETHODCALLTYPE Reset() override {
    if (forwardOnly_) return WBEM_E_INVALID_OPERATION;
    position_ = 0;
    return WBEM_S_NO_ERROR;
  }

  HRESULT STDMETHODCALLTYPE Next(LONG timeout, ULONG count, IWbemClassObject** objects, ULONG* returned) override {
    if (objects == nullptr || returned == nullptr || (timeout < 0 && timeout != static_cast<LONG>(WBEM_INFINITE)))
      return WBEM_E_INVALID_PARAMETER;
    *returned = 0;
    while (*returned < count && position_ < objects_.size()) {
      ClassObject* next = objects_[position_].get();
      if (auto fault = FindFault(origin_, HostCall::Next, {}, next->InstanceName()); fault && fault->status < 0)
        return fault->status;
      next->AddRef();
      objects[(*returned)++] = next;
      ++position_;
    }
    if (count == 0) return WBEM_S_NO_ERROR;
    return *returned == count ? WBEM_S_NO_ERROR : WBEM_S_FALSE;
  }

  HRESULT STDMETHODCALLTYPE Clone(IEnumWbemClassObject** copy) override {
    if (copy == nullptr) return WBEM_E_INVALID_PARAMETER;
    *copy = nullptr;
    if (forwardOnly_) return WBEM_E_INVALID_OPERATION;
    auto* clone = new Enumerator(origin_, objects_, forwardOnly_);
    clone->position_ = position_;
    *copy = clone;
    return WBEM_S_NO_ERROR;
  }

  HRESULT STDMETHODCALLTYPE Skip(LONG timeout, ULONG count) override {
    if (timeout < 0 && timeout != static_cast<LONG>(WBEM_INFINITE)) return WBEM_E_INVALID_PARAMETER;
    ULONG skipped = 0;
    while (skipped < count && position_ < objects_.size()) ++position_, ++skipped;
    return skipped == count ? WBEM_S_NO_ERROR : WBEM_S_FALSE;
  }

  HRESULT STDMETHODCALLTYPE NextAsync(ULONG, IWbemObjectSink*) override { return WBEM_E_NOT_SUPPORTED; }

  const wchar_t* ProxyKind() const override { return L"IEnumWbemClassObject"; }
  const Origin& ProxyOrigin() const override { return origin_; }

 private:
  ~Enumerator() override = default;

  Origin origin_;
  std::vector<ComPtr<ClassObject>> objects_;
  std::size_t position_ = 0;
  bool forwardOnly_;
};

// --- the context --------------------------------------------------------------------------

class Context final : public ComObject<IWbemContext> {
 public:
  HRESULT STDMETHODCALLTYPE Clone(IWbemContext** copy) override {
    if (copy == nullptr) return WBEM_E_INVALID_PARAMETER;
    auto* clone = new Context;
    clone->values_ = values_;
    *copy = clone;
    return WBEM_S_NO_ERROR;
  }

  HRESULT STDMETHODCALLTYPE GetNames(LONG, SAFEARRAY** names) override {
    if (names == nullptr) return WBEM_E_INVALID_PARAMETER;
    *names = SafeArrayCreateVector(VT_BSTR, 0, static_cast<ULONG>(values_.size()));
    if (*names == nullptr) return WBEM_E_OUT_OF_MEMORY;
    void* data = nullptr;
    SafeArrayAccessData(*names, &data);
    for (std::size_t i = 0; i < values_.size(); ++i)
      static_cast<BSTR*>(data)[i] = SysAllocString(values_[i].first.c_str());
    SafeArrayUnaccessData(*names);
    return WBEM_S_NO_ERROR;
  }

  HRESULT STDMETHODCALLTYPE BeginEnumeration(LONG) override {
    cursor_ = 0;
    enumerating_ = true;
    return WBEM_S_NO_ERROR;
  }
  HRESULT STDMETHODCALLTYPE Next(LONG, BSTR* name, VARIANT* value) override {
    if (!enumerating_) return WBEM_E_UNEXPECTED;
    if (cursor_ >= values_.size()) return WBEM_S_NO_MORE_DATA;
    const auto& [entryName, entryValue] = values_[cursor_++];
    if (name != nullptr) *name = SysAllocString(entryName.c_str());
    if (value != nullptr) {
      VariantInit(value);
      VariantCopy(value, &entryValue.get());
    }
    return WBEM_S_NO_ERROR;
  }
  HRESULT STDMETHODCALLTYPE EndEnumeration() override {
    enumerating_ = false;
    return WBEM_S_NO_ERROR;
  }

  HRESULT STDMETHODCALLTYPE SetValue(LPCWSTR name, LONG, VARIANT* value) override {
    if (name == nullptr || value == nullptr) return WBEM_E_INVALID_PARAMETER;
    for (auto& [entryName, entryValue] : values_)
      if (EqualsIgnoringCase(entryName, name)) {
        entryValue = Value(*value);
        return WBEM_S_NO_ERROR;
      }
    values_.emplace_back(name, Value(*value));
    return WBEM_S_NO_ERROR;
  }
  HRESULT STDMETHODCALLTYPE GetValue(LPCWSTR name, LONG, VARIANT* value) override {
    if (name == nullptr || value == nullptr) return WBEM_E_INVALID_PARAMETER;
    for (const auto& [entryName, entryValue] : values_)
      if (EqualsIgnoringCase(entryName, name)) {
        VariantInit(value);
        return SUCCEEDED(VariantCopy(value, &entryValue.get())) ? WBEM_S_NO_ERROR : WBEM_E_OUT_OF_MEMORY;
      }
    return WBEM_E_NOT_FOUND;
  }
  HRESULT STDMETHODCALLTYPE DeleteValue(LPCWSTR name, LONG) override {
    if (name == nullptr) return WBEM_E_INVALID_PARAMETER;
    for (auto entry = values_.begin(); entry != values_.end(); ++entry)
      if (EqualsIgnoringCase(entry->first, name)) {
        values_.erase(entry);
        return WBEM_S_NO_ERROR;
      }
    return WBEM_S_NO_ERROR;
  }
  HRESULT STDMETHODCALLTYPE DeleteAll() override {
    values_.clear();
    return WBEM_S_NO_ERROR;
  }

  std::vector<ContextValueRecord> Snapshot() const {
    std::vector<ContextValueRecord> records;
    for (const auto& [name, value] : values_) {
      ContextValueRecord record;
      record.name = name;
      record.type = value.get().vt;
      if (value.get().vt == VT_BSTR) record.text = BstrText(value.get().bstrVal);
      records.push_back(std::move(record));
    }
    return records;
  }

 private:
  ~Context() override = default;
  std::vector<std::pair<std::wstring, Value>> values_;
  std::size_t cursor_ = 0;
  bool enumerating_ = false;
};

void RecordCall(const wchar_t* call, const Origin& origin, IWbemContext* context) {
  ContextRecord record;
  record.call = call;
  record.computer = origin.computer;
  record.namespacePath = origin.namespacePath;
  record.contextGiven = context != nullptr;
  if (auto* ours = dynamic_cast<Context*>(context)) record.values = ours->Snapshot();
  RecordContext(std::move(record));
}

// --- a namespace's services ---------------------------------------------------------------

// The path of a connection: the computer (empty for the local one) and the namespace's names.
struct ConnectionPath {
  std::wstring computer;
  std::vector<std::wstring> names;
};

bool ParseNetworkResource(std::wstring_view resource, ConnectionPath& path) {
  std::wstring_view rest = resource;
  bool separator0 = rest.size() >= 2 && (rest[0] == L'\\' || rest[0] == L'/');
  bool separator1 = rest.size() >= 2 && (rest[1] == L'\\' || rest[1] == L'/');
  if (separator0 && separator1) {
    rest.remove_prefix(2);
    std::size_t end = rest.find_first_of(L"\\/");
    path.computer = std::wstring(rest.substr(0, end));
    rest = end == std::wstring_view::npos ? std::wstring_view() : rest.substr(end + 1);
  }
  return SplitNamespacePath(rest, path.names);
}

class Services final : public ComObject<IWbemServices>, public ProxyIdentity {
 public:
  explicit Services(Origin origin) : origin_(std::move(origin)) { SplitNamespacePath(origin_.namespacePath, names_); }

  const wchar_t* ProxyKind() const override { return L"IWbemServices"; }
  const Origin& ProxyOrigin() const override { return origin_; }

  HRESULT STDMETHODCALLTYPE GetObject(const BSTR objectPath, LONG, IWbemContext* context, IWbemClassObject** object,
                                      IWbemCallResult** callResult) override {
    if (object != nullptr) *object = nullptr;
    if (callResult != nullptr) *callResult = nullptr;
    RecordCall(L"GetObject", origin_, context);
    ComPtr<IWbemClassObject> found;
    HRESULT status = FindObject(objectPath, found);
    if (SUCCEEDED(status) && object != nullptr) {
      found->AddRef();
      *object = found.get();
    }
    GiveCallResult(callResult, status, std::nullopt, found);
    return status;
  }

  HRESULT STDMETHODCALLTYPE ExecQuery(const BSTR language, const BSTR query, LONG flags, IWbemContext* context,
                                      IEnumWbemClassObject** enumerator) override {
    if (enumerator == nullptr) return WBEM_E_INVALID_PARAMETER;
    *enumerator = nullptr;
    RecordCall(L"ExecQuery", origin_, context);
    if (language == nullptr || query == nullptr) return WBEM_E_INVALID_PARAMETER;
    CurrentNamespace current;
    HRESULT status = Read(current);
    if (FAILED(status)) return status;
    const Origin& fresh = current.origin;
    const NamespaceNode& node = *current.node;
    if (auto fault = FindFault(fresh, HostCall::ExecQuery); fault && fault->status < 0) return fault->status;
    if (!EqualsIgnoringCase(BstrText(language), L"WQL")) return WBEM_E_INVALID_QUERY_TYPE;
    if (!IsNamespaceQuery(BstrText(query))) return WBEM_E_INVALID_QUERY;
    std::vector<ComPtr<ClassObject>> children;
    for (const NamespaceNode& child : node.children) children.push_back(NamespaceInstance(fresh, child.name));
    *enumerator = new Enumerator(fresh, std::move(children), (flags & WBEM_FLAG_FORWARD_ONLY) != 0);
    return WBEM_S_NO_ERROR;
  }

  HRESULT STDMETHODCALLTYPE ExecMethod(const BSTR objectPath, const BSTR methodName, LONG, IWbemContext* context,
                                       IWbemClassObject* inParameters, IWbemClassObject** outParameters,
                                       IWbemCallResult** callResult) override {
    if (outParameters != nullptr) *outParameters = nullptr;
    if (callResult != nullptr) *callResult = nullptr;
    RecordCall(L"ExecMethod", origin_, context);
    ComPtr<IWbemClassObject> out;
    HRESULT status = RunMethod(objectPath, methodName, inParameters, out);
    if (SUCCEEDED(status) && outParameters != nullptr && out) {
      out->AddRef();
      *outParameters = out.get();
    }
    GiveCallResult(callResult, status, std::nullopt, out);
    return status;
  }

  HRESULT STDMETHODCALLTYPE PutInstance(IWbemClassObject* instance, LONG flags, IWbemContext* context,
                                        IWbemCallResult** callResult) override {
    if (callResult != nullptr) *callResult = nullptr;
    RecordCall(L"PutInstance", origin_, context);
    std::wstring path;
    HRESULT status = StoreInstance(instance, flags, path);
    GiveCallResult(callResult, status, SUCCEEDED(status) ? std::optional<std::wstring>(path) : std::nullopt);
    return status;
  }

  HRESULT STDMETHODCALLTYPE DeleteInstance(const BSTR objectPath, LONG, IWbemContext* context,
                                           IWbemCallResult** callResult) override {
    if (callResult != nullptr) *callResult = nullptr;
    RecordCall(L"DeleteInstance", origin_, context);
    HRESULT status = RemoveInstance(objectPath);
    GiveCallResult(callResult, status);
    return status;
  }

  // Not offered by the stand-in.
  HRESULT STDMETHODCALLTYPE OpenNamespace(const BSTR, LONG, IWbemContext*, IWbemServices** services,
                                          IWbemCallResult** result) override {
    if (services != nullptr) *services = nullptr;
    if (result != nullptr) *result = nullptr;
    return WBEM_E_NOT_SUPPORTED;
  }
  HRESULT STDMETHODCALLTYPE CancelAsyncCall(IWbemObjectSink*) override { return WBEM_E_NOT_SUPPORTED; }
  HRESULT STDMETHODCALLTYPE QueryObjectSink(LONG, IWbemObjectSink**) override { return WBEM_E_NOT_SUPPORTED; }
  HRESULT STDMETHODCALLTYPE GetObjectAsync(const BSTR, LONG, IWbemContext*, IWbemObjectSink*) override {
    return WBEM_E_NOT_SUPPORTED;
  }
  HRESULT STDMETHODCALLTYPE PutClass(IWbemClassObject*, LONG, IWbemContext*, IWbemCallResult**) override {
    return WBEM_E_NOT_SUPPORTED;
  }
  HRESULT STDMETHODCALLTYPE PutClassAsync(IWbemClassObject*, LONG, IWbemContext*, IWbemObjectSink*) override {
    return WBEM_E_NOT_SUPPORTED;
  }
  HRESULT STDMETHODCALLTYPE DeleteClass(const BSTR, LONG, IWbemContext*, IWbemCallResult**) override {
    return WBEM_E_NOT_SUPPORTED;
  }
  HRESULT STDMETHODCALLTYPE DeleteClassAsync(const BSTR, LONG, IWbemContext*, IWbemObjectSink*) override {
    return WBEM_E_NOT_SUPPORTED;
  }
  HRESULT STDMETHODCALLTYPE CreateClassEnum(const BSTR, LONG, IWbemContext*, IEnumWbemClassObject**) override {
    return WBEM_E_NOT_SUPPORTED;
  }
  HRESULT STDMETHODCALLTYPE CreateClassEnumAsync(const BSTR, LONG, IWbemContext*, IWbemObjectSink*) override {
    return WBEM_E_NOT_SUPPORTED;
  }
  HRESULT STDMETHODCALLTYPE PutInstanceAsync(IWbemClassObject*, LONG, IWbemContext*, IWbemObjectSink*) override {
    return WBEM_E_NOT_SUPPORTED;
  }
  HRESULT STDMETHODCALLTYPE DeleteInstanceAsync(const BSTR, LONG, IWbemContext*, IWbemObjectSink*) override {
    return WBEM_E_NOT_SUPPORTED;
  }
  HRESULT STDMETHODCALLTYPE CreateInstanceEnum(const BSTR, LONG, IWbemContext*, IEnumWbemClassObject**) override {
    return WBEM_E_NOT_SUPPORTED;
  }
  HRESULT STDMETHODCALLTYPE CreateInstanceEnumAsync(const BSTR, LONG, IWbemContext*, IWbemObjectSink*) override {
    return WBEM_E_NOT_SUPPORTED;
  }
  HRESULT STDMETHODCALLTYPE ExecQueryAsync(const BSTR, const BSTR, LONG, IWbemContext*, IWbemObjectSink*) override {
    return WBEM_E_NOT_SUPPORTED;
  }
  HRESULT STDMETHODCALLTYPE ExecNotificationQuery(const BSTR, const BSTR, LONG, IWbemContext*,
                                                  IEnumWbemClassObject**) override {
    return WBEM_E_NOT_SUPPORTED;
  }
  HRESULT STDMETHODCALLTYPE ExecNotificationQueryAsync(const BSTR, const BSTR, LONG, IWbemContext*,
                                                       IWbemObjectSink*) override {
    return WBEM_E_NOT_SUPPORTED;
  }
  HRESULT STDMETHODCALLTYPE ExecMethodAsync(const BSTR, const BSTR, LONG, IWbemContext*, IWbemClassObject*,
                                            IWbemObjectSink*) override {
    return WBEM_E_NOT_SUPPORTED;
  }

 private:
  ~Services() override = default;

  // The host's current state of this namespace: the version of the file it was found in (which
  // keeps the node alive), the node, and an origin carrying that version's faults. A namespace
  // deleted since the connection is gone for its services too.
  struct CurrentNamespace {
    std::shared_ptr<const HostSnapshot> snapshot;
    const ComputerState* computer = nullptr;
    const NamespaceNode* node = nullptr;
    Origin origin;
  };
  HRESULT Read(CurrentNamespace& current) const {
    current.snapshot = ReadHostSnapshot();
    if (!current.snapshot) return kHostUnreadable;
    current.computer = current.snapshot->FindComputer(origin_.computer);
    const FoundNamespace* found =
        current.computer == nullptr ? nullptr : current.snapshot->FindNamespace(*current.computer, names_);
    if (found == nullptr) return WBEM_E_INVALID_NAMESPACE;
    current.node = found->node;
    current.origin = origin_;
    current.origin.fileFaults = FileFaultsOf(current.snapshot);
    return WBEM_S_NO_ERROR;
  }

  // Finds this namespace (and its parent) in a state read under the host's lock.
  NamespaceNode* Locate(HostState& state, NamespaceNode** parent) const {
    ComputerState* computer = FindComputer(state, origin_.computer);
    if (computer == nullptr) return nullptr;
    if (parent != nullptr) {
      std::vector<std::wstring> parentNames(names_.begin(), names_.end() - 1);
      *parent = parentNames.empty() ? nullptr : FindNamespace(*computer, parentNames);
    }
    return FindNamespace(*computer, names_);
  }

  static bool IsNamespaceQuery(const std::wstring& query) {
    // WQL keywords and class names are case-insensitive, and words may be spaced freely.
    std::vector<std::wstring> words;
    std::wstring word;
    for (wchar_t c : query) {
      if (std::iswspace(static_cast<wint_t>(c))) {
        if (!word.empty()) words.push_back(std::move(word)), word.clear();
      } else if (c == L'*') {
        if (!word.empty()) words.push_back(std::move(word)), word.clear();
        words.emplace_back(L"*");
      } else {
        word += c;
      }
    }
    if (!word.empty()) words.push_back(std::move(word));
    return words.size() == 4 && EqualsIgnoringCase(words[0], L"SELECT") && words[1] == L"*" &&
           EqualsIgnoringCase(words[2], L"FROM") && EqualsIgnoringCase(words[3], kNamespaceClass);
  }

  HRESULT FindObject(const BSTR objectPath, ComPtr<IWbemClassObject>& found) const {
    CurrentNamespace current;
    HRESULT status = Read(current);
    if (FAILED(status)) return status;
    const Origin& fresh = current.origin;
    if (auto fault = FindFault(fresh, HostCall::GetObject); fault && fault->status < 0) return fault->status;
    // A null path asks for an empty class to define a new one, which the stand-in does not offer.
    if (objectPath == nullptr || SysStringLen(objectPath) == 0) return WBEM_E_NOT_SUPPORTED;
    ObjectPath path;
    if (!ParseObjectPath(BstrText(objectPath), path)) return WBEM_E_INVALID_OBJECT_PATH;
    if (EqualsIgnoringCase(path.className, kSystemSecurity)) {
      if (path.keyed) return WBEM_E_INVALID_OBJECT_PATH;
      found.attach(SystemSecurityClass(fresh).detach());
      return WBEM_S_NO_ERROR;
    }
    if (!EqualsIgnoringCase(path.className, kNamespaceClass)) return WBEM_E_NOT_FOUND;
    if (path.singleton) return WBEM_E_INVALID_OBJECT_PATH;
    if (!path.keyed) {
      found.attach(NamespaceClass(fresh).detach());
      return WBEM_S_NO_ERROR;
    }
    if (!path.keyName.empty() && !EqualsIgnoringCase(path.keyName, L"Name")) return WBEM_E_INVALID_OBJECT_PATH;
    std::vector<std::wstring> childNames = names_;
    childNames.push_back(path.keyValue);
    const FoundNamespace* child = current.snapshot->FindNamespace(*current.computer, childNames);
    if (child == nullptr) return WBEM_E_NOT_FOUND;
    found.attach(NamespaceInstance(fresh, child->node->name).detach());
    return WBEM_S_NO_ERROR;
  }

  HRESULT RunMethod(const BSTR objectPath, const BSTR methodName, IWbemClassObject* inParameters,
                    ComPtr<IWbemClassObject>& out) const {
    if (objectPath == nullptr || methodName == nullptr) return WBEM_E_INVALID_PARAMETER;
    CurrentNamespace current;
    HRESULT status = Read(current);
    if (FAILED(status)) return status;
    const Origin& fresh = current.origin;
    const NamespaceNode& node = *current.node;
    std::wstring method = BstrText(methodName);
    auto fault = FindFault(fresh, HostCall::ExecMethod, method);
    if (fault && fault->status < 0) return fault->status;

    ObjectPath path;
    if (!ParseObjectPath(BstrText(objectPath), path)) return WBEM_E_INVALID_OBJECT_PATH;
    if (EqualsIgnoringCase(path.className, kNamespaceClass)) return WBEM_E_INVALID_METHOD;
    if (!EqualsIgnoringCase(path.className, kSystemSecurity)) return WBEM_E_NOT_FOUND;
    if (path.keyed) return WBEM_E_INVALID_OBJECT_PATH;

    bool getSD = EqualsIgnoringCase(method, L"GetSD");
    if (!getSD && !EqualsIgnoringCase(method, L"SetSD")) {
      // The class's other methods (the older descriptor forms, the caller's rights) are not kept.
      for (const wchar_t* known : {L"GetSecurityDescriptor", L"SetSecurityDescriptor", L"GetCallerAccessRights",
                                   L"Get9XUserList", L"Set9XUserList"})
        if (EqualsIgnoringCase(method, known)) return WBEM_E_NOT_SUPPORTED;
      return WBEM_E_INVALID_METHOD;
    }
    ComPtr<ClassObject> parameters = MakeObject(false, kParametersClass, fresh);
    parameters->MarkParameters(getSD ? L"GetSD" : L"SetSD", false);
    parameters->AddProperty(L"ReturnValue", CIM_UINT32);
    if (getSD) parameters->AddProperty(L"SD", CIM_UINT8 | CIM_FLAG_ARRAY);
    ComPtr<IWbemClassObject> result(static_cast<IWbemClassObject*>(parameters.get()));
    LONG returnValue = fault ? fault->returnValue : 0;

    if (getSD) {
      std::vector<BYTE> bytes = portable::WriteSelfRelative(node.descriptor);
      parameters->SetValue(L"ReturnValue", Int32Value(returnValue));
      SdShape shape = fault ? fault->sdShape : SdShape::ByteArray;
      // A refusal gives no descriptor, and neither does the null shape.
      if (returnValue != 0 || shape == SdShape::Null) {
        parameters->SetValue(L"SD", NullValue());
      } else if (shape == SdShape::ByteArray) {
        parameters->SetValue(L"SD", ByteArrayValue(bytes));
      } else if (shape == SdShape::String) {
        parameters->SetValue(L"SD", StringValue(portable::FormatSddl(node.descriptor, 0xF)));
      } else if (shape == SdShape::Int32Array) {
        parameters->SetValue(L"SD", Int32ArrayValue(bytes));
      } else if (shape == SdShape::InvalidBytes) {
        // As long as the real descriptor, so that a reader given only a pointer stays inside the
        // array; the revision byte alone makes it no descriptor.
        bytes.front() = 0;
        parameters->SetValue(L"SD", ByteArrayValue(bytes));
      }
      out = std::move(result);
      return WBEM_S_NO_ERROR;
    }

    // SetSD
    if (inParameters == nullptr) return WBEM_E_INVALID_METHOD_PARAMETERS;
    if (returnValue != 0) {
      parameters->SetValue(L"ReturnValue", Int32Value(returnValue));
      out = std::move(result);
      return WBEM_S_NO_ERROR;
    }
    // The service reads the parameters itself: no fault of the caller's objects applies here.
    auto* written = dynamic_cast<ClassObject*>(inParameters);
    if (written == nullptr) return WBEM_E_INVALID_METHOD_PARAMETERS;
    const VARIANT* sd = written->ValueOf(L"SD");
    std::vector<BYTE> bytes;
    bool byteArray = sd != nullptr && sd->vt == (VT_ARRAY | VT_UI1) && sd->parray != nullptr;
    if (byteArray) {
      void* data = nullptr;
      SafeArrayAccessData(sd->parray, &data);
      const auto* first = static_cast<const BYTE*>(data);
      bytes.assign(first, first + sd->parray->rgsabound[0].cElements);
      SafeArrayUnaccessData(sd->parray);
    }
    if (!byteArray) {
      parameters->SetValue(L"ReturnValue", Int32Value(WBEM_E_INVALID_PARAMETER));
      out = std::move(result);
      return WBEM_S_NO_ERROR;
    }
    HRESULT verdict = S_OK;
    status = ChangeHostState([&](HostState& state, bool& changed) -> HRESULT {
      NamespaceNode* parent = nullptr;
      NamespaceNode* target = Locate(state, &parent);
      if (target == nullptr) return WBEM_E_INVALID_NAMESPACE;
      SecurityDescriptor descriptor;
      verdict = CheckNamespaceDescriptor(bytes.data(), bytes.size(), descriptor);
      if (FAILED(verdict)) return WBEM_S_NO_ERROR;
      StoreNamespaceDescriptor(*target, parent, descriptor);
      changed = true;
      return WBEM_S_NO_ERROR;
    });
    if (FAILED(status)) return status;
    parameters->SetValue(L"ReturnValue", Int32Value(verdict));
    out = std::move(result);
    return WBEM_S_NO_ERROR;
  }

  HRESULT StoreInstance(IWbemClassObject* instance, LONG flags, std::wstring& path) const {
    if (instance == nullptr) return WBEM_E_INVALID_PARAMETER;
    CurrentNamespace current;
    HRESULT status = Read(current);
    if (FAILED(status)) return status;
    const Origin& fresh = current.origin;
    if (auto fault = FindFault(fresh, HostCall::PutInstance); fault && fault->status < 0) return fault->status;
    auto* object = dynamic_cast<ClassObject*>(instance);
    if (object == nullptr) return WBEM_E_INVALID_OBJECT;
    if (object->IsClass()) return WBEM_E_INVALID_OPERATION;
    // Only namespaces are kept as instances by the stand-in.
    if (!EqualsIgnoringCase(object->ClassName(), kNamespaceClass)) return WBEM_E_NOT_SUPPORTED;
    std::wstring name = object->InstanceName();
    if (name.empty()) return WBEM_E_ILLEGAL_NULL;
    if (name.find_first_of(L"\\/") != std::wstring::npos) return WBEM_E_INVALID_PARAMETER;
    status = ChangeHostState([&](HostState& state, bool& changed) -> HRESULT {
      NamespaceNode* parent = Locate(state, nullptr);
      if (parent == nullptr) return WBEM_E_INVALID_NAMESPACE;
      for (const NamespaceNode& child : parent->children)
        if (EqualsIgnoringCase(child.name, name)) {
          // Nothing of a namespace but its name can be written, so an update changes nothing.
          if ((flags & WBEM_FLAG_CREATE_ONLY) != 0) return WBEM_E_ALREADY_EXISTS;
          name = child.name;
          return WBEM_S_NO_ERROR;
        }
      if ((flags & WBEM_FLAG_UPDATE_ONLY) != 0) return WBEM_E_NOT_FOUND;
      parent->children.push_back(MakeChildNamespace(*parent, name));
      changed = true;
      return WBEM_S_NO_ERROR;
    });
    if (SUCCEEDED(status)) path = NamespaceRelativePath(name);
    return status;
  }

  HRESULT RemoveInstance(const BSTR objectPath) const {
    CurrentNamespace current;
    HRESULT status = Read(current);
    if (FAILED(status)) return status;
    const Origin& fresh = current.origin;
    if (auto fault = FindFault(fresh, HostCall::DeleteInstance); fault && fault->status < 0) return fault->status;
    if (objectPath == nullptr) return WBEM_E_INVALID_PARAMETER;
    ObjectPath path;
    if (!ParseObjectPath(BstrText(objectPath), path)) return WBEM_E_INVALID_OBJECT_PATH;
    if (EqualsIgnoringCase(path.className, kSystemSecurity)) return WBEM_E_NOT_SUPPORTED;
    if (!EqualsIgnoringCase(path.className, kNamespaceClass)) return WBEM_E_INVALID_CLASS;
    if (!path.keyed || (!path.keyName.empty() && !EqualsIgnoringCase(path.keyName, L"Name")))
      return WBEM_E_INVALID_OBJECT_PATH;
    return ChangeHostState([&](HostState& state, bool& changed) -> HRESULT {
      NamespaceNode* parent = Locate(state, nullptr);
      if (parent == nullptr) return WBEM_E_INVALID_NAMESPACE;
      for (auto child = parent->children.begin(); child != parent->children.end(); ++child)
        if (EqualsIgnoringCase(child->name, path.keyValue)) {
          parent->children.erase(child);  // with everything below it
          changed = true;
          return WBEM_S_NO_ERROR;
        }
      return WBEM_E_NOT_FOUND;
    });
  }

  Origin origin_;
  std::vector<std::wstring> names_;
};

// --- the locator --------------------------------------------------------------------------

class Locator final : public ComObject<IWbemLocator> {
 public:
  HRESULT STDMETHODCALLTYPE ConnectServer(const BSTR resource, const BSTR user, const BSTR password, const BSTR locale,
                                          LONG securityFlags, const BSTR authority, IWbemContext* context,
                                          IWbemServices** services) override {
    ConnectRecord record;
    record.resource = BstrText(resource);
    record.resourceGiven = resource != nullptr;
    record.userGiven = user != nullptr;
    record.passwordGiven = password != nullptr;
    record.localeGiven = locale != nullptr;
    record.securityFlags = securityFlags;
    record.authorityGiven = authority != nullptr;
    record.contextGiven = context != nullptr;
    Origin origin;
    record.result = Connect(resource, user, services, origin);
    RecordConnect(record);
    RecordCall(L"ConnectServer", origin, context);
    return record.result;
  }

 private:
  ~Locator() override = default;

  static HRESULT Connect(const BSTR resource, const BSTR user, IWbemServices** services, Origin& origin) {
    if (services == nullptr) return WBEM_E_INVALID_PARAMETER;
    *services = nullptr;
    if (resource == nullptr) return WBEM_E_INVALID_PARAMETER;
    ConnectionPath path;
    bool wellFormed = ParseNetworkResource(BstrText(resource), path);
    std::shared_ptr<const HostSnapshot> snapshot = ReadHostSnapshot();
    if (!snapshot) return kHostUnreadable;
    const ComputerState* computer = snapshot->FindComputer(path.computer);
    if (computer == nullptr) return kServerUnavailable;
    // The service refuses a user name on a connection to the computer it runs on.
    if (computer == &snapshot->State().local && user != nullptr && SysStringLen(user) != 0)
      return WBEM_E_LOCAL_CREDENTIALS;
    const FoundNamespace* found = wellFormed ? snapshot->FindNamespace(*computer, path.names) : nullptr;
    if (found == nullptr) return WBEM_E_INVALID_NAMESPACE;
    // The stored spelling of each name, whatever the caller's case.
    origin.computer = computer->name;
    origin.namespacePath = found->storedPath;
    origin.fileFaults = FileFaultsOf(snapshot);
    if (auto fault = FindFault(origin, HostCall::ConnectServer); fault && fault->status < 0) return fault->status;
    *services = new Services(origin);
    return WBEM_S_NO_ERROR;
  }
};

}  // namespace

}  // namespace tessarwick::wmihost

using tessarwick::wmihost::CreationTarget;

HRESULT CoCreateInstance(REFCLSID clsid, IUnknown* outer, DWORD context, REFIID iid, void** object) {
  if (object == nullptr) return E_POINTER;
  *object = nullptr;
  if (!tessarwick::portable::ComInitialized()) return CO_E_NOTINITIALIZED;
  bool locator = clsid == CLSID_WbemLocator;
  if (!locator && clsid != CLSID_WbemContext) return REGDB_E_CLASSNOTREG;
  if ((context & CLSCTX_INPROC_SERVER) == 0) return REGDB_E_CLASSNOTREG;
  if (outer != nullptr) return tessarwick::wmihost::kClassNoAggregation;
  // A host file that cannot be read is reported by the connection, not here.
  std::shared_ptr<const tessarwick::wmihost::HostSnapshot> snapshot = tessarwick::wmihost::ReadHostSnapshot(false);
  const std::vector<tessarwick::wmihost::CreationFailure> none;
  if (auto failure =
          tessarwick::wmihost::CreationFailureFor(locator ? CreationTarget::Locator : CreationTarget::Context,
                                                  snapshot ? snapshot->State().creationFailures : none))
    return *failure;
  IUnknown* created = locator ? static_cast<IUnknown*>(new tessarwick::wmihost::Locator)
                              : static_cast<IUnknown*>(new tessarwick::wmihost::Context);
  HRESULT result = created->QueryInterface(iid, object);
  created->Release();
  return result;
}

HRESULT CoSetProxyBlanket(IUnknown* proxy, DWORD authnService, DWORD authzService, OLECHAR* serverPrincipalName,
                          DWORD authnLevel, DWORD impLevel, RPC_AUTH_IDENTITY_HANDLE authInfo, DWORD capabilities) {
  if (proxy == nullptr) return E_INVALIDARG;
  // Only the objects that stand for the service's remote interfaces are proxies.
  auto* identity = dynamic_cast<tessarwick::wmihost::ProxyIdentity*>(proxy);
  if (identity == nullptr) return E_NOINTERFACE;
  tessarwick::wmihost::ProxyBlanketRecord record;
  record.proxy = identity->ProxyKind();
  record.computer = identity->ProxyOrigin().computer;
  record.namespacePath = identity->ProxyOrigin().namespacePath;
  record.authnService = authnService;
  record.authzService = authzService;
  record.serverPrincipalName = serverPrincipalName != nullptr;
  record.authnLevel = authnLevel;
  record.impLevel = impLevel;
  record.authInfo = authInfo != nullptr;
  record.capabilities = capabilities;
  tessarwick::wmihost::RecordProxyBlanket(std::move(record));
  if (auto fault =
          tessarwick::wmihost::FindFault(identity->ProxyOrigin(), tessarwick::wmihost::HostCall::CoSetProxyBlanket);
      fault && fault->status < 0)
    return fault->status;
  return S_OK;
}
