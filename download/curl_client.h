#pragma once
// Downloads one URL into one file over libcurl, for the single-stream
// downloader. Before transferring it resolves the final URL behind redirects
// and the file's length, and refuses files under 1 MiB. The transfer writes
// into "<filePath>.part", resumes a part file that an earlier Start of the
// same client left, reports progress at most once per calendar second and, on
// success, moves the part file to filePath. Everything runs on the calling
// thread.
#include <curl/curl.h>

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <string>

class CurlClient {
 public:
  // Called as (owner, bytes per second, always 0.0, percent done).
  using ProgressSink = void (*)(void* owner, double speed, double reserved, double percent);

  // Result codes of Start besides 0 (done) and libcurl's own codes.
  static constexpr int kPartFileError = -996;   // errorText says why
  static constexpr int kNoHandle = -997;
  static constexpr int kBadLength = -998;       // unknown, or under kMinLength
  static constexpr double kMinLength = 1048576.0;

  CurlClient(const std::wstring& url, const std::wstring& filePath, void* owner,
             ProgressSink sink = nullptr);
  // Deletes the part file.
  ~CurlClient();
  CurlClient(const CurlClient&) = delete;
  CurlClient& operator=(const CurlClient&) = delete;

  std::wstring GetFilePath(bool part) const;
  // Blocking. 0, a libcurl code, kPartFileError, kNoHandle or kBadLength.
  int Start();
  // Makes a running Start give up at its next progress call (any thread).
  void RequestStop() { stopRequested = true; }

  // Body-less request following redirects; the caller owns the handle (null
  // when none could be made) and reads the information from it.
  CURL* Head(const std::string& url);
  static std::string GetEffectiveUrl(CURL* handle);
  static double GetDownloadFileLength(CURL* handle);  // -1.0 unless 2xx/3xx
  double GetDownloadFileLength_Str(const std::string& url);
  std::string GetRealUrl_Str(const std::string& url);  // `url` when unresolved

  static int ProgressCallback(void* client, curl_off_t dltotal, curl_off_t dlnow, curl_off_t ultotal,
                              curl_off_t ulnow);
  static size_t WriteToFile(char* data, size_t size, size_t count, void* file);
  static int StopCheck(void* client, curl_off_t, curl_off_t, curl_off_t, curl_off_t);

  // Kept from one Start to the next, so a repeated Start skips resolution.
  const std::string& RealUrl() const { return realUrl; }
  double FileLength() const { return fileLength; }
  int64_t ResumeOffset() const { return resumeOffset; }
  const std::wstring& ErrorText() const { return errorText; }

 private:
  // Body-less requests can wait on a silent server for ever; the stop flag
  // must reach them too.
  CURLcode AllowStop(CURL* handle);

  std::wstring url;
  std::wstring filePath;
  void* owner = nullptr;
  CURL* handle = nullptr;  // the running transfer; owned by Start
  ProgressSink progressSink = nullptr;
  double fileLength = -1.0;
  int64_t resumeOffset = -1;
  int64_t lastProgressTime = 0;
  std::atomic<bool> stopRequested{false};
  std::wstring errorText;
  std::string realUrl;
};
