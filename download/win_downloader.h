#pragma once
// Download type 2: the system's URL moniker download (URLDownloadToFileW)
// writes the file; a bind-status callback turns its progress notifications
// into DL_CODE_PROGRESS. No digest check, no resume, never DL_CODE_RETRY: up
// to three attempts, one second apart. Only the first Start has an effect.
#include <urlmon.h>

#include <atomic>
#include <string>

#include "download/downloader.h"
#include "utils/handle.h"
#include "utils/thread.h"

class CWinDownloader : public CDownloader {
 public:
  static constexpr int kAttempts = 3;
  static constexpr DWORD kAttemptPauseMs = 1000;

  // The bind-status callback lives inside the downloader, so it does not
  // count references; everything it does not use answers E_NOTIMPL. It also
  // takes part in the HTTP negotiation to learn the response status: the
  // moniker stores an error page (404, 500) as if it were the file and
  // reports success.
  class CBindCallback : public IBindStatusCallbackEx, public IHttpNegotiate {
   public:
    CBindCallback() = default;
    virtual ~CBindCallback();

    STDMETHODIMP QueryInterface(REFIID riid, void** object) override;
    STDMETHODIMP_(ULONG) AddRef() override { return 0; }
    STDMETHODIMP_(ULONG) Release() override { return 0; }
    STDMETHODIMP OnStartBinding(DWORD reserved, IBinding* binding) override;
    STDMETHODIMP GetPriority(LONG*) override { return E_NOTIMPL; }
    STDMETHODIMP OnLowResource(DWORD) override { return E_NOTIMPL; }
    STDMETHODIMP OnProgress(ULONG progress, ULONG progressMax, ULONG statusCode, LPCWSTR statusText) override;
    STDMETHODIMP OnStopBinding(HRESULT, LPCWSTR) override { return E_NOTIMPL; }
    STDMETHODIMP GetBindInfo(DWORD* flags, BINDINFO* info) override;
    STDMETHODIMP OnDataAvailable(DWORD, DWORD, FORMATETC*, STGMEDIUM*) override { return E_NOTIMPL; }
    STDMETHODIMP OnObjectAvailable(REFIID, IUnknown*) override { return E_NOTIMPL; }
    STDMETHODIMP GetBindInfoEx(DWORD*, BINDINFO*, DWORD*, DWORD*) override { return E_NOTIMPL; }
    STDMETHODIMP BeginningTransaction(LPCWSTR, LPCWSTR, DWORD, LPWSTR* additionalHeaders) override;
    STDMETHODIMP OnResponse(DWORD responseCode, LPCWSTR, LPCWSTR, LPWSTR* additionalHeaders) override;

    StageCallback callback;           // set by Start, before the worker runs
    std::atomic<bool> cancelled{false};
    IBinding* binding = nullptr;      // kept, not used
    std::atomic<DWORD> httpStatus{0};  // of the latest response; 0 = none
  };

  CWinDownloader(StageCallback callback, const std::wstring& url, const std::wstring& targetPath);
  ~CWinDownloader() override;

  void Start() override;

  // Printable ASCII except space stays, a space becomes "+", every other
  // UTF-8 byte "%XX" (uppercase). Reserved characters and existing escapes
  // are left alone.
  static std::wstring EncodeUrl(const std::wstring& url);

 private:
  // The HRESULT reported for an HTTP error status that the moniker took
  // for success.
  static constexpr HRESULT kHttpError = INET_E_DOWNLOAD_FAILURE;

  static unsigned DownloadThread(void* downloader);
  void Report(int32_t code, double value, const wchar_t* text);

  CBindCallback bindCallback;
  StageCallback callback;
  std::wstring targetPath;
  std::wstring url;
  std::atomic<bool> started{false};
  std::atomic<bool> stopping{false};
  Utils::UniqueHandle stopEvent;
  Utils::Thread worker;  // last: destroyed (joined) before everything it uses
};
