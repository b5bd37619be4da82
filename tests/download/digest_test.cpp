// The package digest: reading the expected value out of a URL, computing it
// from a file with the platform's crypto, and comparing the two.
#include <gtest/gtest.h>

#include "download/curl_downloader.h"
#include "download/digest.h"
#include "tests/support/process.h"
#include "utils/text.h"

using namespace Download;
using TestSupport::TempDir;
using TestSupport::WriteFileBytes;

namespace {
std::string Ansi(const std::wstring& path) { return Utils::ToNarrow(path, Utils::kActiveCodePage); }
}  // namespace

TEST(UrlDigest, IsTheSegmentBeforeTheFileName) {
  struct Case {
    const char* url;
    const char* digest;
  } cases[] = {
      {"http://h/files/0123456789abcdef0123456789abcdef/pkg.exe", "0123456789abcdef0123456789abcdef"},
      {"http://h/a/b/pkg.exe", "b"},
      {"http://h/pkg.exe", "h"},         // the host is the segment before the file
      {"pkg.exe", ""},                   // no "/" at all
      {"/pkg.exe", ""},                  // nothing before the only "/"
      {"", ""},
      {"http://h/d/pkg.exe?x=a/b", "pkg.exe?x=a"},  // a "/" in the query shifts the segments
      {"http://h/d//pkg.exe", ""},       // empty segment
  };
  for (const auto& c : cases) EXPECT_EQ(c.digest, GetUrlMd5(c.url)) << c.url;
  EXPECT_EQ("b", CCurlDownloader::GetUrlMd5("http://h/a/b/pkg.exe"));
}

TEST(UrlDigest, LengthDecidesTheKind) {
  const std::string md5(32, 'a'), sha(64, 'b');
  EXPECT_EQ(DigestKind::Md5, KindOfDigest(md5));
  EXPECT_EQ(DigestKind::Sha256, KindOfDigest(sha));
  EXPECT_EQ(DigestKind::Sha256, KindOfDigest(std::string(64, 'F')));
  EXPECT_EQ(DigestKind::None, KindOfDigest(std::string(64, 'g')));  // 64 but not hexadecimal
  EXPECT_EQ(DigestKind::None, KindOfDigest(std::string(31, 'a')));
  EXPECT_EQ(DigestKind::None, KindOfDigest(std::string(33, 'a')));
  EXPECT_EQ(DigestKind::None, KindOfDigest(""));
}

TEST(FileDigest, KnownVectors) {
  TempDir dir;
  const std::wstring empty = dir.File(L"empty.bin"), abc = dir.File(L"abc.bin"), big = dir.File(L"big.bin");
  ASSERT_TRUE(WriteFileBytes(empty, ""));
  ASSERT_TRUE(WriteFileBytes(abc, "abc"));
  // Larger than one read block, so the blocks are chained correctly.
  ASSERT_TRUE(WriteFileBytes(big, std::string(3 * 1048576 + 7, 'a')));

  EXPECT_EQ("d41d8cd98f00b204e9800998ecf8427e", GetFileMd5(Ansi(empty)));
  EXPECT_EQ("900150983cd24fb0d6963f7d28e17f72", GetFileMd5(Ansi(abc)));
  EXPECT_EQ("900150983cd24fb0d6963f7d28e17f72", CCurlDownloader::GetFileMd5(Ansi(abc)));
  EXPECT_EQ("ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad", GetFileSha256(Ansi(abc)));
  EXPECT_EQ("e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855", GetFileSha256(Ansi(empty)));
  EXPECT_EQ(32u, GetFileMd5(Ansi(big)).size());
  EXPECT_NE(GetFileMd5(Ansi(big)), GetFileMd5(Ansi(abc)));

  EXPECT_EQ("", GetFileMd5(Ansi(dir.File(L"missing.bin"))));
  EXPECT_EQ("", GetFileMd5(""));
  EXPECT_EQ("", GetFileMd5(Ansi(dir.Path())));  // a folder cannot be read as a file
}

TEST(FileDigest, CheckAgainstTheUrlDigest) {
  TempDir dir;
  const std::wstring abc = dir.File(L"abc.bin");
  ASSERT_TRUE(WriteFileBytes(abc, "abc"));
  struct Case {
    const char* expected;
    std::wstring path;
    DigestCheck result;
  } cases[] = {
      {"900150983cd24fb0d6963f7d28e17f72", abc, DigestCheck::Match},
      {"900150983CD24FB0D6963F7D28E17F72", abc, DigestCheck::Match},  // letter case does not matter
      {"900150983cd24fb0d6963f7d28e17f73", abc, DigestCheck::Mismatch},
      {"ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad", abc, DigestCheck::Match},
      {"BA7816BF8F01CFEA414140DE5DAE2223B00361A396177A9CB410FF61F20015AD", abc, DigestCheck::Match},
      {"ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ae", abc, DigestCheck::Mismatch},
      // A file that cannot be read was not verified: never a match.
      {"900150983cd24fb0d6963f7d28e17f72", dir.File(L"missing.bin"), DigestCheck::Mismatch},
      {"900150983cd24fb0d6963f7d28e17f7", abc, DigestCheck::NoDigest},
      {"files", dir.File(L"missing.bin"), DigestCheck::NoDigest},
      {"", abc, DigestCheck::NoDigest},
  };
  for (const auto& c : cases) EXPECT_EQ(c.result, CheckFileDigest(c.expected, c.path)) << c.expected;
}

TEST(FileDigest, ALockedFileIsAMismatch) {
  TempDir dir;
  const std::wstring path = dir.File(L"locked.bin");
  ASSERT_TRUE(WriteFileBytes(path, "abc"));
  Utils::UniqueFile lock(CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr));
  ASSERT_TRUE(lock.Valid());
  EXPECT_EQ(DigestCheck::Mismatch, CheckFileDigest("900150983cd24fb0d6963f7d28e17f72", path));
}
