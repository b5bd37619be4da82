// The memory input stream the 7z decoder reads an in-memory archive through.
#include <gtest/gtest.h>

#include <cstring>

#include "skinui/archive_stream.h"

using SkinUI::MemoryInStream;

namespace {

size_t ReadInto(MemoryInStream& s, char* buffer, size_t want) {
  size_t size = want;
  EXPECT_EQ(SZ_OK, s.vt.Read(&s.vt, buffer, &size));
  return size;
}

TEST(MemoryInStream, ReadsWhatIsLeftAndZeroAtTheEnd) {
  const char data[] = "0123456789";
  MemoryInStream s;
  ASSERT_TRUE(SkinUI::InitMemoryInStream(s, data, 10));
  char buffer[16] = {};
  EXPECT_EQ(4u, ReadInto(s, buffer, 4));
  EXPECT_EQ(0, std::memcmp(buffer, "0123", 4));
  EXPECT_EQ(6u, ReadInto(s, buffer, 16));
  EXPECT_EQ(0, std::memcmp(buffer, "456789", 6));
  EXPECT_EQ(0u, ReadInto(s, buffer, 16));
}

TEST(MemoryInStream, KeepsItsOwnCopy) {
  char data[] = "abc";
  MemoryInStream s;
  ASSERT_TRUE(SkinUI::InitMemoryInStream(s, data, 3));
  data[0] = 'X';
  char buffer[4] = {};
  ReadInto(s, buffer, 3);
  EXPECT_STREQ("abc", buffer);
}

TEST(MemoryInStream, SeekOrigins) {
  struct Case {
    const char* label;
    int64_t start;  // position before the seek
    int64_t offset;
    int origin;
    SRes result;
    int64_t reported;  // offset out, on success
    uint32_t position;  // position after the call
  };
  const Case cases[] = {
      {"set", 7, 3, SZ_SEEK_SET, SZ_OK, 3, 3},
      {"current forward", 2, 5, SZ_SEEK_CUR, SZ_OK, 7, 7},
      {"current back", 8, -3, SZ_SEEK_CUR, SZ_OK, 5, 5},
      {"end", 0, -4, SZ_SEEK_END, SZ_OK, 6, 6},
      {"end itself (how the size is found)", 3, 0, SZ_SEEK_END, SZ_OK, 10, 10},
      {"past the end is allowed, reads give 0", 0, 25, SZ_SEEK_SET, SZ_OK, 25, 25},
      {"unknown origin", 4, 1, 3, 87, 1, 4},
      {"before the start", 4, -5, SZ_SEEK_CUR, 87, -5, 4},
      {"beyond a 32-bit position", 4, int64_t(1) << 32, SZ_SEEK_SET, 87, int64_t(1) << 32, 4},
      {"huge negative from the end", 4, INT64_MIN, SZ_SEEK_END, 87, INT64_MIN, 4},
  };
  const char data[] = "0123456789";
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    MemoryInStream s;
    ASSERT_TRUE(SkinUI::InitMemoryInStream(s, data, 10));
    s.position = static_cast<uint32_t>(c.start);
    Int64 offset = c.offset;
    EXPECT_EQ(c.result, s.vt.Seek(&s.vt, &offset, static_cast<ESzSeek>(c.origin)));
    EXPECT_EQ(c.reported, offset);
    EXPECT_EQ(c.position, s.position);
  }
}

TEST(MemoryInStream, ReadAfterSeekPastTheEndGivesNothing) {
  const char data[] = "0123456789";
  MemoryInStream s;
  ASSERT_TRUE(SkinUI::InitMemoryInStream(s, data, 10));
  Int64 offset = 100;
  ASSERT_EQ(SZ_OK, s.vt.Seek(&s.vt, &offset, SZ_SEEK_SET));
  char buffer[8] = {};
  EXPECT_EQ(0u, ReadInto(s, buffer, 8));
  EXPECT_EQ(100u, s.position);
}

}  // namespace
