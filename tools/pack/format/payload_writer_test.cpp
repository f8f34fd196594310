#include "pack/format/payload_writer.h"

#include <gtest/gtest.h>

#include <string>

namespace ferrolan::pack {
namespace {

TEST(PayloadWriterTest, VersionsAndParamsEncoding) {
  EXPECT_EQ(NormalizeVersion("5"), "00000000005");
  EXPECT_EQ(NormalizeVersion("52861074"), "00052861074");
  EXPECT_EQ(NormalizeVersion("12345678901"), "12345678901");
  EXPECT_FALSE(NormalizeVersion("123456789012"));
  EXPECT_FALSE(NormalizeVersion(""));
  EXPECT_FALSE(NormalizeVersion("1.2"));
  EXPECT_EQ(EncodeParamsSection({{"a", ""}, {"jre_name", "jre17"}}),
            std::string("2\0a\0\0jre_name\0jre17\0", 20));
  EXPECT_NE(CheckParam({"", "x"}), "");
  EXPECT_NE(CheckParam({std::string(1024, 'n'), "x"}), "");
  EXPECT_EQ(CheckParam({std::string(1023, 'n'), std::string(199999, 'v')}), "");
  EXPECT_NE(CheckParam({"n", std::string(200000, 'v')}), "");
}

}  // namespace
}  // namespace ferrolan::pack
