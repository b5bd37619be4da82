#pragma once
// Settings shared by every libcurl transfer of the downloaders: TLS peer and
// host verification, and the URL bytes handed to libcurl.
#include <curl/curl.h>

#include <string>

namespace Download {

// Turns on peer and host verification. When a CA bundle has been set with
// SetCaBundleForTests, the transfer trusts exactly that bundle instead of the
// system store. Returns the ORed results of the options it set.
CURLcode ApplyTlsVerification(CURL* handle);

// Receive buffer of the body transfers. Under Wine every socket read is a
// round trip to the server process; libcurl's default 16 KiB buffer caps a
// loopback transfer far below what the disk takes.
constexpr long kReceiveBufferBytes = 2 * 1024 * 1024;

// Test seam: a PEM bundle that replaces the system store for all later
// transfers of this process (an empty path restores the system store). Wine's
// default store accepts any self-signed certificate, so tests need a store
// they control to show that foreign certificates are refused.
void SetCaBundleForTests(const std::string& pemPath);

// The URL as libcurl takes it: UTF-8, except that a "file:///" URL is
// converted with the active code page (libcurl opens it as a local path).
std::string UrlBytes(const std::wstring& url);

// libcurl write callback that keeps nothing (body-less requests).
size_t DiscardBody(char* data, size_t size, size_t count, void* user);

// The options every body-less request (final URL, length) shares: the URL, no
// body, nothing kept of one, a 60 s connect limit and TLS verification.
// Returns the ORed results of the options it set.
int SetBodilessRequest(CURL* handle, const std::string& urlBytes);

}  // namespace Download
