#include "app/log.h"
#include "download/curl_downloader.h"
#include "download/downloader.h"
#include "download/mt_curl_downloader.h"
#include "download/win_downloader.h"

std::unique_ptr<CDownloader> CreateDownloader(int downloadType, StageCallback callback, const std::wstring& url,
                                              const std::wstring& targetPath) {
  WriteLog(L"DL_TYPE=%d\r\n", downloadType);
  switch (downloadType) {
    case kDownloadSystem:
      return std::make_unique<CWinDownloader>(std::move(callback), url, targetPath);
    case kDownloadMultiPart:
      return std::make_unique<CMTCurlDownloader>(std::move(callback), url, targetPath);
    default:
      return std::make_unique<CCurlDownloader>(std::move(callback), url, targetPath);
  }
}
