#pragma once
// Every way of fetching the product package stands behind CDownloader. The
// owner creates one with CreateDownloader, calls Start, and from then on
// learns everything through the StageCallback, on the downloader's worker
// threads: DL_CODE_START, progress, then exactly one of DL_CODE_SUCCESS,
// DL_CODE_FAIL or DL_CODE_RETRY (possibly preceded by DL_CODE_MESSAGE).
//
// After DL_CODE_RETRY the owner may call Start again, also from inside the
// callback. A downloader sends DL_CODE_RETRY at most once in its lifetime.
// Destroying a downloader stops its transfers and waits for its threads;
// no callback is made once destruction has begun. Destroy it from a thread of
// your own, never from inside its callback (that thread is one it waits for).
#include <memory>
#include <string>

#include "install/stage.h"

class CDownloader {
 public:
  virtual ~CDownloader() = default;
  // Begins (or begins again) the download on a worker thread; returns at once.
  virtual void Start() = 0;
};

// Download type 2: the system's URL download; 3: two parallel ranges; any
// other value: one libcurl stream.
enum DownloadType : int { kDownloadSystem = 2, kDownloadMultiPart = 3 };

std::unique_ptr<CDownloader> CreateDownloader(int downloadType, StageCallback callback, const std::wstring& url,
                                              const std::wstring& targetPath);
