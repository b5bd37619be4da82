#include "download/win_downloader.h"

#include "app/log.h"
#include "utils/text.h"

CWinDownloader::CBindCallback::~CBindCallback() {
  cancelled = true;
  callback = nullptr;
}

STDMETHODIMP CWinDownloader::CBindCallback::QueryInterface(REFIID riid, void** object) {
  if (!object) return E_POINTER;
  // Answering for the interfaces it implements keeps the moniker from
  // falling back to a binding without progress.
  if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IBindStatusCallback) ||
      IsEqualIID(riid, IID_IBindStatusCallbackEx)) {
    *object = static_cast<IBindStatusCallbackEx*>(this);
    return S_OK;
  }
  if (IsEqualIID(riid, IID_IHttpNegotiate)) {
    *object = static_cast<IHttpNegotiate*>(this);
    return S_OK;
  }
  *object = nullptr;
  return E_NOINTERFACE;
}

STDMETHODIMP CWinDownloader::CBindCallback::BeginningTransaction(LPCWSTR, LPCWSTR, DWORD, LPWSTR* additionalHeaders) {
  if (additionalHeaders) *additionalHeaders = nullptr;
  httpStatus = 0;
  return S_OK;
}

STDMETHODIMP CWinDownloader::CBindCallback::OnResponse(DWORD responseCode, LPCWSTR, LPCWSTR, LPWSTR* additionalHeaders) {
  if (additionalHeaders) *additionalHeaders = nullptr;
  httpStatus = responseCode;
  return S_OK;
}

STDMETHODIMP CWinDownloader::CBindCallback::OnStartBinding(DWORD, IBinding* b) {
  binding = b;
  return E_NOTIMPL;
}

STDMETHODIMP CWinDownloader::CBindCallback::OnProgress(ULONG progress, ULONG progressMax, ULONG, LPCWSTR) {
  if (cancelled) return E_ABORT;
  if (progressMax == 0) return S_OK;
  if (callback) callback(DL_CODE_PROGRESS, static_cast<double>(progress) / static_cast<double>(progressMax), L"");
  return S_OK;
}

STDMETHODIMP CWinDownloader::CBindCallback::GetBindInfo(DWORD*, BINDINFO* info) {
  if (info) info->dwCodePage = 65001;
  return E_NOTIMPL;
}

CWinDownloader::CWinDownloader(StageCallback callback, const std::wstring& url, const std::wstring& targetPath)
    : callback(std::move(callback)),
      targetPath(targetPath),
      url(url),
      stopEvent(CreateEventW(nullptr, TRUE, FALSE, nullptr)),
      worker(this, L"ABDEF", &CWinDownloader::DownloadThread) {
  if (!stopEvent) WriteLog(L"CreateEvent failed:%lu\r\n", GetLastError());
  if (!worker.Started()) WriteLog(L"thread creation failed:%lu\r\n", GetLastError());
}

CWinDownloader::~CWinDownloader() {
  stopping = true;
  bindCallback.cancelled = true;
  if (stopEvent) SetEvent(stopEvent.Get());
  // A worker that was never started is still suspended; let it run to its
  // first check so that it can be joined.
  if (!started.exchange(true)) worker.Resume();
  worker.Join();
}

void CWinDownloader::Start() {
  if (started.exchange(true)) return;
  bindCallback.callback = [this](int32_t code, double value, const wchar_t* text) { Report(code, value, text); };
  if (!worker.Resume()) WriteLog(L"ResumeThread failed:%lu\r\n", GetLastError());
}

void CWinDownloader::Report(int32_t code, double value, const wchar_t* text) {
  if (stopping || !callback) return;
  callback(code, value, text);
}

std::wstring CWinDownloader::EncodeUrl(const std::wstring& url) {
  static const char kHex[] = "0123456789ABCDEF";
  const std::string bytes = Utils::ToNarrow(url, Utils::kUtf8CodePage);
  std::string out;
  for (unsigned char c : bytes) {
    if (c >= 0x21 && c <= 0x7E) {
      out += static_cast<char>(c);
    } else if (c == 0x20) {
      out += '+';
    } else {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 15];
    }
  }
  return Utils::ToWide(out, Utils::kUtf8CodePage);
}

unsigned CWinDownloader::DownloadThread(void* downloader) {
  auto* self = static_cast<CWinDownloader*>(downloader);
  if (self->stopping) return 0;
  const HRESULT init = CoInitialize(nullptr);
  if (FAILED(init)) WriteLog(L"CoInitialize failed:0x%08lx\r\n", static_cast<unsigned long>(init));
  self->Report(DL_CODE_START, 1.0, L"");
  if (self->targetPath.empty()) {
    self->Report(DL_CODE_FAIL, 1.0, L"");
  } else {
    std::wstring target = self->url;
    if (target.compare(0, 8, L"file:///") != 0) target = EncodeUrl(target);
    for (int attempt = 1; attempt <= kAttempts && !self->stopping; ++attempt) {
      self->bindCallback.httpStatus = 0;
      HRESULT hr = URLDownloadToFileW(nullptr, target.c_str(), self->targetPath.c_str(), 0,
                                      static_cast<IBindStatusCallbackEx*>(&self->bindCallback));
      const DWORD status = self->bindCallback.httpStatus;
      if (hr == S_OK && status >= 400) {
        WriteLog(L"HTTP status %lu\r\n", status);
        if (!DeleteFileW(self->targetPath.c_str())) WriteLog(L"DeleteFile failed:%lu\r\n", GetLastError());
        hr = kHttpError;
      }
      if (hr == S_OK) {
        self->Report(DL_CODE_SUCCESS, 0.0, kTagUrlDownload);
        break;
      }
      WriteLog(L"URLDownloadToFile failed:0x%08lx (attempt %d)\r\n", static_cast<unsigned long>(hr), attempt);
      if (self->stopEvent)
        WaitForSingleObject(self->stopEvent.Get(), kAttemptPauseMs);
      else
        Sleep(kAttemptPauseMs);
      if (attempt == kAttempts) self->Report(DL_CODE_FAIL, static_cast<double>(static_cast<int32_t>(hr)), kTagUrlDownload);
    }
  }
  if (SUCCEEDED(init)) CoUninitialize();
  return 0;
}
