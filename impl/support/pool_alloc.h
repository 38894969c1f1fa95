// Node pool allocator.
//
// Single-element requests are served from one process-wide free list per
// element type, refilled in blocks of about 1000 bytes that are never given
// back; requests for several elements go to the general heap. This makes the
// nodes of the set trees, watch lists and literals cost a pointer pop/push.
// Each free element's first word links to the next free element, so an
// element occupies at least one pointer, and every block holds at least one.
#pragma once

#include <cstddef>
#include <new>

// Under AddressSanitizer free elements are poisoned, so a use after free of a
// pooled node is reported although the pool never returns memory.
#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/asan_interface.h>
#define QARN_POOL_POISON(p, n) ASAN_POISON_MEMORY_REGION((p), (n))
#define QARN_POOL_UNPOISON(p, n) ASAN_UNPOISON_MEMORY_REGION((p), (n))
#else
#define QARN_POOL_POISON(p, n) ((void)(p), (void)(n))
#define QARN_POOL_UNPOISON(p, n) ((void)(p), (void)(n))
#endif

namespace qarn {

struct pool_alloc_info {
    void* m_free_list;            // first free element, null when none
    unsigned m_block_size;        // bytes per block = elements per block * element size
    unsigned m_element_size;      // bytes per element, pointer-sized and aligned at least
    unsigned m_elements_per_block;

    constexpr pool_alloc_info(std::size_t size, std::size_t align)
        : m_free_list(nullptr),
          m_block_size(0),
          m_element_size(element_size_for(size, align)),
          m_elements_per_block(1000 / m_element_size ? 1000 / m_element_size : 1) {
        m_block_size = m_elements_per_block * m_element_size;
    }

    // Allocates one block and threads its elements, in address order, into
    // the free list. Does nothing while the list still has elements.
    void reserve_block();

    void* pop() {
        if (!m_free_list)
            reserve_block();
        void* p = m_free_list;
        QARN_POOL_UNPOISON(p, m_element_size);
        m_free_list = *static_cast<void**>(p);
        return p;
    }

    void push(void* p) {
        *static_cast<void**>(p) = m_free_list;
        m_free_list = p;
        QARN_POOL_POISON(p, m_element_size);
    }

private:
    static constexpr unsigned element_size_for(std::size_t size, std::size_t align) {
        std::size_t a = align < alignof(void*) ? alignof(void*) : align;
        std::size_t s = size < sizeof(void*) ? sizeof(void*) : size;
        return static_cast<unsigned>((s + a - 1) / a * a);
    }
};

template <class T>
class pool_alloc {
public:
    typedef T value_type;
    typedef T* pointer;
    typedef const T* const_pointer;
    typedef std::size_t size_type;
    typedef std::ptrdiff_t difference_type;

    template <class U>
    struct rebind {
        typedef pool_alloc<U> other;
    };

    static inline pool_alloc_info m_info{sizeof(T), alignof(T)};

    pool_alloc() noexcept = default;
    template <class U>
    pool_alloc(const pool_alloc<U>&) noexcept {}

    // Blocks come from new char[], aligned for any fundamental type only.
    static_assert(alignof(T) <= __STDCPP_DEFAULT_NEW_ALIGNMENT__, "over-aligned pool element");

    T* allocate(std::size_t n, const void* /*hint*/ = nullptr) {
        if (n != 1) {
            if (n > static_cast<std::size_t>(-1) / m_info.m_element_size)
                throw std::bad_array_new_length();
            return reinterpret_cast<T*>(new char[n * m_info.m_element_size]);
        }
        return static_cast<T*>(m_info.pop());
    }

    void deallocate(T* p, std::size_t n) noexcept {
        if (n != 1) {
            delete[] reinterpret_cast<char*>(p);
            return;
        }
        m_info.push(p);
    }

    template <class U>
    bool operator==(const pool_alloc<U>&) const noexcept { return true; }
    template <class U>
    bool operator!=(const pool_alloc<U>&) const noexcept { return false; }
};

} // namespace qarn
