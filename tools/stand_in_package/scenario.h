#pragma once
// The scriptable behaviour shared by the stand-in package and the stand-in
// uninstaller. Each program looks for "<its own path>.scenario" (UTF-8, one
// command a line) and first writes "<its own path>.record" (UTF-16LE), so a
// test that copies the program next to a scenario can script it and check
// how it was started:
//
//   write <bytes>            one write of the bytes to standard output
//   repeat <count> <bytes>   the bytes repeated <count> times, in one write
//   stderr <count>           <count> bytes to standard error, 4 KiB a write
//   sleep <ms>               pause
//   wait <event>             wait (30 s at most) until the named event is set
//   signal <event>           set the named event
//   close-stdout             close standard output and go on
//   crash                    end at once with 0xC0000005, nothing flushed
//   exit <code>              end with the code (the default end is 0)
//
// <bytes> take the escapes \n \r \t \0 \\ and \xHH; everything else is taken
// as raw bytes, so GBK or UTF-8 text can be written either way.
//
// The record holds "cmdline=", "flags=" (STARTUPINFO flags, hex), "show=",
// "stdin=", "stdout=", "stderr=" (the handle's file type: pipe, char, disk,
// none) and "pid=", one per line.
#include <string>

namespace StandIn {

// Writes the record, runs the scenario and returns the exit code.
int RunScenario();

// Turns the escapes into bytes.
std::string Unescape(const std::string& text);

}  // namespace StandIn
