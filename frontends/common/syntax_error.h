// The verbose syntax error message of the generated parsers: "syntax error",
// the unexpected token and, when there are at most four, the tokens that
// were expected. Token names are printed without their quotes; a character
// outside the language is "$undefined".
#pragma once

#include <string>

namespace qarn {

template <class Parser>
std::string syntax_error_message(const typename Parser::context& yyctx) {
    using kind_type = typename Parser::symbol_kind_type;
    auto name = [](kind_type kind) -> std::string {
        if (kind == Parser::symbol_kind::S_YYUNDEF)
            return "$undefined";
        return Parser::symbol_name(kind);
    };
    std::string message = "syntax error";
    const kind_type unexpected = yyctx.token();
    if (unexpected != Parser::symbol_kind::S_YYEMPTY) {
        message += ", unexpected " + name(unexpected);
        kind_type expected[4];
        const int count = yyctx.expected_tokens(expected, 4);
        for (int i = 0; i < count; ++i)
            message += (i == 0 ? ", expecting " : " or ") + name(expected[i]);
    }
    return message;
}

} // namespace qarn
