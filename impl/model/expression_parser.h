// The functional-syntax parser: a formula is an integer, "true", "false", an
// identifier, or a function name of the function table followed by its
// arguments in parentheses, separated by commas. White space may stand
// between tokens but never joins them. Text that is not one formula (a
// malformed integer, trailing text, unbalanced parentheses, an empty
// argument, nesting deeper than MAX_NESTING) is rejected with a
// std::runtime_error naming the text; no tree is returned and nothing leaks.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "impl/model/expression_tree.h"

namespace xcsp {

template <class Factory> class ExpressionParser {
public:
    // Nesting depth of function calls beyond which a formula is rejected;
    // keeps the recursion of parsing, evaluation and printing shallow.
    static constexpr int MAX_NESTING = 4000;

    ExpressionParser();

    // The formal parameters that identifiers are looked up in (not owned);
    // null: identifiers become variables of index -1.
    void setParameterTable(const std::map<std::string, int>* table) { m_parameters = table; }

    // The tree of the formula text; the caller owns it.
    std::unique_ptr<AST> prefixParser(const std::string& text) const;
    // A new node of the function named exactly `name`, every argument null.
    std::unique_ptr<ASTAbstractFunction> findPrefixFunction(const std::string& name) const;

private:
    struct token;
    class scanner;

    std::unique_ptr<AST> recursivePrefixParser(scanner& in, int depth) const;
    // Null when no function has that name.
    std::unique_ptr<ASTAbstractFunction> makeFunction(const std::string& name) const;
    std::unique_ptr<AST> leaf(scanner& in, const token& word) const;

    std::vector<std::unique_ptr<ASTAbstractFunction>> m_prototypes; // function-table order
    const std::map<std::string, int>* m_parameters = nullptr;
};

extern template class ExpressionParser<DefaultASTFactory>;

} // namespace xcsp
