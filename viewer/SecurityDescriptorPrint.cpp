#include "viewer/SecurityDescriptorPrint.h"

#include "platform/ComPtr.h"
#include "platform/Output.h"
#include "wmi/SystemSecurity.h"

namespace tessarwick {

void PrintSecurityDescriptor(CWMIQuery& query, const WideString& objectPath) {
  // Borrowed from the query: not released here.
  IWbemServices* services = query.GetServices();
  if (services == nullptr) return;

  ComPtr<IWbemClassObject> classObject;
  const WideString text = ReadSecurityDescriptorText(services, objectPath, classObject);
  if (!text.IsAbsent()) WidePrintf(L"%s \n\n", text.Text());
}

}  // namespace tessarwick
