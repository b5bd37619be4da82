#include "download/transfer_options.h"

#include <mutex>

#include "utils/text.h"

namespace Download {
namespace {
std::mutex g_caMutex;
std::string g_caBundle;  // guarded by g_caMutex
}  // namespace

void SetCaBundleForTests(const std::string& pemPath) {
  std::lock_guard<std::mutex> lock(g_caMutex);
  g_caBundle = pemPath;
}

CURLcode ApplyTlsVerification(CURL* handle) {
  std::string bundle;
  {
    std::lock_guard<std::mutex> lock(g_caMutex);
    bundle = g_caBundle;
  }
  int r = curl_easy_setopt(handle, CURLOPT_SSL_VERIFYPEER, 1L);
  r |= curl_easy_setopt(handle, CURLOPT_SSL_VERIFYHOST, 2L);
  if (!bundle.empty()) {
    r |= curl_easy_setopt(handle, CURLOPT_CAINFO, bundle.c_str());
    // A throw-away test CA publishes no revocation list; the check would
    // fail for every certificate it signs.
    r |= curl_easy_setopt(handle, CURLOPT_SSL_OPTIONS, static_cast<long>(CURLSSLOPT_NO_REVOKE));
  }
  return static_cast<CURLcode>(r);
}

std::string UrlBytes(const std::wstring& url) {
  const bool isFile = url.compare(0, 8, L"file:///") == 0;
  return Utils::ToNarrow(url, isFile ? Utils::kActiveCodePage : Utils::kUtf8CodePage);
}

size_t DiscardBody(char*, size_t size, size_t count, void*) { return size * count; }

int SetBodilessRequest(CURL* handle, const std::string& urlBytes) {
  int r = curl_easy_setopt(handle, CURLOPT_URL, urlBytes.c_str());
  r |= curl_easy_setopt(handle, CURLOPT_NOBODY, 1L);
  r |= curl_easy_setopt(handle, CURLOPT_WRITEFUNCTION, &DiscardBody);
  r |= curl_easy_setopt(handle, CURLOPT_CONNECTTIMEOUT, 60L);
  r |= ApplyTlsVerification(handle);
  return r;
}

}  // namespace Download
