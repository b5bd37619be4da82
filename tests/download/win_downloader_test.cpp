// The system downloader: URL escaping, its three attempts one second apart,
// progress from the bind-status callback, and that only the first Start runs.
#include <gtest/gtest.h>

#include <memory>

#include "download/win_downloader.h"
#include "tests/download/test_server.h"
#include "tests/support/process.h"

using namespace DownloadTest;
using TestSupport::TempDir;

namespace {

constexpr DWORD kOutcomeTimeoutMs = 60000;

class WinDownloaderTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_NE(0, Ports().http) << "the test server is not running"; }

  std::vector<Event> Run(const std::wstring& url) {
    auto downloader = std::make_unique<CWinDownloader>(recorder.Callback(), url, target);
    downloader->Start();
    EXPECT_TRUE(recorder.WaitOutcome(kOutcomeTimeoutMs));
    downloader.reset();
    return recorder.Events();
  }

  TempDir dir;
  std::wstring target = dir.File(L"pkg.exe");
  Recorder recorder;
};

}  // namespace

TEST(EncodeUrl, EscapesSpacesAndEveryByteOutsidePrintableAscii) {
  struct Case {
    const wchar_t* url;
    const wchar_t* encoded;
  } cases[] = {
      {L"http://h/a b/包.exe", L"http://h/a+b/%E5%8C%85.exe"},
      {L"http://h/p?x=1&y=%41+z", L"http://h/p?x=1&y=%41+z"},  // reserved characters and escapes stay
      {L"http://h/\x7f\t", L"http://h/%7F%09"},
      {L"http://h/é", L"http://h/%C3%A9"},
      {L"", L""},
  };
  for (const auto& c : cases) EXPECT_EQ(c.encoded, CWinDownloader::EncodeUrl(c.url)) << testing::PrintToString(c.url);
}

TEST(BindCallback, ReportsOnlyNotificationsWithAKnownSize) {
  Recorder recorder;
  CWinDownloader::CBindCallback callback;
  callback.callback = recorder.Callback();
  EXPECT_EQ(S_OK, callback.OnProgress(10, 0, BINDSTATUS_DOWNLOADINGDATA, L""));
  EXPECT_EQ(S_OK, callback.OnProgress(1, 4, BINDSTATUS_DOWNLOADINGDATA, L""));
  EXPECT_EQ(S_OK, callback.OnProgress(0xFFFFFFFFu, 0xFFFFFFFFu, BINDSTATUS_ENDDOWNLOADDATA, L""));
  EXPECT_EQ((std::vector<double>{0.25, 1.0}), recorder.Progress());
  callback.cancelled = true;
  EXPECT_EQ(E_ABORT, callback.OnProgress(2, 4, BINDSTATUS_DOWNLOADINGDATA, L""));
  EXPECT_EQ(2u, recorder.Progress().size());

  BINDINFO info = {};
  info.cbSize = sizeof(info);
  DWORD flags = 0;
  callback.GetBindInfo(&flags, &info);
  EXPECT_EQ(65001u, info.dwCodePage);
}

TEST_F(WinDownloaderTest, DownloadsThePackage) {
  const std::string id = UniqueId();
  const auto events = Run(PackageUrl("id=" + id + ",size=3000000,rate=2000000"));
  EXPECT_EQ((std::vector<int32_t>{DL_CODE_START, DL_CODE_SUCCESS}), recorder.Codes());
  EXPECT_EQ(kTagUrlDownload, Find(events, DL_CODE_SUCCESS).text);
  EXPECT_EQ(1.0, Find(events, DL_CODE_START).value);
  EXPECT_EQ(3000000, SizeOfFile(target));
  const auto gets = Gets(RequestLog(id));
  ASSERT_EQ(1u, gets.size());
  EXPECT_EQ(gets[0].path.substr(gets[0].path.rfind('/') + 1), "pkg.exe");
  const std::string digest = gets[0].path.substr(0, gets[0].path.rfind('/'));
  EXPECT_EQ(digest.substr(digest.rfind('/') + 1), Md5OfFile(target));
  const auto progress = recorder.Progress();
  ASSERT_FALSE(progress.empty());
  for (double p : progress) {
    EXPECT_GE(p, 0.0);
    EXPECT_LE(p, 1.0);
  }
}

TEST_F(WinDownloaderTest, TheUrlReachesTheServerEscaped) {
  const std::string id = UniqueId();
  Run(PackageUrl("id=" + id + ",size=1000", L"my setup 包.exe"));
  EXPECT_EQ((std::vector<int32_t>{DL_CODE_START, DL_CODE_SUCCESS}), recorder.Codes());
  const auto log = RequestLog(id);
  ASSERT_FALSE(log.empty());
  EXPECT_EQ("/go/id=" + id + ",size=1000/my+setup+%E5%8C%85.exe", log[0].path);
}

TEST_F(WinDownloaderTest, ThreeFailedAttemptsOneSecondApart) {
  const std::string id = UniqueId();
  const DWORD begin = GetTickCount();
  const auto events = Run(PackageUrl("id=" + id + ",err=500"));
  const DWORD elapsed = GetTickCount() - begin;
  EXPECT_EQ((std::vector<int32_t>{DL_CODE_START, DL_CODE_FAIL}), recorder.Codes());
  const Event fail = Find(events, DL_CODE_FAIL);
  EXPECT_LT(fail.value, 0.0) << "a failing HRESULT, as a signed number";
  EXPECT_EQ(kTagUrlDownload, fail.text);
  const auto gets = Gets(RequestLog(id));
  ASSERT_EQ(3u, gets.size());
  for (size_t i = 1; i < gets.size(); ++i) EXPECT_GE(gets[i].time - gets[i - 1].time, 0.95) << i;
  EXPECT_GE(elapsed, 2900u) << "a pause follows every failed attempt, the last one too";
}

TEST_F(WinDownloaderTest, OnlyTheFirstStartRuns) {
  const std::string id = UniqueId();
  auto downloader = std::make_unique<CWinDownloader>(recorder.Callback(), PackageUrl("id=" + id + ",size=1000"),
                                                     target);
  downloader->Start();
  downloader->Start();
  ASSERT_TRUE(recorder.WaitOutcome(kOutcomeTimeoutMs));
  downloader->Start();
  downloader.reset();
  EXPECT_EQ((std::vector<int32_t>{DL_CODE_START, DL_CODE_SUCCESS}), recorder.Codes());
  EXPECT_EQ(1u, Gets(RequestLog(id)).size());
}

TEST_F(WinDownloaderTest, AnEmptyTargetFailsAtOnce) {
  target.clear();
  const auto events = Run(PackageUrl("id=" + UniqueId()));
  EXPECT_EQ((std::vector<int32_t>{DL_CODE_START, DL_CODE_FAIL}), recorder.Codes());
  EXPECT_EQ(1.0, Find(events, DL_CODE_FAIL).value);
  EXPECT_EQ(L"", Find(events, DL_CODE_FAIL).text);
}

TEST_F(WinDownloaderTest, DestructionCancelsARunningDownload) {
  const std::string id = UniqueId();
  auto downloader = std::make_unique<CWinDownloader>(
      recorder.Callback(), PackageUrl("id=" + id + ",size=20000000,rate=1000000"), target);
  downloader->Start();
  for (int i = 0; i < 100 && Gets(RequestLog(id)).empty(); ++i) Sleep(50);
  Sleep(500);
  const DWORD begin = GetTickCount();
  downloader.reset();
  EXPECT_LT(GetTickCount() - begin, 8000u);
  for (const auto code : recorder.Codes()) EXPECT_NE(DL_CODE_SUCCESS, code);
}

TEST(WinDownloader, DestroyedWithoutStartDoesNotWait) {
  Recorder recorder;
  { CWinDownloader downloader(recorder.Callback(), L"http://127.0.0.1:9/x/pkg.exe", L"C:\\nowhere\\pkg.exe"); }
  EXPECT_TRUE(recorder.Events().empty());
}
