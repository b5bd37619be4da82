// The download type chooses the downloader.
#include <gtest/gtest.h>

#include "download/curl_downloader.h"
#include "download/downloader.h"
#include "download/mt_curl_downloader.h"
#include "download/win_downloader.h"
#include "tests/support/process.h"

TEST(CreateDownloader, TheTypeChoosesTheImplementation) {
  TestSupport::TempDir dir;
  const std::wstring target = dir.File(L"pkg.exe");
  struct Case {
    int type;
    const char* expected;
  } cases[] = {{2, "win"}, {3, "mt"}, {0, "curl"}, {1, "curl"}, {4, "curl"}, {-1, "curl"}, {1000, "curl"}};
  for (const auto& c : cases) {
    auto d = CreateDownloader(c.type, [](int32_t, double, const wchar_t*) {}, L"http://127.0.0.1:9/x/pkg.exe", target);
    ASSERT_TRUE(d) << c.type;
    const char* kind = dynamic_cast<CWinDownloader*>(d.get())      ? "win"
                       : dynamic_cast<CMTCurlDownloader*>(d.get()) ? "mt"
                       : dynamic_cast<CCurlDownloader*>(d.get())   ? "curl"
                                                                    : "?";
    EXPECT_STREQ(c.expected, kind) << "type " << c.type;
    // Destroyed without Start: nothing runs, nothing waits for ever.
  }
}
