// bench_skin <archive.7z> [decodes]
// Decodes the archive `decodes` times from memory, as the first window does,
// and prints the time per decode and the decoded MB/s; then parses every XML
// file of the archive and prints the parse time of the largest.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "skinui/skin_archive.h"
#include "skinui/xml_markup.h"

namespace {

double Now() {
  static LARGE_INTEGER frequency = [] {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return f;
  }();
  LARGE_INTEGER t;
  QueryPerformanceCounter(&t);
  return static_cast<double>(t.QuadPart) / static_cast<double>(frequency.QuadPart);
}

bool ReadWhole(const wchar_t* path, std::string& bytes) {
  std::unique_ptr<FILE, int (*)(FILE*)> file(_wfopen(path, L"rb"), fclose);
  if (!file) return false;
  char chunk[65536];
  size_t n;
  while ((n = fread(chunk, 1, sizeof chunk, file.get())) > 0) bytes.append(chunk, n);
  return true;
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: bench_skin archive.7z [decodes]\n");
    return 2;
  }
  const int decodes = argc > 2 ? std::max(1, _wtoi(argv[2])) : 20;
  std::string archiveBytes;
  if (!ReadWhole(argv[1], archiveBytes)) {
    std::fprintf(stderr, "cannot read %ls\n", argv[1]);
    return 1;
  }

  std::vector<double> times;
  uint64_t decoded = 0;
  size_t files = 0;
  for (int i = 0; i < decodes + 1; ++i) {
    const double start = Now();
    std::unique_ptr<SkinUI::SkinArchive> archive = SkinUI::SkinArchiveOpenMemory(archiveBytes.data(), archiveBytes.size());
    const double elapsed = Now() - start;
    if (!archive) {
      std::fprintf(stderr, "not a readable archive\n");
      return 1;
    }
    if (i == 0) {  // the first run warms the heap and the CRC table
      for (const auto& e : archive->entries) decoded += e.size;
      files = archive->entries.size();
      continue;
    }
    times.push_back(elapsed);
  }
  const double median = Median(times), best = *std::min_element(times.begin(), times.end());
  std::printf("archive: %zu bytes, %zu files, %.2f MB decoded\n", archiveBytes.size(), files, decoded / 1e6);
  std::printf("decode (SkinArchiveOpenMemory, %d runs): median %.2f ms, best %.2f ms, %.1f MB/s\n", decodes,
              median * 1e3, best * 1e3, decoded / 1e6 / median);

  // Markup: every XML file, the largest one reported.
  std::unique_ptr<SkinUI::SkinArchive> archive = SkinUI::SkinArchiveOpenMemory(archiveBytes.data(), archiveBytes.size());
  const SkinUI::SkinArchiveEntry* largest = nullptr;
  for (const auto& e : archive->entries) {
    const bool xml = e.name.size() > 4 && _wcsicmp(e.name.c_str() + e.name.size() - 4, L".xml") == 0;
    if (xml && (!largest || e.bytes.size() > largest->bytes.size())) largest = &e;
  }
  if (largest) {
    std::vector<double> parses;
    int elements = 0;
    for (int i = 0; i < 200; ++i) {
      SkinUI::CXmlMarkup markup;
      const double start = Now();
      const bool ok = markup.LoadFromMemory(largest->bytes.data(), largest->bytes.size());
      parses.push_back(Now() - start);
      if (!ok) {
        std::fprintf(stderr, "%ls: %ls\n", largest->name.c_str(), markup.GetLastErrorMessage());
        return 1;
      }
      if (i == 0) {
        std::vector<SkinUI::CXmlElement> stack{markup.GetRoot()};
        while (!stack.empty()) {
          SkinUI::CXmlElement e = stack.back();
          stack.pop_back();
          ++elements;
          if (e.GetNextSibling().IsValid()) stack.push_back(e.GetNextSibling());
          if (e.HasChildren()) stack.push_back(e.GetFirstChild());
        }
      }
    }
    std::printf("parse largest XML %ls (%zu bytes, %d elements, 200 runs): median %.1f us, best %.1f us\n",
                largest->name.c_str(), largest->bytes.size(), elements, Median(parses) * 1e6,
                *std::min_element(parses.begin(), parses.end()) * 1e6);
  }
  return 0;
}
