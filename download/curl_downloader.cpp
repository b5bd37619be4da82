#include "download/curl_downloader.h"

#include "app/log.h"
#include "download/digest.h"

CCurlDownloader::CCurlDownloader(StageCallback callback, const std::wstring& url, const std::wstring& targetPath)
    : callback(std::move(callback)),
      targetPath(targetPath),
      url(url),
      client(url, targetPath, this, &CCurlDownloader::OnClientProgress),
      stopEvent(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {
  if (!stopEvent) WriteLog(L"CreateEvent failed:%lu\r\n", GetLastError());
  // A new downloader never resumes what another process left behind.
  if (!targetPath.empty() && !DeleteFileW(client.GetFilePath(true).c_str()) && GetLastError() != ERROR_FILE_NOT_FOUND)
    WriteLog(L"DeleteFile failed:%lu\r\n", GetLastError());
}

CCurlDownloader::~CCurlDownloader() {
  stopping = true;
  client.RequestStop();
  if (stopEvent) SetEvent(stopEvent.Get());
  worker.Close();
}

void CCurlDownloader::Start() {
  if (stopping) return;
  if (!worker.Launch(this, &CCurlDownloader::dlThreadFun)) WriteLog(L"the download worker did not start\r\n");
}

void CCurlDownloader::Report(int32_t code, double value, const wchar_t* text) {
  if (stopping || !callback) return;
  callback(code, value, text);
}

bool CCurlDownloader::Pause(DWORD ms) {
  if (stopping) return false;
  if (stopEvent) return WaitForSingleObject(stopEvent.Get(), ms) == WAIT_TIMEOUT && !stopping;
  Sleep(ms);
  return !stopping;
}

void CCurlDownloader::OnClientProgress(void* owner, double speed, double, double percent) {
  if (speed > 0.0 && percent <= 100.0)
    static_cast<CCurlDownloader*>(owner)->Report(DL_CODE_PROGRESS, percent / 100.0, L"");
}

unsigned CCurlDownloader::dlThreadFun(void* downloader) {
  auto* self = static_cast<CCurlDownloader*>(downloader);
  self->Report(DL_CODE_START, 1.0, L"");
  if (self->targetPath.empty()) {
    self->Report(DL_CODE_FAIL, 1.0, L"");
    return 0;
  }

  int budget = kRetryBudget;
  int result = self->client.Start();
  while (result != 0) {
    if (self->stopping) return 0;
    budget -= result == CURLE_PARTIAL_FILE ? 1 : 2;
    if (budget <= 0) {
      self->Report(DL_CODE_FAIL, static_cast<double>(result), kTagLibCurl);
      return 0;
    }
    WriteLog(L"CurlDownLoader Code=%d\r\n", result);
    if (!self->Pause(kRetryPauseMs)) return 0;
    result = self->client.Start();
  }

  const std::string expected = Download::GetUrlMd5(self->client.RealUrl());
  switch (Download::CheckFileDigest(expected, self->targetPath)) {
    case Download::DigestCheck::Match:
      break;
    case Download::DigestCheck::NoDigest:
      self->Report(DL_CODE_MESSAGE, 0.0, kMsgCurlNoUrlMd5);
      break;
    case Download::DigestCheck::Mismatch:
      self->Report(DL_CODE_MESSAGE, 0.0, kMsgCurlMd5Mismatch);
      if (self->retried) {
        self->Report(DL_CODE_FAIL, 0.0, kTagLibCurl);
      } else {
        self->retried = true;
        self->Report(DL_CODE_RETRY, 0.0, kTagLibCurl);
      }
      return 0;
  }
  self->Report(DL_CODE_SUCCESS, 0.0, kTagLibCurl);
  return 0;
}

std::string CCurlDownloader::GetUrlMd5(const std::string& url) { return Download::GetUrlMd5(url); }

std::string CCurlDownloader::GetFileMd5(const std::string& path) { return Download::GetFileMd5(path); }
