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
    EXPECT_EQ(BackupEncoding().to[b], EncodeBackupByte(byte));
    EXPECT_EQ(BackupDecoding().to[b], DecodeBackupByte(byte));
  }
}

TEST(BackupCodec, RefusesOnlyContentWithTheByte255) {
  EXPECT_TRUE(CanBackUpFaithfully(""));
  EXPECT_TRUE(CanBackUpFaithfully(std::string("\0\x01\xfe", 3)));
  EXPECT_FALSE(CanBackUpFaithfully(std::string("abc\xff", 4)));
  EXPECT_FALSE(CanBackUpFaithfully(std::string("\xff", 1)));
}

}  // namespace
}  // namespace vindo
