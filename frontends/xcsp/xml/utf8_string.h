// UTF-8 text of the XCSP reader: UTF8String is either a view of bytes owned
// elsewhere (a text piece from libxml2, an attribute value) or a growable
// buffer of its own (the reader's pending text). Decoding validates UTF-8
// (RFC 3629) and never reads past the end of the text; malformed text raises
// std::runtime_error "invalid UTF8 character". A view may have no end: it
// then runs up to its first NUL byte. AttributeList wraps the attribute array
// of a start tag. White space is exactly the bytes 9 to 13 and 32.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <string>
#include <vector>

namespace xcsp {

inline bool isWhiteSpaceByte(unsigned char c) {
    return c == 32 || (c >= 9 && c <= 13);
}

class UTF8String {
public:
    typedef unsigned char Byte;

    // A code-point position; `end` bounds every read (null: NUL-terminated).
    class iterator {
    public:
        iterator(const Byte* pos, const Byte* end) : m_pos(pos), m_end(end) {}

        // The code point here; throws on malformed or truncated UTF-8.
        int operator*() const;
        // Steps over the sequence here; throws when it is incomplete.
        iterator& operator++();
        // The length of the sequence that `lead` starts.
        static int codeLength(Byte lead);
        // Whether the text goes on here (not at the end, not at a NUL byte).
        bool more() const { return m_pos != m_end && *m_pos != 0; }
        const Byte* pos() const { return m_pos; }

    private:
        // cp = cp << 6 | the continuation byte at p (advanced).
        void addNextByte(int& cp, const Byte*& p) const;

        const Byte* m_pos;
        const Byte* m_end;
    };

    // Splits a text into white-space-separated tokens; each separator code
    // point is a token of its own.
    class Tokenizer {
    public:
        explicit Tokenizer(const UTF8String& text);
        void addSeparator(int cp) { m_separators.push_back(cp); }
        // The next token, or the absent string at the end of the text.
        UTF8String nextToken();

    private:
        bool isSeparator(int cp) const;
        void skipWhiteSpace();

        const Byte* m_pos;
        const Byte* m_end;
        std::vector<int> m_separators;
    };

    UTF8String() = default; // the absent string
    explicit UTF8String(const char* text)
        : m_begin(reinterpret_cast<const Byte*>(text)), m_end(nullptr) {}
    UTF8String(const Byte* begin, const Byte* end) : m_begin(begin), m_end(end) {}
    UTF8String(const char* begin, const char* end)
        : UTF8String(reinterpret_cast<const Byte*>(begin), reinterpret_cast<const Byte*>(end)) {}
    UTF8String(const UTF8String& other);
    UTF8String& operator=(const UTF8String& other);
    ~UTF8String();

    bool absent() const { return m_begin == nullptr; }
    // Whether the text is empty (absent, no byte, or a NUL first).
    bool empty() const { return absent() || begin() == end() || *begin() == 0; }
    const Byte* begin() const { return m_begin; }
    // One past the last byte; found (and kept) on first use for a string
    // that runs up to a NUL byte.
    const Byte* end() const;
    // The end of the text proper: the end or the first NUL byte.
    const Byte* textEnd() const;
    iterator first() const { return iterator(m_begin, end()); }
    std::size_t byteCount() const { return static_cast<std::size_t>(end() - m_begin); }

    // Conversions: false on failure. An int is an optional sign and at least
    // one decimal digit within the 32-bit range, white space around it.
    template <class T> bool to(T& out) const;
    // Whether the text has an int's form whatever its magnitude: to<int>
    // refuses such a text only for being out of range.
    bool isInteger() const;

    bool isWhiteSpace() const;
    // The code-point index of the first occurrence of `other`, 2147483647
    // when there is none.
    int find(const UTF8String& other) const;
    // A view skipping `first` code points and spanning up to `count`.
    UTF8String substr(int first, int count) const;

    // Owned buffer: appends one code point (growing the buffer by doubling).
    void append(int cp);
    // Appends the code points of [from, to) (validated).
    void appendText(const Byte* from, const Byte* to);
    void resize();
    // Owned buffer: empties the text, keeping the buffer.
    void clear() { m_end = m_begin; }
    int capacity() const { return m_capacity; }

    bool operator<(const UTF8String& other) const;

private:
    const Byte* m_begin = nullptr;
    mutable const Byte* m_end = nullptr;
    int m_capacity = 0; // 0: a view; else the size of the owned buffer
};

template <> bool UTF8String::to<int>(int& out) const;
template <> bool UTF8String::to<std::string>(std::string& out) const;

std::ostream& operator<<(std::ostream& os, const UTF8String& text);

// The attributes of a start tag: libxml2's array of alternating name and
// value C strings, ended by a null name.
class AttributeList {
public:
    explicit AttributeList(const char* const* attributes);
    AttributeList() : AttributeList(nullptr) {}
    int size() const { return m_count; }
    // The value of the first attribute named `name`, or the absent string.
    UTF8String operator[](const char* name) const;

private:
    int m_count;
    const char* const* m_attributes;
};

} // namespace xcsp
