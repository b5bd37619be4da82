#include "utils/network.h"

#include <windows.h>
#include <netlistmgr.h>

#include "app/log.h"
#include "utils/handle.h"

namespace Utils {
namespace {
const CLSID kClsidNetworkListManager = {0xdcb00c01, 0x570f, 0x4a9b, {0x8d, 0x69, 0x19, 0x9f, 0xdb, 0xa5, 0x72, 0x3b}};
const IID kIidNetworkListManager = {0xdcb00000, 0x570f, 0x4a9b, {0x8d, 0x69, 0x19, 0x9f, 0xdb, 0xa5, 0x72, 0x3b}};
struct ManagerTraits {
  static INetworkListManager* Invalid() { return nullptr; }
  static void Close(INetworkListManager* p) { p->Release(); }
};
}  // namespace

uint32_t CheckNetworkWith(INetworkListManager* manager) {
  if (!manager) return 0;
  NLM_CONNECTIVITY flags = NLM_CONNECTIVITY_DISCONNECTED;
  const HRESULT hr = manager->GetConnectivity(&flags);
  if (FAILED(hr)) {
    WriteLog(L"GetConnectivity failed:0x%08lx\r\n", static_cast<unsigned long>(hr));
    flags = NLM_CONNECTIVITY_DISCONNECTED;
  }
  const uint32_t bits = static_cast<uint32_t>(flags) & 0xFFFFu;
  uint32_t reason = 0;
  if (bits == 0) {
    WriteLog(L"GetConnectivity %d\r\n", static_cast<int>(bits));
    reason = kNetworkNoConnectivity;
  } else {
    VARIANT_BOOL connected = VARIANT_FALSE;
    const HRESULT hi = manager->IsConnectedToInternet(&connected);
    if (FAILED(hi)) WriteLog(L"get_IsConnectedToInternet failed:0x%08lx\r\n", static_cast<unsigned long>(hi));
    if (connected == VARIANT_FALSE) {
      WriteLog(L"get_IsConnectedToInternet:%d\r\n", static_cast<int>(connected));
      reason = kNetworkNoInternet;
    }
  }
  return bits | (reason << kNetworkReasonShift);
}

uint32_t CheckNetwork() {
  uint32_t result = 0;
  {
    UniqueResource<ManagerTraits> manager;
    const HRESULT hr = CoCreateInstance(kClsidNetworkListManager, nullptr, CLSCTX_ALL, kIidNetworkListManager,
                                        reinterpret_cast<void**>(manager.Receive()));
    if (FAILED(hr)) {
      WriteLog(L"CoCreateInstance(NetworkListManager) failed:0x%08lx\r\n", static_cast<unsigned long>(hr));
      manager.Release();  // nothing was handed out
    }
    result = CheckNetworkWith(manager.Get());
  }
  CoFreeUnusedLibraries();
  return result;
}

}  // namespace Utils
