// Text form of integer sets: items separated by "," with no white space, each
// item a value v, a range lo:hi or a strided range lo:stride:hi. The empty set
// is the empty text. The reader inserts items as it goes (strided items value
// by value, so the set's compaction finds the stride) and restores the
// stream's flags and state on every exit; the writer prints one maximal
// progression per item.
#pragma once

#include <climits>
#include <istream>
#include <ostream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <utility>

#include "impl/support/ios_state_restore.h"

namespace qarn {

class parse_error : public std::runtime_error {
public:
    explicit parse_error(const std::string& message) : std::runtime_error(message) {}
};

namespace iset_helpers {

typedef std::pair<int, int> text_range;

inline void validate_interval(const text_range& range, unsigned stride) {
    if (range.first > range.second) {
        std::ostringstream msg;
        msg << "Input range is unordered " << range.first << ':' << range.second;
        throw parse_error(msg.str());
    }
    if ((static_cast<unsigned>(range.second) - static_cast<unsigned>(range.first)) % stride != 0) {
        std::ostringstream msg;
        msg << "Input interval size does not match skip size of " << stride << "bounds are "
            << range.first << ':' << range.second;
        throw parse_error(msg.str());
    }
}

// Reads a whole-number token; the stream must stand on an optional "-" and
// digits. Values outside the 32-bit range are rejected rather than wrapped.
[[noreturn]] inline void throw_number_out_of_range(long long value) {
    std::ostringstream msg;
    msg << "Number out of the 32-bit range " << value;
    throw parse_error(msg.str());
}

inline bool read_number(std::istream& in, long long& value) {
    long long v = 0;
    if (!(in >> v)) {
        // Extraction stores the saturated value when the digits overflow.
        if (v == LLONG_MAX || v == LLONG_MIN)
            throw_number_out_of_range(v);
        return false;
    }
    value = v;
    return true;
}

inline int checked_int(long long value) {
    if (value < INT_MIN || value > INT_MAX)
        throw_number_out_of_range(value);
    return static_cast<int>(value);
}

// Called after lo and the colon; fills hi and the stride and returns the
// character after the item (EOF when the input ended).
inline int get_interval_end(std::istream& in, text_range& range, unsigned& stride) {
    int peeked = in.peek();
    bool negative = peeked == '-';
    long long second = 0;
    bool ok = read_number(in, second);
    if (ok && !negative && second > static_cast<long long>(UINT_MAX))
        throw_number_out_of_range(second);
    if (!ok) {
        in.clear(in.rdstate() & ~std::ios::failbit);
        std::ostringstream msg;
        msg << "2nd part of the range is missing " << range.first << ':';
        throw parse_error(msg.str());
    }
    // A zero counts like a negative number: it cannot be a stride.
    bool can_be_stride = !negative && second > 0;

    int c = in.get();
    if (c != ':') {
        range.second = checked_int(second);
        stride = 1;
        return c;
    }
    if (!can_be_stride) {
        std::ostringstream msg;
        msg << "Not expecting ':' after the range " << range.first << ':' << checked_int(second);
        throw parse_error(msg.str());
    }
    stride = static_cast<unsigned>(second);
    long long hi = 0;
    if (!read_number(in, hi)) {
        in.clear(in.rdstate() & ~std::ios::failbit);
        std::ostringstream msg;
        msg << "3nd part of the stride is missing " << range.first << ':' << stride << ':';
        throw parse_error(msg.str());
    }
    range.second = checked_int(hi);
    return in.get();
}

// Reads one list from the stream into `set`, which is reset first.
template <class Set>
void read_set(std::istream& in, Set& set) {
    set = Set();
    ios_state_restore guard(in);
    in.unsetf(std::ios::skipws);
    while (in.good()) {
        unsigned stride = 1;
        long long lo_value = 0;
        if (!read_number(in, lo_value))
            break;
        text_range range(checked_int(lo_value), checked_int(lo_value));
        int c = in.get();
        if (c != EOF && c == ':') {
            c = get_interval_end(in, range, stride);
            validate_interval(range, stride);
        }
        if (stride == 1) {
            set.insert(range);
        } else {
            for (long long v = range.first; v <= range.second; v += stride)
                set.insert(text_range(static_cast<int>(v), static_cast<int>(v)));
        }
        if (c == EOF)
            break;
        if (c != ',') {
            in.clear();
            in.putback(static_cast<char>(c));
            break;
        }
    }
}

// Reads the whole text; text left over is an error.
template <class Set>
void assign_set(Set& set, const std::string& text) {
    std::istringstream in(text);
    read_set(in, set);
    char c;
    if (!in.get(c))
        return;
    std::string msg("unexpected '");
    msg += c;
    msg += "' while parsing an iset of '";
    msg += text;
    msg += '\n';
    throw parse_error(msg);
}

template <class Set>
void print_set(std::ostream& out, const Set& set) {
    typename Set::iterator it = set.begin();
    typename Set::iterator end = set.end();
    bool first = true;
    while (it != end) {
        text_range r;
        unsigned s = 1;
        it = it.find_stride(end, r, s);
        if (!first)
            out << ',';
        first = false;
        long long a = r.first, b = r.second, step = s;
        if (a == b)
            out << a;
        else if (b == a + step)
            out << a << ',' << b;
        else if (step == 1)
            out << a << ':' << b;
        else if (b == a + 2 * step)
            out << a << ',' << a + step << ',' << b;
        else
            out << a << ':' << step << ':' << b;
    }
}

// The writer into a string, written unbuffered to the standard output
// descriptor; a debugging aid.
void write_to_stdout(const std::string& text);

template <class Set>
void show_set(const Set& set) {
    std::ostringstream out;
    print_set(out, set);
    out << '\n';
    write_to_stdout(out.str());
}

} // namespace iset_helpers
} // namespace qarn
