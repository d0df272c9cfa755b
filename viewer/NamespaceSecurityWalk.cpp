#include <memory>

#include "common/NamespacePath.h"
#include "common/NamespaceTarget.h"
#include "common/StringList.h"
#include "platform/Output.h"
#include "platform/UniqueAny.h"
#include "viewer/SecurityDescriptorPrint.h"
#include "wmi/ErrorText.h"
#include "wmi/WMIQuery.h"

namespace tessarwick {

void CNamespaceTarget::ShowNamespaceSecurity(WideString computer) {
  if (!computer.IsAbsent() && !computer.IsEmpty()) Namespace = BuildNamespacePath(computer, Namespace);
  WalkNamespaceSecurity(Namespace);
}

void CNamespaceTarget::WalkNamespaceSecurity(WideString path) {
  StringList children;
  {
    // One connection at a time: this namespace's query is gone before the first child connects,
    // so a deep tree never holds more than one connection to the service.
    std::unique_ptr<CWMIQuery> query(new CWMIQuery);
    if (!query->InitContext()) return;
    // The query borrows the path's text; the path outlives it.
    if (FAILED(query->Connect(path.Bstr(), nullptr, nullptr))) return;

    WidePrintf(L"Permissions on %S \n", path.Ansi());
    PrintSecurityDescriptor(*query, WideString(L"__SystemSecurity"));
    if (!IncludeSubNamespaces) return;

    UniqueBstr queryText(SysAllocString(L"SELECT * FROM __NAMESPACE"));
    if (SUCCEEDED(query->Query(queryText.get(), WBEM_FLAG_FORWARD_ONLY)) && SUCCEEDED(query->MoveFirst())) {
      UniqueVariant name;
      do {
        if (SUCCEEDED(query->GetProperty(L"Name", name.get()))) {
          // Every __NAMESPACE instance names itself with a string; anything else cannot make a
          // path and is reported like a name that could not be read.
          if (name->vt == VT_BSTR && name->bstrVal != nullptr)
            children.Append(path + L"\\" + name->bstrVal);
          else
            WidePrintf(L"GetProperty: Failed, property:%s error:%S\n", L"Name", WbemErrorText(WBEM_E_TYPE_MISMATCH));
        }
        name.reset();
      } while (SUCCEEDED(query->MoveNext()));
    }
  }
  for (std::size_t index = 0; index < children.Count(); ++index) WalkNamespaceSecurity(children.At(index));
}

}  // namespace tessarwick
