// Tests of the node pool allocator. Every test uses its own element type,
// because free lists are process-wide per type and would otherwise carry
// state from one test into the next.
#include <gtest/gtest.h>

#include <cstring>
#include <list>
#include <vector>

#include "impl/support/pool_alloc.h"

namespace pool_alloc_test {

template <class T>
void* free_head() {
    return qarn::pool_alloc<T>::m_info.m_free_list;
}

struct Elem40 {
    char bytes[40];
};

TEST(PoolAlloc, OneMoreThanABlockReservesASecondBlock) {
    using info_t = qarn::pool_alloc_info;
    qarn::pool_alloc<Elem40> alloc;
    const info_t& info = qarn::pool_alloc<Elem40>::m_info;
    ASSERT_EQ(info.m_element_size, 40u);
    ASSERT_EQ(info.m_elements_per_block, 25u);
    ASSERT_EQ(info.m_block_size, 1000u);
    ASSERT_EQ(free_head<Elem40>(), nullptr);

    std::vector<Elem40*> first_block;
    for (unsigned i = 0; i < info.m_elements_per_block; ++i)
        first_block.push_back(alloc.allocate(1));
    // One block, handed out in address order, now exhausted.
    for (std::size_t i = 1; i < first_block.size(); ++i)
        EXPECT_EQ(first_block[i], first_block[i - 1] + 1);
    EXPECT_EQ(free_head<Elem40>(), nullptr);

    Elem40* extra = alloc.allocate(1);
    const bool inside_first = extra >= first_block.front() && extra <= first_block.back();
    EXPECT_FALSE(inside_first);
    EXPECT_EQ(free_head<Elem40>(), extra + 1);

    for (Elem40* p : first_block)
        std::memset(p, 0xAB, sizeof *p);
    for (Elem40* p : first_block)
        alloc.deallocate(p, 1);
    alloc.deallocate(extra, 1);
}

struct Elem24 {
    long words[3];
};

TEST(PoolAlloc, FreedElementsAreReusedLastFreedFirst) {
    qarn::pool_alloc<Elem24> alloc;
    Elem24* a = alloc.allocate(1);
    Elem24* b = alloc.allocate(1);
    Elem24* c = alloc.allocate(1);
    alloc.deallocate(a, 1);
    alloc.deallocate(c, 1);
    alloc.deallocate(b, 1);
    EXPECT_EQ(alloc.allocate(1), b);
    EXPECT_EQ(alloc.allocate(1), c);
    EXPECT_EQ(alloc.allocate(1), a);
    for (Elem24* p : {a, b, c})
        alloc.deallocate(p, 1);
}

struct Elem16 {
    long words[2];
};

TEST(PoolAlloc, ArrayRequestsBypassTheFreeList) {
    qarn::pool_alloc<Elem16> alloc;
    Elem16* pair = alloc.allocate(2);
    EXPECT_EQ(free_head<Elem16>(), nullptr);  // no block was reserved
    pair[0].words[0] = pair[1].words[1] = 7;
    alloc.deallocate(pair, 2);
    EXPECT_EQ(free_head<Elem16>(), nullptr);

    Elem16* single = alloc.allocate(1);
    void* head = free_head<Elem16>();
    ASSERT_NE(head, nullptr);
    Elem16* many = alloc.allocate(5);
    EXPECT_EQ(free_head<Elem16>(), head);
    alloc.deallocate(many, 5);
    EXPECT_EQ(free_head<Elem16>(), head);
    alloc.deallocate(single, 1);
    EXPECT_EQ(free_head<Elem16>(), single);
}

TEST(PoolAlloc, ElementsSmallerThanAPointerHoldALink) {
    qarn::pool_alloc<char> alloc;
    const qarn::pool_alloc_info& info = qarn::pool_alloc<char>::m_info;
    EXPECT_GE(info.m_element_size, sizeof(void*));
    EXPECT_EQ(info.m_elements_per_block, 1000u / info.m_element_size);
    std::vector<char*> cells;
    for (int i = 0; i < 300; ++i) {
        cells.push_back(alloc.allocate(1));
        *cells.back() = static_cast<char>(i);
    }
    for (int i = 0; i < 300; ++i)
        EXPECT_EQ(*cells[static_cast<std::size_t>(i)], static_cast<char>(i));
    for (char* p : cells)
        alloc.deallocate(p, 1);
    EXPECT_EQ(alloc.allocate(1), cells.back());
    alloc.deallocate(cells.back(), 1);
}

struct Elem2000 {
    char bytes[2000];
};

TEST(PoolAlloc, ElementsLargerThanABlockGetOneEach) {
    qarn::pool_alloc<Elem2000> alloc;
    const qarn::pool_alloc_info& info = qarn::pool_alloc<Elem2000>::m_info;
    EXPECT_EQ(info.m_elements_per_block, 1u);
    EXPECT_GE(info.m_block_size, sizeof(Elem2000));
    Elem2000* a = alloc.allocate(1);
    EXPECT_EQ(free_head<Elem2000>(), nullptr);
    Elem2000* b = alloc.allocate(1);
    EXPECT_NE(a, b);
    std::memset(a, 1, sizeof *a);  // whole element is usable
    std::memset(b, 2, sizeof *b);
    EXPECT_EQ(a->bytes[1999], 1);
    alloc.deallocate(a, 1);
    EXPECT_EQ(alloc.allocate(1), a);
    alloc.deallocate(a, 1);
    alloc.deallocate(b, 1);
}

struct ListValue {
    int v;
};

TEST(PoolAlloc, WorksAsAContainerAllocator) {
    std::list<ListValue, qarn::pool_alloc<ListValue>> values;
    for (int i = 0; i < 100; ++i)
        values.push_back({i});
    values.remove_if([](const ListValue& x) { return x.v % 3 != 0; });
    for (int i = 100; i < 150; ++i)
        values.push_front({i});
    int sum = 0;
    for (const ListValue& x : values)
        sum += x.v;
    int expected = 0;
    for (int i = 0; i < 100; i += 3)
        expected += i;
    for (int i = 100; i < 150; ++i)
        expected += i;
    EXPECT_EQ(sum, expected);
    EXPECT_EQ(values.size(), 34u + 50u);
}

}  // namespace pool_alloc_test
