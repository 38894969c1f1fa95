// UTF8String: validation on decoding, bounded by the text's end; numbers
// checked for range and for stray characters.
#include "frontends/xcsp/xml/utf8_string.h"

#include <cstring>
#include <ostream>
#include <stdexcept>

namespace xcsp {

namespace utf8_detail {

[[noreturn]] void invalidCharacter() {
    throw std::runtime_error("invalid UTF8 character");
}

// The first NUL byte in [p, end), or end.
const UTF8String::Byte* findNul(const UTF8String::Byte* p, const UTF8String::Byte* end) {
    const void* nul = std::memchr(p, 0, static_cast<std::size_t>(end - p));
    return nul ? static_cast<const UTF8String::Byte*>(nul) : end;
}

} // namespace utf8_detail

int UTF8String::iterator::codeLength(Byte lead) {
    if (lead < 128)
        return 1;
    if (lead >= 194 && lead <= 223)
        return 2;
    if (lead >= 224 && lead <= 239)
        return 3;
    if (lead >= 240 && lead <= 244)
        return 4;
    utf8_detail::invalidCharacter();
}

void UTF8String::iterator::addNextByte(int& cp, const Byte*& p) const {
    ++p;
    // A null end means a NUL-terminated text: the NUL fails the range test.
    if (p == m_end || *p < 128 || *p > 191)
        utf8_detail::invalidCharacter();
    cp = (cp << 6) | (*p & 63);
}

int UTF8String::iterator::operator*() const {
    const Byte* p = m_pos;
    const Byte lead = *p;
    if (lead < 128)
        return lead;
    const int length = codeLength(lead);
    int cp = lead & (length == 2 ? 0x1F : length == 3 ? 0x0F : 0x07);
    if (p + 1 != m_end) {
        // Overlong forms, surrogates and code points beyond U+10FFFF.
        const Byte second = p[1];
        if ((lead == 224 && second < 160) || (lead == 237 && second > 159) ||
            (lead == 240 && second < 144) || (lead == 244 && second > 143))
            utf8_detail::invalidCharacter();
    }
    for (int i = 1; i < length; ++i)
        addNextByte(cp, p);
    return cp;
}

UTF8String::iterator& UTF8String::iterator::operator++() {
    const int length = codeLength(*m_pos);
    for (int i = 1; i < length; ++i)
        if (m_pos + i == m_end || m_pos[i] < 128 || m_pos[i] > 191)
            utf8_detail::invalidCharacter();
    m_pos += length;
    return *this;
}

UTF8String::Tokenizer::Tokenizer(const UTF8String& text)
    : m_pos(text.begin()), m_end(text.absent() ? nullptr : text.textEnd()) {
    skipWhiteSpace();
}

bool UTF8String::Tokenizer::isSeparator(int cp) const {
    for (int s : m_separators)
        if (s == cp)
            return true;
    return false;
}

void UTF8String::Tokenizer::skipWhiteSpace() {
    while (m_pos != m_end && isWhiteSpaceByte(*m_pos))
        ++m_pos;
}

UTF8String UTF8String::Tokenizer::nextToken() {
    if (m_pos == m_end)
        return UTF8String();
    const Byte* start = m_pos;
    iterator it(m_pos, m_end);
    if (!m_separators.empty() && isSeparator(*it)) {
        ++it;
    } else {
        while (it.more() && !isWhiteSpaceByte(*it.pos()) &&
               (m_separators.empty() || !isSeparator(*it)))
            ++it;
    }
    m_pos = it.pos();
    UTF8String token(start, m_pos);
    skipWhiteSpace();
    return token;
}

UTF8String::UTF8String(const UTF8String& other) {
    *this = other;
}

UTF8String& UTF8String::operator=(const UTF8String& other) {
    if (this == &other)
        return *this;
    if (m_capacity > 0)
        delete[] m_begin;
    m_capacity = 0;
    m_begin = other.m_begin;
    m_end = other.m_end;
    if (other.m_capacity > 0) {
        Byte* buffer = new Byte[static_cast<std::size_t>(other.m_capacity)];
        const std::size_t n = other.byteCount();
        std::memcpy(buffer, other.m_begin, n);
        m_begin = buffer;
        m_end = buffer + n;
        m_capacity = other.m_capacity;
    }
    return *this;
}

UTF8String::~UTF8String() {
    if (m_capacity > 0)
        delete[] m_begin;
}

const UTF8String::Byte* UTF8String::end() const {
    if (m_end == nullptr && m_begin != nullptr)
        m_end = m_begin + std::strlen(reinterpret_cast<const char*>(m_begin));
    return m_end;
}

const UTF8String::Byte* UTF8String::textEnd() const {
    if (absent())
        return nullptr;
    return utf8_detail::findNul(m_begin, end());
}

// An int's form: white space, an optional sign, decimal digits, white space.
// False for any other form; the magnitude stops growing past 2^31, so a
// longer number keeps its form and is refused only for its range.
static bool scanInteger(const UTF8String::Byte* p, const UTF8String::Byte* e, bool& negative,
                        long long& magnitude) {
    while (p != e && isWhiteSpaceByte(*p))
        ++p;
    negative = false;
    if (p != e && (*p == '+' || *p == '-')) {
        negative = *p == '-';
        ++p;
    }
    if (p == e || *p < '0' || *p > '9')
        return false;
    magnitude = 0;
    for (; p != e && *p >= '0' && *p <= '9'; ++p)
        if (magnitude <= 2147483648LL)
            magnitude = magnitude * 10 + (*p - '0');
    while (p != e && isWhiteSpaceByte(*p))
        ++p;
    return p == e;
}

template <> bool UTF8String::to<int>(int& out) const {
    bool negative;
    long long value;
    if (absent() || !scanInteger(m_begin, textEnd(), negative, value))
        return false;
    if (negative)
        value = -value;
    if (value < -2147483648LL || value > 2147483647LL)
        return false;
    out = static_cast<int>(value);
    return true;
}

bool UTF8String::isInteger() const {
    bool negative;
    long long magnitude;
    return !absent() && scanInteger(m_begin, textEnd(), negative, magnitude);
}

template <> bool UTF8String::to<std::string>(std::string& out) const {
    out.clear();
    // A view that runs up to its NUL (an attribute value) converts even when
    // empty; only a bounded empty text fails.
    if (absent() || m_begin == m_end)
        return false;
    out.assign(reinterpret_cast<const char*>(m_begin), reinterpret_cast<const char*>(textEnd()));
    return true;
}

bool UTF8String::isWhiteSpace() const {
    if (absent())
        return true;
    const Byte* e = textEnd();
    for (const Byte* p = m_begin; p != e; ++p)
        if (!isWhiteSpaceByte(*p))
            return false;
    return true;
}

int UTF8String::find(const UTF8String& other) const {
    if (absent() || other.absent())
        return 2147483647;
    const Byte* e = textEnd();
    const Byte* o = other.begin();
    const std::size_t n = static_cast<std::size_t>(other.textEnd() - o);
    int index = 0;
    for (iterator it(m_begin, e); it.more(); ++it, ++index) {
        *it; // validates the sequence before stepping over it
        if (static_cast<std::size_t>(e - it.pos()) >= n && std::memcmp(it.pos(), o, n) == 0)
            return index;
    }
    return 2147483647;
}

UTF8String UTF8String::substr(int first, int count) const {
    if (absent())
        return UTF8String();
    const Byte* e = textEnd();
    iterator it(m_begin, e);
    for (int i = 0; i < first && it.more(); ++i) {
        *it;
        ++it;
    }
    const Byte* start = it.pos();
    for (int i = 0; i < count && it.more(); ++i) {
        *it;
        ++it;
    }
    return UTF8String(start, it.pos());
}

void UTF8String::resize() {
    if (m_capacity == 0) {
        m_begin = m_end = new Byte[64];
        m_capacity = 64;
        return;
    }
    const std::size_t n = byteCount();
    Byte* buffer = new Byte[2 * static_cast<std::size_t>(m_capacity)];
    std::memcpy(buffer, m_begin, n);
    delete[] m_begin;
    m_begin = buffer;
    m_end = buffer + n;
    m_capacity *= 2;
}

void UTF8String::append(int cp) {
    if (cp < 0 || (cp >= 55296 && cp <= 57343) || cp >= 1114112)
        utf8_detail::invalidCharacter();
    if (m_capacity == 0 || m_capacity - static_cast<int>(byteCount()) < 4)
        resize();
    Byte* p = const_cast<Byte*>(m_end);
    if (cp < 128) {
        *p++ = static_cast<Byte>(cp);
    } else if (cp < 2048) {
        *p++ = static_cast<Byte>(0xC0 | (cp >> 6));
        *p++ = static_cast<Byte>(0x80 | (cp & 63));
    } else if (cp < 65536) {
        *p++ = static_cast<Byte>(0xE0 | (cp >> 12));
        *p++ = static_cast<Byte>(0x80 | ((cp >> 6) & 63));
        *p++ = static_cast<Byte>(0x80 | (cp & 63));
    } else {
        *p++ = static_cast<Byte>(0xF0 | (cp >> 18));
        *p++ = static_cast<Byte>(0x80 | ((cp >> 12) & 63));
        *p++ = static_cast<Byte>(0x80 | ((cp >> 6) & 63));
        *p++ = static_cast<Byte>(0x80 | (cp & 63));
    }
    m_end = p;
}

void UTF8String::appendText(const Byte* from, const Byte* to) {
    for (iterator it(from, to); it.pos() != to; ++it)
        append(*it);
}

bool UTF8String::operator<(const UTF8String& other) const {
    const Byte* a = absent() ? nullptr : m_begin;
    const Byte* ae = absent() ? nullptr : textEnd();
    const Byte* b = other.absent() ? nullptr : other.m_begin;
    const Byte* be = other.absent() ? nullptr : other.textEnd();
    for (; a != ae && b != be; ++a, ++b)
        if (*a != *b)
            return *a < *b;
    return a == ae && b != be;
}

std::ostream& operator<<(std::ostream& os, const UTF8String& text) {
    if (!text.absent())
        os.write(reinterpret_cast<const char*>(text.begin()),
                 static_cast<std::streamsize>(text.byteCount()));
    return os;
}

AttributeList::AttributeList(const char* const* attributes) : m_count(0), m_attributes(attributes) {
    if (attributes)
        while (attributes[2 * m_count])
            ++m_count;
}

UTF8String AttributeList::operator[](const char* name) const {
    for (int i = 0; i < m_count; ++i)
        if (std::strcmp(m_attributes[2 * i], name) == 0)
            return UTF8String(m_attributes[2 * i + 1] ? m_attributes[2 * i + 1] : "");
    return UTF8String();
}

} // namespace xcsp
