// The child runner against the real stand-in package: how the child is
// started, how its output is cut into chunks, and that nothing stays open.
#include <gtest/gtest.h>

#include "install/child_process.h"
#include "tests/install/stand_in.h"
#include "utils/exception.h"

using StandInTest::HandleCount;
using StandInTest::NamedEvent;
using StandInTest::StandIn;

namespace {
std::vector<std::wstring> ReadAll(ChildProcess& child, unsigned codePage = 0) {
  std::vector<std::wstring> chunks;
  while (auto chunk = child.ReadChunk(codePage)) chunks.push_back(*chunk);
  child.Wait();
  return chunks;
}

std::wstring Joined(const std::vector<std::wstring>& chunks) {
  std::wstring all;
  for (const auto& c : chunks) all += c;
  return all;
}

std::string Escaped(const std::string& raw) {  // for "write" lines
  std::string out;
  for (char c : raw) out += c == '\n' ? std::string("\\n") : std::string(1, c);
  return out;
}

TEST(ChildProcess, StartsHiddenWithPipesAndDiscardedErrors) {
  StandIn standIn(L"stand_in_package", "write hello\\n\n");
  ChildProcess child;
  child.Launch(TestSupport::Quote(standIn.Path()) + L" -x \"two words\"");
  EXPECT_EQ(std::vector<std::wstring>{L"hello\n"}, ReadAll(child));
  EXPECT_EQ(0u, child.ExitCode());

  auto record = standIn.Record();
  EXPECT_EQ(TestSupport::Quote(standIn.Path()) + L" -x \"two words\"", record[L"cmdline"]);
  EXPECT_EQ(L"101", record[L"flags"]) << "standard handles and show-window";
  EXPECT_EQ(L"0", record[L"show"]) << "SW_HIDE";
  EXPECT_EQ(L"pipe", record[L"stdin"]);
  EXPECT_EQ(L"pipe", record[L"stdout"]);
  EXPECT_EQ(L"char", record[L"stderr"]) << "the null device: nobody reads standard error";
}

TEST(ChildProcess, LongBurstArrivesInWholeLines) {
  // About 3 KB in one write: the reads are cut at 1024 bytes, the lines are not.
  std::string lines;
  for (int i = 0; lines.size() < 3000; ++i) lines += "Message=line " + std::to_string(i) + " of the burst\n";
  StandIn standIn(L"stand_in_package", "write " + Escaped(lines) + "\n");
  ChildProcess child;
  child.Launch(TestSupport::Quote(standIn.Path()));
  const auto chunks = ReadAll(child);
  EXPECT_GT(chunks.size(), 1u);
  for (const auto& c : chunks) EXPECT_EQ(L'\n', c.back()) << "cut line: " << testing::PrintToString(c);
  EXPECT_EQ(std::wstring(lines.begin(), lines.end()), Joined(chunks));
}

TEST(ChildProcess, EndlessLineIsHandedOverInBoundedPieces) {
  const std::string line = "Message=" + std::string(10000, 'q') + "\\n";
  StandIn standIn(L"stand_in_package", "write " + line + "\n");
  ChildProcess child;
  child.Launch(TestSupport::Quote(standIn.Path()));
  const auto chunks = ReadAll(child);
  ASSERT_EQ(2u, chunks.size());
  EXPECT_EQ(ChildProcess::kMaxCarry, chunks[0].size());
  EXPECT_EQ(L"Message=" + std::wstring(10000, L'q') + L"\n", Joined(chunks));
}

TEST(ChildProcess, MultiByteCharacterAcrossTheReadSize) {
  // UTF-8 "帕洛" (3 bytes each) laid over the 1024th byte of one write.
  const std::string filler = "Foo=" + std::string(1018, 'x') + "\n";  // 1023 bytes
  const std::string text = "Message=\xE5\xB8\x95\xE6\xB4\x9B\n";
  const std::string bytes = filler.substr(0, 1023 - 8 - 1) + "\n" + text;  // the 3-byte character starts at byte 1023
  StandIn standIn(L"stand_in_package", "write " + Escaped(bytes) + "\n");
  ChildProcess child;
  child.Launch(TestSupport::Quote(standIn.Path()));
  const std::wstring all = Joined(ReadAll(child, 65001));
  EXPECT_NE(std::wstring::npos, all.find(L"Message=帕洛\n")) << testing::PrintToString(all);
}

TEST(ChildProcess, SmallWritesStayAsTheyCame) {
  NamedEvent next;
  StandIn standIn(L"stand_in_package", "write InstPath=C:\\\\a\nwait " + next.Name() + "\nwrite b\\n\n");
  ChildProcess child;
  child.Launch(TestSupport::Quote(standIn.Path()));
  EXPECT_EQ(std::wstring(L"InstPath=C:\\a"), child.ReadChunk(0).value_or(L"(none)"))
      << "a short read without a line feed is handed over as it is";
  next.Set();
  EXPECT_EQ(std::wstring(L"b\n"), child.ReadChunk(0).value_or(L"(none)"));
  EXPECT_FALSE(child.ReadChunk(0).has_value()) << "ended: the broken pipe gives nothing";
}

TEST(ChildProcess, ZeroByteEndsTheChunk) {
  StandIn standIn(L"stand_in_package", "write Progress=0.5\\0State=Fail\\n\n");
  ChildProcess child;
  child.Launch(TestSupport::Quote(standIn.Path()));
  EXPECT_EQ(std::vector<std::wstring>{L"Progress=0.5"}, ReadAll(child));
}

TEST(ChildProcess, UnfinishedLineLeftAtTheEndIsHandedOver) {
  // Exactly one full read without a line feed, then the child ends.
  const std::string bytes = "Message=" + std::string(1016, 'z');
  StandIn standIn(L"stand_in_package", "write " + bytes + "\n");
  ChildProcess child;
  child.Launch(TestSupport::Quote(standIn.Path()));
  EXPECT_EQ(std::vector<std::wstring>{std::wstring(bytes.begin(), bytes.end())}, ReadAll(child));
}

TEST(ChildProcess, CrashedChildEndsTheReads) {
  StandIn standIn(L"stand_in_package", "write Progress=0.3\\n\ncrash\n");
  ChildProcess child;
  child.Launch(TestSupport::Quote(standIn.Path()));
  EXPECT_EQ(std::vector<std::wstring>{L"Progress=0.3\n"}, ReadAll(child));
  EXPECT_EQ(0xC0000005u, child.ExitCode());
}

TEST(ChildProcess, RefusedLaunchesThrowAndCloseEverything) {
  const std::wstring refused[] = {
      L"\"C:\\no such folder\\nothing.exe\" /S",
      TestSupport::Quote(TestSupport::BinDir() + L"\\stand_in_package.exe") + L" " + std::wstring(1000, L'a'),
  };
  const auto refuse = [](const std::wstring& line) {
    auto child = std::make_unique<ChildProcess>();
    EXPECT_THROW(child->Launch(line), Utils::Exception) << line.size();
  };
  // Wine keeps a few handles of its own from the first refused start on.
  refuse(refused[0]);
  const DWORD before = HandleCount();
  for (int round = 0; round < 3; ++round)
    for (const auto& line : refused) refuse(line);
  EXPECT_EQ(before, HandleCount());
}

TEST(ChildProcess, FullRunLeavesNoHandles) {
  StandIn standIn(L"stand_in_package", "write State=Success\\n\n");
  const DWORD before = HandleCount();
  {
    Utils::UniqueHandle probe(CreateEventW(nullptr, FALSE, FALSE, nullptr));
    ASSERT_EQ(before + 1, HandleCount()) << "the count must see a single handle";
  }
  {
    ChildProcess child;
    child.Launch(TestSupport::Quote(standIn.Path()));
    ReadAll(child);
    child.CloseAll();
  }
  EXPECT_EQ(before, HandleCount());
}

}  // namespace
