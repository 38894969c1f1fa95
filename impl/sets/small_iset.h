// One-word integer set: the domain set of the small model, over 0..31.
//
// Bit v of the word is set exactly when v is a member: the empty set is 0,
// the full set 0xFFFFFFFF, and size() counts the bits (32 for the full set).
// Inserting a value outside 0..31 throws std::out_of_range; intersecting or
// erasing with values outside 0..31 clips silently. The interface mirrors the
// strided set of the large model so that shared code compiles against either.
// An iterator is the address of a set's word plus a bit index, 32 being the
// end; it stands on a member or at the end, and any change of the set's word
// may leave it on a non-member. No operation allocates, except the text form.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <string>
#include <utility>

namespace qarn {

class small_iset {
public:
    typedef std::pair<int, int> range_type;

    static constexpr int MIN_DOMAIN = 0;
    static constexpr int MAX_DOMAIN = 31;
    // The bit index of the end position.
    static constexpr unsigned END_INDEX = 32;

    class iterator {
    public:
        static constexpr bool CHECKS_BOUNDS = false;
        static constexpr bool INVALIDATED_BY_ERASE = true;

        iterator() : m_word(nullptr), m_index(END_INDEX) {}
        iterator(const std::uint32_t* word, unsigned index) : m_word(word), m_index(index) {}

        int operator*() const;
        iterator& operator++();
        iterator& operator--();
        iterator operator++(int) {
            iterator old = *this;
            ++*this;
            return old;
        }
        iterator operator--(int) {
            iterator old = *this;
            --*this;
            return old;
        }
        // Same set, and equal indices unless the set is empty.
        bool operator==(const iterator& other) const {
            return m_word == other.m_word &&
                   (m_word == nullptr || *m_word == 0 || m_index == other.m_index);
        }
        bool operator!=(const iterator& other) const { return !(*this == other); }

        // The longest progression of members from here stopping before `end`;
        // returns the iterator at the first member not taken.
        iterator find_stride(const iterator& end, range_type& range, unsigned& stride) const;
        // The longest progression of members ending just before this iterator
        // and not before `begin`; returns the iterator at its first member.
        iterator find_back_stride(const iterator& begin, range_type& range, unsigned& stride) const;
        // (index, last member of the run of consecutive members from here).
        range_type current_range() const;
        // Past the current run, to the next member or the end.
        void advance_range();
        // To the first member of the run holding the index, after stepping
        // back to the previous run when the index starts a run or is the end.
        void retract_range();
        // Forward by n members, stopping at the end; must not start there.
        void advance(unsigned n);

        unsigned index() const { return m_index; }

    private:
        const std::uint32_t* m_word;
        unsigned m_index;
    };
    typedef iterator const_iterator;

    small_iset() : m_word(0) {}
    explicit small_iset(const std::string& text);

    static small_iset from_word(std::uint32_t word) {
        small_iset s;
        s.m_word = word;
        return s;
    }
    // The raw word: bit v set when v is a member.
    std::uint32_t word() const { return m_word; }

    // The set becomes {v}; v outside 0..31 throws and leaves it unchanged.
    void assign(int v);

    bool empty() const { return m_word == 0; }
    bool full() const { return m_word == 0xFFFFFFFFu; }
    unsigned size() const;
    // Least and greatest member; std::domain_error on the empty set.
    int min() const;
    int max() const;

    iterator begin() const;
    iterator end() const { return iterator(&m_word, END_INDEX); }
    // First member not below v / above v; the end when there is none.
    iterator lower_bound(int v) const;
    iterator upper_bound(int v) const;

    // Mutators; ranges are closed (lo, hi).
    void insert(const range_type& range);
    void insert(const range_type& range, unsigned stride);
    void erase(const range_type& range);
    iterator erase(const iterator& it);
    void intersect(const range_type& range);
    void intersect(const range_type& range, unsigned stride);
    void intersect(const std::pair<std::int64_t, std::int64_t>& bounds, unsigned stride);
    void intersect(const small_iset& other) { m_word &= other.m_word; }
    void insert_all_of(const small_iset& other) { m_word |= other.m_word; }
    void erase_all_of(const small_iset& other) { m_word &= ~other.m_word; }
    // Within 0..31: the complement of the empty set is the full set.
    void complement() { m_word = ~m_word; }
    // Representation changes of the strided set; nothing to do here.
    void compact() {}
    void flatten() {}

    // Queries.
    bool contains(int v) const {
        return v >= MIN_DOMAIN && v <= MAX_DOMAIN && ((m_word >> v) & 1u) != 0;
    }
    bool contains_all_of(const small_iset& other) const { return (other.m_word & ~m_word) == 0; }
    // Every value lo, lo + s, ..., up to hi is a member.
    bool contains_all_of(const range_type& range, unsigned stride) const;
    bool contains_any_of(const small_iset& other) const { return (m_word & other.m_word) != 0; }
    // The set is exactly the values lo..hi (not empty): both set.
    bool plain_range(int& lo, int& hi) const {
        if (m_word == 0)
            return false;
        lo = __builtin_ctz(m_word);
        hi = 31 - __builtin_clz(m_word);
        return (m_word >> lo) == (hi - lo == 31 ? 0xFFFFFFFFu : (1u << (hi - lo + 1)) - 1u);
    }
    static bool same_elements(const small_iset& a, const small_iset& b) {
        return a.m_word == b.m_word;
    }
    bool operator==(const small_iset& other) const { return m_word == other.m_word; }
    int rand() const;
    void validate() const {}
    void show_self() const;

    // The position from which every member up to (not including) `end` lies
    // in `other`.
    iterator find_contained_tail(const small_iset& other, const iterator& end) const;

    // Progressions lo, lo + s, ..., up to hi.
    static void remove_smaller_elements(range_type& range, unsigned stride, int v);
    static void remove_bigger_elements(range_type& range, unsigned stride, int v);
    static unsigned count_elements(const range_type& range, unsigned stride);
    static bool is_in_range(const range_type& range, unsigned stride, int v);

    void swap(small_iset& other) noexcept { std::swap(m_word, other.m_word); }

    // std::out_of_range "small_iset out of range " followed by the context.
    [[noreturn]] static void throw_out_of_range(const char* context);

private:
    void intersect_progression(std::int64_t lo, std::int64_t hi, unsigned stride);

    std::uint32_t m_word;
};

// The text form (see iset_text.h).
std::istream& operator>>(std::istream& in, small_iset& set);
std::ostream& operator<<(std::ostream& out, const small_iset& set);

namespace iset_helpers {
// The iterator at the start of the longest run of members of `set` just
// before `end` that all lie in `other`.
small_iset::iterator find_contained_tail(const small_iset& set, const small_iset::iterator& end,
                                         const small_iset& other);
} // namespace iset_helpers

namespace small_model {

class iset : public small_iset {
public:
    iset() = default;
    iset(int v) { insert(range_type(v, v)); }
    iset(const range_type& range) { insert(range); }
    iset(int lo, int hi) { insert(range_type(lo, hi)); }
    explicit iset(const std::string& text) : small_iset(text) {}
    iset(const small_iset& other) : small_iset(other) {}
};

} // namespace small_model

} // namespace qarn
