#pragma once
// Owners for libcurl easy handles and header lists, so every path releases
// them.
#include <curl/curl.h>

#include "utils/handle.h"

namespace Download {

struct CurlEasyTraits {
  static CURL* Invalid() { return nullptr; }
  static void Close(CURL* h) { curl_easy_cleanup(h); }
};
struct CurlListTraits {
  static curl_slist* Invalid() { return nullptr; }
  static void Close(curl_slist* l) { curl_slist_free_all(l); }
};

using UniqueCurl = Utils::UniqueResource<CurlEasyTraits>;
using UniqueCurlList = Utils::UniqueResource<CurlListTraits>;

// Appends to a list it owns; a failed append leaves the list as it was and
// returns false.
bool AppendHeader(UniqueCurlList& list, const char* header);

}  // namespace Download
