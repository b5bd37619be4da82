#include "download/curl_handle.h"

namespace Download {

bool AppendHeader(UniqueCurlList& list, const char* header) {
  curl_slist* grown = curl_slist_append(list.Get(), header);
  if (!grown) return false;
  // curl_slist_append returns the same head for a non-empty list and a new
  // one for an empty list; either way the result owns every node.
  list.Release();
  list.Reset(grown);
  return true;
}

}  // namespace Download
