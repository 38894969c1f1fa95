/* Tokens of OPB instances, read from the context's stream. Every rule
   matches in time linear in its match: no rule needs to look further ahead
   than one character past what it finally matches, so that a long run (of
   blanks, comment text or stars) is never scanned again from each of its
   positions. */
%option reentrant noyywrap nounput noinput nodefault 8bit
%option bison-bridge bison-locations
%option prefix="qarn_opb_"
%option extra-type="qarn::opb::context*"

%top{
// The runtime's own yy_fatal_error stays defined although YY_FATAL_ERROR
// no longer calls it.
#pragma GCC diagnostic ignored "-Wunused-function"
#include <cstdint>
#include <cstring>
#include <new>

#include "frontends/common/scanner_runtime.h"
#include "frontends/opb/opb_model.h"
#include "opb_parser.hh"
}

%{
#define YYSTYPE yy::opb_parser::semantic_type
#define YYLTYPE yy::location
#define YY_DECL int qarn::opb::lex(YYSTYPE* yylval_param, YYLTYPE* yylloc_param, yyscan_t yyscanner)
#define YY_INPUT(buf, result, max_size) result = qarn::scanner_read(yyextra->input(), buf, max_size)
#define YY_FATAL_ERROR(message) \
    qarn::scanner_fatal_error(qarn_opb_get_lloc(yyscanner), message, "qarn_opb_")

typedef yy::opb_parser::token token;

namespace {

// A run of decimal digits. Above 2^31, which no 32-bit number reaches with
// either sign, the value is not kept but the digits are, for the parser to
// report the number where its term starts.
qarn::opb::digit_run read_digits(const char* text) {
    constexpr std::int64_t LIMIT = std::int64_t(1) << 31;
    while (*text == '0' && text[1] != '\0')
        ++text;
    std::int64_t value = 0;
    for (const char* p = text; *p != '\0'; ++p) {
        value = value * 10 + (*p - '0');
        if (value > LIMIT) {
            char* copy = strdup(text);
            if (copy == nullptr)
                throw std::bad_alloc();
            return {0, copy};
        }
    }
    return {value, nullptr};
}

} // namespace

#define ADVANCE yylloc->columns(yyleng)
%}

%x COMMENT LINE_COMMENT

%%

%{
    yylloc->step();
%}

[0-9]+ {
    ADVANCE;
    yylval->digits = read_digits(yytext);
    return token::INTEGER;
}
"min" { ADVANCE; return token::MIN; }
"max" { ADVANCE; return token::MAX; }
[A-Za-z_][A-Za-z0-9_]* {
    ADVANCE;
    yylval->text = strdup(yytext);
    if (yylval->text == nullptr)
        throw std::bad_alloc();
    return token::IDENTIFIER;
}
[ \t\r]+ { ADVANCE; yylloc->step(); }
\n { ADVANCE; yylloc->lines(1); yylloc->step(); }
"<=" { ADVANCE; return token::LE; }
">=" { ADVANCE; return token::GE; }
"*" { ADVANCE; yylloc->step(); BEGIN(LINE_COMMENT); }
"/*" { ADVANCE; yylloc->step(); BEGIN(COMMENT); }
.|\0 {
    ADVANCE;
    // A NUL byte is no end of input but a character outside the language.
    if (yytext[0] == '\0')
        return token::YYUNDEF;
    return static_cast<unsigned char>(yytext[0]);
}

<LINE_COMMENT>[^\n]+ { ADVANCE; yylloc->step(); }
<LINE_COMMENT>\n { ADVANCE; yylloc->lines(1); yylloc->step(); BEGIN(INITIAL); }
<LINE_COMMENT><<EOF>> { return token::END; }

<COMMENT>"*"+"/" { ADVANCE; yylloc->step(); BEGIN(INITIAL); }
<COMMENT>"*"+|[^*\n]+ { ADVANCE; }
<COMMENT>\n { yylloc->lines(1); }
<COMMENT><<EOF>> { return token::ERR; }

%%

void qarn::opb::context::init_scanner() {
    if (qarn_opb_lex_init_extra(this, &m_scanner) != 0)
        throw std::bad_alloc();
}

void qarn::opb::context::destroy_scanner() {
    if (m_scanner != nullptr)
        qarn_opb_lex_destroy(m_scanner);
    m_scanner = nullptr;
}
