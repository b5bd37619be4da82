#pragma once
// The default downloader: one libcurl transfer through CurlClient, retried
// here on failure (a budget of 12: a partial-file failure, libcurl's 18, costs
// 1, anything else 2, with 500 ms between attempts), then the file is checked
// against the digest carried by the final URL. A mismatch asks once for a
// retry (DL_CODE_RETRY) and fails for good after that.
#include <atomic>
#include <string>

#include "download/curl_client.h"
#include "download/downloader.h"
#include "download/worker_slot.h"
#include "utils/handle.h"

class CCurlDownloader : public CDownloader {
 public:
  static constexpr int kRetryBudget = 12;
  static constexpr DWORD kRetryPauseMs = 500;

  // Deletes a part file an earlier run left beside targetPath.
  CCurlDownloader(StageCallback callback, const std::wstring& url, const std::wstring& targetPath);
  ~CCurlDownloader() override;

  void Start() override;

  // The digest helpers shared with the multi-part downloader (see
  // download/digest.h): the URL's second-to-last segment, and the lowercase
  // MD5 of a file named in the active code page ("" when unreadable).
  static std::string GetUrlMd5(const std::string& url);
  static std::string GetFileMd5(const std::string& path);

 private:
  static unsigned dlThreadFun(void* downloader);
  static void OnClientProgress(void* owner, double speed, double reserved, double percent);
  void Report(int32_t code, double value, const wchar_t* text);
  // False when the downloader is being destroyed.
  bool Pause(DWORD ms);

  StageCallback callback;
  std::wstring targetPath;
  std::wstring url;
  CurlClient client;
  Download::WorkerSlot worker;
  bool retried = false;  // touched only on the worker
  std::atomic<bool> stopping{false};
  Utils::UniqueHandle stopEvent;
};
