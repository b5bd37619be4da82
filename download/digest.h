#pragma once
// The package digest: the expected value read from the final download URL and
// the value computed from the downloaded file.
//
// The URL carries the digest as the path segment just before the file name
// (scheme://host/files/DIGEST/package.exe). 32 characters are an MD5 digest,
// 64 hexadecimal characters a SHA-256 digest; anything else means the URL
// carries none. Digests compare without regard to letter case.
#include <string>

namespace Download {

// The second-to-last "/"-separated segment of `url`, or "" when there is none.
// Purely textual: a query string holding "/" shifts the segments.
std::string GetUrlMd5(const std::string& url);

enum class DigestKind { None, Md5, Sha256 };
DigestKind KindOfDigest(const std::string& digest);

// Lowercase hexadecimal digest of a file (CNG), or "" when the file cannot be
// opened or read. `path` is in the active code page.
std::string GetFileMd5(const std::string& path);
std::string GetFileSha256(const std::string& path);
std::string FileDigest(const std::wstring& path, DigestKind kind);

enum class DigestCheck {
  NoDigest,  // the URL carries no digest: nothing was checked
  Match,
  Mismatch,  // differs, or the file could not be read to compute one
};
DigestCheck CheckFileDigest(const std::string& expected, const std::wstring& path);

}  // namespace Download
