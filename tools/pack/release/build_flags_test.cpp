#include "pack/release/build_flags.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>

namespace ferrolan::pack {
namespace {

TEST(VersionMappingTest, DottedVersionsKeepTheirOrderAsWholeNumbers) {
  const char* ascending[] = {"0",   "0.0.1", "0.1",  "0.9999.9999", "1",      "1.0.1",
                             "1.2", "1.2.3", "1.10", "2",           "10.0.0", "999.9999.9999"};
  std::uint64_t previous = 0;
  for (const char* version : ascending) {
    std::optional<std::uint64_t> mapped = MapDottedVersion(version);
    ASSERT_TRUE(mapped) << version;
    if (version != ascending[0]) {
      EXPECT_GT(*mapped, previous) << version;
    }
    EXPECT_LE(*mapped, 99999999999u) << version;  // eleven digits at most
    previous = *mapped;
  }
  EXPECT_EQ(MapDottedVersion("1.2.3"), 100020003u);
  EXPECT_EQ(MapDottedVersion("1"), MapDottedVersion("1.0.0"));
  for (const char* bad : {"", "1.", ".1", "1..2", "1.2.3.4", "v1", "1-2", "1000", "1.10000", "-1"})
    EXPECT_FALSE(MapDottedVersion(bad)) << bad;
}

}  // namespace
}  // namespace ferrolan::pack
