// The XML layer and its tag actions against a callback that records what it
// is told: text pieces in any cut, abridged notation, relation and domain
// text, and the checks of the elements.
#include "frontends/xcsp/xml/xml_parser.h"
#include "frontends/xcsp/xml/xml_parser_libxml2.h"

#include <gtest/gtest.h>

#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace xml_parser_test {

using namespace xcsp;

class recorder : public CSPParserCallback {
public:
    std::vector<std::string> calls;

    void add(const std::string& s) { calls.push_back(s); }
    void beginInstance(const std::string& n) override { add("instance " + n); }
    void beginDomainsSection(int) override {}
    void beginDomain(const std::string& n, int id, int) override {
        add("domain " + n + " " + std::to_string(id));
    }
    void addDomainValue(int v) override { add("value " + std::to_string(v)); }
    void addDomainValue(int a, int b) override {
        add("range " + std::to_string(a) + ".." + std::to_string(b));
    }
    void endDomain() override {}
    void endDomainsSection() override {}
    void beginVariablesSection(int) override {}
    void addVariable(const std::string& n, int id, const std::string&, int) override {
        add("variable " + n + " " + std::to_string(id));
    }
    void endVariablesSection() override {}
    void beginRelationsSection(int) override {}
    void beginRelation(const std::string& n, int, int, int, RelType t) override {
        add("relation " + n + " " + std::to_string(t));
    }
    void addRelationTuple(int arity, const int* t) override {
        std::string s = "tuple";
        for (int i = 0; i < arity; ++i)
            s += " " + std::to_string(t[i]);
        add(s);
    }
    void addRelationTuple(int arity, const int* t, int cost) override {
        addRelationTuple(arity, t);
        calls.back() += " cost " + std::to_string(cost);
    }
    void endRelation() override {}
    void endRelationsSection() override {}
    void beginPredicatesSection(int) override {}
    void beginPredicate(const std::string& n, int) override { add("predicate " + n); }
    void addFormalParameter(int i, const std::string& n, const std::string& t) override {
        add("formal " + std::to_string(i) + " " + t + " " + n);
    }
    void predicateExpression(AST* tree) override {
        std::unique_ptr<AST> owned(tree);
        std::ostringstream os;
        owned->prefixExpression(os);
        add("expression " + os.str());
    }
    void predicateExpression(const std::string&) override {}
    void endPredicate() override {}
    void endPredicatesSection() override {}
    void beginConstraintsSection(int) override {}
    void beginConstraint(const std::string& n, int, int, const std::string& ref,
                         CSPDefinitionType type, int id, const ASTList&) override {
        add("constraint " + n + " " + ref + " " + std::to_string(type) + " " +
            std::to_string(id));
    }
    void constraintParameters(const ASTList& args) override {
        std::ostringstream os;
        args.prefixExpression(os);
        add("parameters " + os.str());
    }
    void endConstraint() override {}
    void endConstraintsSection() override {}
    void endInstance() override { add("end"); }
};

const char* const HEAD = "<instance><domains nbDomains='1'><domain name='D' nbValues='2'>0..1"
                         "</domain></domains><variables nbVariables='2'>"
                         "<variable name='X' domain='D'/><variable name='ab' domain='D'/>"
                         "</variables>";

// Parses a whole document through libxml2; the calls after the variables.
std::vector<std::string> read(const std::string& body, const std::string& head = HEAD) {
    recorder r;
    XMLParser_libxml2<CSPParserCallback, DefaultASTFactory> parser(r);
    std::istringstream in(head + body + "</instance>");
    parser.parse(in);
    std::vector<std::string> calls;
    bool after = false;
    for (const std::string& c : r.calls) {
        if (after && c != "end")
            calls.push_back(c);
        after = after || c == "variable ab 1";
    }
    return calls;
}

std::string error_of(const std::string& body, const std::string& head = HEAD) {
    testing::internal::CaptureStdout();
    try {
        read(body, head);
    } catch (const std::runtime_error& e) {
        testing::internal::GetCapturedStdout();
        return e.what();
    }
    testing::internal::GetCapturedStdout();
    return "";
}

std::string constraint(const std::string& reference, const std::string& parameters) {
    return "<constraints nbConstraints='1'><constraint name='C' arity='1' scope='X' reference='" +
           reference + "'><parameters>" + parameters + "</parameters></constraint></constraints>";
}

TEST(XmlReader, AbridgedAndElementParametersGiveTheSameList) {
    const auto abridged = read(constraint("global:alldifferent", "[ X 3 ] 5"));
    const auto elements =
        read(constraint("global:alldifferent", "<list><var name='X'/><i>3</i></list><i>5</i>"));
    ASSERT_EQ(abridged.size(), 2u);
    EXPECT_EQ(abridged[1], "parameters [ [ X/$0 3 ] 5 ]");
    EXPECT_EQ(abridged, elements);
    EXPECT_EQ(read(constraint("global:alldifferent", "12ab -4 +7"))[1],
              "parameters [ 12 ab/$1 -4 7 ]");
}

TEST(XmlReader, DictionariesKeyedAndInConventionalOrder) {
    const auto keyed = read(constraint("global:weightedsum", "[ { /coef 2 /var X } ] <eq/> 1"));
    const auto conventional = read(constraint("global:weightedsum", "[ { 2 X } ] <eq/> 1"));
    EXPECT_EQ(keyed[1], conventional[1]);
    EXPECT_EQ(keyed[0], "constraint C global:weightedsum 2 5");
    const auto cumulative = read(constraint("global:cumulative", "[ { 0 3 <nil/> 1 } ] 2"));
    EXPECT_EQ(cumulative[1].find("/end"), std::string::npos) << cumulative[1];
    EXPECT_NE(cumulative[1].find("/height"), std::string::npos) << cumulative[1];
    EXPECT_EQ(error_of(constraint("global:weightedsum", "[ { 1 } ] <eq/> 1")),
              "not enough values in dictionary defined with conventional order");
    EXPECT_EQ(error_of(constraint("global:weightedsum", "[ { /coef 2 3 } ] <eq/> 1")),
              "missing key in dictionary");
    EXPECT_EQ(error_of(constraint("global:alldifferent", "{ 1 X }")),
              "no conventional key order defined for this dictionary");
}

TEST(XmlReader, UnbalancedAndDeepNotationIsRefused) {
    EXPECT_EQ(error_of(constraint("global:alldifferent", "X ]")),
              "unexpected ']' without an open list or dictionary");
    EXPECT_EQ(error_of(constraint("global:alldifferent", "[ X")),
              "list or dictionary not closed at the end of its element");
    EXPECT_EQ(error_of(constraint("global:alldifferent", "<list> ] </list>")),
              "unexpected ']' without an open list or dictionary");
    const std::string deep = std::string(5000, '[') + std::string(5000, ']');
    EXPECT_EQ(error_of(constraint("global:alldifferent", deep)),
              "elements, lists and dictionaries are nested too deeply");
    EXPECT_EQ(error_of(constraint("global:alldifferent", "<eq> </eq>")),
              "<eq/> tag must not have any text");
}

TEST(XmlReader, RelationText) {
    const std::string relations = "<relations nbRelations='1'>";
    auto rel = [&](const std::string& attributes, const std::string& text) {
        return relations + "<relation name='R' arity='2' " + attributes + ">" + text +
               "</relation></relations>";
    };
    EXPECT_EQ(read(rel("nbTuples='2' semantics='supports'", "1 2|3 4")),
              (std::vector<std::string>{"relation R 1", "tuple 1 2", "tuple 3 4"}));
    EXPECT_EQ(read(rel("nbTuples='2' semantics='conflicts'", "1 2|3 4|")).size(), 3u);
    EXPECT_EQ(read(rel("nbTuples='2' semantics='soft' defaultCost='0'", "5: 1 2 | 3 4")),
              (std::vector<std::string>{"relation R 2", "tuple 1 2 cost 5", "tuple 3 4 cost 5"}));
    const struct {
        const char* attributes;
        const char* text;
        const char* message;
    } errors[] = {
        {"nbTuples='2' semantics='supports'", "1 2|3", "last tuple is incomplete !"},
        {"nbTuples='1' semantics='supports'", "1|2 3", "unexpected pipe ('|') in relation"},
        {"nbTuples='3' semantics='supports'", "1 2|3 4",
         "effective number of tuples doesn't match the announced number"},
        {"nbTuples='1' semantics='supports'", "5: 1 2", "unexpected colon (':') in relation"},
        {"nbTuples='1' semantics='supports'", "12a 1", "failed to read integer"},
        {"nbTuples='1' semantics='supports'", "4294967296 1", "failed to read integer"},
        {"nbTuples='1' semantics='supports'", "- 1", "failed to read integer"},
        {"nbTuples='1' semantics='supports'", "1 2 3", "more values than the arity in a tuple of the relation"},
        {"nbTuples='1' semantics='support'", "1 2", "unknown semantics for tag <relation>"},
    };
    for (const auto& e : errors)
        EXPECT_EQ(error_of(rel(e.attributes, e.text)), e.message) << e.text;
    EXPECT_EQ(error_of(relations + "<relation name='R' arity='0' nbTuples='0' semantics='supports'/>"
                                   "</relations>"),
              "arity must be >0");
}

TEST(XmlReader, DomainTextAndChecks) {
    const std::string head = "<instance><domains nbDomains='1'>";
    auto domain = [&](const std::string& text) {
        return head + "<domain name='D' nbValues='4'>" + text + "</domain></domains>";
    };
    EXPECT_EQ(read("", domain("1..3 5")).size(), 0u); // read() keeps what follows variables
    recorder r;
    XMLParser_libxml2<CSPParserCallback, DefaultASTFactory> parser(r);
    std::istringstream in(domain("1..3 5") + "</instance>");
    parser.parse(in);
    EXPECT_EQ(r.calls, (std::vector<std::string>{"domain D 0", "range 1..3", "value 5", "end"}));
    for (const char* bad : {"5x", "..3", "3..", "4..2", "99999999999"})
        EXPECT_NE(error_of("", domain(bad)), "") << bad;
    EXPECT_EQ(error_of("<domain name='E' nbValues='1'>1</domain>",
                       "<instance>"),
              "wrong parent for tag");
}

TEST(XmlReader, SymbolsAndTheirChecks) {
    EXPECT_EQ(error_of(constraint("global:alldifferent", "Q")), "symbol Q is undefined");
    EXPECT_EQ(error_of(constraint("GLOBAL:alldifferent", "X")),
              "symbol GLOBAL:alldifferent is undefined");
    EXPECT_EQ(error_of("<constraints nbConstraints='1'><constraint name='X' arity='1' scope='X' "
                       "reference='global:alldifferent'/></constraints>"),
              "symbol X is defined twice");
    EXPECT_EQ(error_of("", "<instance><domains nbDomains='1'><domain name='D' nbValues='1'>1"
                           "</domain></domains><variables nbVariables='2'><variable name='X' "
                           "domain='D'/><variable name='Y' domain='X'/></variables>"),
              "symbol X doesn't have the expected type");
}

TEST(XmlReader, PredicatesHaveTheirOwnFormalParameters) {
    const std::string predicates =
        "<predicates nbPredicates='2'><predicate name='P'><parameters>int A int B</parameters>"
        "<expression><functional>lt(A,B)</functional></expression></predicate>"
        "<predicate name='Q'><parameters>int B</parameters><expression><functional>"
        "eq(B,0)</functional></expression></predicate></predicates>";
    EXPECT_EQ(read(predicates),
              (std::vector<std::string>{"predicate P", "formal 0 int A", "formal 1 int B",
                                        "expression lt(A/$0,B/$1)", "predicate Q", "formal 0 int B",
                                        "expression eq(B/$0,0)"}));
    std::string stale = predicates;
    stale.replace(stale.find("eq(B,0)"), 7, "eq(A,0)");
    EXPECT_NE(error_of(stale).find("undefined variable"), std::string::npos);
    EXPECT_EQ(error_of("<predicates nbPredicates='1'><predicate name='P'><parameters>int X int"
                       "</parameters></predicate></predicates>"),
              "missing formal parameter name after type");
    EXPECT_EQ(error_of("<constraints nbConstraints='1'><constraint name='C' arity='1' scope='X' "
                       "reference='global:alldifferent'><expression><functional>eq(X,1)"
                       "</functional></expression></constraint></constraints>"),
              "expressions not yet suported as effective parameters");
}

// Text pieces cut between any two characters: every token reaches the
// actions whole, however many pieces it comes in.
TEST(XmlReader, TokensSplitAcrossTextPiecesStayWhole) {
    const std::string text = "12 345|6789 1|\xD0\x96\xD0\x96";
    auto inside = [&](std::size_t at) {
        return at < text.size() && (static_cast<unsigned char>(text[at]) & 0xC0) == 0x80;
    };
    for (std::size_t first = 0; first <= text.size(); ++first)
        for (std::size_t second = first; second <= text.size(); ++second) {
            if (inside(first) || inside(second))
                continue;
            recorder r;
            XCSPReader parser(r);
            parser.startDocument();
            const char* none[] = {nullptr};
            parser.startElement("instance", AttributeList(none));
            const char* attributes[] = {"nbRelations", "1", nullptr};
            parser.startElement("relations", AttributeList(attributes));
            const char* relation[] = {"name", "R", "arity", "2", "nbTuples", "3",
                                      "semantics", "supports", nullptr};
            parser.startElement("relation", AttributeList(relation));
            const std::size_t cuts[] = {0, first, second, text.size()};
            try {
                for (int i = 0; i < 3; ++i)
                    parser.characters(UTF8String(text.data() + cuts[i], text.data() + cuts[i + 1]));
                parser.endElement("relation");
                FAIL() << "the last token is not a number";
            } catch (const std::runtime_error& e) {
                EXPECT_STREQ(e.what(), "failed to read integer");
            }
            EXPECT_EQ(r.calls, (std::vector<std::string>{"relation R 1", "tuple 12 345",
                                                         "tuple 6789 1"}))
                << first << " " << second;
        }
}

TEST(XmlReader, ManyPiecesOfOneToken) {
    recorder r;
    XCSPReader parser(r);
    parser.startDocument();
    const char* none[] = {nullptr};
    parser.startElement("instance", AttributeList(none));
    const char* attributes[] = {"nbDomains", "1", nullptr};
    parser.startElement("domains", AttributeList(attributes));
    const char* domain[] = {"name", "D", "nbValues", "1", nullptr};
    parser.startElement("domain", AttributeList(domain));
    for (const char* piece : {" 1", "2", "3", "4", "..", "1", "2", "35 ", "7", "\n"})
        parser.characters(UTF8String(piece));
    parser.endElement("domain");
    EXPECT_EQ(r.calls,
              (std::vector<std::string>{"domain D 0", "range 1234..1235", "value 7"}));
    // A character cut between two pieces is malformed text.
    const char* other[] = {"name", "E", "nbValues", "1", nullptr};
    parser.startElement("domain", AttributeList(other));
    EXPECT_THROW(parser.characters(UTF8String("1 \xD0")), std::runtime_error);
}

// Every numeric attribute: a value beyond the int range is said to be out of
// range; a missing or malformed one is still expected.
TEST(XmlReader, NumericAttributesOutOfRangeAreNamed) {
    const std::string big = "99999999999999999999";
    const std::string variables = "<instance><domains nbDomains='1'><domain name='D' "
                                  "nbValues='2'>0..1</domain></domains>";
    const std::string relation = "<relations nbRelations='1'><relation name='R' ";
    const struct {
        std::string document;
        const char* attribute;
        const char* tag;
    } rows[] = {
        {"<instance><domains nbDomains='" + big + "'>", "nbDomains", "domains"},
        {"<instance><domains nbDomains='1'><domain name='D' nbValues='-2147483649'>",
         "nbValues", "domain"},
        {variables + "<variables nbVariables=' 2147483648 '>", "nbVariables", "variables"},
        {std::string(HEAD) + "<relations nbRelations='" + big + "'>", "nbRelations", "relations"},
        {std::string(HEAD) + relation + "arity='" + big + "' nbTuples='1' semantics='supports'>",
         "arity", "relation"},
        {std::string(HEAD) + relation + "arity='1' nbTuples='+" + big + "' semantics='supports'>",
         "nbTuples", "relation"},
        {std::string(HEAD) + relation + "arity='1' nbTuples='1' semantics='soft' defaultCost='-" +
             big + "'>",
         "defaultCost", "relation"},
        {std::string(HEAD) + "<predicates nbPredicates='" + big + "'>", "nbPredicates",
         "predicates"},
        {std::string(HEAD) + "<constraints nbConstraints='" + big + "'>", "nbConstraints",
         "constraints"},
        {std::string(HEAD) + "<constraints nbConstraints='1'><constraint name='C' arity='" + big +
             "' scope='X' reference='global:alldifferent'>",
         "arity", "constraint"},
    };
    for (const auto& r : rows)
        EXPECT_EQ(error_of("", r.document), std::string("value of attribute ") + r.attribute +
                                                " for tag <" + r.tag + "> is out of range")
            << r.document;
    EXPECT_EQ(error_of("", "<instance><domains>"), "expected attribute nbDomains for tag <domains>");
    EXPECT_EQ(error_of("", "<instance><domains nbDomains='1x'>"),
              "expected attribute nbDomains for tag <domains>");
    EXPECT_EQ(error_of("", "<instance><domains nbDomains='- 1'>"),
              "expected attribute nbDomains for tag <domains>");
}

// The message of a whole document read through libxml2, "" when it is read.
std::string document_error(const std::string& document) {
    recorder r;
    XMLParser_libxml2<CSPParserCallback, DefaultASTFactory> parser(r);
    std::istringstream in(document);
    testing::internal::CaptureStdout();
    try {
        parser.parse(in);
    } catch (const std::runtime_error& e) {
        testing::internal::GetCapturedStdout();
        return e.what();
    }
    testing::internal::GetCapturedStdout();
    return "";
}

// A document cut short between tags, in any chunk, or of blanks only ended
// early; content after the closed root is still extra content.
TEST(XmlReader, DocumentEndingEarlyIsSaidSo) {
    EXPECT_EQ(document_error("<instance>\n<domains nbDomains='0'>"),
              "the document ended early, inside <domains>");
    EXPECT_EQ(document_error("<instance><presentation name='p'/>" + std::string(9000, ' ')),
              "the document ended early, inside <instance>");
    EXPECT_EQ(document_error("<instance><domains nbDomains='1'><domain name='D' nbValues='2'>0."),
              "the document ended early, inside <domain>");
    EXPECT_EQ(document_error("  \n\t\n "), "the document ended early, before its root element");
    EXPECT_EQ(document_error(std::string(5000, '\n')),
              "the document ended early, before its root element");
    EXPECT_EQ(document_error("<instance></instance>x"), "Extra content at the end of the document");
    EXPECT_EQ(document_error("<instance></instance>\n"), "");
}

TEST(XmlReader, MalformedDocumentsAreErrorsWithTheirLine) {
    recorder r;
    XMLParser_libxml2<CSPParserCallback, DefaultASTFactory> parser(r);
    const char* documents[] = {"<instance>\n<domains nbDomains='0'>", "<instance></instanc>",
                               "<csp/>", "", "<instance>x</instance>"};
    for (const char* document : documents) {
        std::istringstream in(document);
        testing::internal::CaptureStdout();
        EXPECT_THROW(parser.parse(in), std::runtime_error) << document;
        const std::string out = testing::internal::GetCapturedStdout();
        if (*document) {
            EXPECT_EQ(out.rfind("Exception at line ", 0), 0u) << document;
        }
    }
}

}  // namespace xml_parser_test
