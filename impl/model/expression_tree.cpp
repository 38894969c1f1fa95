// Expression tree nodes: evaluation, the four printed forms, record trees and
// iterative destruction.
#include "impl/model/expression_tree.h"

#include <climits>
#include <cstdlib>
#include <cstring>
#include <new>
#include <ostream>
#include <stdexcept>

#include "impl/support/errors.h"

namespace xcsp {

using qarn::throw_runtime_error;

namespace {

// 32-bit arithmetic that wraps modulo 2^32, done in unsigned.
int wrap_add(int a, int b) {
    return static_cast<int>(static_cast<unsigned>(a) + static_cast<unsigned>(b));
}
int wrap_sub(int a, int b) {
    return static_cast<int>(static_cast<unsigned>(a) - static_cast<unsigned>(b));
}
int wrap_mul(int a, int b) {
    return static_cast<int>(static_cast<unsigned>(a) * static_cast<unsigned>(b));
}
int wrap_neg(int a) { return static_cast<int>(0u - static_cast<unsigned>(a)); }

bool in_int_range(std::int64_t v) { return v >= INT_MIN && v <= INT_MAX; }

template <class Record> Record* allocate_record(std::size_t extra = 0) {
    void* p = std::malloc(sizeof(Record) + extra);
    if (!p)
        throw std::bad_alloc();
    return static_cast<Record*>(p);
}

char* duplicate(const std::string& text) {
    char* p = strdup(text.c_str());
    if (!p)
        throw std::bad_alloc();
    return p;
}

const char* symbol_text(NodeType type) {
    static const char* const texts[] = {"nil", "==", "!=", ">=", ">", "<=", "<"};
    if (type < SYMB_NIL || type > SYMB_LT)
        throw_runtime_error("unimplemented");
    return texts[type - SYMB_NIL];
}

} // namespace

// ---- AST

AST* AST::getArg(int) const {
    throw_runtime_error("request for an non existing child of an AST node");
}

void AST::setArg(int, std::unique_ptr<AST>) {
    throw_runtime_error("abstract method called");
}

void AST::expression(std::ostream& os, Syntax syntax) const {
    switch (syntax) {
    case TREE:
        throw_runtime_error("can't use this method to get an AST");
    case PREFIX:
        prefixExpression(os);
        return;
    case INFIX:
        infixExpression(os);
        return;
    case POSTFIX:
        postfixExpression(os);
        return;
    case MATHML:
        os << "<math>\n";
        mathmlExpressionRec(os);
        os << "</math>\n";
        return;
    }
    throw_runtime_error("undefined syntax for an expressioin");
}

AST* AST::operator[](const std::string& key) const {
    return dynamic_cast<const ASTDict&>(*this).getArg(key);
}

void AST::destroyIteratively(std::vector<std::unique_ptr<AST>>& work) {
    while (!work.empty()) {
        std::unique_ptr<AST> node = std::move(work.back());
        work.pop_back();
        if (node)
            node->releaseChildren(work);
        // node is childless now: its destructor does not recurse.
    }
}

// ---- Variable

int ASTVar::value(const VariableValuation& valuation) const {
    return valuation.getVarValue(static_cast<unsigned>(m_index));
}
void ASTVar::prefixExpression(std::ostream& os) const { os << m_name << "/$" << m_index; }
void ASTVar::infixExpression(std::ostream& os) const { os << "parm[" << m_index << "]"; }
void ASTVar::postfixExpression(std::ostream& os) const { prefixExpression(os); }
void ASTVar::mathmlExpressionRec(std::ostream& os) const {
    os << "  <ci>" << m_name << "</ci>\n";
}
void ASTVar::setArg(int, std::unique_ptr<AST>) {
    throw_runtime_error("a variable cannot have any argument");
}
CTree* ASTVar::makeCTree() const {
    char* name = duplicate(m_name);
    CTreeVar* r;
    try {
        r = allocate_record<CTreeVar>();
    } catch (...) {
        std::free(name);
        throw;
    }
    r->type = VAR;
    r->name = name;
    r->index = m_index;
    return reinterpret_cast<CTree*>(r);
}

// ---- Integer

int ASTInteger::value(const VariableValuation&) const { return m_value; }
void ASTInteger::prefixExpression(std::ostream& os) const { os << m_value; }
void ASTInteger::infixExpression(std::ostream& os) const { os << m_value; }
void ASTInteger::postfixExpression(std::ostream& os) const { os << m_value; }
void ASTInteger::mathmlExpressionRec(std::ostream& os) const {
    os << "  <cn>" << m_value << "</cn>\n";
}
void ASTInteger::setArg(int, std::unique_ptr<AST>) {
    throw_runtime_error("a constant cannot have any argument");
}
CTree* ASTInteger::makeCTree() const {
    CTreeInteger* r = allocate_record<CTreeInteger>();
    r->type = INTEGER;
    r->value = m_value;
    return reinterpret_cast<CTree*>(r);
}

// ---- Boolean

int ASTBoolean::value(const VariableValuation&) const { return m_value ? 1 : 0; }
void ASTBoolean::prefixExpression(std::ostream& os) const { os << (m_value ? "true" : "false"); }
void ASTBoolean::infixExpression(std::ostream& os) const { prefixExpression(os); }
void ASTBoolean::postfixExpression(std::ostream& os) const { prefixExpression(os); }
void ASTBoolean::mathmlExpressionRec(std::ostream& os) const {
    os << (m_value ? "  <true/>\n" : "  <false/>\n");
}
void ASTBoolean::setArg(int, std::unique_ptr<AST>) {
    throw_runtime_error("a constant cannot have any argument");
}
CTree* ASTBoolean::makeCTree() const {
    CTreeBoolean* r = allocate_record<CTreeBoolean>();
    r->type = BOOLEAN;
    r->value = m_value ? 1 : 0;
    return reinterpret_cast<CTree*>(r);
}

// ---- Symbolic constant

int ASTSymb::value(const VariableValuation&) const {
    throw_runtime_error("no valuation defined for a symbolic constant");
}
AST* ASTSymb::getArg(int) const { throw_runtime_error("abstract method called"); }
void ASTSymb::prefixExpression(std::ostream& os) const { infixExpression(os); }
void ASTSymb::infixExpression(std::ostream& os) const { os << symbol_text(getType()); }
void ASTSymb::postfixExpression(std::ostream& os) const { infixExpression(os); }
void ASTSymb::mathmlExpressionRec(std::ostream&) const { throw_runtime_error("unimplemented"); }
void ASTSymb::setArg(int, std::unique_ptr<AST>) { throw_runtime_error("abstract method called"); }
CTree* ASTSymb::makeCTree() const {
    CTreeSymb* r = allocate_record<CTreeSymb>();
    r->type = getType();
    return reinterpret_cast<CTree*>(r);
}

// ---- List

ASTList::~ASTList() {
    std::vector<std::unique_ptr<AST>> work;
    releaseChildren(work);
    destroyIteratively(work);
}

void ASTList::releaseChildren(std::vector<std::unique_ptr<AST>>& out) {
    for (std::unique_ptr<AST>& e : m_elements)
        out.push_back(std::move(e));
    m_elements.clear();
}

void ASTList::appendArg(std::unique_ptr<AST> node) { m_elements.push_back(std::move(node)); }

int ASTList::value(const VariableValuation&) const {
    throw_runtime_error("no valuation defined for a list");
}

AST* ASTList::getArg(int i) const {
    if (i < 0 || i >= nbArg())
        throw_runtime_error("request for an non existing child of an AST node");
    return m_elements[static_cast<std::size_t>(i)].get();
}

template <class Print> void ASTList::print(std::ostream& os, Print print_element) const {
    os << "[";
    for (const std::unique_ptr<AST>& e : m_elements) {
        os << " ";
        if (e)
            print_element(*e);
    }
    os << " ]";
}

void ASTList::prefixExpression(std::ostream& os) const {
    print(os, [&](const AST& e) { e.prefixExpression(os); });
}
void ASTList::infixExpression(std::ostream& os) const {
    print(os, [&](const AST& e) { e.infixExpression(os); });
}
void ASTList::postfixExpression(std::ostream& os) const {
    print(os, [&](const AST& e) { e.postfixExpression(os); });
}
void ASTList::mathmlExpressionRec(std::ostream&) const { throw_runtime_error("unimplemented"); }
void ASTList::setArg(int, std::unique_ptr<AST>) { throw_runtime_error("abstract method called"); }

void freeCTree(CTree* record) {
    if (!record)
        return;
    if (record->type == VAR) {
        std::free(reinterpret_cast<CTreeVar*>(record)->name);
    } else if (record->type == LIST || (record->type >= F_NEG && record->type <= F_IFF)) {
        CTreeList* list = reinterpret_cast<CTreeList*>(record);
        for (std::int32_t i = 0; i < list->size; ++i)
            freeCTree(children(list)[i]);
    } else if (record->type == DICT) {
        CTreeDict* dict = reinterpret_cast<CTreeDict*>(record);
        for (std::int32_t i = 0; i < dict->size; ++i) {
            std::free(entries(dict)[i].key);
            freeCTree(entries(dict)[i].value);
        }
    }
    std::free(record);
}

namespace {

// A list or function record over the given children, null entries first so
// that a failure part way frees only what was made.
template <class Children> CTree* make_sequence_record(NodeType type, const Children& nodes) {
    static_assert(alignof(CTree*) <= sizeof(CTreeList), "child pointers follow the header");
    const std::size_t n = nodes.size();
    CTreeList* r = allocate_record<CTreeList>(n * sizeof(CTree*));
    r->type = type;
    r->size = static_cast<std::int32_t>(n);
    for (std::size_t i = 0; i < n; ++i)
        children(r)[i] = nullptr;
    try {
        for (std::size_t i = 0; i < n; ++i)
            if (nodes[i])
                children(r)[i] = nodes[i]->makeCTree();
    } catch (...) {
        freeCTree(reinterpret_cast<CTree*>(r));
        throw;
    }
    return reinterpret_cast<CTree*>(r);
}

} // namespace

CTree* ASTList::makeCTree() const { return make_sequence_record(LIST, m_elements); }

// ---- Dictionary

ASTDict::~ASTDict() {
    std::vector<std::unique_ptr<AST>> work;
    releaseChildren(work);
    destroyIteratively(work);
}

void ASTDict::releaseChildren(std::vector<std::unique_ptr<AST>>& out) {
    for (auto& entry : m_entries)
        out.push_back(std::move(entry.second));
    m_entries.clear();
}

int ASTDict::value(const VariableValuation&) const {
    throw_runtime_error("no valuation defined for a dict");
}
AST* ASTDict::getArg(int) const {
    throw_runtime_error("dictionaries can't be accessed by index");
}
void ASTDict::setArg(int, std::unique_ptr<AST>) {
    throw_runtime_error("dictionaries can't be accessed by index");
}

AST* ASTDict::getArg(const std::string& key) const {
    auto it = m_entries.find(key);
    if (it == m_entries.end())
        throw_runtime_error("couldn't find key in dictionary");
    return it->second.get();
}

void ASTDict::setArg(const std::string& key, std::unique_ptr<AST> node) {
    if (m_entries.count(key))
        throw_runtime_error("multiple assignments to the same key in dictionary");
    m_entries.emplace(key, std::move(node));
}

template <class Print> void ASTDict::print(std::ostream& os, Print print_value) const {
    os << "{";
    for (const auto& entry : m_entries) {
        os << " /" << entry.first << " ";
        if (entry.second)
            print_value(*entry.second);
    }
    os << " }";
}

void ASTDict::prefixExpression(std::ostream& os) const {
    print(os, [&](const AST& e) { e.prefixExpression(os); });
}
void ASTDict::infixExpression(std::ostream& os) const {
    print(os, [&](const AST& e) { e.infixExpression(os); });
}
void ASTDict::postfixExpression(std::ostream& os) const {
    print(os, [&](const AST& e) { e.postfixExpression(os); });
}
void ASTDict::mathmlExpressionRec(std::ostream&) const { throw_runtime_error("unimplemented"); }

CTree* ASTDict::makeCTree() const {
    static_assert(alignof(CTreeDictEntry) <= sizeof(CTreeDict), "entries follow the header");
    const std::size_t n = m_entries.size();
    CTreeDict* r = allocate_record<CTreeDict>(n * sizeof(CTreeDictEntry));
    r->type = DICT;
    r->size = 0; // counts the entries made so far, for freeing after a failure
    try {
        for (const auto& entry : m_entries) {
            CTreeDictEntry& e = entries(r)[r->size];
            e.key = duplicate(entry.first);
            e.value = nullptr;
            ++r->size;
            if (entry.second)
                e.value = entry.second->makeCTree();
        }
    } catch (...) {
        freeCTree(reinterpret_cast<CTree*>(r));
        throw;
    }
    return reinterpret_cast<CTree*>(r);
}

// ---- Dictionary key

int ASTDictKey::value(const VariableValuation&) const {
    throw_runtime_error("abstract method called");
}
void ASTDictKey::prefixExpression(std::ostream&) const {
    throw_runtime_error("abstract method called");
}
void ASTDictKey::infixExpression(std::ostream&) const {
    throw_runtime_error("abstract method called");
}
void ASTDictKey::postfixExpression(std::ostream&) const {
    throw_runtime_error("abstract method called");
}
void ASTDictKey::mathmlExpressionRec(std::ostream&) const {
    throw_runtime_error("abstract method called");
}
void ASTDictKey::setArg(int, std::unique_ptr<AST>) {
    throw_runtime_error("abstract method called");
}
CTree* ASTDictKey::makeCTree() const { throw_runtime_error("abstract method called"); }

// ---- Functions

ASTAbstractFunction::ASTAbstractFunction(int arity, const char* prefix, const char* infix,
                                         const char* mathml, NodeType type)
    : AST(type), m_arity(arity), m_prefix(prefix), m_infix(infix), m_mathml(mathml) {
    if (arity < 0)
        throw_runtime_error("number of arguments cannot be negative");
    if (arity > 0)
        m_args = std::make_unique<std::unique_ptr<AST>[]>(static_cast<std::size_t>(arity));
}

ASTAbstractFunction::~ASTAbstractFunction() {
    std::vector<std::unique_ptr<AST>> work;
    releaseChildren(work);
    destroyIteratively(work);
}

void ASTAbstractFunction::releaseChildren(std::vector<std::unique_ptr<AST>>& out) {
    for (int i = 0; i < m_arity; ++i)
        if (m_args[i])
            out.push_back(std::move(m_args[i]));
}

AST* ASTAbstractFunction::getArg(int i) const {
    if (i < 0 || i >= m_arity)
        throw_runtime_error("request for an non existing child of an AST node");
    return m_args[i].get();
}

void ASTAbstractFunction::setArg(int i, std::unique_ptr<AST> node) {
    if (i < 0 || i >= m_arity)
        throw_runtime_error("incorrect argument number");
    m_args[i] = std::move(node);
}

std::string ASTAbstractFunction::arityText() const {
    return "\"" + std::string(m_prefix) + "\" takes " + std::to_string(m_arity) +
           (m_arity == 1 ? " argument" : " arguments");
}

void ASTAbstractFunction::checkArgs() const {
    for (int i = 0; i < m_arity; ++i)
        if (!m_args[i])
            throw_runtime_error("missing argument for a function");
}

void ASTAbstractFunction::prefixExpression(std::ostream& os) const {
    os << m_prefix << "(";
    for (int i = 0; i < m_arity; ++i) {
        if (i > 0)
            os << ",";
        if (m_args[i])
            m_args[i]->prefixExpression(os);
    }
    os << ")";
}

void ASTAbstractFunction::infixExpression(std::ostream& os) const {
    if (!m_infix) {
        os << m_prefix << "(";
        for (int i = 0; i < m_arity; ++i) {
            if (i > 0)
                os << ",";
            if (m_args[i])
                m_args[i]->infixExpression(os);
        }
        os << ")";
        return;
    }
    if (m_arity == 2) {
        os << "(";
        if (m_args[0])
            m_args[0]->infixExpression(os);
        os << m_infix;
        if (m_args[1])
            m_args[1]->infixExpression(os);
        os << ")";
    } else if (m_arity == 1) {
        os << m_infix << "(";
        if (m_args[0])
            m_args[0]->infixExpression(os);
        os << ")";
    } else {
        throw_runtime_error("unexpected arity");
    }
}

void ASTAbstractFunction::postfixExpression(std::ostream& os) const {
    for (int i = 0; i < m_arity; ++i) {
        if (i > 0)
            os << " ";
        if (m_args[i])
            m_args[i]->postfixExpression(os);
    }
    os << " " << m_prefix;
}

void ASTAbstractFunction::mathmlExpressionRec(std::ostream& os) const {
    if (!m_mathml) // if has no MathML name
        throw_runtime_error("unimplemented");
    os << "  <apply>\n  <" << m_mathml << "/>\n";
    for (int i = 0; i < m_arity; ++i)
        if (m_args[i])
            m_args[i]->mathmlExpressionRec(os);
    os << "  </apply>\n";
}

CTree* ASTAbstractFunction::makeCTree() const {
    std::vector<const AST*> nodes(static_cast<std::size_t>(m_arity));
    for (int i = 0; i < m_arity; ++i)
        nodes[static_cast<std::size_t>(i)] = m_args[i].get();
    return make_sequence_record(getType(), nodes);
}

void FunctionNeg::infixExpression(std::ostream& os) const {
    os << "-(";
    if (getArg(0))
        getArg(0)->infixExpression(os);
    os << ")";
}

// Evaluation. Arguments are evaluated in the order each function states;
// and, or and if evaluate only what decides the value.

int FunctionNeg::value(const VariableValuation& v) const {
    checkArgs();
    return wrap_neg(arg(0, v));
}

int FunctionAbs::value(const VariableValuation& v) const {
    checkArgs();
    const int a = arg(0, v);
    return a < 0 ? wrap_neg(a) : a; // abs(INT_MIN) wraps to INT_MIN
}

int FunctionAdd::value(const VariableValuation& v) const {
    checkArgs();
    const int a = arg(0, v);
    return wrap_add(a, arg(1, v));
}

int FunctionSub::value(const VariableValuation& v) const {
    checkArgs();
    const int a = arg(0, v);
    return wrap_sub(a, arg(1, v));
}

int FunctionMul::value(const VariableValuation& v) const {
    checkArgs();
    const int a = arg(0, v);
    return wrap_mul(a, arg(1, v));
}

int FunctionDiv::value(const VariableValuation& v) const {
    checkArgs();
    const int b = arg(1, v);
    if (b == 0)
        throw_runtime_error("divide by 0");
    const std::int64_t q = static_cast<std::int64_t>(arg(0, v)) / b;
    if (!in_int_range(q)) // INT_MIN / -1
        throw_runtime_error("overflow in div(x,y) computation");
    return static_cast<int>(q);
}

int FunctionMod::value(const VariableValuation& v) const {
    checkArgs();
    const int b = arg(1, v);
    if (b == 0)
        throw_runtime_error("modulo by 0");
    // In 64 bits, INT_MIN % -1 is 0 and does not trap.
    return static_cast<int>(static_cast<std::int64_t>(arg(0, v)) % b);
}

int FunctionPow::value(const VariableValuation& v) const {
    checkArgs();
    const int base = arg(0, v);
    int e = arg(1, v);
    if (base == 0 && e == 0)
        throw_runtime_error("pow(0,0) is undefined");
    if (e < 0) {
        // The integer part of 1 / base^-e.
        if (base == 0)
            throw_runtime_error("overflow in pow(x,y) computation");
        if (base == 1)
            return 1;
        if (base == -1)
            return (e & 1) ? -1 : 1;
        return 0;
    }
    std::int64_t b = base, r = 1;
    while (e != 0) {
        if (!in_int_range(r) || !in_int_range(b))
            throw_runtime_error("overflow in pow(x,y) computation");
        if (e & 1)
            r *= b;
        e >>= 1;
        b *= b;
    }
    if (!in_int_range(r))
        throw_runtime_error("overflow in pow(x,y) computation");
    return static_cast<int>(r);
}

int FunctionIf::value(const VariableValuation& v) const {
    checkArgs();
    return arg(0, v) != 0 ? arg(1, v) : arg(2, v);
}

int FunctionMin::value(const VariableValuation& v) const {
    checkArgs();
    const int b = arg(1, v);
    const int a = arg(0, v);
    return a < b ? a : b;
}

int FunctionMax::value(const VariableValuation& v) const {
    checkArgs();
    const int b = arg(1, v);
    const int a = arg(0, v);
    return a > b ? a : b;
}

int FunctionEQ::value(const VariableValuation& v) const {
    checkArgs();
    const int a = arg(0, v);
    return a == arg(1, v) ? 1 : 0;
}

int FunctionNE::value(const VariableValuation& v) const {
    checkArgs();
    const int a = arg(0, v);
    return a != arg(1, v) ? 1 : 0;
}

int FunctionGE::value(const VariableValuation& v) const {
    checkArgs();
    const int a = arg(0, v);
    return a >= arg(1, v) ? 1 : 0;
}

int FunctionGT::value(const VariableValuation& v) const {
    checkArgs();
    const int a = arg(0, v);
    return a > arg(1, v) ? 1 : 0;
}

int FunctionLE::value(const VariableValuation& v) const {
    checkArgs();
    const int a = arg(0, v);
    return a <= arg(1, v) ? 1 : 0;
}

int FunctionLT::value(const VariableValuation& v) const {
    checkArgs();
    const int a = arg(0, v);
    return a < arg(1, v) ? 1 : 0;
}

int FunctionNot::value(const VariableValuation& v) const {
    checkArgs();
    return arg(0, v) == 0 ? 1 : 0;
}

int FunctionAnd::value(const VariableValuation& v) const {
    checkArgs();
    if (arg(0, v) == 0)
        return 0;
    return arg(1, v) != 0 ? 1 : 0;
}

int FunctionOr::value(const VariableValuation& v) const {
    checkArgs();
    if (arg(0, v) != 0)
        return 1;
    return arg(1, v) != 0 ? 1 : 0;
}

int FunctionXor::value(const VariableValuation& v) const {
    checkArgs();
    const int a = arg(0, v);
    return a ^ arg(1, v);
}

int FunctionIff::value(const VariableValuation& v) const {
    checkArgs();
    const int a = arg(0, v);
    return a == arg(1, v) ? 1 : 0;
}

} // namespace xcsp
