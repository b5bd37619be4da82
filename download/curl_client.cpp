#include "download/curl_client.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <ctime>

#include "app/log.h"
#include "download/curl_handle.h"
#include "download/transfer_options.h"

namespace {
struct CrtFileTraits {
  static FILE* Invalid() { return nullptr; }
  static void Close(FILE* f) { fclose(f); }
};
using UniqueCrtFile = Utils::UniqueResource<CrtFileTraits>;

// 64-bit size of a file; 0 when it does not exist.
int64_t FileSize(const std::wstring& path) {
  struct _stat64 st;
  if (_wstat64(path.c_str(), &st) != 0) return 0;
  return st.st_size;
}
}  // namespace

CurlClient::CurlClient(const std::wstring& url, const std::wstring& filePath, void* owner, ProgressSink sink)
    : url(url), filePath(filePath), owner(owner), progressSink(sink) {}

CurlClient::~CurlClient() {
  stopRequested = true;
  _wremove(GetFilePath(true).c_str());
}

std::wstring CurlClient::GetFilePath(bool part) const { return part ? filePath + L".part" : filePath; }

CURLcode CurlClient::AllowStop(CURL* h) {
  int r = curl_easy_setopt(h, CURLOPT_NOPROGRESS, 0L);
  r |= curl_easy_setopt(h, CURLOPT_XFERINFOFUNCTION, &CurlClient::StopCheck);
  r |= curl_easy_setopt(h, CURLOPT_XFERINFODATA, this);
  return static_cast<CURLcode>(r);
}

int CurlClient::StopCheck(void* client, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
  return static_cast<CurlClient*>(client)->stopRequested ? 1 : 0;
}

CURL* CurlClient::Head(const std::string& target) {
  CURL* h = curl_easy_init();
  if (!h) {
    WriteLog(L"curl_easy_init failed\r\n");
    return nullptr;
  }
  int r = Download::SetBodilessRequest(h, target);
  r |= curl_easy_setopt(h, CURLOPT_FOLLOWLOCATION, 1L);
  r |= AllowStop(h);
  if (r == CURLE_OK) {
    r = curl_easy_perform(h);
    if (r != CURLE_OK) WriteLog(L"error:%d:%hs\r\n", r, curl_easy_strerror(static_cast<CURLcode>(r)));
  }
  WriteLog(L"error:%d:%hs\r\n", r, curl_easy_strerror(static_cast<CURLcode>(r)));
  return h;
}

std::string CurlClient::GetEffectiveUrl(CURL* h) {
  if (!h) return "";
  char* effective = nullptr;
  const CURLcode r = curl_easy_getinfo(h, CURLINFO_EFFECTIVE_URL, &effective);
  if (r != CURLE_OK) {
    WriteLog(L"error:%d:%hs\r\n", r, curl_easy_strerror(r));
    return "";
  }
  return effective ? effective : "";
}

double CurlClient::GetDownloadFileLength(CURL* h) {
  if (!h) return -1.0;
  curl_off_t length = -1;
  const CURLcode r = curl_easy_getinfo(h, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length);
  WriteLog(L"error:%d:%hs\r\n", r, curl_easy_strerror(r));
  long status = 0;
  const CURLcode rs = curl_easy_getinfo(h, CURLINFO_RESPONSE_CODE, &status);
  if (rs != CURLE_OK) WriteLog(L"error:%d:%hs\r\n", rs, curl_easy_strerror(rs));
  if (r == CURLE_OK && status >= 200 && status < 400) return static_cast<double>(length);
  return -1.0;
}

double CurlClient::GetDownloadFileLength_Str(const std::string& target) {
  double length = -1.0;
  Download::UniqueCurl h(curl_easy_init());
  if (!h) {
    WriteLog(L"curl_easy_init failed\r\n");
    return length;
  }
  int r = Download::SetBodilessRequest(h.Get(), target);
  r |= curl_easy_setopt(h.Get(), CURLOPT_HEADER, 1L);
  r |= AllowStop(h.Get());
  if (r == CURLE_OK) {
    // The status is deliberately not checked: a "file:///" URL has none and
    // is sized only here.
    const CURLcode performed = curl_easy_perform(h.Get());
    if (performed != CURLE_OK) WriteLog(L"perform:%d:%hs\r\n", performed, curl_easy_strerror(performed));
    curl_off_t size = -1;
    const CURLcode rl = curl_easy_getinfo(h.Get(), CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &size);
    length = rl == CURLE_OK ? static_cast<double>(size) : -1.0;
    long status = 0;
    r = curl_easy_getinfo(h.Get(), CURLINFO_RESPONSE_CODE, &status);
  }
  WriteLog(L"error:%d:%hs\r\n", r, curl_easy_strerror(static_cast<CURLcode>(r)));
  return length;
}

std::string CurlClient::GetRealUrl_Str(const std::string& target) {
  std::string effective;
  Download::UniqueCurl h(curl_easy_init());
  if (h) {
    int r = Download::SetBodilessRequest(h.Get(), target);
    r |= curl_easy_setopt(h.Get(), CURLOPT_FOLLOWLOCATION, 1L);
    r |= AllowStop(h.Get());
    if (r == CURLE_OK) {
      const CURLcode performed = curl_easy_perform(h.Get());
      if (performed != CURLE_OK)
        WriteLog(L"error:%d:%hs\r\n", performed, curl_easy_strerror(performed));
      else
        effective = GetEffectiveUrl(h.Get());
    } else {
      WriteLog(L"setopt:%d:%hs\r\n", r, curl_easy_strerror(static_cast<CURLcode>(r)));
    }
  } else {
    WriteLog(L"curl_easy_init failed\r\n");
  }
  return effective.empty() ? target : effective;
}

int CurlClient::ProgressCallback(void* client, curl_off_t dltotal, curl_off_t dlnow, curl_off_t, curl_off_t) {
  auto* self = static_cast<CurlClient*>(client);
  if (self->stopRequested) return 1;
  const int64_t now = static_cast<int64_t>(time(nullptr));
  if (now - self->lastProgressTime < 1) return 0;
  self->lastProgressTime = now;

  curl_off_t bytesPerSecond = 0;
  if (curl_easy_getinfo(self->handle, CURLINFO_SPEED_DOWNLOAD_T, &bytesPerSecond) != CURLE_OK) bytesPerSecond = 0;
  const double speed = static_cast<double>(bytesPerSecond);

  double percent = 0.0;
  if (self->fileLength > kMinLength) {
    percent = (static_cast<double>(dlnow) + static_cast<double>(self->resumeOffset)) / self->fileLength * 100.0;
  } else if (dlnow > 0 && dltotal > 0) {
    percent = static_cast<double>(dlnow) * 100.0 / static_cast<double>(dltotal);
  } else {
    return 0;
  }
  if (percent == 0.0) return 0;
  if (self->progressSink) self->progressSink(self->owner, speed, 0.0, percent);
  if (dltotal != 0) {
    WriteLog(L" %dM %dM   progress:%f%%  speed:%f \n", static_cast<int>(dlnow / 1048576),
             static_cast<int>(dltotal / 1048576), static_cast<double>(static_cast<float>(percent)),
             static_cast<double>(static_cast<float>(speed / 1024)));
  }
  return 0;
}

size_t CurlClient::WriteToFile(char* data, size_t size, size_t count, void* file) {
  return fwrite(data, size, count, static_cast<FILE*>(file));
}

int CurlClient::Start() {
  WriteLog(L"start download\r\n");
  const std::wstring partPath = GetFilePath(true);
  const std::string urlBytes = Download::UrlBytes(url);
  int result = CURLE_OK;

  if (realUrl.empty() || fileLength < kMinLength) {
    Download::UniqueCurl head(Head(urlBytes));
    realUrl = GetEffectiveUrl(head.Get());
    fileLength = GetDownloadFileLength(head.Get());
  }
  if (realUrl.empty() || fileLength < kMinLength) {
    realUrl = GetRealUrl_Str(urlBytes);
    if (!realUrl.empty()) fileLength = GetDownloadFileLength_Str(realUrl);
  }

  Download::UniqueCurlList headers;  // outlives the handle that points to it
  Download::UniqueCurl easy;
  UniqueCrtFile part;
  if (fileLength < kMinLength) {
    result = kBadLength;
  } else if (easy.Reset(curl_easy_init()); !easy) {
    result = kNoHandle;
  } else {
    part.Reset(_wfopen(partPath.c_str(), L"ab+"));
    if (!part) {
      const int err = errno;
      wchar_t text[201] = {};
      _wcserror_s(text, 200, err);
      errorText = text;
      WriteLog(L"open part file failed:%d:%s\r\n", err, errorText.c_str());
      result = kPartFileError;
    }
  }

  if (result == CURLE_OK) {
    handle = easy.Get();
    if (!Download::AppendHeader(headers, "Connection: keep-alive"))
      WriteLog(L"curl_slist_append failed\r\n");
    // Asking through CURLOPT_ACCEPT_ENCODING (not as a raw header) is what
    // makes libcurl decode a gzip or deflate body; a raw header would store
    // the compressed bytes as the package.
    curl_easy_setopt(handle, CURLOPT_HTTPHEADER, headers.Get());
    curl_easy_setopt(handle, CURLOPT_TCP_KEEPALIVE, 1L);
    curl_easy_setopt(handle, CURLOPT_TCP_KEEPIDLE, 10L);
    curl_easy_setopt(handle, CURLOPT_TCP_KEEPINTVL, 10L);
    curl_easy_setopt(handle, CURLOPT_TIMEOUT, 0L);
    int r = curl_easy_setopt(handle, CURLOPT_ACCEPT_ENCODING, "gzip, deflate");
    r |= curl_easy_setopt(handle, CURLOPT_URL, realUrl.c_str());
    r |= curl_easy_setopt(handle, CURLOPT_FOLLOWLOCATION, 1L);
    r |= curl_easy_setopt(handle, CURLOPT_WRITEFUNCTION, &CurlClient::WriteToFile);
    r |= curl_easy_setopt(handle, CURLOPT_WRITEDATA, part.Get());
    r |= curl_easy_setopt(handle, CURLOPT_NOPROGRESS, 0L);
    r |= curl_easy_setopt(handle, CURLOPT_XFERINFOFUNCTION, &CurlClient::ProgressCallback);
    r |= curl_easy_setopt(handle, CURLOPT_XFERINFODATA, this);
    r |= curl_easy_setopt(handle, CURLOPT_FAILONERROR, 1L);
    r |= curl_easy_setopt(handle, CURLOPT_CONNECTTIMEOUT, 60L);
    r |= curl_easy_setopt(handle, CURLOPT_BUFFERSIZE, Download::kReceiveBufferBytes);
    r |= Download::ApplyTlsVerification(handle);
    resumeOffset = FileSize(partPath);
    if (resumeOffset > 0) r |= curl_easy_setopt(handle, CURLOPT_RESUME_FROM_LARGE, static_cast<curl_off_t>(resumeOffset));
    result = r;
    if (result == CURLE_OK) result = curl_easy_perform(handle);
  }

  // libcurl names its own codes and calls the client's negative ones unknown.
  WriteLog(L"error:%d:%hs\r\n", result, curl_easy_strerror(static_cast<CURLcode>(result)));
  easy.Reset();
  handle = nullptr;
  if (part && fclose(part.Release()) != 0 && result == CURLE_OK) {
    // The last buffered bytes did not reach the disk: the file is incomplete.
    WriteLog(L"closing the part file failed:%d\r\n", errno);
    result = CURLE_WRITE_ERROR;
  }

  if (result == CURLE_OK) {
    _wremove(filePath.c_str());
    if (_wrename(partPath.c_str(), filePath.c_str()) != 0) {
      WriteLog(L"rename failed:%d\r\n", errno);
      result = CURLE_WRITE_ERROR;
    }
  }
  WriteLog(L"end download\r\n");
  return result;
}
