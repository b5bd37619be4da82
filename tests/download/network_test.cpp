// The internet connectivity check: for real against Wine's network list
// manager, and each of its answers through a manager the test controls.
#include <gtest/gtest.h>

#include <windows.h>
#include <netlistmgr.h>

#include "utils/network.h"

namespace {

// Answers GetConnectivity and IsConnectedToInternet as told; counts calls.
class FakeManager : public INetworkListManager {
 public:
  NLM_CONNECTIVITY connectivity = NLM_CONNECTIVITY_DISCONNECTED;
  HRESULT connectivityResult = S_OK;
  VARIANT_BOOL internet = VARIANT_FALSE;
  int internetAsked = 0;

  STDMETHODIMP QueryInterface(REFIID, void** p) override {
    *p = nullptr;
    return E_NOINTERFACE;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return 1; }
  STDMETHODIMP_(ULONG) Release() override { return 1; }
  STDMETHODIMP GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
  STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
  STDMETHODIMP Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
    return E_NOTIMPL;
  }
  STDMETHODIMP GetNetworks(NLM_ENUM_NETWORK, IEnumNetworks**) override { return E_NOTIMPL; }
  STDMETHODIMP GetNetwork(GUID, INetwork**) override { return E_NOTIMPL; }
  STDMETHODIMP GetNetworkConnections(IEnumNetworkConnections**) override { return E_NOTIMPL; }
  STDMETHODIMP GetNetworkConnection(GUID, INetworkConnection**) override { return E_NOTIMPL; }
  STDMETHODIMP IsConnectedToInternet(VARIANT_BOOL* connected) override {
    ++internetAsked;
    *connected = internet;
    return S_OK;
  }
  STDMETHODIMP IsConnected(VARIANT_BOOL*) override { return E_NOTIMPL; }
  STDMETHODIMP GetConnectivity(NLM_CONNECTIVITY* c) override {
    *c = connectivity;
    return connectivityResult;
  }
};

}  // namespace

TEST(CheckNetwork, EveryAnswerOfTheManager) {
  const auto v4Internet = static_cast<NLM_CONNECTIVITY>(NLM_CONNECTIVITY_IPV4_INTERNET | NLM_CONNECTIVITY_IPV4_SUBNET);
  const auto local = static_cast<NLM_CONNECTIVITY>(NLM_CONNECTIVITY_IPV4_LOCALNETWORK | NLM_CONNECTIVITY_IPV6_NOTRAFFIC);
  struct Case {
    const char* name;
    NLM_CONNECTIVITY flags;
    HRESULT flagsResult;
    VARIANT_BOOL internet;
    uint32_t expected;
    int internetAsked;
  } cases[] = {
      {"connected", v4Internet, S_OK, VARIANT_TRUE, 0x50u, 1},
      {"no adapter up", NLM_CONNECTIVITY_DISCONNECTED, S_OK, VARIANT_TRUE, 0x10000u, 0},
      {"local network only", local, S_OK, VARIANT_FALSE, 0x20000u | 0x22u, 1},
      {"connectivity query fails", v4Internet, E_FAIL, VARIANT_TRUE, 0x10000u, 0},
  };
  for (const auto& c : cases) {
    FakeManager manager;
    manager.connectivity = c.flags;
    manager.connectivityResult = c.flagsResult;
    manager.internet = c.internet;
    EXPECT_EQ(c.expected, Utils::CheckNetworkWith(&manager)) << c.name;
    EXPECT_EQ(c.internetAsked, manager.internetAsked) << c.name;
  }
  // No manager on the system: the check passes.
  EXPECT_EQ(0u, Utils::CheckNetworkWith(nullptr));
}

TEST(CheckNetwork, AsksTheSystemForReal) {
  ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
  const uint32_t result = Utils::CheckNetwork();
  CoUninitialize();
  const uint32_t reason = result >> 16;
  const uint32_t flags = result & 0xFFFFu;
  EXPECT_LE(reason, 2u);
  if (reason == 1) {
    EXPECT_EQ(0u, flags);
  }
  if (reason == 2) {
    EXPECT_NE(0u, flags);
  }
  // The same question asked the same system gives the same answer.
  ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
  EXPECT_EQ(result, Utils::CheckNetwork());
  CoUninitialize();
  std::printf("CheckNetwork under this system: 0x%08x\n", static_cast<unsigned>(result));
}
