#pragma once
// The one report channel of the installation chain. Every stage (download,
// removal of the old version, package run) calls a StageCallback synchronously
// on its own worker thread with a code from the table below, a value and a
// text. The text is valid only during the call and is never null (an empty
// report carries L""). Receivers ignore codes they do not know.
#include <cstdint>
#include <functional>

using StageCallback = std::function<void(int32_t code, double value, const wchar_t* text)>;

enum StageCode : int32_t {
  // Downloaders. Value: START 1.0; PROGRESS fraction 0..1; FAIL the failing
  // code (libcurl result, part status or COM result; 1.0 empty target path;
  // 0.0 unresolved URL); RETRY/MESSAGE 0.0 or the first failing part status.
  // Text: SUCCESS/FAIL carry the tag "LibCurl" or "URLDownloadToFile".
  DL_CODE_START = 1001,
  DL_CODE_PROGRESS = 1002,
  DL_CODE_SUCCESS = 1003,
  DL_CODE_FAIL = 1004,
  DL_CODE_RETRY = 1005,
  DL_CODE_MESSAGE = 1006,

  // Package installer. PROGRESS: the package's "Progress=" figure. SUCCESS:
  // 0.0 "Success", 1.0 ended without a final state. FAIL: 0.0 "Fail",
  // 1000.0 "Error=" (text = the package's error), 2.0 could not be started.
  IST_CODE_START = 2001,
  IST_CODE_PROGRESS = 2002,
  IST_CODE_SUCCESS = 2003,
  IST_CODE_FAIL = 2004,

  // Information from the package's console lines; the text or the value
  // carries it (3006 is not used).
  IST_INFO_INST_PATH = 3000,
  IST_INFO_EXE_PATH = 3001,
  IST_INFO_UNINST_EXE = 3002,
  IST_INFO_UNINST_EP = 3003,
  IST_INFO_START_URL = 3004,
  IST_INFO_STARTUP_STYLE = 3005,
  IST_INFO_TOP_SHOW_DETENTION = 3007,
  IST_INFO_FINISH_CLOSE_DETENTION = 3008,
  IST_INFO_MESSAGE = 3009,

  // Previous-version uninstaller. FAIL: 1.0 file missing, 2.0 not started.
  UNIST_CODE_START = 5001,  // never sent, handled if it came
  UNIST_CODE_PROGRESS = 5002,
  UNIST_CODE_SUCCESS = 5003,
  UNIST_CODE_FAIL = 5004,
  UNIST_CODE_ERROR = 5005,
};

// Fixed report texts.
inline constexpr wchar_t kTagLibCurl[] = L"LibCurl";
inline constexpr wchar_t kTagUrlDownload[] = L"URLDownloadToFile";
inline constexpr wchar_t kMsgCurlMd5Mismatch[] = L"curl文件md5校验失败";
inline constexpr wchar_t kMsgCurlNoUrlMd5[] = L"curl获取url-md5失败";
inline constexpr wchar_t kMsgMtCurlMd5Mismatch[] = L"mtcurl文件md5校验失败";
inline constexpr wchar_t kMsgMtCurlNoUrlMd5[] = L"mtcurl获取url-md5失败";
inline constexpr wchar_t kMsgPackageFailed[] = L"安装包安装失败";
inline constexpr wchar_t kMsgUninstallerMissing[] = L"可执行卸载文件不存在";
inline constexpr wchar_t kMsgUninstallFailed[] = L"安装包卸载失败";

// The name of a code for log lines ("DL_CODE_START"), or null for codes
// outside the table.
const wchar_t* StageCodeName(int32_t code);
