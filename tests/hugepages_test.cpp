#include "objfmt/hugepages.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <vector>

namespace tarnel::test {
namespace {

// A list that grows across the mapping threshold keeps every element through
// each move to a bigger block, and a big block starts on a huge page.
TEST(HugePageAllocator, ListsGrowAcrossTheMappingThreshold) {
    std::vector<uint32_t, HugePageAllocator<uint32_t>> list;
    const uint32_t count = 3 * (HugePageAllocator<uint32_t>::kMapFrom / sizeof(uint32_t)) + 7;
    for (uint32_t i = 0; i < count; ++i) list.push_back(i * 2654435761u);
    ASSERT_EQ(list.size(), count);
    for (uint32_t i = 0; i < count; ++i) ASSERT_EQ(list[i], i * 2654435761u) << i;
    EXPECT_EQ(reinterpret_cast<uintptr_t>(list.data()) % kHugePage, 0u);
    list.resize(10);
    list.shrink_to_fit();  // back to a heap block
    std::vector<uint32_t> expected(10);
    for (uint32_t i = 0; i < 10; ++i) expected[i] = i * 2654435761u;
    EXPECT_TRUE(std::equal(list.begin(), list.end(), expected.begin()));
}

}  // namespace
}  // namespace tarnel::test
