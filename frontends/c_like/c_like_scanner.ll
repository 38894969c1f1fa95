/* Tokens of the C-like modelling language, read from the parser context's
   stream. A token's location runs from the end of the last skipped blank,
   line end or comment to the token's end: tokens themselves do not move the
   location's begin. Comment text is skipped, never echoed. */
%option reentrant noyywrap nounput noinput nodefault 8bit
%option bison-bridge bison-locations
%option prefix="qarn_c_like_"
%option extra-type="qarn::parser_context*"

%top{
// The runtime's own yy_fatal_error stays defined although YY_FATAL_ERROR
// no longer calls it.
#pragma GCC diagnostic ignored "-Wunused-function"
#include <cstdint>
#include <cstdlib>
#include <iostream>

#include "frontends/c_like/c_like_scanner.h"
#include "frontends/common/scanner_runtime.h"
#include "c_like_parser.hh"
}

%{
#define YYSTYPE yy::c_like_parser::semantic_type
#define YYLTYPE yy::location
#define YY_DECL int qarn::c_like_lex(YYSTYPE* yylval_param, YYLTYPE* yylloc_param, yyscan_t yyscanner)
#define YY_INPUT(buf, result, max_size) result = qarn::scanner_read(yyextra->input(), buf, max_size)
#define YY_FATAL_ERROR(message) \
    qarn::scanner_fatal_error(qarn_c_like_get_lloc(yyscanner), message, "qarn_c_like_")

typedef yy::c_like_parser::token token;

namespace c_like_scanner_detail {

// The number written from `digits` on in `base`. Above 4294967295 it is
// reported with the whole token text and becomes ERR, which no rule of the
// grammar accepts.
int parse_unsigned(const char* text, const char* digits, unsigned base, YYSTYPE& value,
                   const YYLTYPE& where) {
    const unsigned long long number = std::strtoull(digits, nullptr, static_cast<int>(base));
    if (number > 4294967295ULL) {
        const char* largest = base == 16 ? "0xffffffff" : base == 8 ? "037777777777" : "4294967295";
        std::cerr << where << ": integer " << text << " is bigger than any unsigned (" << largest
                  << ")\n";
        return token::ERR;
    }
    value.emplace<std::uint64_t>(number);
    return token::INTEGER;
}

} // namespace c_like_scanner_detail

using c_like_scanner_detail::parse_unsigned;

#define ADVANCE yylloc->columns(yyleng)
%}

%x COMMENT

%%

"int" { ADVANCE; return token::INT; }
"bool" { ADVANCE; return token::BOOL; }
"unsigned" { ADVANCE; return token::UNSIGNED; }
"abs" { ADVANCE; return token::ABS; }
"pow" { ADVANCE; return token::POW; }
"0"|[1-9][0-9]* { ADVANCE; return parse_unsigned(yytext, yytext, 10, *yylval, *yylloc); }
"0x"[0-9A-Fa-f]+ { ADVANCE; return parse_unsigned(yytext, yytext + 2, 16, *yylval, *yylloc); }
"0"[0-9A-Fa-f]+ { ADVANCE; return parse_unsigned(yytext, yytext, 8, *yylval, *yylloc); }
"minimize" { ADVANCE; return token::MINIMIZE; }
"maximize" { ADVANCE; return token::MAXIMIZE; }
"min" { ADVANCE; return token::MIN; }
"max" { ADVANCE; return token::MAX; }
[A-Za-z_][A-Za-z0-9_]* {
    ADVANCE;
    yylval->emplace<std::string>(yytext, static_cast<std::size_t>(yyleng));
    return token::IDENTIFIER;
}
[ \t\r]+ { ADVANCE; yylloc->step(); }
\n+ { ADVANCE; yylloc->lines(yyleng); yylloc->step(); }
"<=" { ADVANCE; return token::LE; }
">=" { ADVANCE; return token::GE; }
"==" { ADVANCE; return token::EQ; }
"!=" { ADVANCE; return token::NE; }
"&&" { ADVANCE; return token::AND; }
"||" { ADVANCE; return token::OR; }
"++"|"--" {
    ADVANCE;
    std::cerr << *yylloc << ": operator " << yytext << " is not supported\n";
    return token::ERR;
}
"//"[^\n]* { ADVANCE; yylloc->step(); }
"/*" { ADVANCE; yylloc->step(); BEGIN(COMMENT); }
.|\0 {
    ADVANCE;
    // A NUL byte is no end of input but a character outside the language.
    if (yytext[0] == '\0')
        return token::YYUNDEF;
    return static_cast<unsigned char>(yytext[0]);
}

<COMMENT>"*"+"/" { ADVANCE; yylloc->step(); BEGIN(INITIAL); }
<COMMENT>"*"+|[^*\n]+ { ADVANCE; }
<COMMENT>\n { ADVANCE; yylloc->lines(1); }
<COMMENT><<EOF>> { return token::ERR; }

%%

namespace qarn {

const c_like_scanner_methods& c_like_scanner_methods::get() {
    static const c_like_scanner_methods* const instance = new c_like_scanner_methods;
    return *instance;
}

void c_like_scanner_methods::start_scanner(parser_context& ctx) const {
    void* scanner = nullptr;
    if (qarn_c_like_lex_init_extra(&ctx, &scanner) != 0)
        throw std::bad_alloc();
    ctx.set_scanner(scanner);
}

void c_like_scanner_methods::destroy_scanner(parser_context& ctx) const {
    if (ctx.scanner() != nullptr)
        qarn_c_like_lex_destroy(ctx.scanner());
    ctx.set_scanner(nullptr);
}

} // namespace qarn
