#include "codec/method_table.h"

#include <gtest/gtest.h>

#include "codec_test_support.h"

namespace lha::codec::testing {
namespace {

TEST(MethodTable, LookupByIdFindsItsRow) {
  for (const auto& row : kMethods) {
    auto m = FindMethod(row.id);
    ASSERT_TRUE(m) << row.id;
    EXPECT_EQ(Info(*m).id, row.id);
  }
  const uint8_t raw[] = {'-', 'l', 'h', '7', '-'};
  EXPECT_EQ(FindMethod(std::span<const uint8_t>(raw)), Method::kLh7);
  EXPECT_FALSE(FindMethod("-lh8-"));
  EXPECT_FALSE(FindMethod("-lh5"));
}

TEST(MethodTable, UnsupportedMethodsReportTheMethodError) {
  MemorySink sink;
  MemorySource src({});
  for (const auto& row : kMethods) {
    SCOPED_TRACE(row.id);
    int32_t dec = 0, enc = 0;
    try {
      MakeDecoder(row.method, src, 0);
    } catch (const lha::Error& e) {
      dec = e.code();
    }
    try {
      MakeEncoder(row.method, sink);
    } catch (const lha::Error& e) {
      enc = e.code();
    }
    EXPECT_EQ(dec, row.decodable ? 0 : UNLHA_ERROR_METHOD);
    EXPECT_EQ(enc, row.encodable ? 0 : UNLHA_ERROR_METHOD);
  }
}

}  // namespace
}  // namespace lha::codec::testing
