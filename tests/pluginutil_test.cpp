#include "host/pluginutil.h"

#include <gtest/gtest.h>

namespace {

std::string bytes(std::initializer_list<int> list) {
  std::string s;
  for (int b : list) s.push_back(static_cast<char>(b));
  return s;
}

Record recordOf(const std::string &s) {
  return {reinterpret_cast<const std::uint8_t *>(s.data()), s.size()};
}

TEST(Packing, IntegersAreLittleEndianTwosComplement) {
  EXPECT_EQ(packInt(0), bytes({0, 0, 0, 0}));
  EXPECT_EQ(packInt(4), bytes({4, 0, 0, 0}));
  EXPECT_EQ(packInt(-1), bytes({0xFF, 0xFF, 0xFF, 0xFF}));
  EXPECT_EQ(packInt(258), bytes({2, 1, 0, 0}));
}

TEST(Packing, StringsCarryTheirLengthAndEveryByte) {
  EXPECT_EQ(packString(""), bytes({0, 0, 0, 0}));
  EXPECT_EQ(packString("abc"), bytes({3, 0, 0, 0, 'a', 'b', 'c'}));
  std::string withZero("a\0b", 3);
  EXPECT_EQ(packString(withZero), bytes({3, 0, 0, 0, 'a', 0, 'b'}));
}

TEST(Packing, ReadersInvertThePackers) {
  for (std::int32_t v : {0, 1, -1, 258, INT32_MIN, INT32_MAX}) {
    std::string p = packInt(v);
    EXPECT_EQ(intAt(recordOf(p), 0), v);
    EXPECT_EQ(pointerAt(recordOf(p), 0), static_cast<std::uint32_t>(v));
  }
  for (std::string s : {std::string(), std::string("x"), std::string("a\0b", 3)}) {
    std::string p = packString(s);
    EXPECT_EQ(stringAt(recordOf(p), 0), s);
  }
}

TEST(Packing, ReadersTakeUnalignedOffsetsAndUnsignedBytes) {
  std::string r = bytes({0, 0, 0, 0, 0, 0xCB, 0x78, 0x56, 0x34, 0x12});
  EXPECT_EQ(byteAt(recordOf(r), 5), 203);
  EXPECT_EQ(intAt(recordOf(r), 6), 0x12345678);
}

TEST(Packing, NonPositiveStringLengthsGiveTheEmptyString) {
  EXPECT_EQ(stringAt(recordOf(bytes({0, 0, 0, 0, 'x'})), 0), "");
  EXPECT_EQ(stringAt(recordOf(bytes({0xFF, 0xFF, 0xFF, 0xFF, 'x'})), 0), "");
}

TEST(Packing, FieldsPastTheRecordReadAsZeroOrEmpty) {
  std::string r = bytes({1, 2, 3, 4, 5, 6});
  Record rec = recordOf(r);
  EXPECT_EQ(byteAt(rec, 6), 0);
  EXPECT_EQ(byteAt(rec, -1), 0);
  EXPECT_EQ(intAt(rec, 3), 0);
  EXPECT_EQ(intAt(rec, INT32_MAX), 0);
  EXPECT_EQ(intAt(rec, 2), 0x06050403);
  // A string announcing one byte more than the record holds.
  std::string s = bytes({4, 0, 0, 0, 'a', 'b', 'c'});
  EXPECT_EQ(stringAt(recordOf(s), 0), "");
  EXPECT_EQ(stringAt(recordOf(s), INT32_MAX - 2), "");
  EXPECT_EQ(byteAt(Record{}, 0), 0);
}

TEST(Packing, AFramedRecordEndsWhereItsLengthWordSays) {
  std::string r = bytes({2, 0, 0, 0, 0x03, 0x01, 0xAA, 0xBB});
  Record rec = framedAt(r.data());
  EXPECT_EQ(rec.size, 6u);
  EXPECT_EQ(byteAt(rec, 5), 1);
  EXPECT_EQ(byteAt(rec, 6), 0);
  EXPECT_EQ(framedAt(nullptr).size, 0u);
}

} // namespace
