// The installation chain with its real uninstaller and package runner (driven
// by the stand-in programs) and a scripted downloader in place of the network.
#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "app/settings.h"
#include "download/downloader.h"
#include "install/download_installer.h"
#include "tests/support/process.h"
#include "utils/disk.h"
#include "utils/probes.h"
#include "utils/text.h"

using namespace TestSupport;

namespace {

struct Report {
  int32_t code;
  double value;
  std::wstring text;
};

// Everything the chain did, in order: reports reaching the window ("W") and
// the downloader's starts ("start").
class Journal {
 public:
  void Add(const std::string& what) {
    std::lock_guard<std::mutex> lock(mutex_);
    events_.push_back(what);
    changed_.notify_all();
  }
  void AddReport(int32_t code, double value, const wchar_t* text) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      reports_.push_back({code, value, text});
    }
    Add("W" + std::to_string(code));
  }
  bool WaitFor(const std::string& what, int timeoutMs = 20000) {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] {
      return std::find(events_.begin(), events_.end(), what) != events_.end();
    });
  }
  std::vector<std::string> Events() {
    std::lock_guard<std::mutex> lock(mutex_);
    return events_;
  }
  std::vector<Report> Reports() {
    std::lock_guard<std::mutex> lock(mutex_);
    return reports_;
  }
  size_t Count(const std::string& what) {
    auto e = Events();
    return static_cast<size_t>(std::count(e.begin(), e.end(), what));
  }
  size_t IndexOf(const std::string& what) {
    auto e = Events();
    return static_cast<size_t>(std::find(e.begin(), e.end(), what) - e.begin());
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<std::string> events_;
  std::vector<Report> reports_;
};

// Plays one script of reports per Start, each on a thread of its own (as a
// real downloader's worker). A script step with code 0 puts the stand-in
// package at the target path with the given scenario text.
struct Step {
  int32_t code;
  double value = 0;
  std::wstring text;
};

class ScriptedDownloader : public CDownloader {
 public:
  ScriptedDownloader(Journal* journal, std::vector<std::vector<Step>> scripts, StageCallback callback,
                     std::wstring target)
      : journal_(journal), scripts_(std::move(scripts)), callback_(std::move(callback)), target_(std::move(target)) {}
  ~ScriptedDownloader() override { Drain(); }
  // Waits until every script played so far has finished, the chain's own
  // steps after its reports included.
  void Drain() {
    for (;;) {
      std::thread t;
      {
        std::lock_guard<std::mutex> lock(mutex_);
        if (threads_.empty()) break;
        t = std::move(threads_.back());
        threads_.pop_back();
      }
      t.join();
    }
  }
  void Start() override {
    journal_->Add("start");
    const size_t run = starts_++;
    std::vector<Step> script = run < scripts_.size() ? scripts_[run] : std::vector<Step>();
    std::lock_guard<std::mutex> lock(mutex_);
    threads_.emplace_back([this, script] {
      for (const Step& s : script) {
        if (s.code == 0) {
          CopyFileTo(BinDir() + L"\\stand_in_package.exe", target_);
          WriteFileBytes(target_ + L".scenario", Utils::ToNarrow(s.text, CP_UTF8));
          continue;
        }
        callback_(s.code, s.value, s.text.c_str());
      }
    });
  }
  const std::wstring& Target() const { return target_; }

 private:
  Journal* journal_;
  std::vector<std::vector<Step>> scripts_;
  StageCallback callback_;
  std::wstring target_;
  std::atomic<size_t> starts_{0};
  std::mutex mutex_;
  std::vector<std::thread> threads_;
};

std::wstring ReadRecordCommandLine(const std::wstring& exePath) {
  std::string bytes;
  if (!ReadFileBytes(exePath + L".record", &bytes)) return {};
  std::wstring text(reinterpret_cast<const wchar_t*>(bytes.data()), bytes.size() / sizeof(wchar_t));
  const size_t at = text.find(L"cmdline=");
  if (at == std::wstring::npos) return {};
  return text.substr(at + 8, text.find(L'\n', at) - at - 8);
}

class Chain : public ::testing::Test {
 protected:
  void SetUp() override {
    g_settings.downloadType = 1;
    g_settings.insNew = false;
    g_settings.instCmd.clear();
  }
  void TearDown() override {
    chain_.reset();
    g_settings.insNew = false;
  }
  // A chain whose downloader plays `scripts`; the window callback checks, for
  // the reports with a visible step, that the step has not happened yet.
  void MakeChain(std::vector<std::vector<Step>> scripts) {
    chain_ = std::make_unique<CDownloadInstaller>(
        [this](int32_t code, double value, const wchar_t* text) {
          if (code == DL_CODE_START) folderExistedAtStart_ = FileExists(folder_);
          if (code == IST_CODE_SUCCESS || code == DL_CODE_FAIL) packageExistedAtEnd_ = FileExists(PackagePath());
          journal_.AddReport(code, value, text);
        },
        L"", L"", L"", true, true, true);
    chain_->SetDownloaderFactory([this, scripts](int, StageCallback cb, const std::wstring&, const std::wstring& target) {
      auto d = std::make_unique<ScriptedDownloader>(&journal_, scripts, std::move(cb), target);
      downloader_ = d.get();
      ++factoryCalls_;
      return d;
    });
  }
  void StartIn(const std::wstring& folder, const std::wstring& oldUninstaller = L"", const std::wstring& oldDir = L"") {
    folder_ = folder;
    chain_->SetParameters(L"http://127.0.0.1:1/x", oldDir, oldUninstaller, folder, true, false, false, true, L"en");
    chain_->Start();
  }
  std::wstring PackagePath() const { return folder_ + L"\\__Package_parlomind.exe"; }
  static bool FileExists(const std::wstring& p) { return GetFileAttributesW(p.c_str()) != INVALID_FILE_ATTRIBUTES; }

  TempDir dir_;
  Journal journal_;
  std::unique_ptr<CDownloadInstaller> chain_;
  ScriptedDownloader* downloader_ = nullptr;
  int factoryCalls_ = 0;
  std::wstring folder_;
  bool folderExistedAtStart_ = true;
  bool packageExistedAtEnd_ = false;
};

const char kEveryPackageLine[] =
    "write Encode=UTF8\\nProgress=0.5\\nInstPath=C:\\\\P\\nInstallVersion=1.2.3\\nExePath=C:\\\\P\\\\p.exe\\n"
    "StartExe=C:\\\\P\\\\s.exe\\nUninstExePath=C:\\\\P\\\\u.exe\\nUninstExe=C:\\\\P\\\\v.exe\\nUninstEp=C:\\\\P\\\\uninst.ep\\n"
    "TopShowDetention=5\\nFinsihCloseDetention=-1\\nStartUrl=http://x/y\\nStartupStyle=AutoStartup\\n"
    "Message=hi\\nState=Success\\n\n";

TEST_F(Chain, EveryReportReachesTheWindowOnceAndBeforeTheStep) {
  MakeChain({{{DL_CODE_START, 1.0},
              {DL_CODE_PROGRESS, 0.5},
              {DL_CODE_MESSAGE, 0, L"info"},
              {3006},
              {9999},
              {0, 0, Utils::ToWide(kEveryPackageLine, CP_UTF8)},
              {DL_CODE_SUCCESS, 0, L"LibCurl"}}});
  const std::wstring folder = dir_.File(L"New\\Deep");
  StartIn(folder);
  ASSERT_TRUE(journal_.WaitFor("W2003"));
  chain_.reset();  // waits for the package run to end

  const std::vector<std::string> expected = {
      "start", "W1001", "W1002", "W1006", "W3006", "W9999", "W1003", "W2001", "W2002", "W2002", "W3000", "W3001",
      "W3001", "W3002", "W3002", "W3003", "W3007", "W3008", "W3004", "W3005", "W3009", "W2003"};
  EXPECT_EQ(expected, journal_.Events());
  EXPECT_FALSE(folderExistedAtStart_) << "the folder is made after the window heard of the start";
  EXPECT_TRUE(FileExists(folder));
  EXPECT_TRUE(packageExistedAtEnd_) << "the package is removed only after the window heard of the end";
  EXPECT_FALSE(FileExists(PackagePath()));

  // The package got the folder, the flags and the language of SetParameters.
  const std::wstring cmd = ReadRecordCommandLine(PackagePath());
  EXPECT_NE(std::wstring::npos, cmd.find(L" -adminact=false -authorizationact=true -dsc=true -ssc=false -inslang=\"en\""))
      << Utils::ToNarrow(cmd, CP_UTF8);
  EXPECT_NE(std::wstring::npos, cmd.find(L" /D=" + folder)) << Utils::ToNarrow(cmd, CP_UTF8);
}

TEST_F(Chain, RetryStartsTheSameDownloaderFromItsOwnWorker) {
  MakeChain({{{DL_CODE_START, 1.0}, {DL_CODE_RETRY, 0, L"LibCurl"}},
             {{DL_CODE_START, 1.0}, {DL_CODE_FAIL, 7, L"LibCurl"}}});
  StartIn(dir_.File(L"A"));
  ASSERT_TRUE(journal_.WaitFor("W1004"));
  chain_.reset();
  const std::vector<std::string> expected = {"start", "W1001", "W1005", "start", "W1001", "W1004"};
  EXPECT_EQ(expected, journal_.Events());
  EXPECT_EQ(1, factoryCalls_);
}

TEST_F(Chain, LaterAttemptKeepsThePackagePathButMovesTheFolder) {
  const std::wstring a = dir_.File(L"A"), b = dir_.File(L"B");
  MakeChain({{{DL_CODE_START, 1.0}, {DL_CODE_FAIL, 28, L"LibCurl"}},
             {{DL_CODE_START, 1.0}, {0, 0, L"write State=Success\\n\n"}, {DL_CODE_SUCCESS, 0, L"LibCurl"}}});
  StartIn(a);
  ASSERT_TRUE(journal_.WaitFor("W1004"));
  downloader_->Drain();  // the clean-up after the failure is done, as long before a user retries
  StartIn(b);
  ASSERT_TRUE(journal_.WaitFor("W2003"));
  const std::wstring packageUnderA = downloader_->Target();
  EXPECT_EQ(a + L"\\__Package_parlomind.exe", packageUnderA) << "the downloader keeps its first target";
  const std::wstring cmd = ReadRecordCommandLine(packageUnderA);
  chain_.reset();
  EXPECT_NE(std::wstring::npos, cmd.find(L" -instdir=\"" + b + L"\" /D=" + b)) << Utils::ToNarrow(cmd, CP_UTF8);
  EXPECT_FALSE(FileExists(packageUnderA)) << "the earlier folder's package goes at the next clean-up";
  EXPECT_EQ(1, factoryCalls_);
}

class ChainWithOldVersion : public Chain {
 protected:
  void SetUp() override {
    Chain::SetUp();
    temp_ = Utils::GetInstallerTempFolder();
    ASSERT_FALSE(temp_.empty());
    copy_ = temp_ + L"\\" + kOldUninstallerCopyName;
    old_ = dir_.File(L"Old");
    CreateDirectoryW(old_.c_str(), nullptr);
    ASSERT_TRUE(CopyFileTo(BinDir() + L"\\stand_in_uninstaller.exe", old_ + L"\\uninst.ep"));
  }
  void TearDown() override {
    Chain::TearDown();
    DeleteFileW((copy_ + L".scenario").c_str());
    DeleteFileW((copy_ + L".record").c_str());
  }
  void Scenario(const char* text) { ASSERT_TRUE(WriteFileBytes(copy_ + L".scenario", text)); }
  std::wstring temp_, copy_, old_;
};

TEST_F(ChainWithOldVersion, RemovalRunsTheCopyThenTheDownload) {
  Scenario("write Progress=0.5\\nState=Success\\n\n");
  MakeChain({{{DL_CODE_START, 1.0}, {DL_CODE_FAIL, 7, L"LibCurl"}}});
  StartIn(dir_.File(L"New"), old_ + L"\\uninst.ep", old_);
  ASSERT_TRUE(journal_.WaitFor("W1004"));
  chain_.reset();
  const std::vector<std::string> expected = {"W5002", "W5002", "W5003", "start", "W1001", "W1004"};
  EXPECT_EQ(expected, journal_.Events());
  const std::wstring cmd = ReadRecordCommandLine(copy_);
  EXPECT_EQ(0u, cmd.find(copy_ + L" /S -adminact=")) << Utils::ToNarrow(cmd, CP_UTF8);
  EXPECT_NE(std::wstring::npos, cmd.find(L" -console=show _?=" + old_)) << Utils::ToNarrow(cmd, CP_UTF8);
  EXPECT_TRUE(FileExists(copy_)) << "the copy stays for the next removal to overwrite";
}

TEST_F(ChainWithOldVersion, FailedRemovalStopsTheChain) {
  struct Case {
    const char* scenario;
    int32_t code;
  } cases[] = {{"write State=Fail\\n\n", UNIST_CODE_ERROR}, {"write Error=boom\\n\n", UNIST_CODE_ERROR}};
  size_t seen = 0;
  for (const auto& c : cases) {
    Scenario(c.scenario);
    MakeChain({{{DL_CODE_START, 1.0}}});
    StartIn(dir_.File(L"New"), old_ + L"\\uninst.ep", old_);
    chain_.reset();  // waits for the uninstaller's run
    EXPECT_EQ(++seen, journal_.Count("W" + std::to_string(c.code))) << c.scenario;
    EXPECT_EQ(0u, journal_.Count("W5003")) << c.scenario;
    EXPECT_EQ(0u, journal_.Count("start")) << c.scenario;
  }
}

TEST_F(ChainWithOldVersion, InstallOverWaitsForTheRunningProduct) {
  Scenario("write State=Success\\n\n");
  g_settings.insNew = true;
  STARTUPINFOW si = {sizeof(si)};
  PROCESS_INFORMATION pi = {};
  std::wstring product = Quote(BinDir() + L"\\parlomind.exe");
  ASSERT_TRUE(CreateProcessW(nullptr, product.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi));
  CloseHandle(pi.hThread);
  for (int i = 0; i < 100 && !Utils::FindRunningProcess(L"parlomind.exe"); ++i) Sleep(20);
  ASSERT_NE(0u, Utils::FindRunningProcess(L"parlomind.exe"));
  std::thread closer([&] {
    Sleep(400);
    TerminateProcess(pi.hProcess, 0);
  });
  MakeChain({{}});
  StartIn(dir_.File(L"New"), old_ + L"\\uninst.ep", old_);
  EXPECT_EQ(0u, Utils::FindRunningProcess(L"parlomind.exe")) << "Start returns only once the product is gone";
  closer.join();
  CloseHandle(pi.hProcess);
  ASSERT_TRUE(journal_.WaitFor("start"));
}

}  // namespace
