#pragma once
// The paint manager of a skinned window. So far only its process-wide part is
// here: the resource settings that say where skin files come from.
//
// Start-up tells the toolkit its instance and that archives are 7z; the first
// skinned window then sets the resource path and installs the skin archive.
// Everything is used from the UI thread only, without locks.
#include <windows.h>

#include <string>

namespace SkinUI {

struct SkinArchive;

class CUIManager {
 public:
  // The archive name used for an archive handed over in memory.
  static constexpr const wchar_t* kMemoryArchiveName = L"membuffer";

  static void SetInstance(HINSTANCE instance);
  static HINSTANCE GetInstance();
  // The executable's folder with its final backslash; empty without an instance.
  static std::wstring GetInstancePath();
  // Always the instance: no separate resource module is ever set.
  static HINSTANCE GetResourceModule();

  // A non-empty path without a final '\' or '/' gets a backslash appended.
  static void SetResourcePath(const wchar_t* path);
  static const std::wstring& GetResourcePath();

  // Decodes the archive from memory once per process: while the archive name
  // is "membuffer" further calls change nothing, however many windows ask.
  static void SetResourceArchiveFromMemory(const void* bytes, size_t size);
  // An archive file below the resource path. Cached: opened now and kept.
  // Not cached: opened and closed around every read. An empty name selects
  // plain files below the resource path.
  static void SetResourceArchive(const wchar_t* name, bool cached);
  static const std::wstring& GetResourceArchiveName();
  static bool IsResourceArchiveCached();
  // The open archive, or none (not cached, or the bytes could not be decoded).
  static SkinArchive* GetResourceArchive();

  // Archives are 7z; the flag is kept for the start-up sequence, which sets
  // it. 7z is the only archive format this toolkit reads.
  static void SetResourceArchive7z(bool is7z);
  static bool IsResourceArchive7z();
};

}  // namespace SkinUI
