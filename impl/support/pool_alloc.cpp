// Block refill of the pool free lists.

#include "impl/support/pool_alloc.h"

#if defined(__SANITIZE_ADDRESS__)
#include <vector>
#endif

namespace qarn {

void pool_alloc_info::reserve_block() {
    if (m_free_list)
        return;
    char* block = new char[m_block_size];
    // Thread the elements in address order; the last one ends the list.
    for (unsigned i = 0; i < m_elements_per_block; ++i) {
        char* elem = block + static_cast<std::size_t>(i) * m_element_size;
        char* next = i + 1 < m_elements_per_block ? elem + m_element_size : nullptr;
        *reinterpret_cast<void**>(elem) = next;
    }
    m_free_list = block;
#if defined(__SANITIZE_ADDRESS__)
    // Poisoned memory is not scanned for pointers: keep every block reachable
    // so the leak checker does not report the pool's lifetime memory.
    static std::vector<void*>* blocks = new std::vector<void*>;
    blocks->push_back(block);
#endif
    QARN_POOL_POISON(block, m_block_size);
}

} // namespace qarn
