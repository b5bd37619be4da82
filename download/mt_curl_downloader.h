#pragma once
// Download type 3: the file is split into one part (under 20 MiB) or two
// byte ranges, each fetched into its own part file ("<target>_0", "<target>_1")
// on its own thread, then joined into the target and checked against the
// digest carried by the final URL. Part files survive a failed attempt once
// progress has been reported, so the one retry resumes them by range.
#include <curl/curl.h>

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "download/curl_handle.h"
#include "download/downloader.h"
#include "download/worker_slot.h"
#include "utils/thread.h"

struct DownloadPartNode {
  // Part status besides 0 (complete) and libcurl results.
  static constexpr int kPending = -1;
  static constexpr int kFileError = -2;

  FILE* file = nullptr;      // open for appending while the part downloads
  int64_t rangeStart = 0;    // absolute offset of the next byte to fetch
  int64_t rangeEnd = 0;      // absolute offset of the part's last byte
  int64_t attemptStart = 0;  // rangeStart when the current attempt began
  Download::UniqueCurl handle;
  std::string url;
  std::wstring partPath;
  int status = kPending;
  std::atomic<int64_t> received{0};  // bytes of this part on disk
};

class CMTCurlDownloader : public CDownloader {
 public:
  static constexpr int64_t kPartUnit = 10485760;  // 10 MiB
  static constexpr int64_t kMinLength = 256;
  static constexpr int kRetryBudget = 12;
  static constexpr DWORD kRetryPauseMs = 400;
  static constexpr DWORD kPartStartGapMs = 100;
  static constexpr DWORD kFinishPollMs = 200;
  // The join copies the later parts in blocks of this size; small blocks
  // made the join a noticeable share of a two-part download.
  static constexpr size_t kJoinBlock = 1 << 20;

  // Deletes the target file and both part files.
  CMTCurlDownloader(StageCallback callback, const std::wstring& url, const std::wstring& targetPath);
  ~CMTCurlDownloader() override;

  void Start() override;

  // Ranges of a file of `length` bytes: one part below 2 × kPartUnit, two
  // otherwise, the remainder going to the last part. Pairs of (first, last).
  static std::vector<std::pair<int64_t, int64_t>> SplitRanges(int64_t length);
  std::wstring PartPath(int index) const;

 private:
  static unsigned Start_Down(void* downloader);
  bool getRealDownloadUrl(const std::string& urlBytes);
  static int downloadExe(CMTCurlDownloader* self, DownloadPartNode* part);
  static unsigned downloadThreadFun(CMTCurlDownloader* self, DownloadPartNode* part);
  static unsigned waitForFinishThreadFun(void* downloader);
  static size_t WritePart(char* data, size_t size, size_t count, void* part);
  // Lets destruction abort a resolution request that waits on a silent server.
  static int StopCheck(void* downloader, curl_off_t, curl_off_t, curl_off_t, curl_off_t);
  static int OnPartProgress(void* downloader, curl_off_t, curl_off_t, curl_off_t, curl_off_t);
  // Appends the later part files to the first and moves it to the target.
  // Returns 0, or kFileError when a part file could not be read or written.
  int JoinParts();
  void ClearParts();
  void DeletePartFiles();
  void JoinAttemptThreads();
  void Report(int32_t code, double value, const wchar_t* text);
  bool Pause(DWORD ms);

  std::vector<std::unique_ptr<DownloadPartNode>> parts;
  StageCallback callback;
  std::wstring targetPath;
  std::wstring url;
  std::string realUrl;
  int64_t fileLength = -1;  // written before the part threads start
  std::string expectedMd5;
  std::atomic<int> runningCount{0};
  std::mutex progressMutex;  // guards lastProgressTime and lastPercent
  int64_t lastProgressTime = 0;
  double lastPercent = 0.0;  // 0.0: nothing reported, part files are not kept
  bool retried = false;
  Download::WorkerSlot worker;
  std::mutex threadsMutex;  // guards partThreads and finisher
  std::vector<std::unique_ptr<Utils::Thread>> partThreads;
  std::unique_ptr<Utils::Thread> finisher;
  std::atomic<bool> stopping{false};
  Utils::UniqueHandle stopEvent;
  // Set by the last part thread to end, so the finisher need not sit out
  // the rest of its polling interval.
  Utils::UniqueHandle partsDoneEvent;
};
