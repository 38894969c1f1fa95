// Functional-syntax parser: a scanner splits the text into words,
// parentheses and commas, and a recursive descent bounded by MAX_NESTING
// builds the tree. Children are held by owning pointers until they are set,
// so a failure anywhere frees everything built so far.
#include "impl/model/expression_parser.h"

#include <cctype>
#include <cstdint>
#include <stdexcept>

namespace xcsp {

template <class Factory> struct ExpressionParser<Factory>::token {
    enum kind_type { WORD, OPEN, CLOSE, COMMA, END } kind;
    std::size_t begin; // position and length of the token in the text
    std::size_t length;
};

template <class Factory> class ExpressionParser<Factory>::scanner {
public:
    explicit scanner(const std::string& text) : m_text(text) {}

    token next() {
        const token t = peek();
        m_pos = t.begin + t.length;
        return t;
    }

    token peek() {
        while (m_pos < m_text.size() && std::isspace(static_cast<unsigned char>(m_text[m_pos])))
            ++m_pos;
        if (m_pos == m_text.size())
            return {token::END, m_pos, 0};
        switch (m_text[m_pos]) {
        case '(':
            return {token::OPEN, m_pos, 1};
        case ')':
            return {token::CLOSE, m_pos, 1};
        case ',':
            return {token::COMMA, m_pos, 1};
        }
        std::size_t end = m_pos;
        while (end < m_text.size() && !is_separator(m_text[end]))
            ++end;
        return {token::WORD, m_pos, end - m_pos};
    }

    std::string text_of(const token& t) const { return m_text.substr(t.begin, t.length); }

    // A failure about the whole formula.
    [[noreturn]] void fail(const char* message) const {
        throw std::runtime_error(std::string(message) + " in " + quoted(m_text));
    }
    // A failure about one token of the formula.
    [[noreturn]] void fail(const char* message, const token& t) const {
        const std::string what = t.kind == token::END ? std::string("end of text") : text_of(t);
        throw std::runtime_error(std::string(message) + ": " + quoted(what) + " in " +
                                 quoted(m_text));
    }

private:
    static bool is_separator(char c) {
        return c == '(' || c == ')' || c == ',' || std::isspace(static_cast<unsigned char>(c));
    }
    // The text in double quotes, cut short when long.
    static std::string quoted(const std::string& text) {
        constexpr std::size_t LIMIT = 60;
        if (text.size() <= LIMIT)
            return "\"" + text + "\"";
        return "\"" + text.substr(0, LIMIT - 3) + "...\"";
    }

    const std::string& m_text;
    std::size_t m_pos = 0;
};

template <class Factory> ExpressionParser<Factory>::ExpressionParser() {
    m_prototypes.push_back(std::make_unique<FunctionNeg>());
    m_prototypes.push_back(std::make_unique<FunctionAbs>());
    m_prototypes.push_back(std::make_unique<FunctionAdd>());
    m_prototypes.push_back(std::make_unique<FunctionSub>());
    m_prototypes.push_back(std::make_unique<FunctionMul>());
    m_prototypes.push_back(std::make_unique<FunctionDiv>());
    m_prototypes.push_back(std::make_unique<FunctionMod>());
    m_prototypes.push_back(std::make_unique<FunctionPow>());
    m_prototypes.push_back(std::make_unique<FunctionIf>());
    m_prototypes.push_back(std::make_unique<FunctionMin>());
    m_prototypes.push_back(std::make_unique<FunctionMax>());
    m_prototypes.push_back(std::make_unique<FunctionEQ>());
    m_prototypes.push_back(std::make_unique<FunctionNE>());
    m_prototypes.push_back(std::make_unique<FunctionGE>());
    m_prototypes.push_back(std::make_unique<FunctionGT>());
    m_prototypes.push_back(std::make_unique<FunctionLE>());
    m_prototypes.push_back(std::make_unique<FunctionLT>());
    m_prototypes.push_back(std::make_unique<FunctionNot>());
    m_prototypes.push_back(std::make_unique<FunctionAnd>());
    m_prototypes.push_back(std::make_unique<FunctionOr>());
    m_prototypes.push_back(std::make_unique<FunctionXor>());
    m_prototypes.push_back(std::make_unique<FunctionIff>());
}

template <class Factory>
std::unique_ptr<ASTAbstractFunction>
ExpressionParser<Factory>::makeFunction(const std::string& name) const {
    for (const std::unique_ptr<ASTAbstractFunction>& f : m_prototypes)
        if (name == f->prefixName())
            return f->makeNode();
    return nullptr;
}

template <class Factory>
std::unique_ptr<ASTAbstractFunction>
ExpressionParser<Factory>::findPrefixFunction(const std::string& name) const {
    std::unique_ptr<ASTAbstractFunction> f = makeFunction(name);
    if (!f)
        throw std::runtime_error("unknown function symbol: \"" + name + "\"");
    return f;
}

template <class Factory>
std::unique_ptr<AST> ExpressionParser<Factory>::prefixParser(const std::string& text) const {
    scanner in(text);
    std::unique_ptr<AST> tree = recursivePrefixParser(in, 0);
    const token t = in.next();
    if (t.kind == token::CLOSE)
        in.fail("unbalanced parentheses");
    if (t.kind != token::END)
        in.fail("unexpected text", t);
    return tree;
}

// One formula whose first token is next in `in`; depth counts the calls
// around it.
template <class Factory>
std::unique_ptr<AST> ExpressionParser<Factory>::recursivePrefixParser(scanner& in,
                                                                      int depth) const {
    const token t = in.next();
    switch (t.kind) {
    case token::WORD:
        break;
    case token::END:
        if (depth > 0)
            in.fail("unbalanced parentheses");
        in.fail("missing formula");
    case token::CLOSE:
        if (depth == 0)
            in.fail("unbalanced parentheses");
        in.fail("empty argument");
    case token::COMMA:
        if (depth > 0)
            in.fail("empty argument");
        in.fail("unexpected text", t);
    case token::OPEN:
        in.fail("unexpected text", t);
    }
    if (in.peek().kind != token::OPEN)
        return leaf(in, t);

    in.next();
    if (depth >= MAX_NESTING)
        in.fail("nesting of function calls too deep");
    std::unique_ptr<ASTAbstractFunction> f = makeFunction(in.text_of(t));
    if (!f)
        in.fail("unknown function symbol", t);
    for (int n = 0;; ++n) {
        std::unique_ptr<AST> argument = recursivePrefixParser(in, depth + 1);
        if (n >= f->nbArg())
            in.fail(("incorrect argument number: " + f->arityText()).c_str());
        f->setArg(n, std::move(argument));
        const token separator = in.next();
        if (separator.kind == token::CLOSE)
            return f;
        if (separator.kind == token::END)
            in.fail("unbalanced parentheses");
        if (separator.kind != token::COMMA)
            in.fail("unexpected text", separator);
    }
}

template <class Factory>
std::unique_ptr<AST> ExpressionParser<Factory>::leaf(scanner& in, const token& word) const {
    const std::string s = in.text_of(word);
    if (std::isalpha(static_cast<unsigned char>(s[0]))) {
        if (s == "true")
            return std::make_unique<ASTBoolean>(true);
        if (s == "false")
            return std::make_unique<ASTBoolean>(false);
        if (!m_parameters)
            return Factory::mkVar(s, -1);
        auto it = m_parameters->find(s);
        if (it == m_parameters->end())
            in.fail("undefined variable found in expression", word);
        return Factory::mkVar(s, it->second);
    }
    // An integer: an optional sign and at least one digit, nothing else.
    std::size_t i = (s[0] == '-' || s[0] == '+') ? 1 : 0;
    if (i == s.size())
        in.fail("invalid integer", word);
    const bool negative = s[0] == '-';
    std::int64_t magnitude = 0;
    for (; i < s.size(); ++i) {
        if (!std::isdigit(static_cast<unsigned char>(s[i])))
            in.fail("invalid integer", word);
        magnitude = magnitude * 10 + (s[i] - '0');
        if (magnitude > std::int64_t(1) << 31) // stays far below the 64-bit limit
            in.fail("integer outside the 32-bit range", word);
    }
    const std::int64_t value = negative ? -magnitude : magnitude;
    if (value > INT32_MAX)
        in.fail("integer outside the 32-bit range", word);
    return std::make_unique<ASTInteger>(static_cast<int>(value));
}

template class ExpressionParser<DefaultASTFactory>;

} // namespace xcsp
