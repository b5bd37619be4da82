// The log line format, seen for real through the debugger channel of a probe
// process, and the bounded formatter.
#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <regex>

#include "app/log.h"
#include "tests/support/debuggee.h"
#include "tests/support/process.h"

using namespace TestSupport;

namespace {
struct Parsed {
  unsigned pid = 0, tid = 0, line = 0;
  std::wstring function, message, pidText, tidText, lineText;
};

bool ParseLine(const std::wstring& s, Parsed* p) {
  static const std::wregex re(
      LR"(^<P(\d{5,})><T(\d{5,})><(\d{4})-(\d{2})-(\d{2}) (\d{2}):(\d{2}):(\d{2})\.(\d{3})>\(([^)]*)\)<(\d{4,})>: ([\s\S]*)$)");
  std::wsmatch m;
  if (!std::regex_match(s, m, re)) return false;
  p->pidText = m[1];
  p->tidText = m[2];
  p->pid = std::stoul(m[1]);
  p->tid = std::stoul(m[2]);
  p->function = m[10];
  p->lineText = m[11];
  p->line = std::stoul(m[11]);
  p->message = m[12];
  return true;
}

std::wstring Padded(unsigned v, size_t width) {
  std::wstring s = std::to_wstring(v);
  return s.size() >= width ? s : std::wstring(width - s.size(), L'0') + s;
}

class LogChannel : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    run_ = std::make_unique<DebugRun>(RunUnderDebugger(Quote(BinDir() + L"\\log_probe.exe")));
  }
  static void TearDownTestSuite() { run_.reset(); }
  static std::vector<std::pair<DWORD, Parsed>> Lines() {
    std::vector<std::pair<DWORD, Parsed>> out;
    for (const auto& s : run_->strings) {
      Parsed p;
      if (ParseLine(s.text, &p)) out.emplace_back(s.threadId, p);
    }
    return out;
  }
  static const Parsed* Find(const std::wstring& message) {
    static std::vector<std::pair<DWORD, Parsed>> lines;
    lines = Lines();
    for (const auto& l : lines)
      if (l.second.message == message) return &l.second;
    return nullptr;
  }
  static std::unique_ptr<DebugRun> run_;  // one probe run serves every case
};
std::unique_ptr<DebugRun> LogChannel::run_;

TEST_F(LogChannel, EveryLineCarriesTheFullPrefixOfItsProcessAndThread) {
  ASSERT_TRUE(run_->started);
  ASSERT_FALSE(run_->timedOut);
  EXPECT_EQ(3u, run_->exitCode);
  ASSERT_GE(run_->strings.size(), 10u);
  for (const auto& s : run_->strings) {
    Parsed p;
    ASSERT_TRUE(ParseLine(s.text, &p)) << "unparsable line: " << testing::PrintToString(s.text);
    EXPECT_EQ(run_->processId, p.pid);
    EXPECT_EQ(s.threadId, p.tid) << "the prefix names the thread that wrote the line";
    EXPECT_EQ(Padded(p.pid, 5), p.pidText);
    EXPECT_EQ(Padded(p.tid, 5), p.tidText);
    EXPECT_EQ(Padded(p.line, 4), p.lineText);
  }
}

TEST_F(LogChannel, MessagesKeepTheirOwnLineEndsAndConversions) {
  struct Case {
    const wchar_t* message;
    const wchar_t* function;
  } cases[] = {
      {L"plain message\r\n", L"wmain"},
      {L"no line end", L"wmain"},
      {L"wide text and 42%\r\n", L"wmain"},
      {L"Widget n=7\r\n", L"Probe::Widget::Report"},
      {L"from lambda\r\n", L"wmain::<lambda>"},
      {L"high line\r\n", L"wmain"},
  };
  for (const auto& c : cases) {
    const Parsed* p = Find(c.message);
    ASSERT_NE(nullptr, p) << testing::PrintToString(std::wstring(c.message));
    EXPECT_EQ(c.function, p->function);
  }
  const Parsed* high = Find(L"high line\r\n");
  ASSERT_NE(nullptr, high);
  EXPECT_EQ(12345u, high->line) << "line numbers beyond four digits print whole";
}

TEST_F(LogChannel, WorkerThreadsAreFramedAndNamed) {
  // Both workers: BEGIN and END from the worker itself, around its work.
  std::map<DWORD, std::vector<std::wstring>> byThread;
  for (const auto& l : Lines())
    if (l.second.function == L"Utils::Thread::CallBack" || l.second.message == L"worker says hi\r\n")
      byThread[l.first].push_back(l.second.message);
  ASSERT_EQ(2u, byThread.size());
  std::vector<std::vector<std::wstring>> sequences;
  for (const auto& t : byThread) sequences.push_back(t.second);
  const std::vector<std::wstring> named = {L"THREAD BEGIN\r\n", L"worker says hi\r\n", L"THREAD END\r\n"};
  const std::vector<std::wstring> plain = {L"THREAD BEGIN\r\n", L"THREAD END\r\n"};
  EXPECT_TRUE((sequences[0] == named && sequences[1] == plain) || (sequences[0] == plain && sequences[1] == named));

  // The debugger saw the naming record of each worker: "ABDEF", and "t<id>"
  // for the one created without a name.
  ASSERT_EQ(2u, run_->threadNames.size());
  EXPECT_EQ("ABDEF", run_->threadNames[0].name);
  EXPECT_EQ("t" + std::to_string(run_->threadNames[1].threadId), run_->threadNames[1].name);
  for (const auto& n : run_->threadNames) EXPECT_TRUE(byThread.count(n.threadId)) << n.name;
}

TEST(QualifiedName, ReducesSignaturesToQualifiedNames) {
  struct Case {
    const char* signature;
    const wchar_t* expected;
  } cases[] = {
      {"void CurlClient::Head(const string&)", L"CurlClient::Head"},
      {"static unsigned int Utils::Thread::CallBack(void*)", L"Utils::Thread::CallBack"},
      {"int wmain()", L"wmain"},
      {"CDownloadInstaller::Start()::<lambda(int32_t, double, const wchar_t*)>", L"CDownloadInstaller::Start::<lambda>"},
      {"std::map<int, int> Utils::Make(int) const", L"Utils::Make"},
      {"", L""},
  };
  for (const auto& c : cases) EXPECT_EQ(c.expected, Log::QualifiedName(c.signature)) << c.signature;
}

TEST(FormatBounded, FitsOrFailsWithAnEmptyBuffer) {
  wchar_t buf[8];
  EXPECT_EQ(5, FormatBounded(buf, 8, L"%s-%d", L"ab", 12));
  EXPECT_STREQ(L"ab-12", buf);
  EXPECT_EQ(7, FormatBounded(buf, 8, L"%d", 1234567));  // exactly fills with its terminator
  EXPECT_STREQ(L"1234567", buf);
  EXPECT_EQ(-1, FormatBounded(buf, 8, L"%d", 12345678));
  EXPECT_STREQ(L"", buf);
  EXPECT_EQ(-1, FormatBounded(buf, 0, L"x"));
  EXPECT_EQ(0, FormatBounded(buf, 8, L""));
  EXPECT_EQ(4, FormatBounded(buf, 8, L"%s", L"汉字测试"));
}

}  // namespace
