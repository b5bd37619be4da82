#pragma once
// Reading one skin file by its relative name, the way every reader of the skin
// does it (markup, images, language texts): from the plain file below the
// resource path when no archive is set, otherwise from the skin archive: the
// cached one, or the archive file opened for this one read.
//
// Each reader applies its own size limit and turns the status into its own
// messages.
#include <cstdint>
#include <vector>

namespace SkinUI {

enum class SkinFileStatus {
  Ok,
  OpenFailed,     // plain file: cannot be opened
  Empty,          // the file or entry has 0 bytes
  TooLarge,       // above the reader's limit
  ReadFailed,     // plain file: fewer bytes read than its size
  NoArchive,      // an archive is set but none could be opened
  NotFound,       // the archive has no entry of that name
  ExtractFailed,  // the entry's bytes could not be copied out
};

// `bytes` receives the whole file on Ok and is emptied otherwise.
SkinFileStatus ReadSkinFile(const wchar_t* name, uint64_t maxBytes, std::vector<unsigned char>& bytes);

}  // namespace SkinUI
