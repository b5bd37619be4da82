// The single-stream downloader against the loopback test server: every row
// of its failure table, the retry budget with its pauses, the digest paths
// and the retry asked for (and answered) from inside the callback.
#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <mutex>

#include "app/log.h"
#include "download/curl_downloader.h"
#include "tests/download/test_server.h"
#include "tests/support/process.h"

using namespace DownloadTest;
using TestSupport::TempDir;

namespace {

constexpr DWORD kOutcomeTimeoutMs = 60000;

// Log lines of this process, for the per-attempt "CurlDownLoader Code=" line.
std::mutex g_logMutex;
std::vector<std::wstring> g_logLines;
void CaptureLog(const wchar_t* line, size_t length) {
  std::lock_guard<std::mutex> lock(g_logMutex);
  g_logLines.emplace_back(line, length);
}
int CountLogLines(const std::wstring& needle) {
  std::lock_guard<std::mutex> lock(g_logMutex);
  int n = 0;
  for (const auto& l : g_logLines)
    if (l.find(needle) != std::wstring::npos) ++n;
  return n;
}

class CurlDownloaderTest : public ::testing::Test, public DownloadRun<CCurlDownloader> {
 protected:
  void SetUp() override {
    ASSERT_NE(0, Ports().http) << "the test server is not running";
    {
      std::lock_guard<std::mutex> lock(g_logMutex);
      g_logLines.clear();
    }
    Log::SetSink(&CaptureLog);
  }
  void TearDown() override { Log::SetSink(nullptr); }
};

}  // namespace

TEST_F(CurlDownloaderTest, AnEmptyTargetFailsAtOnce) {
  target.clear();
  const auto events = Download(PackageUrl("id=" + UniqueId()));
  EXPECT_EQ((std::vector<int32_t>{DL_CODE_START, DL_CODE_FAIL}), Codes());
  ASSERT_EQ(2u, events.size());
  EXPECT_EQ(1.0, events[0].value);
  EXPECT_EQ(1.0, events[1].value);
  EXPECT_EQ(L"", events[1].text);
}

TEST_F(CurlDownloaderTest, ACorrectPackageSucceedsWithItsDigestChecked) {
  const std::string id = UniqueId();
  const auto events = Download(PackageUrl("id=" + id + ",rate=1500000"));
  EXPECT_EQ((std::vector<int32_t>{DL_CODE_START, DL_CODE_SUCCESS}), Codes());
  EXPECT_EQ(kTagLibCurl, Find(events, DL_CODE_SUCCESS).text);
  EXPECT_EQ(0.0, Find(events, DL_CODE_SUCCESS).value);
  EXPECT_EQ(2 * 1048576, SizeOfFile(target));
  EXPECT_EQ(-1, SizeOfFile(target + L".part"));
  const auto progress = recorder->Progress();
  ASSERT_FALSE(progress.empty()) << "a transfer of over a second reports progress";
  for (double p : progress) {
    EXPECT_GT(p, 0.0);
    EXPECT_LE(p, 1.0);
  }
}

// The budget of 12: a partial-file failure (18) costs 1, anything else 2;
// 500 ms between attempts, one log line per failed attempt that is retried.
TEST_F(CurlDownloaderTest, TheRetryBudget) {
  struct Case {
    const char* name;
    std::string options;
    size_t attempts;
    double failValue;
    int code22Lines, code18Lines;
  } cases[] = {
      {"server errors", "err=404", 6, 22.0, 5, 0},
      {"partial transfers", "dropafter=65536", 12, 18.0, 0, 11},
      {"four partial, then errors", "dropafter=65536,dropaftern=1-4,err=500,errn=5-99", 8, 22.0, 3, 4},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    {
      std::lock_guard<std::mutex> lock(g_logMutex);
      g_logLines.clear();
    }
    const std::string id = UniqueId();
    const auto events = Download(PackageUrl("id=" + id + "," + c.options));
    EXPECT_EQ((std::vector<int32_t>{DL_CODE_START, DL_CODE_FAIL}), Codes());
    const Event fail = Find(events, DL_CODE_FAIL);
    EXPECT_EQ(c.failValue, fail.value);
    EXPECT_EQ(kTagLibCurl, fail.text);

    const auto gets = Gets(RequestLog(id));
    ASSERT_EQ(c.attempts, gets.size());
    for (size_t i = 1; i < gets.size(); ++i)
      EXPECT_GE(gets[i].time - gets[i - 1].time, 0.45) << "pause before attempt " << i + 1;
    // Every attempt after a partial one resumes where the part file ends.
    int64_t onDisk = 0;
    for (size_t i = 0; i < gets.size(); ++i) {
      EXPECT_EQ(onDisk == 0 ? std::string() : "bytes=" + std::to_string(onDisk) + "-", gets[i].range) << i;
      onDisk += gets[i].status == 206 || gets[i].status == 200 ? gets[i].sent : 0;
    }
    EXPECT_EQ(c.code22Lines, CountLogLines(L"CurlDownLoader Code=22"));
    EXPECT_EQ(c.code18Lines, CountLogLines(L"CurlDownLoader Code=18"));
  }
}

TEST_F(CurlDownloaderTest, AUrlWithoutADigestSkipsTheCheck) {
  for (const char* dg : {"none", "short", "long"}) {
    SCOPED_TRACE(dg);
    const auto events = Download(PackageUrl("id=" + UniqueId() + ",dg=" + dg));
    EXPECT_EQ((std::vector<int32_t>{DL_CODE_START, DL_CODE_MESSAGE, DL_CODE_SUCCESS}), Codes());
    EXPECT_EQ(kMsgCurlNoUrlMd5, Find(events, DL_CODE_MESSAGE).text);
    EXPECT_EQ(0.0, Find(events, DL_CODE_MESSAGE).value);
    DeleteFileW(target.c_str());
  }
}

TEST_F(CurlDownloaderTest, DigestsInEitherCaseAndSha256AreChecked) {
  for (const char* dg : {"MD5", "sha256", "SHA256"}) {
    SCOPED_TRACE(dg);
    Download(PackageUrl("id=" + UniqueId() + ",dg=" + dg));
    EXPECT_EQ((std::vector<int32_t>{DL_CODE_START, DL_CODE_SUCCESS}), Codes());
    DeleteFileW(target.c_str());
  }
}

TEST_F(CurlDownloaderTest, AMismatchAsksForOneRetry) {
  const auto events = Download(PackageUrl("id=" + UniqueId() + ",dg=bad"));
  EXPECT_EQ((std::vector<int32_t>{DL_CODE_START, DL_CODE_MESSAGE, DL_CODE_RETRY}), Codes());
  EXPECT_EQ(kMsgCurlMd5Mismatch, Find(events, DL_CODE_MESSAGE).text);
  EXPECT_EQ(0.0, Find(events, DL_CODE_RETRY).value);
  EXPECT_EQ(kTagLibCurl, Find(events, DL_CODE_RETRY).text);
}

TEST_F(CurlDownloaderTest, ASecondMismatchFailsInsteadOfASecondRetry) {
  const std::string id = UniqueId();
  const auto events = Download(PackageUrl("id=" + id + ",dg=bad"), /*answerRetry=*/true);
  EXPECT_EQ((std::vector<int32_t>{DL_CODE_START, DL_CODE_MESSAGE, DL_CODE_RETRY, DL_CODE_START, DL_CODE_MESSAGE,
                                  DL_CODE_FAIL}),
            Codes());
  EXPECT_EQ(0.0, Find(events, DL_CODE_FAIL).value);
  EXPECT_EQ(kTagLibCurl, Find(events, DL_CODE_FAIL).text);
  // The retry downloads the whole file again with the URL resolved before.
  const auto log = RequestLog(id);
  const auto gets = Gets(log);
  ASSERT_EQ(2u, gets.size());
  EXPECT_EQ("", gets[1].range);
  for (const auto& q : log) {
    if (q.method == "HEAD") {
      EXPECT_LT(q.time, gets[0].time) << "no second resolution";
    }
  }
}

TEST_F(CurlDownloaderTest, ARetryAfterACorruptBodySucceeds) {
  const auto events = Download(PackageUrl("id=" + UniqueId() + ",dg=sha256,corrupt=1,corruptn=1"), true);
  EXPECT_EQ((std::vector<int32_t>{DL_CODE_START, DL_CODE_MESSAGE, DL_CODE_RETRY, DL_CODE_START, DL_CODE_SUCCESS}),
            Codes());
  EXPECT_EQ(2 * 1048576, SizeOfFile(target));
}

TEST_F(CurlDownloaderTest, AStalePartFileIsNotResumed) {
  ASSERT_TRUE(TestSupport::WriteFileBytes(target + L".part", std::string(1000, 'z')));
  const std::string id = UniqueId();
  Download(PackageUrl("id=" + id));
  EXPECT_EQ((std::vector<int32_t>{DL_CODE_START, DL_CODE_SUCCESS}), Codes());
  const auto gets = Gets(RequestLog(id));
  ASSERT_EQ(1u, gets.size());
  EXPECT_EQ("", gets[0].range);
}

TEST_F(CurlDownloaderTest, DestructionStopsAStalledTransfer) {
  const std::string id = UniqueId();
  downloader = std::make_unique<CCurlDownloader>(recorder->Callback(), PackageUrl("id=" + id + ",stall=60"), target);
  downloader->Start();
  // Wait until the transfer hangs on the silent server.
  for (int i = 0; i < 100 && Gets(RequestLog(id)).empty(); ++i) Sleep(50);
  ASSERT_EQ(1u, Gets(RequestLog(id)).size());
  const DWORD begin = GetTickCount();
  downloader.reset();
  EXPECT_LT(GetTickCount() - begin, 5000u) << "the stop reached the transfer";
  EXPECT_EQ((std::vector<int32_t>{DL_CODE_START}), Codes()) << "no report once destruction began";
  EXPECT_EQ(-1, SizeOfFile(target + L".part"));
}

TEST_F(CurlDownloaderTest, AStartFromAnotherThreadWaitsForTheRunningWorker) {
  // Both runs complete one after the other; their reports never interleave.
  const std::string id = UniqueId();
  downloader = std::make_unique<CCurlDownloader>(recorder->Callback(), PackageUrl("id=" + id + ",rate=4000000"),
                                                 target);
  downloader->Start();
  downloader->Start();  // waits here for the first worker to end
  EXPECT_TRUE(recorder->WaitOutcome(kOutcomeTimeoutMs, 2));
  downloader.reset();
  EXPECT_EQ((std::vector<int32_t>{DL_CODE_START, DL_CODE_SUCCESS, DL_CODE_START, DL_CODE_SUCCESS}), Codes());
  EXPECT_EQ(2u, Gets(RequestLog(id)).size());
}
