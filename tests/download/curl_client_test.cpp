// The HTTP client of the single-stream downloader against the loopback test
// server: resolution behind redirects, the 1 MiB floor, the part file and its
// resume, failures, content decoding and progress.
#include <gtest/gtest.h>

#include <ctime>
#include <mutex>

#include "download/curl_client.h"
#include "download/curl_handle.h"
#include "tests/download/test_server.h"
#include "tests/support/process.h"
#include "utils/text.h"

using namespace DownloadTest;
using TestSupport::TempDir;

namespace {

std::string DigestOf(const std::string& realUrl) {
  const size_t a = realUrl.rfind('/');
  const size_t b = realUrl.rfind('/', a - 1);
  return realUrl.substr(b + 1, a - b - 1);
}

struct ProgressLog {
  std::mutex mutex;
  std::vector<std::pair<double, int64_t>> reports;  // percent, calendar second
  static void Sink(void* owner, double, double reserved, double percent) {
    auto* self = static_cast<ProgressLog*>(owner);
    std::lock_guard<std::mutex> lock(self->mutex);
    EXPECT_EQ(0.0, reserved);
    self->reports.emplace_back(percent, static_cast<int64_t>(time(nullptr)));
  }
};

class CurlClientTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_NE(0, Ports().http) << "the test server is not running"; }
  TempDir dir;
  std::wstring target = dir.File(L"pkg.exe");
};

}  // namespace

TEST_F(CurlClientTest, TheLengthFloorIsOneMebibyte) {
  struct Case {
    int64_t size;
    int result;
  } cases[] = {{1048575, CurlClient::kBadLength}, {1048576, 0}, {1048577, 0}};
  for (const auto& c : cases) {
    const std::string id = UniqueId();
    {
      CurlClient client(PackageUrl("id=" + id + ",size=" + std::to_string(c.size)), target, nullptr);
      EXPECT_EQ(c.result, client.Start()) << c.size;
      if (c.result == CurlClient::kBadLength) {
        EXPECT_EQ(-1, SizeOfFile(client.GetFilePath(true))) << "no part file for a refused length";
        EXPECT_EQ(-1, SizeOfFile(target));
        EXPECT_TRUE(Gets(RequestLog(id)).empty());
      } else {
        EXPECT_EQ(c.size, SizeOfFile(target));
        EXPECT_EQ(DigestOf(client.RealUrl()), Md5OfFile(target));
        EXPECT_EQ(-1, SizeOfFile(client.GetFilePath(true))) << "the part file was renamed";
      }
    }
    DeleteFileW(target.c_str());
  }
}

TEST_F(CurlClientTest, ResolvesTheFinalUrlAndSendsTheTransferHeaders) {
  const std::string id = UniqueId();
  CurlClient client(PackageUrl("id=" + id + ",hops=2"), target, nullptr);
  ASSERT_EQ(0, client.Start());
  EXPECT_NE(std::string::npos, client.RealUrl().find("/s/id=" + id));
  EXPECT_EQ(32u, DigestOf(client.RealUrl()).size());
  EXPECT_EQ(2.0 * 1048576, client.FileLength());

  const auto gets = Gets(RequestLog(id));
  ASSERT_EQ(1u, gets.size());
  EXPECT_EQ("", gets[0].range);
  EXPECT_EQ("keep-alive", gets[0].connection);
  EXPECT_EQ("gzip, deflate", gets[0].acceptEncoding);
}

TEST_F(CurlClientTest, ASecondStartResumesThePartFileAndSkipsResolution) {
  const std::string id = UniqueId();
  CurlClient client(PackageUrl("id=" + id + ",dropat=1000000,dropatn=1"), target, nullptr);
  EXPECT_EQ(CURLE_PARTIAL_FILE, client.Start());
  EXPECT_EQ(1000000, SizeOfFile(client.GetFilePath(true)));
  EXPECT_EQ(0, client.ResumeOffset());
  const size_t requestsAfterFirst = RequestLog(id).size();

  ASSERT_EQ(0, client.Start());
  EXPECT_EQ(1000000, client.ResumeOffset());
  EXPECT_EQ(DigestOf(client.RealUrl()), Md5OfFile(target));

  const auto log = RequestLog(id);
  ASSERT_EQ(requestsAfterFirst + 1, log.size()) << "the second Start sends only the resumed GET";
  EXPECT_EQ("GET", log.back().method);
  EXPECT_EQ("bytes=1000000-", log.back().range);
  EXPECT_EQ(206, log.back().status);
}

TEST_F(CurlClientTest, FailuresKeepThePartFile) {
  const std::string id = UniqueId();
  CurlClient client(PackageUrl("id=" + id + ",err=404"), target, nullptr);
  EXPECT_EQ(CURLE_HTTP_RETURNED_ERROR, client.Start());
  EXPECT_EQ(0, SizeOfFile(client.GetFilePath(true)));
  EXPECT_EQ(-1, SizeOfFile(target));

  CurlClient noLength(PackageUrl("id=" + id + "b,nolength=1"), dir.File(L"b.exe"), nullptr);
  EXPECT_EQ(CurlClient::kBadLength, noLength.Start());

  CurlClient headRefused(PackageUrl("id=" + id + "c,headerr=500"), dir.File(L"c.exe"), nullptr);
  EXPECT_EQ(CurlClient::kBadLength, headRefused.Start()) << "the length of an error answer is not the file's";
}

TEST_F(CurlClientTest, AFinishedTransferThatCannotTakeTheTargetNameIsAWriteError) {
  ASSERT_TRUE(CreateDirectoryW(target.c_str(), nullptr));  // a folder where the package should go
  CurlClient client(PackageUrl("id=" + UniqueId()), target, nullptr);
  EXPECT_EQ(CURLE_WRITE_ERROR, client.Start());
  EXPECT_EQ(2 * 1024 * 1024, SizeOfFile(client.GetFilePath(true))) << "the data stays in the part file";
  RemoveDirectoryW(target.c_str());
}

TEST_F(CurlClientTest, TheDestructorDeletesThePartFile) {
  std::wstring part;
  {
    CurlClient client(PackageUrl("id=" + UniqueId() + ",err=500"), target, nullptr);
    part = client.GetFilePath(true);
    EXPECT_EQ(target + L".part", part);
    EXPECT_EQ(target, client.GetFilePath(false));
    EXPECT_EQ(CURLE_HTTP_RETURNED_ERROR, client.Start());
    EXPECT_EQ(0, SizeOfFile(part));
  }
  EXPECT_EQ(-1, SizeOfFile(part));
}

TEST_F(CurlClientTest, AGzipBodyIsStoredDecoded) {
  const std::string id = UniqueId();
  CurlClient client(PackageUrl("id=" + id + ",gzip=1"), target, nullptr);
  ASSERT_EQ(0, client.Start());
  EXPECT_EQ(2 * 1048576, SizeOfFile(target));
  EXPECT_EQ(DigestOf(client.RealUrl()), Md5OfFile(target));
  const auto gets = Gets(RequestLog(id));
  ASSERT_EQ(1u, gets.size());
  EXPECT_EQ("gzip", gets[0].encoding) << "the server really sent it compressed";
}

TEST_F(CurlClientTest, UnresolvableUrlsComeBackUnchanged) {
  CurlClient client(L"http://127.0.0.1:9/x/pkg.exe", target, nullptr);
  EXPECT_EQ("http://127.0.0.1:9/x/pkg.exe", client.GetRealUrl_Str("http://127.0.0.1:9/x/pkg.exe"));
  EXPECT_EQ(-1.0, client.GetDownloadFileLength_Str("http://127.0.0.1:9/x/pkg.exe"));
  EXPECT_EQ(CurlClient::kBadLength, client.Start());
}

TEST_F(CurlClientTest, AFileUrlIsRefusedByThisHttpOnlyLibcurl) {
  // libcurl is built for HTTP only, so a "file:///" URL can be neither
  // resolved nor sized: it ends as an unknown length, without a part file.
  const std::wstring source = dir.File(L"source.bin");
  ASSERT_TRUE(TestSupport::WriteFileBytes(source, std::string(1048576 + 5, 'x')));
  std::wstring url = L"file:///" + source;
  for (auto& c : url)
    if (c == L'\\') c = L'/';
  const std::string bytes = Utils::ToNarrow(url, Utils::kActiveCodePage);
  CurlClient client(url, target, nullptr);
  Download::UniqueCurl head(client.Head(bytes));
  ASSERT_TRUE(head.Valid());
  EXPECT_EQ(-1.0, CurlClient::GetDownloadFileLength(head.Get()));
  EXPECT_EQ(-1.0, client.GetDownloadFileLength_Str(bytes));
  EXPECT_EQ(CurlClient::kBadLength, client.Start());
  EXPECT_EQ(-1, SizeOfFile(client.GetFilePath(true)));
}

TEST_F(CurlClientTest, ProgressCountsResumedBytesAtMostOncePerSecond) {
  // 2 MiB at 600 KB/s, dropped at 1.2 MB: both attempts last over a second.
  const std::string id = UniqueId();
  ProgressLog progress;
  CurlClient client(PackageUrl("id=" + id + ",rate=600000,dropat=1200000,dropatn=1"), target, &progress,
                    &ProgressLog::Sink);
  EXPECT_EQ(CURLE_PARTIAL_FILE, client.Start());
  const size_t firstAttempt = progress.reports.size();
  ASSERT_EQ(0, client.Start());

  std::lock_guard<std::mutex> lock(progress.mutex);
  ASSERT_GE(firstAttempt, 1u);
  ASSERT_GT(progress.reports.size(), firstAttempt) << "the resumed transfer reported too";
  EXPECT_GE(progress.reports[firstAttempt].first, 1200000.0 / 2097152 * 100 - 0.001)
      << "the resumed bytes count towards the percent";
  for (size_t i = 1; i < progress.reports.size(); ++i) {
    EXPECT_GE(progress.reports[i].first, progress.reports[i - 1].first) << i;
    EXPECT_GT(progress.reports[i].second, progress.reports[i - 1].second) << "one report per calendar second";
  }
  for (const auto& r : progress.reports) EXPECT_LE(r.first, 100.0);
}
