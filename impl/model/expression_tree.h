// The expression tree shared by the XCSP, FlatZinc and C-like readers and the
// model builder: leaves (variables, integers, Booleans, symbols, dictionary
// keys), lists, dictionaries and the 22 function nodes. A tree evaluates on a
// full assignment in 32-bit arithmetic (sums, differences, products and
// negations wrap modulo 2^32), prints in prefix, infix, postfix and MathML
// form, and copies itself into a plain malloc'ed record tree.
// Every node owns its children; destruction is iterative, so trees of any
// depth are freed without deep recursion.
#pragma once

#include <cstdint>
#include <deque>
#include <iosfwd>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace xcsp {

enum NodeType {
    VAR = 0,
    BOOLEAN = 1,
    INTEGER = 2,
    LIST = 3,
    DICT = 4,
    F_NEG = 5,
    F_ABS = 6,
    F_ADD = 7,
    F_SUB = 8,
    F_MUL = 9,
    F_DIV = 10,
    F_MOD = 11,
    F_POW = 12,
    F_IF = 13,
    F_MIN = 14,
    F_MAX = 15,
    F_EQ = 16,
    F_NE = 17,
    F_GE = 18,
    F_GT = 19,
    F_LE = 20,
    F_LT = 21,
    F_NOT = 22,
    F_AND = 23,
    F_OR = 24,
    F_XOR = 25,
    F_IFF = 26,
    SYMB_NIL = 27,
    SYMB_EQ = 28,
    SYMB_NE = 29,
    SYMB_GE = 30,
    SYMB_GT = 31,
    SYMB_LE = 32,
    SYMB_LT = 33,
    DICT_KEY = 34,
};

// The printed forms of a tree; TREE cannot be printed.
enum Syntax { TREE = 0, PREFIX = 1, INFIX = 2, POSTFIX = 3, MATHML = 4 };

// The source of variable values during evaluation.
class VariableValuation {
public:
    virtual ~VariableValuation() = default;
    virtual int getVarValue(unsigned index) const = 0;
};

// Plain records made by makeCTree: each record is one malloc'ed block that
// starts with the 32-bit node type; texts are strdup'ed. A list and a
// function record are followed in the same block by their child pointers,
// a dictionary record by (key, value) pointer pairs in key order.
struct CTree {
    std::int32_t type;
};
struct CTreeVar {
    std::int32_t type;
    char* name;
    std::int32_t index;
};
struct CTreeBoolean {
    std::int32_t type;
    std::int32_t value;
};
struct CTreeInteger {
    std::int32_t type;
    std::int32_t value;
};
struct CTreeSymb {
    std::int32_t type;
};
struct CTreeList { // also every function record: the count is the arity
    std::int32_t type;
    std::int32_t size;
};
struct CTreeDict {
    std::int32_t type;
    std::int32_t size;
};
struct CTreeDictEntry {
    char* key;
    CTree* value;
};
// The children of a list or function record, the entries of a dictionary.
inline CTree** children(CTreeList* record) { return reinterpret_cast<CTree**>(record + 1); }
inline CTreeDictEntry* entries(CTreeDict* record) {
    return reinterpret_cast<CTreeDictEntry*>(record + 1);
}

// Frees a record tree made by makeCTree (null is allowed).
void freeCTree(CTree* record);

class AST {
public:
    explicit AST(NodeType type) : m_type(type) {}
    AST(const AST&) = delete;
    AST& operator=(const AST&) = delete;
    virtual ~AST() = default;

    virtual int value(const VariableValuation& valuation) const = 0;
    virtual int nbArg() const { return 0; }
    virtual AST* getArg(int i) const;
    virtual NodeType getType() const { return m_type; }
    virtual void prefixExpression(std::ostream& os) const = 0;
    virtual void infixExpression(std::ostream& os) const = 0;
    virtual void postfixExpression(std::ostream& os) const = 0;
    virtual void mathmlExpressionRec(std::ostream& os) const = 0;
    // Takes ownership of node.
    virtual void setArg(int i, std::unique_ptr<AST> node);
    virtual CTree* makeCTree() const = 0;

    void expression(std::ostream& os, Syntax syntax) const;
    // The value under key; the node must be a dictionary (else std::bad_cast).
    AST* operator[](const std::string& key) const;

protected:
    // Moves every child into `out`; the iterative destruction of a subtree
    // calls it on each node before deleting the (then childless) node.
    virtual void releaseChildren(std::vector<std::unique_ptr<AST>>& out) { (void)out; }
    // Destroys the given subtrees without recursion.
    static void destroyIteratively(std::vector<std::unique_ptr<AST>>& work);

private:
    NodeType m_type;
};

class ASTVar : public AST {
public:
    ASTVar(std::string name, int index) : AST(VAR), m_name(std::move(name)), m_index(index) {}
    const std::string& name() const { return m_name; }
    int index() const { return m_index; }

    int value(const VariableValuation& valuation) const override;
    void prefixExpression(std::ostream& os) const override;
    void infixExpression(std::ostream& os) const override;
    void postfixExpression(std::ostream& os) const override;
    void mathmlExpressionRec(std::ostream& os) const override;
    void setArg(int i, std::unique_ptr<AST> node) override;
    CTree* makeCTree() const override;

private:
    std::string m_name;
    int m_index; // -1: parsed without a parameter table
};

class ASTInteger : public AST {
public:
    explicit ASTInteger(int value) : AST(INTEGER), m_value(value) {}
    int getValue() const { return m_value; }

    int value(const VariableValuation& valuation) const override;
    void prefixExpression(std::ostream& os) const override;
    void infixExpression(std::ostream& os) const override;
    void postfixExpression(std::ostream& os) const override;
    void mathmlExpressionRec(std::ostream& os) const override;
    void setArg(int i, std::unique_ptr<AST> node) override;
    CTree* makeCTree() const override;

private:
    int m_value;
};

class ASTBoolean : public AST {
public:
    explicit ASTBoolean(bool value) : AST(BOOLEAN), m_value(value) {}
    bool getValue() const { return m_value; }

    int value(const VariableValuation& valuation) const override;
    void prefixExpression(std::ostream& os) const override;
    void infixExpression(std::ostream& os) const override;
    void postfixExpression(std::ostream& os) const override;
    void mathmlExpressionRec(std::ostream& os) const override;
    void setArg(int i, std::unique_ptr<AST> node) override;
    CTree* makeCTree() const override;

private:
    bool m_value;
};

// The symbolic constants nil, eq, ne, ge, gt, le, lt (types SYMB_NIL..SYMB_LT).
class ASTSymb : public AST {
public:
    explicit ASTSymb(NodeType type) : AST(type) {}

    int value(const VariableValuation& valuation) const override;
    AST* getArg(int i) const override;
    void prefixExpression(std::ostream& os) const override;
    void infixExpression(std::ostream& os) const override;
    void postfixExpression(std::ostream& os) const override;
    void mathmlExpressionRec(std::ostream& os) const override;
    void setArg(int i, std::unique_ptr<AST> node) override;
    CTree* makeCTree() const override;
};

class ASTList : public AST {
public:
    ASTList() : AST(LIST) {}
    ~ASTList() override;
    void appendArg(std::unique_ptr<AST> node);

    int value(const VariableValuation& valuation) const override;
    int nbArg() const override { return static_cast<int>(m_elements.size()); }
    AST* getArg(int i) const override;
    void prefixExpression(std::ostream& os) const override;
    void infixExpression(std::ostream& os) const override;
    void postfixExpression(std::ostream& os) const override;
    void mathmlExpressionRec(std::ostream& os) const override;
    void setArg(int i, std::unique_ptr<AST> node) override;
    CTree* makeCTree() const override;

protected:
    void releaseChildren(std::vector<std::unique_ptr<AST>>& out) override;

private:
    template <class Print> void print(std::ostream& os, Print print_element) const;

    std::deque<std::unique_ptr<AST>> m_elements;
};

class ASTDict : public AST {
public:
    ASTDict() : AST(DICT) {}
    ~ASTDict() override;

    int value(const VariableValuation& valuation) const override;
    int nbArg() const override { return static_cast<int>(m_entries.size()); }
    AST* getArg(int i) const override;
    void prefixExpression(std::ostream& os) const override;
    void infixExpression(std::ostream& os) const override;
    void postfixExpression(std::ostream& os) const override;
    void mathmlExpressionRec(std::ostream& os) const override;
    void setArg(int i, std::unique_ptr<AST> node) override;
    CTree* makeCTree() const override;

    virtual AST* getArg(const std::string& key) const;
    virtual void setArg(const std::string& key, std::unique_ptr<AST> node);
    const std::map<std::string, std::unique_ptr<AST>>& entryMap() const { return m_entries; }

protected:
    void releaseChildren(std::vector<std::unique_ptr<AST>>& out) override;

private:
    template <class Print> void print(std::ostream& os, Print print_value) const;

    std::map<std::string, std::unique_ptr<AST>> m_entries; // byte-wise key order
};

// A dictionary key: only its type, arity and (absent) children can be read.
class ASTDictKey : public AST {
public:
    explicit ASTDictKey(std::string key) : AST(DICT_KEY), m_key(std::move(key)) {}
    const std::string& key() const { return m_key; }

    int value(const VariableValuation& valuation) const override;
    void prefixExpression(std::ostream& os) const override;
    void infixExpression(std::ostream& os) const override;
    void postfixExpression(std::ostream& os) const override;
    void mathmlExpressionRec(std::ostream& os) const override;
    void setArg(int i, std::unique_ptr<AST> node) override;
    CTree* makeCTree() const override;

private:
    std::string m_key;
};

// A function node: `arity` argument slots, null until set.
class ASTAbstractFunction : public AST {
public:
    // infix and mathml may be null (absent).
    ASTAbstractFunction(int arity, const char* prefix, const char* infix, const char* mathml,
                        NodeType type);
    ~ASTAbstractFunction() override;

    int nbArg() const override { return m_arity; }
    AST* getArg(int i) const override;
    void prefixExpression(std::ostream& os) const override;
    void infixExpression(std::ostream& os) const override;
    void postfixExpression(std::ostream& os) const override;
    void mathmlExpressionRec(std::ostream& os) const override;
    void setArg(int i, std::unique_ptr<AST> node) override;
    CTree* makeCTree() const override;

    // A new node of the same function with every argument null.
    virtual std::unique_ptr<ASTAbstractFunction> makeNode() const = 0;

    const char* prefixName() const { return m_prefix; }
    // The prefix name in double quotes and the number of arguments the
    // function takes, as in: "add" takes 2 arguments.
    std::string arityText() const;
    const char* infixSymbol() const { return m_infix; }
    const char* mathmlName() const { return m_mathml; }

protected:
    void releaseChildren(std::vector<std::unique_ptr<AST>>& out) override;
    // Throws "missing argument for a function" at the first null slot.
    void checkArgs() const;
    int arg(int i, const VariableValuation& valuation) const {
        return m_args[i]->value(valuation);
    }

private:
    int m_arity;
    std::unique_ptr<std::unique_ptr<AST>[]> m_args; // null when the arity is 0
    const char* m_prefix;
    const char* m_infix;
    const char* m_mathml;
};

#define QARN_XCSP_FUNCTION(Class, type, prefix, infix, mathml, arity)                           \
    class Class : public ASTAbstractFunction {                                                 \
    public:                                                                                    \
        Class() : ASTAbstractFunction(arity, prefix, infix, mathml, type) {}                   \
        int value(const VariableValuation& valuation) const override;                          \
        std::unique_ptr<ASTAbstractFunction> makeNode() const override {                       \
            return std::make_unique<Class>();                                                  \
        }
#define QARN_XCSP_FUNCTION_END };

QARN_XCSP_FUNCTION(FunctionNeg, F_NEG, "neg", nullptr, "minus", 1)
    void infixExpression(std::ostream& os) const override;
QARN_XCSP_FUNCTION_END
QARN_XCSP_FUNCTION(FunctionAbs, F_ABS, "abs", nullptr, "abs", 1) QARN_XCSP_FUNCTION_END
QARN_XCSP_FUNCTION(FunctionAdd, F_ADD, "add", "+", "plus", 2) QARN_XCSP_FUNCTION_END
QARN_XCSP_FUNCTION(FunctionSub, F_SUB, "sub", "-", "minus", 2) QARN_XCSP_FUNCTION_END
QARN_XCSP_FUNCTION(FunctionMul, F_MUL, "mul", "*", "times", 2) QARN_XCSP_FUNCTION_END
QARN_XCSP_FUNCTION(FunctionDiv, F_DIV, "div", "/", "quotient", 2) QARN_XCSP_FUNCTION_END
QARN_XCSP_FUNCTION(FunctionMod, F_MOD, "mod", "%", "rem", 2) QARN_XCSP_FUNCTION_END
QARN_XCSP_FUNCTION(FunctionPow, F_POW, "pow", nullptr, "power", 2) QARN_XCSP_FUNCTION_END
QARN_XCSP_FUNCTION(FunctionIf, F_IF, "if", nullptr, nullptr, 3) QARN_XCSP_FUNCTION_END
QARN_XCSP_FUNCTION(FunctionMin, F_MIN, "min", nullptr, "min", 2) QARN_XCSP_FUNCTION_END
QARN_XCSP_FUNCTION(FunctionMax, F_MAX, "max", nullptr, "max", 2) QARN_XCSP_FUNCTION_END
QARN_XCSP_FUNCTION(FunctionEQ, F_EQ, "eq", "==", "eq", 2) QARN_XCSP_FUNCTION_END
QARN_XCSP_FUNCTION(FunctionNE, F_NE, "ne", "!=", "neq", 2) QARN_XCSP_FUNCTION_END
QARN_XCSP_FUNCTION(FunctionGE, F_GE, "ge", ">=", "geq", 2) QARN_XCSP_FUNCTION_END
QARN_XCSP_FUNCTION(FunctionGT, F_GT, "gt", ">", "gt", 2) QARN_XCSP_FUNCTION_END
QARN_XCSP_FUNCTION(FunctionLE, F_LE, "le", "<=", "leq", 2) QARN_XCSP_FUNCTION_END
QARN_XCSP_FUNCTION(FunctionLT, F_LT, "lt", "<", "lt", 2) QARN_XCSP_FUNCTION_END
QARN_XCSP_FUNCTION(FunctionNot, F_NOT, "not", "!", "not", 1) QARN_XCSP_FUNCTION_END
QARN_XCSP_FUNCTION(FunctionAnd, F_AND, "and", "&&", "and", 2) QARN_XCSP_FUNCTION_END
QARN_XCSP_FUNCTION(FunctionOr, F_OR, "or", "||", "or", 2) QARN_XCSP_FUNCTION_END
QARN_XCSP_FUNCTION(FunctionXor, F_XOR, "xor", "^", "xor", 2) QARN_XCSP_FUNCTION_END
QARN_XCSP_FUNCTION(FunctionIff, F_IFF, "iff", "==", "equivalent", 2) QARN_XCSP_FUNCTION_END

#undef QARN_XCSP_FUNCTION
#undef QARN_XCSP_FUNCTION_END

// Makes the leaves of the trees the readers build.
class DefaultASTFactory {
public:
    static std::unique_ptr<ASTVar> mkVar(const std::string& name, int index) {
        return std::make_unique<ASTVar>(name, index);
    }
};

} // namespace xcsp
