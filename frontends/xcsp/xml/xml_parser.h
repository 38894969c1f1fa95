// The XCSP 2.1 reader above the XML events: a stack of open elements, one
// tag action per element name, the abridged notation in element text
// ("[ ]" lists, "{ }" dictionaries, "/key", identifiers, integers) and the
// symbol table that numbers the named objects. Element text arrives in
// pieces; the last, possibly incomplete token of a piece is kept back as
// pending text until white space ends it, so no token is ever cut. Every
// failure is a std::runtime_error; exceptions of the callback pass through.
// Lists and dictionaries nest at most MAX_DEPTH deep together with the
// elements.
#pragma once

#include <deque>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "frontends/xcsp/xml/csp_parser_callback.h"
#include "frontends/xcsp/xml/utf8_string.h"
#include "impl/model/expression_parser.h"
#include "impl/model/expression_tree.h"

namespace xcsp {

template <class Callback, class ASTFactory, class String, class Attributes> class XMLParser {
public:
    // Open elements, lists and dictionaries together, beyond which the
    // reader stops: keeps the trees it builds shallow enough for the
    // recursive walks of the solver side.
    static constexpr std::size_t MAX_DEPTH = 1000;

    struct SymbolInfo {
        CSPDefinitionType type = UndefinedType;
        int id = -1;
        const std::vector<std::string>* keyOrder = nullptr; // not owned
    };

    // What an element's text may hold; a new element allows child elements
    // only. `abridged` marks a list or dictionary opened by text.
    struct State {
        bool listAllowed = false;
        bool dictAllowed = false;
        bool identifierAllowed = false;
        bool integerAllowed = false;
        bool childElementAllowed = true;
        bool abridged = false;
    };

    class TagAction {
    public:
        explicit TagAction(XMLParser& parser) : m_parser(parser) {}
        virtual ~TagAction() = default;
        virtual const char* getTagName() const = 0;
        virtual void beginTag(const Attributes& attributes) = 0;
        virtual void text(const String& text, bool last) = 0;
        virtual void endTag() = 0;

        // Fails unless the element at `level` above this one is named
        // `parent` (null: there is none).
        void checkParentTag(const char* parent, int level) const;

    protected:
        XMLParser& m_parser;
    };

    explicit XMLParser(Callback& callback);
    ~XMLParser();
    XMLParser(const XMLParser&) = delete;
    XMLParser& operator=(const XMLParser&) = delete;

    // ---- events of the XML layer
    void startDocument();
    void startElement(const char* name, const Attributes& attributes);
    void endElement(const char* name);
    void characters(const String& text);
    // Whether the instance element was closed.
    bool instanceComplete() const { return m_instanceComplete; }

    // ---- used by the tag actions
    void handleAbridgedNotation(const String& text, bool last);
    void clearOperandStack();
    int defineSymbol(const std::string& name, CSPDefinitionType type);
    int getSymbolId(const std::string& name, CSPDefinitionType type);
    // The action `level` entries above the front of the tag-action stack.
    TagAction* getParentTagAction(int level) const;
    void xmitExpressionToSolver(AST* tree);

private:
    class UnknownTagAction;
    class SymbTagAction;
    class VarTagAction;
    class IntegerConstantTagAction;
    class ListTagAction;
    class DictTagAction;
    class DictEntryTagAction;
    class InstanceTagAction;
    class PresentationTagAction;
    class DomainsTagAction;
    class DomainTagAction;
    class VariablesTagAction;
    class VariableTagAction;
    class RelationsTagAction;
    class RelationTagAction;
    class PredicatesTagAction;
    class PredicateTagAction;
    class ParametersTagAction;
    class ExpressionTagAction;
    class FunctionalTagAction;
    class InfixTagAction;
    class PostfixTagAction;
    class ConstraintsTagAction;
    class ConstraintTagAction;
    class ExtensionTagAction;

    void registerTagAction(TagAction* action);
    // Hands the pending text on and empties it.
    void flushPendingText();
    // Opens or closes a list or dictionary met in text.
    void openAbridged(const char* tag);
    void closeAbridged(char closing);
    void pushFront(TagAction* action, const State& state);
    void popFront();
    // The entries above the last mark as a list (the mark removed).
    std::unique_ptr<ASTList> collectList();
    // Moves `node` onto the operand stack.
    void pushOperand(std::unique_ptr<AST> node);

    Callback& m_callback;
    int m_expressionSyntax = 0;
    ExpressionParser<ASTFactory> m_expressionParser;
    std::map<std::string, SymbolInfo> m_symbols;
    int m_symbolCounters[6] = {0, 0, 0, 0, 0, 0};
    std::map<String, TagAction*> m_tagActions;
    std::deque<TagAction*> m_actionStack;
    std::deque<State> m_stateStack;
    String m_pending;
    TagAction* m_varAction = nullptr;
    DictTagAction* m_dictAction = nullptr;
    ListTagAction* m_listAction = nullptr;
    TagAction* m_integerAction = nullptr;
    InstanceTagAction* m_instanceAction = nullptr;
    UnknownTagAction* m_unknownAction = nullptr;
    std::deque<std::unique_ptr<AST>> m_operandStack;
    std::vector<std::string> m_cumulativeKeys;
    std::vector<std::string> m_weightedSumKeys;
    bool m_instanceComplete = false;
};

typedef XMLParser<CSPParserCallback, DefaultASTFactory, UTF8String, AttributeList> XCSPReader;

extern template class XMLParser<CSPParserCallback, DefaultASTFactory, UTF8String, AttributeList>;

} // namespace xcsp
