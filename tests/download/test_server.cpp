#include "tests/download/test_server.h"

#include <curl/curl.h>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <sstream>

#include "download/curl_handle.h"
#include "download/digest.h"
#include "tests/support/process.h"
#include "utils/text.h"

namespace DownloadTest {
namespace {

// libcurl needs its global initialisation once per process; the installer's
// entry point does it, so every test program does it here.
class CurlEnvironment : public ::testing::Environment {
 public:
  void SetUp() override { ASSERT_EQ(CURLE_OK, curl_global_init(CURL_GLOBAL_ALL)); }
  void TearDown() override { curl_global_cleanup(); }
};
const auto* const g_env = ::testing::AddGlobalTestEnvironment(new CurlEnvironment);

std::wstring FullPath(const std::wstring& relative) {
  wchar_t buffer[MAX_PATH] = {};
  const DWORD n = GetFullPathNameW(relative.c_str(), MAX_PATH, buffer, nullptr);
  return n > 0 && n < MAX_PATH ? std::wstring(buffer) : relative;
}

size_t Collect(char* data, size_t size, size_t count, void* out) {
  static_cast<std::string*>(out)->append(data, size * count);
  return size * count;
}
}  // namespace

std::wstring StateDir() { return FullPath(L"..\\test-output\\dlserver"); }

const ServerPorts& Ports() {
  static const ServerPorts ports = [] {
    ServerPorts p;
    std::string text;
    if (TestSupport::ReadFileBytes(StateDir() + L"\\port", &text)) {
      std::istringstream in(text);
      in >> p.http >> p.https >> p.foreignHttps >> p.wrongNameHttps;
    }
    return p;
  }();
  return ports;
}

std::string TestCaBundle() { return Utils::ToNarrow(StateDir() + L"\\ca.pem", Utils::kActiveCodePage); }

std::wstring HttpUrl(const std::wstring& path) {
  return L"http://127.0.0.1:" + std::to_wstring(Ports().http) + path;
}

std::wstring HttpsUrl(int port, const std::wstring& path) {
  return L"https://localhost:" + std::to_wstring(port) + path;
}

std::wstring PackageUrl(const std::string& options, const std::wstring& name) {
  return HttpUrl(L"/go/" + Utils::ToWide(options, Utils::kUtf8CodePage) + L"/" + name);
}

std::string UniqueId() {
  static std::atomic<int> counter{0};
  const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
  std::string name = info ? std::string(info->test_suite_name()) + "." + info->name() : "test";
  for (char& c : name)
    if (c == '/' || c == ',' || c == '=') c = '_';
  // Wine reuses process ids, and the server outlives one test program.
  static const std::string run = std::to_string(GetCurrentProcessId()) + "." + std::to_string(GetTickCount());
  return name + "-" + run + "-" + std::to_string(++counter);
}

std::vector<Request> RequestLog(const std::string& id) {
  std::vector<Request> out;
  Download::UniqueCurl h(curl_easy_init());
  if (!h) return out;
  std::string body;
  const std::string url = "http://127.0.0.1:" + std::to_string(Ports().http) + "/_log/" + id;
  curl_easy_setopt(h.Get(), CURLOPT_URL, url.c_str());
  curl_easy_setopt(h.Get(), CURLOPT_WRITEFUNCTION, &Collect);
  curl_easy_setopt(h.Get(), CURLOPT_WRITEDATA, &body);
  curl_easy_setopt(h.Get(), CURLOPT_TIMEOUT, 10L);
  const CURLcode r = curl_easy_perform(h.Get());
  EXPECT_EQ(CURLE_OK, r) << "request log of " << id;
  if (r != CURLE_OK) return out;
  Json::Value root;
  std::istringstream in(body);
  std::string errors;
  if (!Json::parseFromStream(Json::CharReaderBuilder(), in, &root, &errors)) {
    ADD_FAILURE() << "bad request log: " << errors;
    return out;
  }
  for (const auto& v : root) {
    Request q;
    q.method = v["method"].asString();
    q.path = v["path"].asString();
    q.range = v["range"].asString();
    q.acceptEncoding = v["acceptEncoding"].asString();
    q.connection = v["connection"].asString();
    q.encoding = v.get("encoding", "").asString();
    q.status = v["status"].asInt();
    q.time = v["time"].asDouble();
    q.sent = v.isMember("sent") ? v["sent"].asInt64() : 0;
    out.push_back(q);
  }
  return out;
}

Event Find(const std::vector<Event>& events, int32_t code) {
  for (const auto& e : events)
    if (e.code == code) return e;
  return Event{};
}

std::vector<Request> Gets(const std::vector<Request>& log) {
  std::vector<Request> out;
  for (const auto& q : log)
    if (q.method == "GET" && q.path.compare(0, 3, "/s/") == 0) out.push_back(q);
  return out;
}

StageCallback Recorder::Callback() {
  return [this](int32_t code, double value, const wchar_t* text) { Add(code, value, text); };
}

void Recorder::Add(int32_t code, double value, const wchar_t* text) {
  std::function<void()> restart;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    events_.push_back(Event{code, value, text ? text : L"(null)"});
    if (code == DL_CODE_RETRY && restart_) {
      restart = restart_;
    } else if (code == DL_CODE_SUCCESS || code == DL_CODE_FAIL || code == DL_CODE_RETRY) {
      ++outcomes_;
    }
  }
  if (restart) restart();  // on the downloader's own thread, as the orchestrator does
  changed_.notify_all();
}

bool Recorder::WaitOutcome(DWORD timeoutMs, int count) {
  std::unique_lock<std::mutex> lock(mutex_);
  return changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return outcomes_ >= count; });
}

std::vector<Event> Recorder::Events() {
  std::lock_guard<std::mutex> lock(mutex_);
  return events_;
}

std::vector<int32_t> Recorder::Codes() {
  std::vector<int32_t> codes;
  for (const auto& e : Events())
    if (e.code != DL_CODE_PROGRESS) codes.push_back(e.code);
  return codes;
}

std::vector<double> Recorder::Progress() {
  std::vector<double> values;
  for (const auto& e : Events())
    if (e.code == DL_CODE_PROGRESS) values.push_back(e.value);
  return values;
}

std::string Md5OfFile(const std::wstring& path) { return Download::FileDigest(path, Download::DigestKind::Md5); }

int64_t SizeOfFile(const std::wstring& path) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return -1;
  return (static_cast<int64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

}  // namespace DownloadTest
