#pragma once
// Identity records left for the installed product: set.ini "Install" keys in
// the install folder (installer file name, product name, a new device id, the
// analytics file's path) and the "UpdateTime" stamp in ZEDoveravEzidizizo.ini
// under the product data folder. Write failures are ignored: these records
// never stop an installation.
#include <windows.h>

#include <string>

void WriteAnalyticsIdentity(const std::wstring& installPath);

// "%d-%02d-%02d %02d:%02d:%02d" of the given local time.
std::wstring FormatUpdateTime(const SYSTEMTIME& t);
