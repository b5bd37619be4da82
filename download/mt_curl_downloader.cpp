#include "download/mt_curl_downloader.h"

#include <sys/stat.h>

#include <cerrno>
#include <ctime>

#include "app/log.h"
#include "app/settings.h"
#include "download/digest.h"
#include "download/transfer_options.h"
#include "utils/text.h"

namespace {
struct CrtFileTraits {
  static FILE* Invalid() { return nullptr; }
  static void Close(FILE* f) { fclose(f); }
};
using UniqueCrtFile = Utils::UniqueResource<CrtFileTraits>;

void RemoveFile(const std::wstring& path) {
  if (!DeleteFileW(path.c_str()) && GetLastError() != ERROR_FILE_NOT_FOUND)
    WriteLog(L"DeleteFile failed:%lu:%s\r\n", GetLastError(), path.c_str());
}
}  // namespace

CMTCurlDownloader::CMTCurlDownloader(StageCallback callback, const std::wstring& url, const std::wstring& targetPath)
    : callback(std::move(callback)), targetPath(targetPath), url(url),
      stopEvent(CreateEventW(nullptr, TRUE, FALSE, nullptr)),
      partsDoneEvent(CreateEventW(nullptr, FALSE, FALSE, nullptr)) {
  if (!stopEvent || !partsDoneEvent) WriteLog(L"CreateEvent failed:%lu\r\n", GetLastError());
  if (!targetPath.empty()) {
    RemoveFile(targetPath);
    DeletePartFiles();
  }
}

CMTCurlDownloader::~CMTCurlDownloader() {
  stopping = true;
  if (stopEvent) SetEvent(stopEvent.Get());
  worker.Close();
  JoinAttemptThreads();
  ClearParts();
}

void CMTCurlDownloader::Start() {
  if (stopping) return;
  if (!worker.Launch(this, &CMTCurlDownloader::Start_Down)) WriteLog(L"the download worker did not start\r\n");
}

std::wstring CMTCurlDownloader::PartPath(int index) const { return targetPath + L"_" + std::to_wstring(index); }

void CMTCurlDownloader::DeletePartFiles() {
  RemoveFile(PartPath(0));
  RemoveFile(PartPath(1));
}

void CMTCurlDownloader::ClearParts() {
  for (auto& part : parts) {
    if (part->file) fclose(part->file);
    part->file = nullptr;
  }
  parts.clear();
}

void CMTCurlDownloader::JoinAttemptThreads() {
  std::vector<std::unique_ptr<Utils::Thread>> threads;
  std::unique_ptr<Utils::Thread> last;
  {
    std::lock_guard<std::mutex> lock(threadsMutex);
    threads.swap(partThreads);
    last = std::move(finisher);
  }
  threads.clear();
  last.reset();  // the finisher may still be returning from the retry request
}

void CMTCurlDownloader::Report(int32_t code, double value, const wchar_t* text) {
  if (stopping || !callback) return;
  callback(code, value, text);
}

bool CMTCurlDownloader::Pause(DWORD ms) {
  if (stopping) return false;
  if (stopEvent) return WaitForSingleObject(stopEvent.Get(), ms) == WAIT_TIMEOUT && !stopping;
  Sleep(ms);
  return !stopping;
}

std::vector<std::pair<int64_t, int64_t>> CMTCurlDownloader::SplitRanges(int64_t length) {
  std::vector<std::pair<int64_t, int64_t>> ranges;
  if (length <= 0) return ranges;
  int64_t n = length / kPartUnit;
  if (n < 1) n = 1;
  if (n > 2) n = 2;
  const int64_t size = length / n;
  int64_t offset = 0;
  for (int64_t i = 0; i < n; ++i) {
    const int64_t partSize = i == n - 1 ? size + length % n : size;
    ranges.emplace_back(offset, offset + partSize - 1);
    offset += partSize;
  }
  return ranges;
}

bool CMTCurlDownloader::getRealDownloadUrl(const std::string& urlBytes) {
  realUrl.clear();
  expectedMd5.clear();
  fileLength = 0;
  if (!g_settings.curlReady) {
    WriteLog(L"libcurl is not initialised\r\n");
    return false;
  }
  Download::UniqueCurlList headers;  // outlives the handle that points to it
  Download::UniqueCurl h(curl_easy_init());
  if (!h) {
    WriteLog(L"curl_easy_init failed\r\n");
    return false;
  }
  if (!Download::AppendHeader(headers, "Connection: keep-alive")) WriteLog(L"curl_slist_append failed\r\n");
  curl_easy_setopt(h.Get(), CURLOPT_HTTPHEADER, headers.Get());
  int r = Download::SetBodilessRequest(h.Get(), urlBytes);
  r |= curl_easy_setopt(h.Get(), CURLOPT_FOLLOWLOCATION, 1L);
  r |= curl_easy_setopt(h.Get(), CURLOPT_NOPROGRESS, 0L);
  r |= curl_easy_setopt(h.Get(), CURLOPT_XFERINFOFUNCTION, &CMTCurlDownloader::StopCheck);
  r |= curl_easy_setopt(h.Get(), CURLOPT_XFERINFODATA, this);
  if (r != CURLE_OK) {
    WriteLog(L"setopt:%d:%hs\r\n", r, curl_easy_strerror(static_cast<CURLcode>(r)));
    return false;
  }
  const CURLcode performed = curl_easy_perform(h.Get());
  if (performed != CURLE_OK) {
    WriteLog(L"error:%d:%hs\r\n", performed, curl_easy_strerror(performed));
    return false;
  }
  char* effective = nullptr;
  if (curl_easy_getinfo(h.Get(), CURLINFO_EFFECTIVE_URL, &effective) == CURLE_OK && effective && *effective) {
    realUrl = effective;
    WriteLog(L"Download File real url %s\r\n", Utils::ToWide(realUrl, Utils::kUtf8CodePage).c_str());
    expectedMd5 = Download::GetUrlMd5(realUrl);
  }
  curl_off_t length = -1;
  long status = 0;
  const CURLcode rl = curl_easy_getinfo(h.Get(), CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length);
  const CURLcode rs = curl_easy_getinfo(h.Get(), CURLINFO_RESPONSE_CODE, &status);
  if (rl == CURLE_OK && rs == CURLE_OK && status >= 200 && status < 400 && length >= 0) {
    fileLength = static_cast<int64_t>(length);
    WriteLog(L"Download File Length %lld\r\n", static_cast<long long>(fileLength));
  } else {
    WriteLog(L"no length: %d %d status %ld\r\n", rl, rs, status);
  }
  return !realUrl.empty() && fileLength >= kMinLength;
}

unsigned CMTCurlDownloader::Start_Down(void* downloader) {
  auto* self = static_cast<CMTCurlDownloader*>(downloader);
  self->Report(DL_CODE_START, 1.0, L"");
  WriteLog(L"start download\r\n");
  // The threads of the previous attempt have ended or are about to (the
  // finisher may be returning from the retry request that started us).
  self->JoinAttemptThreads();
  self->ClearParts();
  if (self->stopping) return 0;

  const std::string urlBytes = Download::UrlBytes(self->url);
  RemoveFile(self->targetPath);
  double lastPercent;
  {
    std::lock_guard<std::mutex> lock(self->progressMutex);
    lastPercent = self->lastPercent;
  }
  if (lastPercent == 0.0) self->DeletePartFiles();

  if (self->realUrl.empty() || self->fileLength < kMinLength) {
    if (!self->getRealDownloadUrl(urlBytes)) {
      self->Report(DL_CODE_FAIL, 0.0, kTagLibCurl);
      return 0;
    }
  }

  const auto ranges = SplitRanges(self->fileLength);
  for (size_t i = 0; i < ranges.size(); ++i) {
    auto part = std::make_unique<DownloadPartNode>();
    part->partPath = self->PartPath(static_cast<int>(i));
    struct _stat64 st;
    const int64_t existing = _wstat64(part->partPath.c_str(), &st) == 0 ? st.st_size : 0;
    part->received = existing;
    part->rangeStart = ranges[i].first + existing;
    part->rangeEnd = ranges[i].second;
    part->handle.Reset(curl_easy_init());
    part->url = self->realUrl;
    if (part->rangeStart > part->rangeEnd) {
      part->status = 0;
    } else {
      part->status = DownloadPartNode::kPending;
      part->file = _wfopen(part->partPath.c_str(), L"ab+");
      if (!part->file) {
        WriteLog(L"open part file failed:%d:%s\r\n", errno, part->partPath.c_str());
        part->status = DownloadPartNode::kFileError;
      }
    }
    self->parts.push_back(std::move(part));
  }

  for (auto& part : self->parts) {
    if (part->status != DownloadPartNode::kPending) continue;
    DownloadPartNode* node = part.get();
    ++self->runningCount;
    auto thread = std::make_unique<Utils::Thread>(self, L"ABDEF", [node](void* p) {
      return downloadThreadFun(static_cast<CMTCurlDownloader*>(p), node);
    });
    if (!thread->Started() || !thread->Resume()) {
      WriteLog(L"part thread did not start:%lu\r\n", GetLastError());
      if (thread->Started()) TerminateThread(thread->Handle(), 1);
      node->status = CURLE_FAILED_INIT;
      --self->runningCount;
    }
    {
      std::lock_guard<std::mutex> lock(self->threadsMutex);
      self->partThreads.push_back(std::move(thread));
    }
    self->Pause(kPartStartGapMs);
  }

  auto finishing = std::make_unique<Utils::Thread>(self, L"ABDEF", &CMTCurlDownloader::waitForFinishThreadFun);
  Utils::Thread* raw = finishing.get();
  {
    std::lock_guard<std::mutex> lock(self->threadsMutex);
    self->finisher = std::move(finishing);
  }
  if (!raw->Started() || !raw->Resume()) WriteLog(L"finishing thread did not start:%lu\r\n", GetLastError());
  return 0;
}

int CMTCurlDownloader::StopCheck(void* downloader, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
  return static_cast<CMTCurlDownloader*>(downloader)->stopping ? 1 : 0;
}

size_t CMTCurlDownloader::WritePart(char* data, size_t size, size_t count, void* p) {
  auto* part = static_cast<DownloadPartNode*>(p);
  if (!part->file || part->rangeStart > part->rangeEnd) return 0;
  if (part->rangeStart == part->attemptStart) {
    // A server that ignores the range answers 200 with the file from its
    // first byte: only a part that starts there may take that body.
    long status = 0;
    curl_easy_getinfo(part->handle.Get(), CURLINFO_RESPONSE_CODE, &status);
    if (status != 206 && !(status == 200 && part->attemptStart == 0)) {
      WriteLog(L"unexpected status %ld for a ranged request\r\n", status);
      return 0;
    }
  }
  const int64_t room = part->rangeEnd - part->rangeStart + 1;
  const int64_t block = static_cast<int64_t>(size) * static_cast<int64_t>(count);
  const size_t take = static_cast<size_t>(block > room ? room : block);
  const size_t written = fwrite(data, 1, take, part->file);
  part->rangeStart += static_cast<int64_t>(written);
  part->received += static_cast<int64_t>(written);
  return written;
}

int CMTCurlDownloader::OnPartProgress(void* downloader, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
  auto* self = static_cast<CMTCurlDownloader*>(downloader);
  if (self->stopping) return 1;
  std::lock_guard<std::mutex> lock(self->progressMutex);
  const int64_t now = static_cast<int64_t>(time(nullptr));
  if (now <= self->lastProgressTime) return 0;
  self->lastProgressTime = now;
  double percent = 0.0;
  if (self->fileLength >= kMinLength) {
    for (const auto& part : self->parts) {
      const int64_t received = part->received;
      if (received > 0) percent += static_cast<double>(received) * 100.0 / static_cast<double>(self->fileLength);
    }
    if (percent > 100.0) return 0;
  }
  if (percent - self->lastPercent < 1.0) return 0;
  self->lastPercent = percent;
  self->Report(DL_CODE_PROGRESS, percent / 100.0, L"");
  return 0;
}

int CMTCurlDownloader::downloadExe(CMTCurlDownloader* self, DownloadPartNode* part) {
  CURL* h = part->handle.Get();
  if (!h) return CURLE_FAILED_INIT;
  char range[64] = {};
  snprintf(range, sizeof(range), "%lld-%lld", static_cast<long long>(part->rangeStart),
           static_cast<long long>(part->rangeEnd));
  part->attemptStart = part->rangeStart;
  int r = curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
  r |= curl_easy_setopt(h, CURLOPT_URL, part->url.c_str());
  r |= curl_easy_setopt(h, CURLOPT_TIMEOUT, 0L);
  r |= curl_easy_setopt(h, CURLOPT_FOLLOWLOCATION, 1L);
  r |= curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, &CMTCurlDownloader::WritePart);
  r |= curl_easy_setopt(h, CURLOPT_WRITEDATA, part);
  r |= curl_easy_setopt(h, CURLOPT_NOPROGRESS, 0L);
  r |= curl_easy_setopt(h, CURLOPT_XFERINFOFUNCTION, &CMTCurlDownloader::OnPartProgress);
  r |= curl_easy_setopt(h, CURLOPT_XFERINFODATA, self);
  r |= curl_easy_setopt(h, CURLOPT_FAILONERROR, 1L);
  r |= curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT, 60L);
  r |= Download::ApplyTlsVerification(h);
  r |= curl_easy_setopt(h, CURLOPT_LOW_SPEED_LIMIT, 1L);
  r |= curl_easy_setopt(h, CURLOPT_LOW_SPEED_TIME, 5L);
  r |= curl_easy_setopt(h, CURLOPT_RANGE, range);
  r |= curl_easy_setopt(h, CURLOPT_BUFFERSIZE, Download::kReceiveBufferBytes);
  if (r != CURLE_OK) return r;

  CURLcode result = curl_easy_perform(h);
  if (result == CURLE_WRITE_ERROR && part->rangeStart > part->rangeEnd) {
    // The server sent more than the range; everything the part needs is on
    // disk, so the surplus refused by WritePart is no failure.
    result = CURLE_OK;
  }
  if (result != CURLE_OK)
    WriteLog(L"error:%d:%hs\r\n", result, curl_easy_strerror(result));
  else
    WriteLog(L"curl_easy_cleanup\r\n");
  curl_easy_reset(h);
  if (result == CURLE_OK && part->file) {
    if (fclose(part->file) != 0) {
      WriteLog(L"closing the part file failed:%d\r\n", errno);
      result = CURLE_WRITE_ERROR;
    }
    part->file = nullptr;
  }
  part->status = result;
  return result;
}

unsigned CMTCurlDownloader::downloadThreadFun(CMTCurlDownloader* self, DownloadPartNode* part) {
  int budget = kRetryBudget;
  int r = downloadExe(self, part);
  while (r != 0 && budget > 0 && !self->stopping) {
    budget -= r == CURLE_PARTIAL_FILE ? 1 : 2;
    WriteLog(L"CurlDownLoader Code=%d\r\n", r);
    if (!self->Pause(kRetryPauseMs)) break;
    r = downloadExe(self, part);
  }
  if (part->file) {
    fclose(part->file);
    part->file = nullptr;
  }
  if (--self->runningCount == 0 && self->partsDoneEvent) SetEvent(self->partsDoneEvent.Get());
  return 0;
}

int CMTCurlDownloader::JoinParts() {
  if (parts.empty()) return DownloadPartNode::kFileError;
  UniqueCrtFile first(_wfopen(parts[0]->partPath.c_str(), L"ab+"));
  if (!first) {
    WriteLog(L"open part file failed:%d:%s\r\n", errno, parts[0]->partPath.c_str());
    return DownloadPartNode::kFileError;
  }
  std::vector<char> block(kJoinBlock);
  for (size_t i = 1; i < parts.size(); ++i) {
    UniqueCrtFile next(_wfopen(parts[i]->partPath.c_str(), L"rb+"));
    if (!next) {
      WriteLog(L"open part file failed:%d:%s\r\n", errno, parts[i]->partPath.c_str());
      return DownloadPartNode::kFileError;
    }
    size_t n;
    while ((n = fread(block.data(), 1, block.size(), next.Get())) > 0) {
      if (fwrite(block.data(), 1, n, first.Get()) != n) {
        WriteLog(L"write to the first part failed:%d\r\n", errno);
        return DownloadPartNode::kFileError;
      }
    }
    if (ferror(next.Get())) {
      WriteLog(L"read of a part failed:%d\r\n", errno);
      return DownloadPartNode::kFileError;
    }
    WriteLog(L"partPath::%s\r\n", parts[i]->partPath.c_str());
  }
  if (fclose(first.Release()) != 0) {
    WriteLog(L"closing the first part failed:%d\r\n", errno);
    return DownloadPartNode::kFileError;
  }
  if (!MoveFileExW(parts[0]->partPath.c_str(), targetPath.c_str(), MOVEFILE_REPLACE_EXISTING)) {
    WriteLog(L"MoveFileEx failed:%lu\r\n", GetLastError());
    return DownloadPartNode::kFileError;
  }
  DeletePartFiles();
  return 0;
}

unsigned CMTCurlDownloader::waitForFinishThreadFun(void* downloader) {
  auto* self = static_cast<CMTCurlDownloader*>(downloader);
  while (self->runningCount > 0 && !self->stopping) {
    if (self->partsDoneEvent && self->stopEvent) {
      const HANDLE wake[] = {self->stopEvent.Get(), self->partsDoneEvent.Get()};
      WaitForMultipleObjects(2, wake, FALSE, kFinishPollMs);
    } else {
      Sleep(kFinishPollMs);
    }
  }
  if (self->stopping) return 0;

  int firstError = 0;
  for (const auto& part : self->parts) {
    if (part->status != 0) {
      firstError = part->status;
      break;
    }
  }
  if (firstError == 0) {
    {
      std::lock_guard<std::mutex> lock(self->progressMutex);
      self->lastPercent = 0.0;
    }
    for (auto& part : self->parts) {
      if (part->file) fclose(part->file);
      part->file = nullptr;
    }
    firstError = self->JoinParts();
    if (firstError != 0) {
      // Half-joined part files cannot be resumed; the retry starts over.
      self->DeletePartFiles();
    }
  }
  if (firstError == 0) {
    switch (Download::CheckFileDigest(self->expectedMd5, self->targetPath)) {
      case Download::DigestCheck::Match:
        break;
      case Download::DigestCheck::NoDigest:
        self->Report(DL_CODE_MESSAGE, 0.0, kMsgMtCurlNoUrlMd5);
        break;
      case Download::DigestCheck::Mismatch:
        self->Report(DL_CODE_MESSAGE, 0.0, kMsgMtCurlMd5Mismatch);
        RemoveFile(self->targetPath);
        self->ClearParts();
        if (self->retried) {
          WriteLog(L"finish recv, md5 chaek failed and retry failed.\r\n");
          self->Report(DL_CODE_FAIL, 0.0, kTagLibCurl);
        } else {
          self->retried = true;
          WriteLog(L"finish recv, md5 chaek failed retry once.\r\n");
          self->Report(DL_CODE_RETRY, 0.0, kTagLibCurl);
        }
        return 0;
    }
    WriteLog(L"finish recv\r\n");
    self->ClearParts();
    self->Report(DL_CODE_SUCCESS, 0.0, kTagLibCurl);
    return 0;
  }

  self->ClearParts();
  bool keep;
  {
    std::lock_guard<std::mutex> lock(self->progressMutex);
    keep = self->lastPercent != 0.0;
  }
  if (!keep) self->DeletePartFiles();
  if (self->retried) {
    {
      std::lock_guard<std::mutex> lock(self->progressMutex);
      self->lastPercent = 0.0;
    }
    self->Report(DL_CODE_FAIL, static_cast<double>(firstError), kTagLibCurl);
  } else {
    self->retried = true;
    self->Report(DL_CODE_RETRY, static_cast<double>(firstError), kTagLibCurl);
  }
  return 0;
}
