// Both libcurl downloaders verify the server's certificate and host name.
// Wine's default store accepts any self-signed certificate, so the tests give
// the transfers the test CA as their only trust anchor: a certificate from
// that CA is accepted, one from another CA refused with libcurl's 60.
#include <gtest/gtest.h>

#include <memory>
#include <mutex>

#include "app/log.h"
#include "download/curl_downloader.h"
#include "download/mt_curl_downloader.h"
#include "download/transfer_options.h"
#include "tests/download/test_server.h"
#include "tests/support/process.h"

using namespace DownloadTest;

namespace {

std::mutex g_logMutex;
std::vector<std::wstring> g_log;
void CaptureLog(const wchar_t* line, size_t length) {
  std::lock_guard<std::mutex> lock(g_logMutex);
  g_log.emplace_back(line, length);
}
void ClearLog() {
  std::lock_guard<std::mutex> lock(g_logMutex);
  g_log.clear();
}
// Lines written by `function` that contain `text`.
int CountLog(const std::wstring& function, const std::wstring& text) {
  std::lock_guard<std::mutex> lock(g_logMutex);
  int n = 0;
  for (const auto& l : g_log) n += l.find(function) != std::wstring::npos && l.find(text) != std::wstring::npos;
  return n;
}

class TlsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_NE(0, Ports().https) << "the test server is not running";
    Download::SetCaBundleForTests(TestCaBundle());
    Log::SetSink(&CaptureLog);
  }
  void TearDown() override {
    Log::SetSink(nullptr);
    Download::SetCaBundleForTests("");
  }

  template <class Downloader>
  std::vector<Event> Run(const std::wstring& url) {
    TestSupport::TempDir dir;
    Recorder recorder;
    {
      Downloader downloader(recorder.Callback(), url, dir.File(L"pkg.exe"));
      downloader.Start();
      EXPECT_TRUE(recorder.WaitOutcome(120000));
    }
    return recorder.Events();
  }
};

std::vector<int32_t> Codes(const std::vector<Event>& events) {
  std::vector<int32_t> out;
  for (const auto& e : events)
    if (e.code != DL_CODE_PROGRESS) out.push_back(e.code);
  return out;
}

}  // namespace

TEST_F(TlsTest, TheTestCaIsTrusted) {
  const std::wstring path = L"/go/id=" + std::wstring(L"tls-ok") + L"/pkg.exe";
  EXPECT_EQ((std::vector<int32_t>{DL_CODE_START, DL_CODE_SUCCESS}),
            Codes(Run<CCurlDownloader>(HttpsUrl(Ports().https, path))));
  EXPECT_EQ((std::vector<int32_t>{DL_CODE_START, DL_CODE_SUCCESS}),
            Codes(Run<CMTCurlDownloader>(HttpsUrl(Ports().https, path))));
}

TEST_F(TlsTest, ForeignOrMisnamedCertificatesAreRefused) {
  struct Case {
    const char* name;
    int port;
  } cases[] = {{"another CA", Ports().foreignHttps}, {"another host name", Ports().wrongNameHttps}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::wstring url = HttpsUrl(c.port, L"/go/id=tls-refused/pkg.exe");
    ClearLog();
    // The single-stream client cannot even learn the length: -998 after
    // six attempts, each of whose requests libcurl refused with 60 (a failed
    // request gives two lines: the perform and the result).
    const auto single = Run<CCurlDownloader>(url);
    ASSERT_EQ((std::vector<int32_t>{DL_CODE_START, DL_CODE_FAIL}), Codes(single));
    EXPECT_EQ(-998.0, single.back().value);
    EXPECT_EQ(12, CountLog(L"(CurlClient::Head)<", L"error:60:"));

    ClearLog();
    const auto multi = Run<CMTCurlDownloader>(url);
    EXPECT_EQ((std::vector<int32_t>{DL_CODE_START, DL_CODE_FAIL}), Codes(multi));
    EXPECT_EQ(0.0, multi.back().value);
    EXPECT_EQ(1, CountLog(L"(CMTCurlDownloader::getRealDownloadUrl)<", L"error:60:"));
  }
}
