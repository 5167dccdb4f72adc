#include "common/little_endian.h"

#include <gtest/gtest.h>

namespace common {
namespace {

TEST(LittleEndianTest, ReadsLeastSignificantByteFirstAtAnyAlignment) {
  // One byte of padding first, so the numbers start at an odd address.
  const unsigned char bytes[] = {0xAA, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0xF8};
  const unsigned char* p = bytes + 1;
  EXPECT_EQ(ReadLe16(p), 0x0201u);
  EXPECT_EQ(ReadLe32(p), 0x04030201u);
  EXPECT_EQ(ReadLe64(p), 0xF807060504030201ull);  // the top bit survives
  EXPECT_EQ(ReadLittleEndian(p, 0), 0u);
  EXPECT_EQ(ReadLittleEndian(p, 3), 0x030201u);
  const unsigned char high[] = {0xFF, 0xFE};
  EXPECT_EQ(ReadLe16(high), 0xFEFFu);  // no sign extension of a byte
  const char signed_bytes[] = {'\xFF', '\x80', '\x00', '\x00'};
  EXPECT_EQ(ReadLe32(signed_bytes), 0x80FFu);  // plain char, as read from a std::string
}

}  // namespace
}  // namespace common
