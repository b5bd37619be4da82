// The multi-part downloader against the loopback test server: how a file is
// split, the ranges each part asks for (also when resuming), the retry rules
// of the parts and of the whole, the digest paths and stopping.
#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <mutex>

#include "app/settings.h"
#include "download/mt_curl_downloader.h"
#include "tests/download/test_server.h"
#include "tests/support/process.h"

using namespace DownloadTest;
using TestSupport::TempDir;

namespace {

class MtCurlDownloaderTest : public ::testing::Test, public DownloadRun<CMTCurlDownloader> {
 protected:
  void SetUp() override { ASSERT_NE(0, Ports().http) << "the test server is not running"; }
};


// "range status sent" lines, for failure messages.
std::string Describe(const std::vector<Request>& gets) {
  std::string out;
  for (const auto& g : gets)
    out += g.range + " " + std::to_string(g.status) + " " + std::to_string(g.sent) + " " + std::to_string(g.time) + "\n";
  return out;
}

std::vector<std::string> Ranges(const std::vector<Request>& gets) {
  std::vector<std::string> out;
  for (const auto& g : gets) out.push_back(g.range);
  return out;
}

// The Range headers, grouped by the part they belong to (by where they end).
std::map<std::string, std::vector<std::string>> RangesByEnd(const std::vector<Request>& gets) {
  std::map<std::string, std::vector<std::string>> out;
  for (const auto& g : gets) out[g.range.substr(g.range.find('-') + 1)].push_back(g.range);
  return out;
}

using Split = std::vector<std::pair<int64_t, int64_t>>;

}  // namespace

TEST(MtCurlSplit, OnePartUnderTwentyMebibytesTwoAbove) {
  struct Case {
    int64_t length;
    Split parts;
  } cases[] = {
      {256, {{0, 255}}},
      {15728640, {{0, 15728639}}},
      {20971519, {{0, 20971518}}},
      {20971520, {{0, 10485759}, {10485760, 20971519}}},
      {25000000, {{0, 12499999}, {12500000, 24999999}}},
      {25000001, {{0, 12499999}, {12500000, 25000000}}},  // the remainder goes to the last part
      {104857600, {{0, 52428799}, {52428800, 104857599}}},
      {5000000001LL, {{0, 2500000000LL - 1}, {2500000000LL, 5000000000LL}}},  // beyond 32 bits
  };
  for (const auto& c : cases) EXPECT_EQ(c.parts, CMTCurlDownloader::SplitRanges(c.length)) << c.length;
}

TEST_F(MtCurlDownloaderTest, EachPartAsksForItsRange) {
  struct Case {
    int64_t size;
    std::vector<std::string> ranges;
  } cases[] = {
      {256, {"bytes=0-255"}},
      {15728640, {"bytes=0-15728639"}},
      {25000000, {"bytes=0-12499999", "bytes=12500000-24999999"}},
      {25000001, {"bytes=0-12499999", "bytes=12500000-25000000"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.size);
    const std::string id = UniqueId();
    const auto events = Download(PackageUrl("id=" + id + ",size=" + std::to_string(c.size)));
    EXPECT_EQ((std::vector<int32_t>{DL_CODE_START, DL_CODE_SUCCESS}), Codes());
    EXPECT_EQ(kTagLibCurl, Find(events, DL_CODE_SUCCESS).text);
    EXPECT_EQ(c.size, SizeOfFile(target));
    EXPECT_EQ(-1, SizeOfFile(target + L"_0"));
    EXPECT_EQ(-1, SizeOfFile(target + L"_1"));
    const auto gets = Gets(RequestLog(id));
    EXPECT_EQ(c.ranges, Ranges(gets));
    if (gets.size() == 2) {
      EXPECT_GE(gets[1].time - gets[0].time, 0.09) << "part threads start 100 ms apart";
    }
    DeleteFileW(target.c_str());
  }
}

TEST_F(MtCurlDownloaderTest, AnUnresolvableDownloadFailsAtOnce) {
  std::wstring fileUrl = L"file:///" + dir.File(L"local.bin");
  ASSERT_TRUE(TestSupport::WriteFileBytes(dir.File(L"local.bin"), std::string(4096, 'x')));
  for (auto& ch : fileUrl)
    if (ch == L'\\') ch = L'/';
  const std::wstring cases[] = {
      PackageUrl("id=" + UniqueId() + ",size=255"),
      PackageUrl("id=" + UniqueId() + ",nolength=1"),
      PackageUrl("id=" + UniqueId() + ",headerr=500"),
      L"http://127.0.0.1:9/x/pkg.exe",
      fileUrl,
  };
  for (const auto& url : cases) {
    SCOPED_TRACE(testing::PrintToString(url));
    const auto events = Download(url);
    EXPECT_EQ((std::vector<int32_t>{DL_CODE_START, DL_CODE_FAIL}), Codes());
    EXPECT_EQ(0.0, Find(events, DL_CODE_FAIL).value);
    EXPECT_EQ(kTagLibCurl, Find(events, DL_CODE_FAIL).text);
  }
}

TEST_F(MtCurlDownloaderTest, AHalfDoneFirstPartIsResumedByTheRetry) {
  // Part 0 is cut at 4,000,000 bytes (18 costs 1 of its budget of 12) and
  // then refused seven times (2 each), so it fails for good after 8 attempts
  // while part 1 completes; the retry resumes part 0 only.
  const std::string id = UniqueId();
  const auto events = Download(PackageUrl("id=" + id +
                                     ",size=25000000,rate=4000000,dropat=4000000,dropatn=1,dropatbelow=12500000,"
                                     "err=500,errn=2-8,errbelow=12500000"),
                          /*answerRetry=*/true);
  EXPECT_EQ((std::vector<int32_t>{DL_CODE_START, DL_CODE_RETRY, DL_CODE_START, DL_CODE_SUCCESS}), Codes());
  EXPECT_EQ(22.0, Find(events, DL_CODE_RETRY).value) << "the first failing part's libcurl result";
  EXPECT_EQ(25000000, SizeOfFile(target));

  const auto gets = Gets(RequestLog(id));
  const auto byPart = RangesByEnd(gets);
  ASSERT_EQ(2u, byPart.size()) << Describe(gets);
  std::vector<std::string> part0(9, "bytes=4000000-12499999");
  part0[0] = "bytes=0-12499999";
  EXPECT_EQ(part0, byPart.at("12499999")) << "1 cut + 7 refused in the first attempt, 1 in the retry\n"
                                          << Describe(gets);
  EXPECT_EQ(std::vector<std::string>{"bytes=12500000-24999999"}, byPart.at("24999999"))
      << "a complete part file is not fetched again";

  const auto progress = recorder->Progress();
  ASSERT_FALSE(progress.empty());
  for (size_t i = 1; i < progress.size(); ++i) EXPECT_GT(progress[i], progress[i - 1]) << "never backwards";
}

TEST_F(MtCurlDownloaderTest, APartOneByteShortAsksForThatByte) {
  const std::string id = UniqueId();
  Download(PackageUrl("id=" + id + ",size=25000000,dropat=12499999,dropatbelow=12500000,dropatn=1"));
  EXPECT_EQ((std::vector<int32_t>{DL_CODE_START, DL_CODE_SUCCESS}), Codes());
  EXPECT_EQ((std::vector<std::string>{"bytes=0-12499999", "bytes=12499999-12499999"}),
            RangesByEnd(Gets(RequestLog(id))).at("12499999"));
}

TEST_F(MtCurlDownloaderTest, PartsRetryWithinTheirBudget) {
  struct Case {
    const char* name;
    std::string options;
    size_t attempts;
    double value;
  } cases[] = {
      {"server errors", "err=500", 7, 22.0},
      {"partial transfers", "dropafter=65536", 13, 18.0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string id = UniqueId();
    const auto events = Download(PackageUrl("id=" + id + "," + c.options));
    EXPECT_EQ((std::vector<int32_t>{DL_CODE_START, DL_CODE_RETRY}), Codes());
    EXPECT_EQ(c.value, Find(events, DL_CODE_RETRY).value);
    const auto gets = Gets(RequestLog(id));
    ASSERT_EQ(c.attempts, gets.size());
    for (size_t i = 1; i < gets.size(); ++i) EXPECT_GE(gets[i].time - gets[i - 1].time, 0.35) << i;
  }
}

TEST_F(MtCurlDownloaderTest, ASecondFailedAttemptFails) {
  const std::string id = UniqueId();
  const auto events = Download(PackageUrl("id=" + id + ",err=404"), true);
  EXPECT_EQ((std::vector<int32_t>{DL_CODE_START, DL_CODE_RETRY, DL_CODE_START, DL_CODE_FAIL}), Codes());
  EXPECT_EQ(22.0, Find(events, DL_CODE_FAIL).value);
  EXPECT_EQ(14u, Gets(RequestLog(id)).size());
  EXPECT_EQ(-1, SizeOfFile(target + L"_0")) << "nothing was reported, so nothing is kept";
}

TEST_F(MtCurlDownloaderTest, ASilentServerIsLeftAfterFiveSeconds) {
  const std::string id = UniqueId();
  Download(PackageUrl("id=" + id + ",stall=30,stalln=1"));
  EXPECT_EQ((std::vector<int32_t>{DL_CODE_START, DL_CODE_SUCCESS}), Codes());
  const auto gets = Gets(RequestLog(id));
  ASSERT_EQ(2u, gets.size());
  EXPECT_GE(gets[1].time - gets[0].time, 5.0);
  EXPECT_LT(gets[1].time - gets[0].time, 15.0);
}

TEST_F(MtCurlDownloaderTest, DigestPaths) {
  struct Case {
    const char* dg;
    std::vector<int32_t> codes;
    const wchar_t* message;
  } cases[] = {
      {"md5", {DL_CODE_START, DL_CODE_SUCCESS}, nullptr},
      {"MD5", {DL_CODE_START, DL_CODE_SUCCESS}, nullptr},
      {"SHA256", {DL_CODE_START, DL_CODE_SUCCESS}, nullptr},
      {"none", {DL_CODE_START, DL_CODE_MESSAGE, DL_CODE_SUCCESS}, kMsgMtCurlNoUrlMd5},
      {"short", {DL_CODE_START, DL_CODE_MESSAGE, DL_CODE_SUCCESS}, kMsgMtCurlNoUrlMd5},
      {"bad",
       {DL_CODE_START, DL_CODE_MESSAGE, DL_CODE_RETRY, DL_CODE_START, DL_CODE_MESSAGE, DL_CODE_FAIL},
       kMsgMtCurlMd5Mismatch},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.dg);
    const auto events = Download(PackageUrl("id=" + UniqueId() + ",size=21000000,dg=" + c.dg), true);
    EXPECT_EQ(c.codes, Codes());
    if (c.message) {
      EXPECT_EQ(c.message, Find(events, DL_CODE_MESSAGE).text);
    }
    if (const Event fail = Find(events, DL_CODE_FAIL); fail.code) {
      EXPECT_EQ(0.0, fail.value);
      EXPECT_EQ(-1, SizeOfFile(target)) << "a rejected package is deleted";
    } else {
      EXPECT_EQ(21000000, SizeOfFile(target));
    }
    EXPECT_EQ(-1, SizeOfFile(target + L"_0"));
    EXPECT_EQ(-1, SizeOfFile(target + L"_1"));
    DeleteFileW(target.c_str());
  }
}

TEST_F(MtCurlDownloaderTest, AServerIgnoringRangesIsNoSuccess) {
  // Without a digest nothing else would notice that the second part holds
  // the file's beginning.
  const std::string id = UniqueId();
  const auto events = Download(PackageUrl("id=" + id + ",size=21000000,dg=none,norange=1"));
  EXPECT_EQ((std::vector<int32_t>{DL_CODE_START, DL_CODE_RETRY}), Codes());
  EXPECT_EQ(static_cast<double>(CURLE_WRITE_ERROR), Find(events, DL_CODE_RETRY).value);
}

TEST_F(MtCurlDownloaderTest, APartFileThatCannotBeOpenedFailsThePart) {
  ASSERT_TRUE(CreateDirectoryW((target + L"_0").c_str(), nullptr));
  const std::string id = UniqueId();
  const auto events = Download(PackageUrl("id=" + id));
  EXPECT_EQ((std::vector<int32_t>{DL_CODE_START, DL_CODE_RETRY}), Codes());
  EXPECT_EQ(-2.0, Find(events, DL_CODE_RETRY).value);
  EXPECT_TRUE(Gets(RequestLog(id)).empty());
  RemoveDirectoryW((target + L"_0").c_str());
}

TEST_F(MtCurlDownloaderTest, AJoinThatCannotTakeTheTargetNameIsNoSuccess) {
  // Every part arrives, but a folder stands where the package should go.
  ASSERT_TRUE(CreateDirectoryW(target.c_str(), nullptr));
  const auto events = Download(PackageUrl("id=" + UniqueId()), true);
  EXPECT_EQ((std::vector<int32_t>{DL_CODE_START, DL_CODE_RETRY, DL_CODE_START, DL_CODE_FAIL}), Codes());
  EXPECT_EQ(-2.0, Find(events, DL_CODE_FAIL).value);
  EXPECT_EQ(-1, SizeOfFile(target + L"_0")) << "a failed join leaves no part files";
  RemoveDirectoryW(target.c_str());
}

TEST_F(MtCurlDownloaderTest, DestructionStopsRunningParts) {
  const std::string id = UniqueId();
  downloader = std::make_unique<CMTCurlDownloader>(recorder->Callback(),
                                                   PackageUrl("id=" + id + ",size=25000000,stall=60"), target);
  downloader->Start();
  for (int i = 0; i < 100 && Gets(RequestLog(id)).size() < 2; ++i) Sleep(50);
  ASSERT_EQ(2u, Gets(RequestLog(id)).size());
  const DWORD begin = GetTickCount();
  downloader.reset();
  EXPECT_LT(GetTickCount() - begin, 4000u) << "stopped before the low-speed limit would have";
  EXPECT_EQ((std::vector<int32_t>{DL_CODE_START}), Codes());
}

TEST_F(MtCurlDownloaderTest, WithoutLibcurlItFailsBeforeAnyRequest) {
  const std::string id = UniqueId();
  g_settings.curlReady = false;
  const auto events = Download(PackageUrl("id=" + id));
  g_settings.curlReady = true;
  EXPECT_EQ((std::vector<int32_t>{DL_CODE_START, DL_CODE_FAIL}), Codes());
  EXPECT_EQ(0.0, Find(events, DL_CODE_FAIL).value);
  EXPECT_TRUE(RequestLog(id).empty());
}
