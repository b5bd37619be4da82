#pragma once
// "-log=<path>": every log line is also appended to a file as UTF-8. The file
// is opened once, shared for reading, and each line is written with its own
// WriteFile call, so a reader sees it at once and nothing is lost when the
// process dies.
#include <string>

// Returns false (and logs to the debugger channel only) when the file cannot
// be opened.
bool OpenLogFile(const std::wstring& path);
void CloseLogFile();
