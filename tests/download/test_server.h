#pragma once
// What the download tests share: the loopback test server that CTest starts
// (its ports, URLs and request log), a recorder for downloader callbacks, and
// libcurl's global initialisation.
#include <windows.h>

#include <gtest/gtest.h>
#include <json/json.h>

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "install/stage.h"
#include "tests/support/process.h"

namespace DownloadTest {

struct ServerPorts {
  int http = 0;
  int https = 0;         // certificate signed by the test CA
  int foreignHttps = 0;  // certificate signed by an unrelated CA
  int wrongNameHttps = 0;  // test CA, but issued for another host name
};
// Read from the port file the fixture wrote; zeros when the server is absent.
const ServerPorts& Ports();
// Folder of the server's state (certificates), as a Windows path.
std::wstring StateDir();
std::string TestCaBundle();  // the test CA's PEM, active code page path

// "http://127.0.0.1:<port>" + path.
std::wstring HttpUrl(const std::wstring& path);
std::wstring HttpsUrl(int port, const std::wstring& path);  // https://localhost:<port>

// The /go/ URL of a package with these server options (see http_server.py);
// it redirects to the final /s/ URL that carries the digest segment.
std::wstring PackageUrl(const std::string& options, const std::wstring& name = L"pkg.exe");

// A test-unique id for the server's request log: "<test name>-<n>".
std::string UniqueId();

struct Request {
  std::string method, path, range, acceptEncoding, connection;
  std::string encoding;  // content encoding of the answer ("gzip" or "")
  int status = 0;
  double time = 0;  // server clock, seconds
  int64_t sent = 0;
};
// Everything the server received for `id`, in arrival order.
std::vector<Request> RequestLog(const std::string& id);
std::vector<Request> Gets(const std::vector<Request>& log);  // GETs of /s/ paths

struct Event {
  int32_t code = 0;
  double value = 0;
  std::wstring text;
};

// Records every callback. An outcome is DL_CODE_SUCCESS, DL_CODE_FAIL, or a
// DL_CODE_RETRY that is not answered; with AnswerRetry(start), a retry is
// answered like the orchestrator does, by calling Start from the callback.
class Recorder {
 public:
  StageCallback Callback();
  void AnswerRetry(std::function<void()> start) { restart_ = std::move(start); }
  bool WaitOutcome(DWORD timeoutMs, int count = 1);  // `count` outcomes in all
  std::vector<Event> Events();
  // Codes without DL_CODE_PROGRESS.
  std::vector<int32_t> Codes();
  std::vector<double> Progress();

 private:
  void Add(int32_t code, double value, const wchar_t* text);
  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<Event> events_;
  int outcomes_ = 0;
  std::function<void()> restart_;
};

// The first event with `code`; code 0 when there is none.
Event Find(const std::vector<Event>& events, int32_t code);

// One downloader of class D at a time, run to its outcome into a fresh
// folder, answering a retry the way the orchestrator does when asked to.
template <class D>
struct DownloadRun {
  std::vector<Event> Download(const std::wstring& url, bool answerRetry = false) {
    recorder = std::make_unique<Recorder>();
    downloader = std::make_unique<D>(recorder->Callback(), url, target);
    if (answerRetry) recorder->AnswerRetry([this] { downloader->Start(); });
    downloader->Start();
    EXPECT_TRUE(recorder->WaitOutcome(outcomeTimeoutMs));
    downloader.reset();  // joins the workers: every callback has been made
    return recorder->Events();
  }
  std::vector<int32_t> Codes() { return recorder->Codes(); }

  DWORD outcomeTimeoutMs = 90000;
  TestSupport::TempDir dir;
  std::wstring target = dir.File(L"pkg.exe");
  std::unique_ptr<Recorder> recorder = std::make_unique<Recorder>();
  std::unique_ptr<D> downloader;
};

// MD5 of a file as the test sees it (the server's digest of the same bytes is
// the segment before the file name in the final URL).
std::string Md5OfFile(const std::wstring& path);
int64_t SizeOfFile(const std::wstring& path);  // -1 when missing

}  // namespace DownloadTest
