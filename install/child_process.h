#pragma once
// A hidden child program whose console output the installer follows: the
// product package and the old version's uninstaller. The owner drives the
// read loop on its own worker thread; nothing here is shared between threads.
//
//   auto child = std::make_unique<ChildProcess>();   // pipes; may throw
//   child->Launch(commandLine);                      // may throw
//   while (auto chunk = child->ReadChunk(codePage)) Parse(*chunk);
//   child->Wait();
//
// Every handle is owned, so a failed pipe, a failed launch and a normal end
// all close everything the record made.
#include <windows.h>

#include <optional>
#include <string>

#include "utils/handle.h"

// One inheritable anonymous pipe with the system's default buffer size.
struct PipePair {
  Utils::UniqueHandle writeEnd;  // written by the child (the parent, for standard input)
  Utils::UniqueHandle readEnd;   // read by the parent (the child, for standard input)

  // Creates the pipe; throws Utils::Exception (empty message, the system's
  // error as its code) when the system refuses. Nothing is left open then.
  PipePair();
};

class ChildProcess {
 public:
  // Command lines hold at most this many characters plus the terminator.
  static constexpr size_t kCommandLineCapacity = 1024;
  // Bytes taken from the output pipe per read.
  static constexpr DWORD kReadSize = 1024;
  // Reads of what a child left in its pipe when it ended: enough for its
  // last words, bounded for a grandchild that inherited the output.
  static constexpr int kMaxReadsAfterEnd = 64;
  // A line still unfinished after this many bytes goes to the parser anyway,
  // so a child that never ends its lines cannot grow the carry without bound.
  static constexpr size_t kMaxCarry = 8 * kReadSize;

  // Makes the standard error sink, then the output and input pipes. Throws
  // Utils::Exception when one of them cannot be made.
  ChildProcess();
  ~ChildProcess() = default;
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  // Starts the program named by the first token of `commandLine`, hidden,
  // with the pipes as its standard handles. Throws Utils::Exception when the
  // command line does not fit kCommandLineCapacity or the system refuses.
  void Launch(const std::wstring& commandLine);

  // One blocking read of the child's output, decoded with `codePage`
  // (0 active code page, 65001 UTF-8; an undecodable chunk is empty text).
  // The chunk ends at the first zero byte. A read that fills the whole
  // buffer without ending in a line feed keeps its unfinished last line
  // (as bytes) for the next chunk, so lines and multi-byte characters are
  // never cut by the read size. Nothing once the pipe is broken and the
  // carry is empty (the child has ended and released its output).
  std::optional<std::wstring> ReadChunk(unsigned codePage);
  // As ReadChunk, but only takes what is already in the pipe; never blocks.
  // For output left behind by a child that has ended.
  std::optional<std::wstring> ReadAvailable(unsigned codePage);
  // The unfinished line kept from the last full read, decoded; nothing when
  // there is none.
  std::optional<std::wstring> TakeRemainder(unsigned codePage);
  // Reads and throws away the child's output until it ends, so that a child
  // writing after its final state cannot block on a full pipe. Never blocks
  // on the pipe itself (a grandchild holding the output open cannot keep the
  // owner waiting longer than the child's own life).
  void DiscardUntilExit();

  // The exit code as GetExitCodeProcess gives it; STILL_ACTIVE while running.
  // A failed query gives the system's error, so the owner sees an end.
  DWORD ExitCode() const;
  // Waits for the child to end, with no time-out.
  void Wait() const;
  // Closes every handle still held: thread, process, then the pipes.
  void CloseAll();

  HANDLE Process() const { return process_.Get(); }
  DWORD ProcessId() const { return processId_; }

 private:
  std::optional<std::wstring> Read(unsigned codePage, bool block);
  std::wstring TakeCarry(size_t length, unsigned codePage);

  wchar_t commandLine_[kCommandLineCapacity] = {};  // CreateProcessW may write into it
  // The child's standard error goes to the null device: nobody reads it, and
  // a pipe nobody reads would stall a child that writes much to it.
  Utils::UniqueHandle errorSink_;
  PipePair outputPipe_;
  PipePair inputPipe_;  // never written; its write end stays with the parent
  Utils::UniqueHandle process_;
  Utils::UniqueHandle thread_;
  DWORD processId_ = 0;
  DWORD threadId_ = 0;
  std::string carry_;  // undecoded bytes of a line cut by the read size
};
