// The XCSP 2.1 reader: element dispatch, pending text, abridged notation and
// the 31 tag actions. Each action is one object serving every occurrence of
// its element; per-element data lives in its fields, reset by beginTag.
// The operand stack holds the expression nodes of constraint parameters; a
// null entry marks where an open list, dictionary or parameter list begins.
#include "frontends/xcsp/xml/xml_parser.h"

#include <cstring>
#include <iostream>
#include <sstream>
#include <stdexcept>

namespace xcsp {

#define QARN_XML_TEMPLATE template <class Callback, class ASTFactory, class String, class Attributes>
#define QARN_XML_PARSER XMLParser<Callback, ASTFactory, String, Attributes>

namespace xml_detail {

[[noreturn]] void fail(const std::string& message) {
    throw std::runtime_error(message);
}

bool isAsciiLetter(int c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

bool isDigit(int c) {
    return c >= '0' && c <= '9';
}

// Reads an int attribute of element <tag>; fails with `message` when missing
// or malformed, and with its own message when the value is an integer
// beyond the int range.
template <class Attributes>
int intAttribute(const Attributes& attributes, const char* tag, const char* name,
                 const char* message) {
    int value = 0;
    const auto text = attributes[name];
    if (text.template to<int>(value))
        return value;
    if (text.isInteger())
        fail(std::string("value of attribute ") + name + " for tag <" + tag + "> is out of range");
    fail(message);
}

template <class Attributes>
std::string stringAttribute(const Attributes& attributes, const char* name, const char* message) {
    std::string value;
    if (!attributes[name].template to<std::string>(value))
        fail(message);
    return value;
}

template <class String> void requireWhiteSpace(const String& text, const char* message) {
    if (!text.isWhiteSpace())
        fail(message);
}

} // namespace xml_detail

using xml_detail::fail;

// ---------------------------------------------------------------- tag actions

QARN_XML_TEMPLATE
void QARN_XML_PARSER::TagAction::checkParentTag(const char* parent, int level) const {
    const TagAction* action = m_parser.getParentTagAction(level);
    if (parent == nullptr) {
        if (action)
            fail("tag should have no parent");
        return;
    }
    if (!action)
        fail("tag has no parent but it should have one");
    if (std::strcmp(action->getTagName(), parent) != 0)
        fail("wrong parent for tag");
}

QARN_XML_TEMPLATE
class QARN_XML_PARSER::UnknownTagAction : public QARN_XML_PARSER::TagAction {
public:
    using TagAction::TagAction;
    const char* getTagName() const override { return ""; }
    void beginTag(const Attributes&) override {}
    void text(const String&, bool) override {}
    void endTag() override {}
};

// nil, eq, ne, ge, gt, le, lt: a symbol node, no text.
QARN_XML_TEMPLATE
class QARN_XML_PARSER::SymbTagAction : public QARN_XML_PARSER::TagAction {
public:
    SymbTagAction(XMLParser& parser, const char* name, NodeType type)
        : TagAction(parser), m_name(name), m_type(type) {}
    const char* getTagName() const override { return m_name.c_str(); }
    void beginTag(const Attributes&) override {
        this->m_parser.m_stateStack.front() = offState();
        this->m_parser.pushOperand(std::make_unique<ASTSymb>(m_type));
    }
    void text(const String&, bool) override { fail("<" + m_name + "/> tag must not have any text"); }
    void endTag() override {}

    static State offState() {
        State s;
        s.childElementAllowed = false;
        return s;
    }

private:
    std::string m_name;
    NodeType m_type;
};

QARN_XML_TEMPLATE
class QARN_XML_PARSER::VarTagAction : public QARN_XML_PARSER::TagAction {
public:
    using TagAction::TagAction;
    const char* getTagName() const override { return "var"; }
    void beginTag(const Attributes& attributes) override {
        this->m_parser.m_stateStack.front() = SymbTagAction::offState();
        const std::string name = xml_detail::stringAttribute(attributes, "name",
                                                             "expected attribute name for tag <var>");
        const int id = this->m_parser.getSymbolId(name, VariableType);
        this->m_parser.pushOperand(ASTFactory::mkVar(name, id));
    }
    void text(const String& text, bool) override {
        xml_detail::requireWhiteSpace(text, "<var> tag should not have meaningful text");
    }
    void endTag() override {}
};

QARN_XML_TEMPLATE
class QARN_XML_PARSER::IntegerConstantTagAction : public QARN_XML_PARSER::TagAction {
public:
    using TagAction::TagAction;
    const char* getTagName() const override { return "i"; }
    void beginTag(const Attributes&) override {
        this->m_parser.m_stateStack.front() = SymbTagAction::offState();
    }
    void text(const String& text, bool) override {
        int value = 0;
        if (!text.template to<int>(value))
            fail("invalid integer in <i> element");
        this->m_parser.pushOperand(std::make_unique<ASTInteger>(value));
    }
    void endTag() override {}
};

// The four abridged flags of lists, dictionaries and entries.
QARN_XML_TEMPLATE
class QARN_XML_PARSER::ListTagAction : public QARN_XML_PARSER::TagAction {
public:
    using TagAction::TagAction;
    const char* getTagName() const override { return "list"; }
    void beginTag(const Attributes&) override {
        this->m_parser.pushOperand(nullptr);
        allowAbridged(this->m_parser.m_stateStack.front());
    }
    void text(const String& text, bool) override {
        xml_detail::requireWhiteSpace(text, "<list> tag should not have meaningful text");
    }
    void endTag() override { this->m_parser.pushOperand(this->m_parser.collectList()); }

    static void allowAbridged(State& s) {
        s.listAllowed = s.dictAllowed = s.identifierAllowed = s.integerAllowed = true;
    }
};

QARN_XML_TEMPLATE
class QARN_XML_PARSER::DictTagAction : public QARN_XML_PARSER::TagAction {
public:
    using TagAction::TagAction;
    const char* getTagName() const override { return "dict"; }
    void beginTag(const Attributes&) override {
        this->m_parser.pushOperand(nullptr);
        ListTagAction::allowAbridged(this->m_parser.m_stateStack.front());
    }
    void text(const String& text, bool) override {
        xml_detail::requireWhiteSpace(text, "<dict> tag should not have meaningful text");
    }
    void endTag() override {
        auto& stack = this->m_parser.m_operandStack;
        std::size_t mark = stack.size();
        while (mark > 0 && stack[mark - 1])
            --mark;
        if (mark == 0)
            fail("internal error: lost dict mark");
        --mark; // the index of the mark itself
        std::size_t keys = 0;
        for (std::size_t i = mark + 1; i < stack.size(); ++i)
            if (stack[i]->getType() == DICT_KEY)
                ++keys;
        auto dict = std::make_unique<ASTDict>();
        if (keys > 0) {
            for (;;) {
                std::unique_ptr<AST> value = std::move(stack.back());
                stack.pop_back();
                if (!value)
                    break;
                if (stack.empty())
                    fail("internal error");
                if (!stack.back() || stack.back()->getType() != DICT_KEY)
                    fail("missing key in dictionary");
                std::unique_ptr<AST> key = std::move(stack.back());
                stack.pop_back();
                dict->setArg(static_cast<const ASTDictKey&>(*key).key(), std::move(value));
            }
        } else {
            if (!keyOrder)
                fail("no conventional key order defined for this dictionary");
            std::size_t entry = mark + 1, k = 0;
            for (; entry < stack.size() && k < keyOrder->size(); ++entry, ++k) {
                if (stack[entry]->getType() != SYMB_NIL)
                    dict->setArg((*keyOrder)[k], std::move(stack[entry]));
            }
            if (k < keyOrder->size())
                fail("not enough values in dictionary defined with conventional order");
            stack.erase(stack.begin() + static_cast<std::ptrdiff_t>(mark), stack.end());
        }
        this->m_parser.pushOperand(std::move(dict));
    }

    const std::vector<std::string>* keyOrder = nullptr; // not owned
};

QARN_XML_TEMPLATE
class QARN_XML_PARSER::DictEntryTagAction : public QARN_XML_PARSER::TagAction {
public:
    using TagAction::TagAction;
    const char* getTagName() const override { return "entry"; }
    void beginTag(const Attributes& attributes) override {
        const std::string key = xml_detail::stringAttribute(attributes, "key",
                                                            "expected attribute key for tag <entry>");
        this->m_parser.pushOperand(std::make_unique<ASTDictKey>(key));
        ListTagAction::allowAbridged(this->m_parser.m_stateStack.front());
    }
    void text(const String& text, bool) override {
        xml_detail::requireWhiteSpace(text, "<entry> tag should not have meaningful text");
    }
    void endTag() override {}
};

// A section element: an announced count, white space only as text.
#define QARN_XML_SECTION(Class, tag, attribute, attributeMessage, begin, end)                     \
    QARN_XML_TEMPLATE                                                                          \
    class QARN_XML_PARSER::Class : public QARN_XML_PARSER::TagAction {                         \
    public:                                                                                    \
        using TagAction::TagAction;                                                            \
        const char* getTagName() const override { return tag; }                                \
        void beginTag(const Attributes& attributes) override {                                 \
            this->checkParentTag("instance", 1);                                               \
            this->m_parser.m_callback.begin(                                                   \
                xml_detail::intAttribute(attributes, tag, attribute, attributeMessage));       \
        }                                                                                      \
        void text(const String& text, bool) override {                                         \
            xml_detail::requireWhiteSpace(text, "<" tag "> tag should not have meaningful text"); \
        }                                                                                      \
        void endTag() override { this->m_parser.m_callback.end(); }                            \
    };

QARN_XML_SECTION(DomainsTagAction, "domains", "nbDomains",
                 "expected attribute nbDomains for tag <domains>", beginDomainsSection,
                 endDomainsSection)
QARN_XML_SECTION(VariablesTagAction, "variables", "nbVariables",
                 "expected attribute nbVariables for tag <variables>", beginVariablesSection,
                 endVariablesSection)
QARN_XML_SECTION(RelationsTagAction, "relations", "nbRelations",
                 "expected attribute nbRelation for tag <relations>", beginRelationsSection,
                 endRelationsSection)
QARN_XML_SECTION(PredicatesTagAction, "predicates", "nbPredicates",
                 "expected attribute nbPredicate for tag <predicates>", beginPredicatesSection,
                 endPredicatesSection)
QARN_XML_SECTION(ConstraintsTagAction, "constraints", "nbConstraints",
                 "expected attribute nbConstraints for tag <constraints>",
                 beginConstraintsSection, endConstraintsSection)

#undef QARN_XML_SECTION

QARN_XML_TEMPLATE
class QARN_XML_PARSER::InstanceTagAction : public QARN_XML_PARSER::TagAction {
public:
    using TagAction::TagAction;
    const char* getTagName() const override { return "instance"; }
    void beginTag(const Attributes&) override { this->checkParentTag(nullptr, 1); }
    void text(const String& text, bool) override {
        xml_detail::requireWhiteSpace(text, "<instance> tag should not have meaningful text");
    }
    void endTag() override {
        this->m_parser.m_callback.endInstance();
        this->m_parser.m_instanceComplete = true;
    }
};

QARN_XML_TEMPLATE
class QARN_XML_PARSER::PresentationTagAction : public QARN_XML_PARSER::TagAction {
public:
    using TagAction::TagAction;
    const char* getTagName() const override { return "presentation"; }
    void beginTag(const Attributes& attributes) override {
        State& s = this->m_parser.m_stateStack.front();
        s = State();
        s.childElementAllowed = false;
        this->checkParentTag("instance", 1);
        std::string name;
        if (!attributes["name"].template to<std::string>(name))
            name = "?";
        this->m_parser.m_callback.beginInstance(name);
    }
    void text(const String&, bool) override {}
    void endTag() override {}
};

QARN_XML_TEMPLATE
class QARN_XML_PARSER::DomainTagAction : public QARN_XML_PARSER::TagAction {
public:
    explicit DomainTagAction(XMLParser& parser) : TagAction(parser), m_separator("..") {}
    const char* getTagName() const override { return "domain"; }
    void beginTag(const Attributes& attributes) override {
        this->checkParentTag("domains", 1);
        const std::string name = xml_detail::stringAttribute(
            attributes, "name", "expected attribute name for tag <domain>");
        const int count = xml_detail::intAttribute(attributes, "domain", "nbValues",
                                                   "expected attribute nbValue for tag <domain>");
        const int id = this->m_parser.defineSymbol(name, DomainType);
        this->m_parser.m_callback.beginDomain(name, id, count);
    }
    // Values and ranges first..last; a range needs both bounds, in order.
    void text(const String& text, bool) override {
        typename String::Tokenizer tokens(text);
        for (String token = tokens.nextToken(); !token.absent(); token = tokens.nextToken()) {
            const int dots = token.find(m_separator);
            int first = 0, last = 0;
            if (dots == 2147483647) {
                if (!token.template to<int>(first))
                    fail("invalid integer in <domain> element");
                this->m_parser.m_callback.addDomainValue(first);
                continue;
            }
            if (!token.substr(0, dots).template to<int>(first) ||
                !token.substr(dots + 2, 2147483647).template to<int>(last))
                fail("invalid integer in <domain> element");
            if (first > last)
                fail("invalid range in <domain> element");
            this->m_parser.m_callback.addDomainValue(first, last);
        }
    }
    void endTag() override { this->m_parser.m_callback.endDomain(); }

private:
    String m_separator;
};

QARN_XML_TEMPLATE
class QARN_XML_PARSER::VariableTagAction : public QARN_XML_PARSER::TagAction {
public:
    using TagAction::TagAction;
    const char* getTagName() const override { return "variable"; }
    void beginTag(const Attributes& attributes) override {
        this->m_parser.m_stateStack.front() = SymbTagAction::offState();
        this->checkParentTag("variables", 1);
        const std::string name = xml_detail::stringAttribute(
            attributes, "name", "expected attribute name for tag <variable>");
        const std::string domain = xml_detail::stringAttribute(
            attributes, "domain", "expected attribute domain for tag <variable>");
        const int id = this->m_parser.defineSymbol(name, VariableType);
        const int domainId = this->m_parser.getSymbolId(domain, DomainType);
        this->m_parser.m_callback.addVariable(name, id, domain, domainId);
    }
    void text(const String& text, bool) override {
        xml_detail::requireWhiteSpace(text, "<variable> tag should not have meaningful text");
    }
    void endTag() override {}
};

// Tuples separated by '|'; for soft relations a "cost:" prefix. The tuple
// buffer grows with the values read, never beyond the arity.
QARN_XML_TEMPLATE
class QARN_XML_PARSER::RelationTagAction : public QARN_XML_PARSER::TagAction {
public:
    using TagAction::TagAction;
    const char* getTagName() const override { return "relation"; }
    void beginTag(const Attributes& attributes) override {
        this->m_parser.m_stateStack.front() = SymbTagAction::offState();
        this->checkParentTag("relations", 1);
        m_arity = xml_detail::intAttribute(attributes, "relation", "arity",
                                           "expected attribute arity for tag <relation>");
        if (m_arity < 1)
            fail("arity must be >0");
        m_nbTuples = xml_detail::intAttribute(attributes, "relation", "nbTuples",
                                              "expected attribute nbTuples for tag <relation>");
        const std::string name = xml_detail::stringAttribute(
            attributes, "name", "expected attribute name for tag <relation>");
        const std::string semantics = xml_detail::stringAttribute(
            attributes, "semantics", "expected attribute semantics for tag <relation>");
        m_soft = false;
        m_defaultCost = 1;
        RelType type;
        if (semantics == "supports") {
            type = REL_SUPPORT;
        } else if (semantics == "conflicts") {
            type = REL_CONFLICT;
        } else if (semantics == "soft") {
            type = REL_SOFT;
            m_soft = true;
            m_defaultCost =
                xml_detail::intAttribute(attributes, "relation", "defaultCost",
                                         "expected attribute defaultCost for tag <relation>");
        } else {
            fail("unknown semantics for tag <relation>");
        }
        const int id = this->m_parser.defineSymbol(name, RelationType);
        this->m_parser.m_callback.beginRelation(name, id, m_arity, m_nbTuples, type);
        m_tuple.clear();
        m_tuplesPassed = 0;
        m_cost = m_defaultCost;
    }
    void text(const String& text, bool) override {
        typename String::Tokenizer tokens(text);
        tokens.addSeparator('|');
        tokens.addSeparator(':');
        for (String token = tokens.nextToken(); !token.absent(); token = tokens.nextToken()) {
            const auto* p = token.begin();
            if (*p == ':' && token.byteCount() == 1) {
                if (!m_soft || m_tuple.size() != 1)
                    fail("unexpected colon (':') in relation");
                m_cost = m_tuple[0];
                m_tuple.clear();
            } else if (*p == '|' && token.byteCount() == 1) {
                if (m_tuple.size() != static_cast<std::size_t>(m_arity))
                    fail("unexpected pipe ('|') in relation");
                passTuple();
            } else {
                if (m_tuple.size() == static_cast<std::size_t>(m_arity))
                    fail("more values than the arity in a tuple of the relation");
                m_tuple.push_back(readValue(token));
            }
        }
    }
    void endTag() override {
        if (m_tuple.size() == static_cast<std::size_t>(m_arity))
            passTuple();
        else if (!m_tuple.empty())
            fail("last tuple is incomplete !");
        if (m_tuplesPassed != m_nbTuples)
            fail("effective number of tuples doesn't match the announced number");
        this->m_parser.m_callback.endRelation();
    }

private:
    void passTuple() {
        if (m_soft)
            this->m_parser.m_callback.addRelationTuple(m_arity, m_tuple.data(), m_cost);
        else
            this->m_parser.m_callback.addRelationTuple(m_arity, m_tuple.data());
        ++m_tuplesPassed;
        m_tuple.clear();
    }
    // An optional sign and at least one digit, within the 32-bit range.
    static int readValue(const String& token) {
        const auto* p = token.begin();
        const auto* e = token.end();
        bool negative = false;
        if (*p == '+' || *p == '-') {
            negative = *p == '-';
            ++p;
        }
        if (p == e)
            fail("failed to read integer");
        long long value = 0;
        for (; p != e; ++p) {
            if (*p >= 128)
                typename String::iterator(p, e).operator*(); // malformed UTF-8 fails here
            if (*p < '0' || *p > '9')
                fail("failed to read integer");
            value = value * 10 + (*p - '0');
            if (value > 2147483648LL)
                fail("failed to read integer");
        }
        if (negative)
            value = -value;
        if (value > 2147483647LL)
            fail("failed to read integer");
        return static_cast<int>(value);
    }

    int m_arity = 1;
    int m_nbTuples = 0;
    std::vector<int> m_tuple;
    int m_tuplesPassed = 0;
    bool m_soft = false;
    int m_cost = 1;
    int m_defaultCost = 1;
};

QARN_XML_TEMPLATE
class QARN_XML_PARSER::PredicateTagAction : public QARN_XML_PARSER::TagAction {
public:
    using TagAction::TagAction;
    const char* getTagName() const override { return "predicate"; }
    void beginTag(const Attributes& attributes) override {
        this->checkParentTag("predicates", 1);
        const std::string name = xml_detail::stringAttribute(
            attributes, "name", "expected attribute name for tag <predicate>");
        const int id = this->m_parser.defineSymbol(name, PredicateType);
        // Each predicate has parameters of its own.
        formalParameters.clear();
        this->m_parser.m_callback.beginPredicate(name, id);
    }
    void text(const String&, bool) override {}
    void endTag() override { this->m_parser.m_callback.endPredicate(); }

    std::map<std::string, int> formalParameters; // name -> position
};

QARN_XML_TEMPLATE
class QARN_XML_PARSER::ParametersTagAction : public QARN_XML_PARSER::TagAction {
public:
    using TagAction::TagAction;
    const char* getTagName() const override { return "parameters"; }
    void beginTag(const Attributes&) override {
        m_count = 0;
        m_text.clear();
        const TagAction* parent = this->m_parser.getParentTagAction(1);
        State& s = this->m_parser.m_stateStack.front();
        if (parent && std::strcmp(parent->getTagName(), "predicate") == 0) {
            m_insidePredicate = true;
            s.childElementAllowed = false;
        } else if (parent && std::strcmp(parent->getTagName(), "constraint") == 0) {
            m_insidePredicate = false;
            this->m_parser.pushOperand(nullptr);
            ListTagAction::allowAbridged(s);
        } else {
            fail("unexpected <parameters> tag");
        }
    }
    void text(const String& text, bool) override {
        if (m_insidePredicate)
            m_text.appendText(text.begin(), text.textEnd());
        else
            xml_detail::requireWhiteSpace(text, "<parameters> tag should not have meaningful text");
    }
    void endTag() override {
        if (!m_insidePredicate) {
            this->m_parser.pushOperand(this->m_parser.collectList());
            return;
        }
        TagAction* parent = this->m_parser.getParentTagAction(1);
        auto* predicate = dynamic_cast<PredicateTagAction*>(parent);
        if (!predicate)
            fail("internal error: couldn't get my parent or wasn't a <predicate>");
        typename String::Tokenizer tokens(m_text);
        for (String type = tokens.nextToken(); !type.absent(); type = tokens.nextToken()) {
            const String name = tokens.nextToken();
            if (name.absent())
                fail("missing formal parameter name after type");
            std::string typeText, nameText;
            type.template to<std::string>(typeText);
            name.template to<std::string>(nameText);
            predicate->formalParameters[nameText] = m_count;
            this->m_parser.m_callback.addFormalParameter(m_count, nameText, typeText);
            ++m_count;
        }
    }

private:
    bool m_insidePredicate = false;
    int m_count = 0;
    String m_text; // owned buffer
};

QARN_XML_TEMPLATE
class QARN_XML_PARSER::ExpressionTagAction : public QARN_XML_PARSER::TagAction {
public:
    using TagAction::TagAction;
    const char* getTagName() const override { return "expression"; }
    void beginTag(const Attributes&) override {
        const TagAction* parent = this->m_parser.getParentTagAction(1);
        if (parent && std::strcmp(parent->getTagName(), "predicate") == 0)
            insidePredicate = true;
        else if (parent && std::strcmp(parent->getTagName(), "constraint") == 0)
            insidePredicate = false;
        else
            fail("unexpected <expression> tag");
    }
    void text(const String& text, bool) override {
        xml_detail::requireWhiteSpace(text, "<expression> tag should not have meaningful text");
    }
    void endTag() override {}

    bool insidePredicate = false;
};

QARN_XML_TEMPLATE
class QARN_XML_PARSER::FunctionalTagAction : public QARN_XML_PARSER::TagAction {
public:
    using TagAction::TagAction;
    const char* getTagName() const override { return "functional"; }
    void beginTag(const Attributes&) override {
        this->checkParentTag("expression", 1);
        m_text.clear();
    }
    void text(const String& text, bool) override {
        m_text.append(reinterpret_cast<const char*>(text.begin()),
                      reinterpret_cast<const char*>(text.textEnd()));
    }
    void endTag() override {
        auto* expression = dynamic_cast<ExpressionTagAction*>(this->m_parser.getParentTagAction(1));
        if (!expression)
            fail("internal error: couldn't get my parent or wasn't an <expression>");
        if (!expression->insidePredicate)
            fail("expressions not yet suported as effective parameters");
        auto* predicate = dynamic_cast<PredicateTagAction*>(this->m_parser.getParentTagAction(2));
        if (!predicate)
            fail("internal error: couldn't get my parent or wasn't a <predicate>");
        auto& parser = this->m_parser.m_expressionParser;
        parser.setParameterTable(&predicate->formalParameters);
        std::unique_ptr<AST> tree;
        try {
            tree = parser.prefixParser(m_text);
        } catch (...) {
            parser.setParameterTable(nullptr);
            throw;
        }
        parser.setParameterTable(nullptr);
        this->m_parser.xmitExpressionToSolver(tree.release());
    }

private:
    std::string m_text;
};

// infix and postfix expressions are reported and ignored.
#define QARN_XML_IGNORED_EXPRESSION(Class, tag, warning)                                          \
    QARN_XML_TEMPLATE                                                                          \
    class QARN_XML_PARSER::Class : public QARN_XML_PARSER::TagAction {                         \
    public:                                                                                    \
        using TagAction::TagAction;                                                            \
        const char* getTagName() const override { return tag; }                                \
        void beginTag(const Attributes&) override {                                            \
            this->checkParentTag("expression", 1);                                             \
            m_text.clear();                                                                    \
        }                                                                                      \
        void text(const String& text, bool) override {                                         \
            m_text.append(reinterpret_cast<const char*>(text.begin()),                        \
                          reinterpret_cast<const char*>(text.textEnd()));                      \
        }                                                                                      \
        void endTag() override { std::cout << warning << m_text << std::endl; }               \
                                                                                               \
    private:                                                                                   \
        std::string m_text;                                                                    \
    };

QARN_XML_IGNORED_EXPRESSION(InfixTagAction, "infix", "WARNING: ignoring infix expression: ")
QARN_XML_IGNORED_EXPRESSION(PostfixTagAction, "postfix", "WARNING: ignoring postfix expression: ")

#undef QARN_XML_IGNORED_EXPRESSION

QARN_XML_TEMPLATE
class QARN_XML_PARSER::ConstraintTagAction : public QARN_XML_PARSER::TagAction {
public:
    using TagAction::TagAction;
    const char* getTagName() const override { return "constraint"; }
    void beginTag(const Attributes& attributes) override {
        XMLParser& parser = this->m_parser;
        m_depth = parser.m_operandStack.size();
        this->checkParentTag("constraints", 1);
        const int arity = xml_detail::intAttribute(attributes, "constraint", "arity",
                                                   "expected attribute arity for tag <constraint>");
        const std::string name = xml_detail::stringAttribute(
            attributes, "name", "expected attribute name for tag <constraint>");
        std::string reference = xml_detail::stringAttribute(
            attributes, "reference", "expected attribute reference for tag <constraint>");
        if (reference.size() > 7 && reference.compare(0, 7, "global:") == 0)
            for (char& c : reference)
                if (c >= 'A' && c <= 'Z')
                    c = static_cast<char>(c - 'A' + 'a');
        const auto found = parser.m_symbols.find(reference);
        if (found == parser.m_symbols.end())
            fail("symbol " + reference + " is undefined");
        const SymbolInfo& info = found->second;
        if (info.keyOrder)
            parser.m_dictAction->keyOrder = info.keyOrder;
        const String scope = attributes["scope"];
        if (scope.absent())
            fail("expected attribute scope for tag <constraint>");
        m_scope = std::make_unique<ASTList>();
        typename String::Tokenizer tokens(scope);
        for (String token = tokens.nextToken(); !token.absent(); token = tokens.nextToken()) {
            std::string variable;
            token.template to<std::string>(variable);
            const int id = parser.getSymbolId(variable, VariableType);
            m_scope->appendArg(ASTFactory::mkVar(variable, id));
        }
        const int id = parser.defineSymbol(name, ConstraintType);
        parser.m_callback.beginConstraint(name, id, arity, reference, info.type, info.id,
                                          *m_scope);
    }
    void text(const String& text, bool) override {
        xml_detail::requireWhiteSpace(text, "<constraint> tag should not have meaningful text");
    }
    void endTag() override {
        XMLParser& parser = this->m_parser;
        auto& stack = parser.m_operandStack;
        if (stack.size() == m_depth) {
            parser.m_callback.constraintParameters(*m_scope);
        } else if (stack.size() == m_depth + 1) {
            std::unique_ptr<AST> parameters = std::move(stack.back());
            stack.pop_back();
            if (!parameters || parameters->getType() != LIST)
                fail("constraint parameters doesn't appear to be a list");
            parser.m_callback.constraintParameters(static_cast<const ASTList&>(*parameters));
        } else {
            fail("internal error while handling constraint parameters");
        }
        parser.m_callback.endConstraint();
        parser.m_dictAction->keyOrder = nullptr;
    }

private:
    std::size_t m_depth = 0;
    std::unique_ptr<ASTList> m_scope;
};

QARN_XML_TEMPLATE
class QARN_XML_PARSER::ExtensionTagAction : public QARN_XML_PARSER::TagAction {
public:
    using TagAction::TagAction;
    const char* getTagName() const override { return "extension"; }
    void beginTag(const Attributes&) override {}
    void text(const String&, bool) override {}
    void endTag() override {}
};

// ---------------------------------------------------------------- the parser

QARN_XML_TEMPLATE
QARN_XML_PARSER::XMLParser(Callback& callback)
    : m_callback(callback),
      m_cumulativeKeys{"origin", "duration", "end", "height"},
      m_weightedSumKeys{"coef", "var"} {
    static const char* const symbols[] = {"nil", "eq", "ne", "ge", "gt", "le", "lt"};
    for (int i = 0; i < 7; ++i)
        registerTagAction(new SymbTagAction(*this, symbols[i], static_cast<NodeType>(SYMB_NIL + i)));
    registerTagAction(m_varAction = new VarTagAction(*this));
    registerTagAction(m_integerAction = new IntegerConstantTagAction(*this));
    registerTagAction(m_listAction = new ListTagAction(*this));
    registerTagAction(m_dictAction = new DictTagAction(*this));
    registerTagAction(new DictEntryTagAction(*this));
    registerTagAction(m_instanceAction = new InstanceTagAction(*this));
    registerTagAction(new PresentationTagAction(*this));
    registerTagAction(new DomainsTagAction(*this));
    registerTagAction(new DomainTagAction(*this));
    registerTagAction(new VariablesTagAction(*this));
    registerTagAction(new VariableTagAction(*this));
    registerTagAction(new RelationsTagAction(*this));
    registerTagAction(new RelationTagAction(*this));
    registerTagAction(new PredicatesTagAction(*this));
    registerTagAction(new PredicateTagAction(*this));
    registerTagAction(new ParametersTagAction(*this));
    registerTagAction(new ExpressionTagAction(*this));
    registerTagAction(new FunctionalTagAction(*this));
    registerTagAction(new InfixTagAction(*this));
    registerTagAction(new PostfixTagAction(*this));
    registerTagAction(new ConstraintsTagAction(*this));
    registerTagAction(new ConstraintTagAction(*this));
    registerTagAction(new ExtensionTagAction(*this));
    m_unknownAction = new UnknownTagAction(*this);
}

QARN_XML_TEMPLATE
QARN_XML_PARSER::~XMLParser() {
    for (auto& entry : m_tagActions)
        delete entry.second;
    delete m_unknownAction;
}

QARN_XML_TEMPLATE
void QARN_XML_PARSER::registerTagAction(TagAction* action) {
    std::unique_ptr<TagAction> owned(action);
    m_tagActions.emplace(String(action->getTagName()), action);
    owned.release();
}

QARN_XML_TEMPLATE
void QARN_XML_PARSER::startDocument() {
    clearOperandStack();
    m_symbols.clear();
    for (int& counter : m_symbolCounters)
        counter = 0;
    m_symbols["global:alldifferent"] = SymbolInfo{GlobalConstraintType, 0, nullptr};
    m_symbols["global:cumulative"] = SymbolInfo{GlobalConstraintType, 4, &m_cumulativeKeys};
    m_symbols["global:weightedsum"] = SymbolInfo{GlobalConstraintType, 5, &m_weightedSumKeys};
    m_symbols["global:element"] = SymbolInfo{GlobalConstraintType, 6, nullptr};
    m_instanceComplete = false;
}

QARN_XML_TEMPLATE
void QARN_XML_PARSER::pushFront(TagAction* action, const State& state) {
    if (m_actionStack.size() >= MAX_DEPTH)
        fail("elements, lists and dictionaries are nested too deeply");
    m_stateStack.push_front(state);
    m_actionStack.push_front(action);
}

QARN_XML_TEMPLATE
void QARN_XML_PARSER::popFront() {
    m_actionStack.pop_front();
    m_stateStack.pop_front();
}

QARN_XML_TEMPLATE
void QARN_XML_PARSER::startElement(const char* name, const Attributes& attributes) {
    flushPendingText();
    if (!m_stateStack.empty() && !m_stateStack.front().childElementAllowed)
        fail("this element must not contain any element");
    const auto found = m_tagActions.find(String(name));
    TagAction* action = m_unknownAction;
    if (found != m_tagActions.end())
        action = found->second;
    else
        std::cerr << "WARNING: unknown tag <" << name << "> will be ignored" << std::endl;
    pushFront(action, State());
    action->beginTag(attributes);
}

QARN_XML_TEMPLATE
void QARN_XML_PARSER::endElement(const char*) {
    flushPendingText();
    if (m_actionStack.empty())
        fail("unexpected end of element");
    if (m_stateStack.front().abridged)
        fail("list or dictionary not closed at the end of its element");
    m_actionStack.front()->endTag();
    popFront();
}

QARN_XML_TEMPLATE
void QARN_XML_PARSER::flushPendingText() {
    if (m_pending.empty())
        return;
    // The pending buffer may be replaced while its text is handled.
    String text(m_pending);
    m_pending.clear();
    handleAbridgedNotation(text, true);
}

QARN_XML_TEMPLATE
void QARN_XML_PARSER::characters(const String& piece) {
    if (m_actionStack.empty()) {
        if (!piece.isWhiteSpace())
            fail("Text found outside any tag");
        return;
    }
    const auto* p = piece.begin();
    const auto* e = piece.end();
    if (!m_pending.empty()) {
        // Complete the pending token with the piece's first token; without
        // white space in the piece the token goes on in the next piece.
        const auto* q = p;
        while (q != e && !isWhiteSpaceByte(*q))
            ++q;
        if (q == e) {
            m_pending.appendText(p, e);
            return;
        }
        while (q != e && isWhiteSpaceByte(*q))
            ++q;
        m_pending.appendText(p, q);
        flushPendingText();
        p = q;
    }
    // Keep back what follows the last white space: it may be cut.
    const auto* split = e;
    while (split != p && !isWhiteSpaceByte(split[-1]))
        --split;
    m_pending.appendText(split, e);
    if (split != p && *p != 0)
        handleAbridgedNotation(String(p, split), false);
}

QARN_XML_TEMPLATE
void QARN_XML_PARSER::openAbridged(const char* tag) {
    TagAction* action = m_tagActions.find(String(tag))->second;
    State state;
    state.abridged = true;
    pushFront(action, state);
    action->beginTag(Attributes());
}

QARN_XML_TEMPLATE
void QARN_XML_PARSER::closeAbridged(char closing) {
    if (!m_stateStack.front().abridged)
        fail(std::string("unexpected '") + closing + "' without an open list or dictionary");
    m_actionStack.front()->endTag();
    popFront();
}

QARN_XML_TEMPLATE
void QARN_XML_PARSER::handleAbridgedNotation(const String& text, bool last) {
    typedef typename String::Byte Byte;
    const Byte* run = text.begin();
    const Byte* e = text.textEnd();
    typename String::iterator it(run, e);
    // Hands the run up to `upto` to the front action.
    auto flush = [&](const Byte* upto) {
        if (upto != run)
            m_actionStack.front()->text(String(run, upto), true);
    };
    while (it.more()) {
        const Byte* at = it.pos();
        const int c = *it;
        const State state = m_stateStack.front();
        if (c < 128 && isWhiteSpaceByte(static_cast<Byte>(c))) {
            ++it;
        } else if (c == '/' && state.dictAllowed) {
            flush(at);
            ++it;
            const Byte* key = it.pos();
            while (it.more() && xml_detail::isAsciiLetter(*it.pos()))
                ++it;
            pushOperand(std::make_unique<ASTDictKey>(
                std::string(reinterpret_cast<const char*>(key), reinterpret_cast<const char*>(it.pos()))));
            run = it.pos();
        } else if ((c == '[' && state.listAllowed) || (c == '{' && state.dictAllowed)) {
            flush(at);
            ++it;
            run = it.pos();
            openAbridged(c == '[' ? "list" : "dict");
        } else if ((c == ']' && state.listAllowed) || (c == '}' && state.dictAllowed)) {
            flush(at);
            ++it;
            run = it.pos();
            closeAbridged(static_cast<char>(c));
        } else if ((c == '_' || xml_detail::isAsciiLetter(c)) && state.identifierAllowed) {
            flush(at);
            ++it;
            while (it.more() && (*it.pos() == '_' || xml_detail::isAsciiLetter(*it.pos()) ||
                                 xml_detail::isDigit(*it.pos())))
                ++it;
            const std::string name(reinterpret_cast<const char*>(at),
                                   reinterpret_cast<const char*>(it.pos()));
            const int id = getSymbolId(name, VariableType);
            pushOperand(ASTFactory::mkVar(name, id));
            run = it.pos();
        } else if ((xml_detail::isDigit(c) || c == '+' || c == '-') && state.integerAllowed) {
            ++it;
            while (it.more() && xml_detail::isDigit(*it.pos()))
                ++it;
            flush(at);
            pushFront(m_integerAction, State());
            m_integerAction->beginTag(Attributes());
            m_integerAction->text(String(at, it.pos()), true);
            m_integerAction->endTag();
            popFront();
            run = it.pos();
        } else {
            // Not notation: up to the next white space, it stays in the run.
            ++it;
            while (it.more() && !isWhiteSpaceByte(*it.pos())) {
                *it;
                ++it;
            }
        }
    }
    if (run != e)
        m_actionStack.front()->text(String(run, e), last);
}

QARN_XML_TEMPLATE
void QARN_XML_PARSER::pushOperand(std::unique_ptr<AST> node) {
    m_operandStack.push_back(std::move(node));
}

QARN_XML_TEMPLATE
std::unique_ptr<ASTList> QARN_XML_PARSER::collectList() {
    std::size_t mark = m_operandStack.size();
    while (mark > 0 && m_operandStack[mark - 1])
        --mark;
    auto list = std::make_unique<ASTList>();
    for (std::size_t i = mark; i < m_operandStack.size(); ++i)
        list->appendArg(std::move(m_operandStack[i]));
    // Without a mark the whole stack was taken.
    const std::size_t from = mark > 0 ? mark - 1 : 0;
    m_operandStack.erase(m_operandStack.begin() + static_cast<std::ptrdiff_t>(from),
                         m_operandStack.end());
    return list;
}

QARN_XML_TEMPLATE
void QARN_XML_PARSER::clearOperandStack() {
    m_operandStack.clear();
}

QARN_XML_TEMPLATE
int QARN_XML_PARSER::defineSymbol(const std::string& name, CSPDefinitionType type) {
    if (type == UndefinedType)
        fail("Cannot register a symbol without a type");
    if (type > UndefinedType || type < 0)
        fail("internal error: illegal CSPDefinitionType");
    SymbolInfo& info = m_symbols[name];
    if (info.type != UndefinedType)
        fail("symbol " + name + " is defined twice");
    info.type = type;
    info.id = m_symbolCounters[type]++;
    return info.id;
}

QARN_XML_TEMPLATE
int QARN_XML_PARSER::getSymbolId(const std::string& name, CSPDefinitionType type) {
    const SymbolInfo& info = m_symbols[name];
    if (info.type == UndefinedType)
        fail("symbol " + name + " is undefined");
    if (type != UndefinedType && info.type != type)
        fail("symbol " + name + " doesn't have the expected type");
    return info.id;
}

QARN_XML_TEMPLATE
typename QARN_XML_PARSER::TagAction* QARN_XML_PARSER::getParentTagAction(int level) const {
    if (level < 0 || static_cast<std::size_t>(level) >= m_actionStack.size())
        return nullptr;
    return m_actionStack[static_cast<std::size_t>(level)];
}

QARN_XML_TEMPLATE
void QARN_XML_PARSER::xmitExpressionToSolver(AST* tree) {
    std::unique_ptr<AST> owned(tree);
    if (m_expressionSyntax != 0) {
        std::ostringstream text;
        owned->expression(text, static_cast<Syntax>(m_expressionSyntax));
        m_callback.predicateExpression(text.str());
        return;
    }
    m_callback.predicateExpression(owned.release());
}

template class XMLParser<CSPParserCallback, DefaultASTFactory, UTF8String, AttributeList>;

#undef QARN_XML_TEMPLATE
#undef QARN_XML_PARSER

} // namespace xcsp
