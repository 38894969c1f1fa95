// A first-in-first-out queue of indices below a maximal count, each present
// at most once: a membership bit per index guards the FIFO. A bit may also be
// set without the index being queued (a mark that keeps an entailed
// constraint out of the queue until clear()).
#pragma once

#include <cstdint>
#include <deque>
#include <stdexcept>
#include <string>
#include <vector>

namespace qarn {

template <class T>
class unique_queue;

template <>
class unique_queue<void> {
public:
    // False when x is queued already; x must be below the maximal count.
    bool insert(unsigned x) {
        if (x >= m_max_elements)
            throw std::out_of_range("vector::_M_range_check: __n (which is " + std::to_string(x) +
                                    ") >= this->size() (which is " +
                                    std::to_string(m_max_elements) + ")");
        std::uint32_t& word = m_bits[word_of(x)];
        std::uint32_t bit = bit_of(x);
        if (word & bit)
            return false;
        word |= bit;
        m_fifo.push_back(x);
        return true;
    }

    unsigned pop() {
        if (m_fifo.empty())
            throw std::out_of_range("Popping out of an empty queue");
        unsigned x = m_fifo.front();
        m_fifo.pop_front();
        m_bits[word_of(x)] &= ~bit_of(x);
        return x;
    }

    bool is_in_queue(unsigned x) const {
        return x < m_max_elements && (m_bits[word_of(x)] & bit_of(x)) != 0;
    }
    // Sets x's bit without queueing it (x below the maximal count).
    void mark(unsigned x) { m_bits.at(word_of(x)) |= bit_of(x); }

    bool empty() const { return m_fifo.empty(); }
    std::size_t size() const { return m_fifo.size(); }
    std::uint64_t max_elements() const { return m_max_elements; }

    void clear() {
        m_fifo.clear();
        for (std::uint32_t& w : m_bits)
            w = 0;
    }

    void set_max_elements(std::uint64_t n) {
        if (n < m_max_elements)
            validate_all_elements_below(static_cast<unsigned>(n));
        m_bits.resize(static_cast<std::size_t>((n + 31) / 32), 0);
        m_max_elements = n;
        if (n % 32 != 0)
            m_bits.back() &= (std::uint32_t(1) << (n % 32)) - 1;
    }

    // Throws when a queued index is at or above n; marks alone never throw.
    void validate_all_elements_below(unsigned n) const {
        bool any = false;
        for (std::uint64_t x = n; x < m_max_elements && x % 32 != 0 && !any; ++x)
            any = (m_bits[word_of(static_cast<unsigned>(x))] & bit_of(static_cast<unsigned>(x))) != 0;
        for (std::size_t w = (static_cast<std::size_t>(n) + 31) / 32; w < m_bits.size() && !any; ++w)
            any = m_bits[w] != 0;
        if (!any)
            return;
        for (unsigned x : m_fifo)
            if (x >= n)
                throw std::out_of_range("At least one element is too big");
    }

    const std::deque<unsigned>& elements() const { return m_fifo; }
    std::size_t word_count() const { return m_bits.size(); }

private:
    static std::size_t word_of(unsigned x) { return x / 32; }
    static std::uint32_t bit_of(unsigned x) { return std::uint32_t(1) << (x % 32); }

    std::deque<unsigned> m_fifo;
    std::vector<std::uint32_t> m_bits;
    std::uint64_t m_max_elements = 0;
};

} // namespace qarn
