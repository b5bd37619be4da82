#include "download/digest.h"

#include <windows.h>
#include <bcrypt.h>

#include <new>
#include <vector>

#include "app/log.h"
#include "utils/handle.h"
#include "utils/text.h"

namespace Download {
namespace {

struct AlgorithmTraits {
  static BCRYPT_ALG_HANDLE Invalid() { return nullptr; }
  static void Close(BCRYPT_ALG_HANDLE h) { BCryptCloseAlgorithmProvider(h, 0); }
};
struct HashTraits {
  static BCRYPT_HASH_HANDLE Invalid() { return nullptr; }
  static void Close(BCRYPT_HASH_HANDLE h) { BCryptDestroyHash(h); }
};
using UniqueAlgorithm = Utils::UniqueResource<AlgorithmTraits>;
using UniqueHash = Utils::UniqueResource<HashTraits>;

// Large reads keep the digest at disk speed; the hash itself does not care
// about the block size.
constexpr DWORD kReadBlock = 1 << 20;

bool IsHex(const std::string& s) {
  for (char c : s)
    if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'))) return false;
  return true;
}

std::string Lower(std::string s) {
  for (char& c : s)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return s;
}

}  // namespace

std::string GetUrlMd5(const std::string& url) {
  const size_t a = url.rfind('/');
  if (url.empty() || a == std::string::npos || a == 0) return "";
  const std::string prefix = url.substr(0, a);
  const size_t b = prefix.rfind('/');
  if (b == std::string::npos) return "";
  return prefix.substr(b + 1);
}

DigestKind KindOfDigest(const std::string& digest) {
  if (digest.size() == 32) return DigestKind::Md5;
  if (digest.size() == 64 && IsHex(digest)) return DigestKind::Sha256;
  return DigestKind::None;
}

std::string FileDigest(const std::wstring& path, DigestKind kind) {
  if (path.empty() || kind == DigestKind::None) return "";
  Utils::UniqueFile file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                     FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  if (!file) {
    WriteLog(L"CreateFile failed:%lu\r\n", GetLastError());
    return "";
  }
  UniqueAlgorithm algorithm;
  NTSTATUS st = BCryptOpenAlgorithmProvider(algorithm.Receive(),
                                            kind == DigestKind::Md5 ? BCRYPT_MD5_ALGORITHM : BCRYPT_SHA256_ALGORITHM,
                                            nullptr, 0);
  if (st != 0) {
    WriteLog(L"BCryptOpenAlgorithmProvider failed:0x%08lx\r\n", static_cast<unsigned long>(st));
    return "";
  }
  DWORD length = 0, got = 0;
  st = BCryptGetProperty(algorithm.Get(), BCRYPT_HASH_LENGTH, reinterpret_cast<PUCHAR>(&length), sizeof(length),
                         &got, 0);
  if (st != 0 || length == 0 || length > 64) {
    WriteLog(L"BCryptGetProperty failed:0x%08lx\r\n", static_cast<unsigned long>(st));
    return "";
  }
  UniqueHash hash;
  st = BCryptCreateHash(algorithm.Get(), hash.Receive(), nullptr, 0, nullptr, 0, 0);
  if (st != 0) {
    WriteLog(L"BCryptCreateHash failed:0x%08lx\r\n", static_cast<unsigned long>(st));
    return "";
  }
  std::vector<unsigned char> buffer;
  try {
    buffer.resize(kReadBlock);
  } catch (const std::bad_alloc&) {
    WriteLog(L"out of memory\r\n");
    return "";
  }
  for (;;) {
    DWORD read = 0;
    if (!ReadFile(file.Get(), buffer.data(), kReadBlock, &read, nullptr)) {
      WriteLog(L"ReadFile failed:%lu\r\n", GetLastError());
      return "";
    }
    if (read == 0) break;
    st = BCryptHashData(hash.Get(), buffer.data(), read, 0);
    if (st != 0) {
      WriteLog(L"BCryptHashData failed:0x%08lx\r\n", static_cast<unsigned long>(st));
      return "";
    }
  }
  unsigned char value[64] = {};
  st = BCryptFinishHash(hash.Get(), value, length, 0);
  if (st != 0) {
    WriteLog(L"BCryptFinishHash failed:0x%08lx\r\n", static_cast<unsigned long>(st));
    return "";
  }
  static const char kHex[] = "0123456789abcdef";
  std::string out;
  for (DWORD i = 0; i < length; ++i) {
    out += kHex[value[i] >> 4];
    out += kHex[value[i] & 15];
  }
  return out;
}

std::string GetFileMd5(const std::string& path) {
  return FileDigest(Utils::ToWide(path, Utils::kActiveCodePage), DigestKind::Md5);
}

std::string GetFileSha256(const std::string& path) {
  return FileDigest(Utils::ToWide(path, Utils::kActiveCodePage), DigestKind::Sha256);
}

DigestCheck CheckFileDigest(const std::string& expected, const std::wstring& path) {
  const DigestKind kind = KindOfDigest(expected);
  if (kind == DigestKind::None) return DigestCheck::NoDigest;
  const std::string actual = FileDigest(path, kind);
  // A file that could not be read was not verified, so it must not pass.
  if (actual.empty()) return DigestCheck::Mismatch;
  return actual == Lower(expected) ? DigestCheck::Match : DigestCheck::Mismatch;
}

}  // namespace Download
