#pragma once
// Installs the skin archive that is stored among a module's resources (type
// "ZIPRES"; the installer's windows use the identifier 147). Called by the
// window base when a window that takes its skin from there is created.
#include <windows.h>

namespace SkinUI {

constexpr WORD kSkinArchiveResourceId = 147;

// False when the resource is missing, cannot be loaded or is empty: the
// window then has no skin. Otherwise the archive is handed to CUIManager,
// which decodes it once per process; a later window finds it in place and
// nothing is copied or decoded again. True also when the bytes turn out not
// to be a readable archive: every lookup then fails.
bool InstallSkinArchiveResource(HMODULE module, WORD resourceId = kSkinArchiveResourceId);

}  // namespace SkinUI
