#include "backup_codec.h"

#include <gtest/gtest.h>

#include <string>

namespace vindo {
namespace {

TEST(BackupCodec, EncodesByAddingThirtyNineAndWrappingBy255) {
  EXPECT_EQ(EncodeBackupByte(0), 39);
  EXPECT_EQ(EncodeBackupByte(216), 255);
  EXPECT_EQ(EncodeBackupByte(217), 1);
  EXPECT_EQ(EncodeBackupByte(254), 38);
  // 255 collides with 0: the one byte the backup can't hold.
  EXPECT_EQ(EncodeBackupByte(255), 39);
}

TEST(BackupCodec, DecodesStoredBytesAsExistingBackupsNeed) {
  EXPECT_EQ(DecodeBackupByte(39), 0);
  EXPECT_EQ(DecodeBackupByte(255), 216);
  EXPECT_EQ(DecodeBackupByte(1), 217);
  EXPECT_EQ(DecodeBackupByte(0), 216);
  EXPECT_EQ(DecodeBackupByte(38), 254);
}

TEST(BackupCodec, EveryByteBut255SurvivesTheRoundTrip) {
  for (int b = 0; b <= 254; ++b) {
    const auto byte = static_cast<unsigned char>(b);
    EXPECT_EQ(DecodeBackupByte(EncodeBackupByte(byte)), byte) << b;
  }
}

TEST(BackupCodec, RunsOfBytesMapLikeSingleBytes) {
  // Long enough for the wide loops and an odd tail; every byte value, at every offset.
  std::string bytes;
  for (int i = 0; i < 1001; ++i) bytes += static_cast<char>(i * 7);
  // The rotation 16 bytes at a time where the processor has SSE2, and a word at a time.
  for (const ByteMapping encode : {EncodeBackupBytes, EncodeBackupBytesWordwise}) {
    std::string encoded(bytes.size(), '\0');
    std::string decoded(bytes.size(), '\0');
    encode(bytes.data(), bytes.size(), encoded.data());
    DecodeBackupBytes(bytes.data(), bytes.size(), decoded.data());
    for (std::size_t i = 0; i < bytes.size(); ++i) {
      const auto byte = static_cast<unsigned char>(bytes[i]);
      ASSERT_EQ(static_cast<unsigned char>(encoded[i]), EncodeBackupByte(byte)) << i;
      ASSERT_EQ(static_cast<unsigned char>(decoded[i]), DecodeBackupByte(byte)) << i;
    }
  }
}

TEST(BackupCodec, RefusesOnlyContentWithTheByte255) {
  EXPECT_TRUE(CanBackUpFaithfully(""));
  EXPECT_TRUE(CanBackUpFaithfully(std::string("\0\x01\xfe", 3)));
  EXPECT_FALSE(CanBackUpFaithfully(std::string("abc\xff", 4)));
  EXPECT_FALSE(CanBackUpFaithfully(std::string("\xff", 1)));
  // The rotation says so too, wherever the byte lies: in a wide step or in the tail.
  for (const ByteMapping encode : {EncodeBackupBytes, EncodeBackupBytesWordwise}) {
    std::string bytes(37, '\xfe');
    std::string encoded(bytes.size(), '\0');
    EXPECT_TRUE(encode(bytes.data(), bytes.size(), encoded.data()));
    for (std::size_t at = 0; at < bytes.size(); ++at) {
      bytes[at] = '\xff';
      EXPECT_FALSE(encode(bytes.data(), bytes.size(), encoded.data())) << at;
      bytes[at] = '\xfe';
    }
  }
}

}  // namespace
}  // namespace vindo
