// qarn::int128: signed 128-bit two's-complement integer, value = high * 2^64 + low.
// It behaves like a built-in integer (implicit construction from any integer
// type, + - * and comparisons) so templated code can use it as a wide
// accumulator. All arithmetic is done on unsigned words: results wrap modulo
// 2^128 and no operation has undefined behaviour. divide() rounds as asked.
#pragma once

#include <compare>
#include <concepts>
#include <cstdint>
#include <iosfwd>
#include <type_traits>

namespace qarn {

struct int128 {
    std::uint64_t low;
    std::int64_t high;

    // Any value other than these behaves as ROUND_DOWN.
    enum rounding_mode : int {
        ROUND_UP = 0,       // toward +infinity
        ROUND_DOWN = 1,     // toward -infinity
        ROUND_TO_ZERO = 2,  // truncation
    };

    constexpr int128() noexcept : low(0), high(0) {}

    template <std::integral T>
    constexpr int128(T v) noexcept : low(static_cast<std::uint64_t>(v)), high(0) {
        if constexpr (std::is_signed_v<T>)
            high = v < 0 ? -1 : 0;
    }

    static constexpr int128 from_words(std::int64_t high_word, std::uint64_t low_word) noexcept {
        int128 r;
        r.high = high_word;
        r.low = low_word;
        return r;
    }

    // True when the value fits in 64 bits (high is the sign extension of low).
    constexpr bool fits_int64() const noexcept {
        return high == (static_cast<std::int64_t>(low) < 0 ? -1 : 0);
    }

    // The value as a 64-bit integer; std::out_of_range when it does not fit.
    long as_int64() const;

    // Quotient by d (non-zero) rounded as mode says. Exact for every operand
    // except -2^127 / -1, whose quotient 2^127 wraps to -2^127.
    int128 divide(int d, rounding_mode mode) const;

    // 64-bit quotient n / d rounded as mode says; d != 0 and not (n = -2^63, d = -1).
    static long divide_s64(long n, long d, rounding_mode mode);

    friend constexpr int128 operator+(const int128& a, const int128& b) noexcept {
        const std::uint64_t lo = a.low + b.low;
        const std::uint64_t carry = lo < a.low ? 1 : 0;
        return from_words(static_cast<std::int64_t>(ucast(a.high) + ucast(b.high) + carry), lo);
    }

    friend constexpr int128 operator-(const int128& a, const int128& b) noexcept {
        const std::uint64_t borrow = a.low < b.low ? 1 : 0;
        return from_words(static_cast<std::int64_t>(ucast(a.high) - ucast(b.high) - borrow),
                          a.low - b.low);
    }

    friend constexpr int128 operator-(const int128& a) noexcept { return int128() - a; }
    friend constexpr int128 operator+(const int128& a) noexcept { return a; }

    friend constexpr int128 operator*(const int128& a, const int128& b) noexcept {
        __extension__ typedef unsigned __int128 u128;
        const u128 ll = static_cast<u128>(a.low) * b.low;
        const std::uint64_t cross = a.low * ucast(b.high) + ucast(a.high) * b.low;
        return from_words(static_cast<std::int64_t>(static_cast<std::uint64_t>(ll >> 64) + cross),
                          static_cast<std::uint64_t>(ll));
    }

    constexpr int128& operator+=(const int128& o) noexcept { return *this = *this + o; }
    constexpr int128& operator-=(const int128& o) noexcept { return *this = *this - o; }
    constexpr int128& operator*=(const int128& o) noexcept { return *this = *this * o; }
    constexpr int128& operator++() noexcept { return *this += 1; }
    constexpr int128& operator--() noexcept { return *this -= 1; }
    constexpr int128 operator++(int) noexcept { int128 old = *this; *this += 1; return old; }
    constexpr int128 operator--(int) noexcept { int128 old = *this; *this -= 1; return old; }

    friend constexpr bool operator==(const int128& a, const int128& b) noexcept = default;

    friend constexpr std::strong_ordering operator<=>(const int128& a, const int128& b) noexcept {
        if (a.high != b.high)
            return a.high <=> b.high;
        return a.low <=> b.low;
    }

private:
    static constexpr std::uint64_t ucast(std::int64_t v) noexcept {
        return static_cast<std::uint64_t>(v);
    }
};

// Writes the decimal value (with a leading '-' when negative).
std::ostream& operator<<(std::ostream& os, const int128& v);

}  // namespace qarn
