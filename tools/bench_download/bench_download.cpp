// Times one download by one of the installer's downloaders, or the digest of
// a file, for scripts/bench-download. Prints "seconds=<s> bytes=<n>" on
// success; exit code 0 on success, 1 on failure, 2 on bad arguments.
//
//   bench_download download <type> <url> <target>
//   bench_download md5 <file>
#include <windows.h>

#include <curl/curl.h>

#include <cstdio>
#include <string>

#include "download/digest.h"
#include "download/downloader.h"
#include "utils/handle.h"

namespace {

double Seconds(const LARGE_INTEGER& from, const LARGE_INTEGER& to) {
  LARGE_INTEGER f;
  QueryPerformanceFrequency(&f);
  return static_cast<double>(to.QuadPart - from.QuadPart) / static_cast<double>(f.QuadPart);
}

long long FileSize(const std::wstring& path) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return -1;
  return (static_cast<long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

int RunDownload(int type, const std::wstring& url, const std::wstring& target) {
  Utils::UniqueHandle done(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  if (!done) return 1;
  int outcome = 0;
  LARGE_INTEGER begin, end;
  QueryPerformanceCounter(&begin);
  {
    auto downloader = CreateDownloader(
        type,
        [&](int32_t code, double value, const wchar_t*) {
          if (code == DL_CODE_SUCCESS || code == DL_CODE_FAIL || code == DL_CODE_RETRY) {
            outcome = code;
            if (code != DL_CODE_SUCCESS) std::fprintf(stderr, "outcome %d value %g\n", code, value);
            SetEvent(done.Get());
          }
        },
        url, target);
    downloader->Start();
    if (WaitForSingleObject(done.Get(), 600000) != WAIT_OBJECT_0) {
      std::fprintf(stderr, "no outcome within 10 minutes\n");
      return 1;
    }
    QueryPerformanceCounter(&end);
  }
  if (outcome != DL_CODE_SUCCESS) return 1;
  std::printf("seconds=%.3f bytes=%lld\n", Seconds(begin, end), FileSize(target));
  return 0;
}

int RunDigest(const std::wstring& file) {
  LARGE_INTEGER begin, end;
  QueryPerformanceCounter(&begin);
  const std::string md5 = Download::FileDigest(file, Download::DigestKind::Md5);
  QueryPerformanceCounter(&end);
  if (md5.empty()) return 1;
  std::printf("seconds=%.3f bytes=%lld md5=%s\n", Seconds(begin, end), FileSize(file), md5.c_str());
  return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (curl_global_init(CURL_GLOBAL_ALL) != CURLE_OK) return 1;
  int rc = 2;
  const std::wstring mode = argc > 1 ? argv[1] : L"";
  if (mode == L"download" && argc == 5) rc = RunDownload(_wtoi(argv[2]), argv[3], argv[4]);
  if (mode == L"md5" && argc == 3) rc = RunDigest(argv[2]);
  curl_global_cleanup();
  return rc;
}
