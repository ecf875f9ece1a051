// The grafinfo store: the text format's parser, the C++ builder, the handles
// the drivers hold, and the interpreter of the procedure language.
//
// Procedure language
// ------------------
// A procedure is a block of lines, one statement per line; '#' starts a
// comment. Names are case-sensitive.
//
//   procedure NAME {                 a procedure without parameters
//   procedure NAME(a, b, c, d) {     up to four parameters, bound in order to
//                                    the integers the caller passes
//   }
//
// Statements:
//   out8 PORT, EXPR                  port write (also out16, out32)
//   VAR = in8 PORT                   port read (also in16, in32)
//   write8 AREA, OFFSET, EXPR        memory write (also write16, write32)
//   VAR = read8 AREA, OFFSET         memory read (also read16, read32)
//   VAR = EXPR                       assignment
//   result = EXPR                    the procedure's result (0 unless set)
//   if EXPR {                        conditional; the else part may be
//   } else if EXPR {                 "} else {" or "} else if EXPR {"
//   } else {
//   }
//   repeat EXPR {                    the body EXPR times (counted once)
//   }
//   call NAME [EXPR, ...]            another procedure, arguments bound to its
//   VAR = call NAME [EXPR, ...]      parameters; the second form keeps its result
//   wait MICROS                      lets virtual time pass
//   fail                             the procedure did not run
//   return                           ends the procedure normally
//
// AREA is the name of a memory area of the configuration, or MEMORY for the
// default area; accesses go to the address the area is mapped at, so device
// models mapped there see them, and must lie inside the area.
//
// Expressions are 32-bit integers: decimal and 0x hex literals (up to
// 0xFFFFFFFF, kept as their bit pattern), variables, `$NAME` for an integer
// key of the configuration, parentheses and, from lowest to highest
// precedence: ||, &&, |, ^, &, == !=, < > <= >=, << >>, + -, * / %, and the
// unary - ~ !. Arithmetic wraps around; comparisons are signed and give 1 or
// 0; >> is a logical shift of the 32-bit pattern and a shift by a count
// outside 0..31 gives 0; && and || stop early.
//
// Variables are local to one run of a procedure. A run starts with `result`
// at 0 and the parameters bound; the video BIOS procedure ("VideoBIOS") also
// starts with eax, ebx, ecx and edx. Reading a variable never assigned, an
// absent key, an unmapped area, an access past an area's end, a division by
// zero, a port outside 0..0xFFFF or a negative count stops the procedure with
// a runtime error, reported to the simulated machine as a failure; the
// procedure then counts as not run. So do calls nested too deeply and runs
// that exceed a generous statement budget, so a bad configuration cannot hang
// or crash the caller. Blocks, and the operators, signs and parentheses of one
// expression, nest at most kMaxNesting (256) levels deep: deeper text is a
// parse error. A chain of "else if" branches is not nesting and has no bound.
#include "grafstore.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <limits>
#include <set>
#include <sstream>
#include <stdexcept>
#include <utility>

#include "machine.h"

namespace graf {

// ---------------------------------------------------------------- syntax --

namespace lang {

struct Expr {
    enum Kind { Number, Variable, Key, Unary, Binary } kind = Number;
    int32_t value = 0;
    std::string name; // variable or key
    std::string op;
    std::shared_ptr<Expr> a, b;
    int height = 0; // operators from here down to the deepest operand
};

struct Stmt {
    enum Kind { Out, In, Write, Read, Assign, If, Repeat, Call, Wait, Fail, Return } kind = Fail;
    int line = 0;
    int width = 0;      // bytes, for port and memory accesses
    std::string var;    // the assigned variable, empty for none
    std::string area;   // memory area, "" for the default one
    std::string callee; // procedure of a call
    std::shared_ptr<Expr> e1, e2, e3;
    std::vector<std::shared_ptr<Expr>> args;
    std::vector<Stmt> body, elseBody;
    // An if's "else if" branches in order, each an If with its condition and
    // body only: a long chain stays flat rather than nesting.
    std::vector<Stmt> elseIfs;
};

} // namespace lang

using lang::Expr;
using lang::Stmt;

struct Procedure {
    std::string name;
    std::string source;
    int line = 0;
    std::vector<std::string> params;
    std::vector<Stmt> body;
};

namespace {

// A parse error, carrying the line it was found on.
struct SyntaxError {
    int line;
    std::string why;
};

[[noreturn]] void syntaxError(int line, const std::string &why) {
    throw SyntaxError{line, why};
}

struct Token {
    enum Kind { Ident, Number, String, Key, Punct } kind;
    std::string text; // for String, the unescaped contents
};

bool identStart(char c) {
    return std::isalpha(static_cast<unsigned char>(c)) || c == '_';
}
bool identChar(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '_';
}

// Splits one line into tokens; a '#' outside a string ends the line.
std::vector<Token> tokenize(const std::string &s, int line) {
    static const char *const twoChar[] = {"==", "!=", "<=", ">=", "<<", ">>", "&&", "||"};
    std::vector<Token> out;
    size_t i = 0;
    while (i < s.size()) {
        char c = s[i];
        if (std::isspace(static_cast<unsigned char>(c))) {
            ++i;
        } else if (c == '#') {
            break;
        } else if (identStart(c)) {
            size_t j = i;
            while (j < s.size() && identChar(s[j]))
                ++j;
            out.push_back({Token::Ident, s.substr(i, j - i)});
            i = j;
        } else if (std::isdigit(static_cast<unsigned char>(c))) {
            size_t j = i;
            while (j < s.size() && identChar(s[j]))
                ++j;
            out.push_back({Token::Number, s.substr(i, j - i)});
            i = j;
        } else if (c == '$') {
            size_t j = i + 1;
            if (j >= s.size() || !identStart(s[j]))
                syntaxError(line, "'$' must be followed by a key name");
            while (j < s.size() && identChar(s[j]))
                ++j;
            out.push_back({Token::Key, s.substr(i + 1, j - i - 1)});
            i = j;
        } else if (c == '"') {
            std::string text;
            size_t j = i + 1;
            for (;; ++j) {
                if (j >= s.size())
                    syntaxError(line, "unterminated string");
                if (s[j] == '"')
                    break;
                if (s[j] == '\\') {
                    if (++j >= s.size())
                        syntaxError(line, "unterminated string");
                    switch (s[j]) {
                    case '"':
                    case '\\':
                        text += s[j];
                        break;
                    case 'n':
                        text += '\n';
                        break;
                    case 't':
                        text += '\t';
                        break;
                    default:
                        syntaxError(line, std::string("bad escape '\\") + s[j] + "' in string");
                    }
                } else {
                    text += s[j];
                }
            }
            out.push_back({Token::String, text});
            i = j + 1;
        } else {
            std::string two = s.substr(i, 2);
            bool isTwo =
                std::find(std::begin(twoChar), std::end(twoChar), two) != std::end(twoChar);
            std::string one(1, c);
            if (!isTwo && std::string("+-*/%&|^~!<>=(),{}").find(c) == std::string::npos)
                syntaxError(line, "unexpected character '" + one + "'");
            out.push_back({Token::Punct, isTwo ? two : one});
            i += isTwo ? 2 : 1;
        }
    }
    return out;
}

// A literal: decimal or 0x hex, at most 0xFFFFFFFF. False when malformed.
bool parseLiteral(const std::string &t, uint32_t &out) {
    int base = 10;
    size_t i = 0;
    if (t.size() > 2 && t[0] == '0' && (t[1] == 'x' || t[1] == 'X')) {
        base = 16;
        i = 2;
    }
    if (i >= t.size())
        return false;
    uint64_t v = 0;
    for (; i < t.size(); ++i) {
        char c = static_cast<char>(std::tolower(static_cast<unsigned char>(t[i])));
        int d;
        if (c >= '0' && c <= '9')
            d = c - '0';
        else if (base == 16 && c >= 'a' && c <= 'f')
            d = c - 'a' + 10;
        else
            return false;
        v = v * base + d;
        if (v > 0xFFFFFFFFu)
            return false;
    }
    out = static_cast<uint32_t>(v);
    return true;
}

bool isPunct(const Token &t, const char *p) {
    return t.kind == Token::Punct && t.text == p;
}
bool isWord(const Token &t, const char *w) {
    return t.kind == Token::Ident && t.text == w;
}

// Words that start a statement or an access and so cannot name a variable.
bool reserved(const std::string &w) {
    static const std::set<std::string> words = {
        "out8",    "out16",   "out32", "in8",    "in16",   "in32",     "write8",
        "write16", "write32", "read8", "read16", "read32", "if",       "else",
        "repeat",  "call",    "wait",  "fail",   "return", "procedure"};
    return words.count(w) != 0;
}

// Access width from the suffix of out8/in16/write32/...: 0 when not one.
int accessWidth(const std::string &word, const std::string &stem) {
    if (word.rfind(stem, 0) != 0)
        return 0;
    std::string bits = word.substr(stem.size());
    return bits == "8" ? 1 : bits == "16" ? 2 : bits == "32" ? 4 : 0;
}

// Recursive descent over the tokens of one line.
class LineParser {
  public:
    LineParser(const std::vector<Token> &t, int line) : t_(t), line_(line) {}

    bool atEnd() const { return pos_ >= t_.size(); }
    const Token *peek(size_t ahead = 0) const {
        return pos_ + ahead < t_.size() ? &t_[pos_ + ahead] : nullptr;
    }
    const Token &next() {
        if (atEnd())
            syntaxError(line_, "unexpected end of line");
        return t_[pos_++];
    }
    void expectPunct(const char *p) {
        const Token *t = peek();
        if (!t || !isPunct(*t, p))
            syntaxError(line_, std::string("expected '") + p + "'" + found());
        ++pos_;
    }
    std::string ident(const char *what) {
        const Token *t = peek();
        if (!t || t->kind != Token::Ident)
            syntaxError(line_, std::string("expected ") + what + found());
        ++pos_;
        return t->text;
    }
    void expectEnd() {
        if (!atEnd())
            syntaxError(line_, "unexpected '" + t_[pos_].text + "' at end of statement");
    }
    // The text of the next token for messages.
    std::string found() const {
        return atEnd() ? " at end of line" : ", found '" + t_[pos_].text + "'";
    }

    std::shared_ptr<Expr> expr() { return binary(0); }

  private:
    static int precedence(const std::string &op) {
        static const std::pair<const char *, int> table[] = {
            {"||", 1}, {"&&", 2}, {"|", 3}, {"^", 4},  {"&", 5},  {"==", 6},
            {"!=", 6}, {"<", 7},  {">", 7}, {"<=", 7}, {">=", 7}, {"<<", 8},
            {">>", 8}, {"+", 9},  {"-", 9}, {"*", 10}, {"/", 10}, {"%", 10}};
        for (const auto &[o, p] : table)
            if (op == o)
                return p;
        return -1;
    }

    // One level of parentheses or unary signs: the parser recurses once per
    // level, so the levels are bounded before the stack is.
    class Level {
      public:
        explicit Level(LineParser &p) : p_(p) {
            if (++p_.open_ > kMaxNesting)
                p_.tooDeep();
        }
        ~Level() { --p_.open_; }
        Level(const Level &) = delete;
        Level &operator=(const Level &) = delete;

      private:
        LineParser &p_;
    };

    [[noreturn]] void tooDeep() const {
        syntaxError(line_,
                    "expression nested more than " + std::to_string(kMaxNesting) + " levels deep");
    }

    // An operator node over its operands. A chain of operators grows the tree
    // without recursing while parsing it, so the tree's height is bounded too:
    // the interpreter evaluates it recursively.
    std::shared_ptr<Expr> node(Expr::Kind kind, const std::string &op, std::shared_ptr<Expr> a,
                               std::shared_ptr<Expr> b) {
        auto e = std::make_shared<Expr>();
        e->kind = kind;
        e->op = op;
        e->height = 1 + std::max(a->height, b ? b->height : 0);
        if (e->height > kMaxNesting)
            tooDeep();
        e->a = std::move(a);
        e->b = std::move(b);
        return e;
    }

    std::shared_ptr<Expr> binary(int minPrec) {
        auto lhs = unary();
        for (;;) {
            const Token *t = peek();
            if (!t || t->kind != Token::Punct)
                return lhs;
            int p = precedence(t->text);
            if (p < 0 || p <= minPrec)
                return lhs;
            ++pos_;
            auto rhs = binary(p);
            lhs = node(Expr::Binary, t->text, std::move(lhs), std::move(rhs));
        }
    }

    std::shared_ptr<Expr> unary() {
        const Token *t = peek();
        if (t && (isPunct(*t, "-") || isPunct(*t, "~") || isPunct(*t, "!"))) {
            Level level(*this);
            ++pos_;
            return node(Expr::Unary, t->text, unary(), nullptr);
        }
        return primary();
    }

    std::shared_ptr<Expr> primary() {
        const Token *t = peek();
        if (!t)
            syntaxError(line_, "expected an expression at end of line");
        auto e = std::make_shared<Expr>();
        switch (t->kind) {
        case Token::Number: {
            uint32_t v;
            if (!parseLiteral(t->text, v))
                syntaxError(line_, "bad number '" + t->text + "'");
            e->kind = Expr::Number;
            e->value = static_cast<int32_t>(v);
            break;
        }
        case Token::Ident:
            if (reserved(t->text))
                syntaxError(line_, "'" + t->text + "' cannot be used in an expression");
            e->kind = Expr::Variable;
            e->name = t->text;
            break;
        case Token::Key:
            e->kind = Expr::Key;
            e->name = t->text;
            break;
        case Token::Punct:
            if (t->text == "(") {
                Level level(*this);
                ++pos_;
                e = expr();
                expectPunct(")");
                return e;
            }
            [[fallthrough]];
        default:
            syntaxError(line_, "expected an expression" + found());
        }
        ++pos_;
        return e;
    }

    const std::vector<Token> &t_;
    int line_;
    size_t pos_ = 0;
    int open_ = 0; // parentheses and unary signs around the current token
};

// Lines of a file or of a builder's procedure text, with their numbers.
struct Lines {
    std::vector<std::string> text;
    int firstNumber = 1;
    size_t next = 0;
    int depth = 0; // blocks open around the next line
    int numberOf(size_t index) const { return firstNumber + static_cast<int>(index); }
};

std::vector<std::string> splitLines(const std::string &s) {
    std::vector<std::string> out;
    std::string line;
    std::istringstream in(s);
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        out.push_back(line);
    }
    return out;
}

// How a block of statements ended.
struct BlockEnd {
    enum Kind { Close, Else, ElseIf } kind;
    std::vector<Token> tokens; // the "} else if EXPR {" line
    int line;
};

std::vector<Stmt> parseBlock(Lines &lines, int openLine, BlockEnd &end);

// "if EXPR {" (or the tail of "} else if EXPR {") and everything to its '}'.
Stmt parseIf(Lines &lines, LineParser &p, int line) {
    Stmt s;
    s.kind = Stmt::If;
    s.line = line;
    s.e1 = p.expr();
    p.expectPunct("{");
    p.expectEnd();
    BlockEnd end{};
    s.body = parseBlock(lines, line, end);
    while (end.kind == BlockEnd::ElseIf) {
        Stmt branch;
        branch.kind = Stmt::If;
        branch.line = end.line;
        {
            LineParser tail(end.tokens, end.line);
            tail.next(); // }
            tail.next(); // else
            tail.next(); // if
            branch.e1 = tail.expr();
            tail.expectPunct("{");
            tail.expectEnd();
        }
        const int opened = end.line;
        end = BlockEnd{};
        branch.body = parseBlock(lines, opened, end);
        s.elseIfs.push_back(std::move(branch));
    }
    if (end.kind == BlockEnd::Else) {
        BlockEnd elseEnd{};
        s.elseBody = parseBlock(lines, end.line, elseEnd);
        if (elseEnd.kind != BlockEnd::Close)
            syntaxError(elseEnd.line, "'else' without 'if'");
    }
    return s;
}

// The optional "EXPR, EXPR, ..." after "call NAME".
void parseCallArgs(LineParser &p, Stmt &s) {
    if (p.atEnd())
        return;
    for (;;) {
        s.args.push_back(p.expr());
        if (p.atEnd())
            break;
        p.expectPunct(",");
    }
}

// "VAR = ..." forms.
Stmt parseAssignment(LineParser &p, const std::string &var, int line) {
    Stmt s;
    s.line = line;
    s.var = var;
    const Token *t = p.peek();
    int w;
    if (t && t->kind == Token::Ident && (w = accessWidth(t->text, "in")) != 0) {
        p.next();
        s.kind = Stmt::In;
        s.width = w;
        s.e1 = p.expr();
    } else if (t && t->kind == Token::Ident && (w = accessWidth(t->text, "read")) != 0) {
        p.next();
        s.kind = Stmt::Read;
        s.width = w;
        s.area = p.ident("a memory area name");
        if (s.area == "MEMORY")
            s.area.clear();
        p.expectPunct(",");
        s.e1 = p.expr();
    } else if (t && isWord(*t, "call")) {
        p.next();
        s.kind = Stmt::Call;
        s.callee = p.ident("a procedure name");
        parseCallArgs(p, s);
    } else {
        s.kind = Stmt::Assign;
        s.e1 = p.expr();
    }
    p.expectEnd();
    return s;
}

Stmt parseStatement(Lines &lines, const std::vector<Token> &tokens, int line) {
    LineParser p(tokens, line);
    const Token &first = p.next();
    if (first.kind != Token::Ident)
        syntaxError(line, "unknown procedure statement '" + first.text + "'");
    const std::string &w = first.text;
    Stmt s;
    s.line = line;
    int width;
    if ((width = accessWidth(w, "out")) != 0) {
        s.kind = Stmt::Out;
        s.width = width;
        s.e1 = p.expr();
        p.expectPunct(",");
        s.e2 = p.expr();
    } else if ((width = accessWidth(w, "write")) != 0) {
        s.kind = Stmt::Write;
        s.width = width;
        s.area = p.ident("a memory area name");
        if (s.area == "MEMORY")
            s.area.clear();
        p.expectPunct(",");
        s.e1 = p.expr();
        p.expectPunct(",");
        s.e2 = p.expr();
    } else if (w == "if") {
        return parseIf(lines, p, line);
    } else if (w == "repeat") {
        s.kind = Stmt::Repeat;
        s.e1 = p.expr();
        p.expectPunct("{");
        p.expectEnd();
        BlockEnd end{};
        s.body = parseBlock(lines, line, end);
        if (end.kind != BlockEnd::Close)
            syntaxError(end.line, "'else' without 'if'");
        return s;
    } else if (w == "call") {
        s.kind = Stmt::Call;
        s.callee = p.ident("a procedure name");
        parseCallArgs(p, s);
    } else if (w == "wait") {
        s.kind = Stmt::Wait;
        s.e1 = p.expr();
    } else if (w == "fail") {
        s.kind = Stmt::Fail;
    } else if (w == "return") {
        s.kind = Stmt::Return;
    } else if (p.peek() && isPunct(*p.peek(), "=")) {
        if (reserved(w))
            syntaxError(line, "'" + w + "' cannot be assigned");
        p.next();
        return parseAssignment(p, w, line);
    } else {
        syntaxError(line, "unknown procedure statement '" + w + "'");
    }
    p.expectEnd();
    return s;
}

// Statements up to the '}' (or "} else ...") closing a block opened on
// `openLine`.
std::vector<Stmt> parseBlock(Lines &lines, int openLine, BlockEnd &end) {
    // Blocks are parsed (and run) recursively: their depth is bounded first.
    if (lines.depth >= kMaxNesting)
        syntaxError(openLine,
                    "blocks nested more than " + std::to_string(kMaxNesting) + " levels deep");
    struct Open {
        int &depth;
        explicit Open(int &d) : depth(++d) {}
        ~Open() { --depth; }
    } open{lines.depth};
    std::vector<Stmt> out;
    while (lines.next < lines.text.size()) {
        int line = lines.numberOf(lines.next);
        std::vector<Token> t = tokenize(lines.text[lines.next++], line);
        if (t.empty())
            continue;
        if (isPunct(t[0], "}")) {
            end.line = line;
            end.tokens = t;
            if (t.size() == 1) {
                end.kind = BlockEnd::Close;
            } else if (isWord(t[1], "else") && t.size() == 3 && isPunct(t[2], "{")) {
                end.kind = BlockEnd::Else;
            } else if (isWord(t[1], "else") && t.size() > 2 && isWord(t[2], "if")) {
                end.kind = BlockEnd::ElseIf;
            } else if (isWord(t[1], "else")) {
                syntaxError(line, "expected '{' or 'if' after 'else'");
            } else {
                syntaxError(line, "unexpected '" + t[1].text + "' after '}'");
            }
            return out;
        }
        out.push_back(parseStatement(lines, t, line));
    }
    syntaxError(openLine, "missing '}' for the block opened here");
}

// "NAME" or "NAME(a, b, ...)", then what follows.
std::shared_ptr<Procedure> parseHeader(LineParser &p, int line) {
    auto proc = std::make_shared<Procedure>();
    proc->line = line;
    proc->name = p.ident("a procedure name");
    if (p.peek() && isPunct(*p.peek(), "(")) {
        p.next();
        while (!(p.peek() && isPunct(*p.peek(), ")"))) {
            if (!proc->params.empty())
                p.expectPunct(",");
            std::string name = p.ident("a parameter name");
            if (reserved(name) || name == "result")
                syntaxError(line, "'" + name + "' cannot name a parameter");
            if (std::find(proc->params.begin(), proc->params.end(), name) != proc->params.end())
                syntaxError(line, "duplicate parameter '" + name + "'");
            proc->params.push_back(name);
        }
        p.next();
        if (proc->params.size() > 4)
            syntaxError(line, "a procedure takes at most 4 parameters");
    }
    return proc;
}

// ----------------------------------------------------------- top level --

void addProcedure(Config &c, std::shared_ptr<Procedure> proc, int line) {
    if (c.procedures.count(proc->name))
        syntaxError(line, "duplicate procedure '" + proc->name + "'");
    c.procedures[proc->name] = std::move(proc);
}

bool keyExists(const Config &c, const std::string &name) {
    return c.ints.count(name) || c.strings.count(name) ||
           std::find(c.flags.begin(), c.flags.end(), name) != c.flags.end();
}

std::string keyName(LineParser &p, const Config &c, int line) {
    std::string name = p.ident("a key name");
    if (keyExists(c, name))
        syntaxError(line, "duplicate key '" + name + "'");
    return name;
}

uint32_t unsignedValue(LineParser &p, int line, const char *what) {
    const Token *t = p.peek();
    uint32_t v;
    if (!t || t->kind != Token::Number || !parseLiteral(t->text, v))
        syntaxError(line, std::string("bad number for ") + what +
                              (t ? " '" + t->text + "'" : std::string(" (missing)")));
    p.next();
    return v;
}

void parseInt(LineParser &p, Config &c, int line) {
    std::string name = keyName(p, c, line);
    p.expectPunct("=");
    bool negative = p.peek() && isPunct(*p.peek(), "-");
    if (negative)
        p.next();
    const Token *t = p.peek();
    uint32_t v;
    if (!t || t->kind != Token::Number || !parseLiteral(t->text, v) ||
        (negative && v > 0x80000000u))
        syntaxError(line, "bad number" + (t ? " '" + t->text + "'" : std::string(" (missing)")));
    p.next();
    p.expectEnd();
    c.ints[name] = static_cast<int32_t>(negative ? 0u - v : v);
}

void parseString(LineParser &p, Config &c, int line) {
    std::string name = keyName(p, c, line);
    p.expectPunct("=");
    const Token *t = p.peek();
    if (!t || t->kind != Token::String)
        syntaxError(line, "expected a quoted string" + p.found());
    p.next();
    p.expectEnd();
    c.strings[name] = t->text;
}

void parseMemory(LineParser &p, Config &c, int line) {
    MemoryArea a;
    if (p.peek() && p.peek()->kind == Token::Ident) {
        a.name = p.next().text;
        if (a.name == "MEMORY")
            a.name.clear();
    }
    a.physBase = unsignedValue(p, line, "the base");
    a.length = unsignedValue(p, line, "the length");
    p.expectEnd();
    if (a.length == 0)
        syntaxError(line, "memory area of length 0");
    if (uint64_t(a.physBase) + a.length > 0x100000000ull)
        syntaxError(line, "memory area reaches past 4 GB");
    for (const MemoryArea &o : c.areas)
        if (o.name == a.name)
            syntaxError(line, "duplicate memory area '" +
                                  (a.name.empty() ? std::string("MEMORY") : a.name) + "'");
    c.areas.push_back(a);
}

void parseTopLevel(Lines &lines, Config &c) {
    while (lines.next < lines.text.size()) {
        int line = lines.numberOf(lines.next);
        std::vector<Token> t = tokenize(lines.text[lines.next++], line);
        if (t.empty())
            continue;
        LineParser p(t, line);
        const Token &first = p.next();
        if (isWord(first, "int")) {
            parseInt(p, c, line);
        } else if (isWord(first, "string")) {
            parseString(p, c, line);
        } else if (isWord(first, "flag")) {
            std::string name = keyName(p, c, line);
            p.expectEnd();
            c.flags.push_back(name);
        } else if (isWord(first, "memory")) {
            parseMemory(p, c, line);
        } else if (isWord(first, "adapter")) {
            std::string model = p.ident("an adapter model");
            p.expectEnd();
            if (!c.adapter.empty())
                syntaxError(line, "duplicate adapter");
            c.adapter = model;
        } else if (isWord(first, "procedure")) {
            auto proc = parseHeader(p, line);
            proc->source = c.source;
            p.expectPunct("{");
            if (p.peek() && isPunct(*p.peek(), "}")) { // an empty procedure on one line
                p.next();
                p.expectEnd();
            } else {
                p.expectEnd();
                BlockEnd end{};
                proc->body = parseBlock(lines, line, end);
                if (end.kind != BlockEnd::Close)
                    syntaxError(end.line, "'else' without 'if'");
            }
            addProcedure(c, std::move(proc), line);
        } else {
            syntaxError(line, "unknown statement '" + first.text + "'");
        }
    }
}

} // namespace

bool parse(const std::string &text, const std::string &fileName, Config &out, std::string &error) {
    Config c;
    c.source = fileName;
    Lines lines;
    lines.text = splitLines(text);
    try {
        parseTopLevel(lines, c);
    } catch (const SyntaxError &e) {
        error = fileName + ":" + std::to_string(e.line) + ": " + e.why;
        return false;
    }
    out = std::move(c);
    return true;
}

namespace {

// Why a file of this kind is not read as a configuration; empty for a
// regular file.
std::string notAFile(const struct stat &st) {
    if (S_ISREG(st.st_mode))
        return "";
    if (S_ISDIR(st.st_mode))
        return "is a directory";
    return S_ISFIFO(st.st_mode)   ? "is a pipe, not a regular file"
           : S_ISCHR(st.st_mode)  ? "is a device, not a regular file"
           : S_ISBLK(st.st_mode)  ? "is a device, not a regular file"
           : S_ISSOCK(st.st_mode) ? "is a socket, not a regular file"
                                  : "is not a regular file";
}

std::string tooLarge() {
    return "larger than " + std::to_string(kMaxFileBytes >> 20) +
           " MB, too large for a grafinfo file";
}

} // namespace

bool load(const std::string &path, Config &out, std::string &error) {
    // The kind is known before opening: opening a pipe with no writer, or
    // some devices, would block or act.
    struct stat st {};
    if (stat(path.c_str(), &st) != 0) {
        error = path + ": cannot open file";
        return false;
    }
    std::string why = notAFile(st);
    if (!why.empty()) {
        error = path + ": " + why;
        return false;
    }
    // The name may have been replaced since: O_NONBLOCK keeps even a pipe
    // from blocking the open, and the file opened is judged again.
    int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        error = path + ": cannot open file";
        return false;
    }
    struct Closer {
        int fd;
        ~Closer() { ::close(fd); }
    } closer{fd};
    if (fstat(fd, &st) != 0 || !(why = notAFile(st)).empty()) {
        error = path + ": " + (why.empty() ? std::string("cannot open file") : why);
        return false;
    }
    if (st.st_size > kMaxFileBytes) {
        error = path + ": " + tooLarge();
        return false;
    }
    // Read to the end, within the bound however the file grows meanwhile.
    std::string text;
    text.reserve(static_cast<size_t>(st.st_size));
    char chunk[1 << 16];
    for (;;) {
        ssize_t n = ::read(fd, chunk, sizeof chunk);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            error = path + ": cannot read: " + std::strerror(errno);
            return false;
        }
        if (n == 0)
            break;
        if (text.size() + static_cast<size_t>(n) > static_cast<size_t>(kMaxFileBytes)) {
            error = path + ": " + tooLarge();
            return false;
        }
        text.append(chunk, static_cast<size_t>(n));
    }
    return parse(text, path, out, error);
}

// ------------------------------------------------------------- builder --

Builder &Builder::adapter(const std::string &m) {
    c_.adapter = m;
    return *this;
}

Builder &Builder::integer(const std::string &name, int v) {
    c_.ints[name] = v;
    return *this;
}

Builder &Builder::string(const std::string &name, const std::string &v) {
    c_.strings[name] = v;
    return *this;
}

Builder &Builder::flag(const std::string &name) {
    if (std::find(c_.flags.begin(), c_.flags.end(), name) == c_.flags.end())
        c_.flags.push_back(name);
    return *this;
}

Builder &Builder::memory(const std::string &name, uint32_t base, uint32_t length) {
    std::string n = name == "MEMORY" ? std::string() : name;
    std::erase_if(c_.areas, [&](const MemoryArea &a) { return a.name == n; });
    c_.areas.push_back(MemoryArea{n, base, length, nullptr});
    return *this;
}

Builder &Builder::procedure(const std::string &name, const std::string &code) {
    // The name may carry a parameter list: "SetMode(a, b, c, d)".
    std::string source = c_.source.empty() ? "procedure " + name : c_.source;
    Lines lines;
    lines.text = splitLines(code);
    const int codeLines = static_cast<int>(lines.text.size());
    lines.text.push_back("}");
    bool inBody = false;
    try {
        std::vector<Token> t = tokenize(name, 0);
        LineParser p(t, 0);
        auto proc = parseHeader(p, 0);
        p.expectEnd();
        proc->source = source;
        inBody = true;
        BlockEnd end{};
        proc->body = parseBlock(lines, 0, end);
        if (end.kind != BlockEnd::Close)
            syntaxError(end.line, "'else' without 'if'");
        if (lines.next != lines.text.size())
            syntaxError(lines.numberOf(lines.next - 1), "unexpected '}'");
        c_.procedures[proc->name] = std::move(proc);
    } catch (const SyntaxError &e) {
        // An inner block left open is closed by the '}' added above, so the
        // missing brace is only noticed after the last line of the code.
        if (inBody && e.line == 0)
            throw std::runtime_error(source + ":" + std::to_string(std::max(1, codeLines)) +
                                     ": missing '}'");
        throw std::runtime_error(source + ":" + std::to_string(e.line) + ": " + e.why);
    }
    return *this;
}

Builder &Builder::without(const std::string &name) {
    c_.ints.erase(name);
    c_.strings.erase(name);
    std::erase(c_.flags, name);
    std::string area = name == "MEMORY" ? std::string() : name;
    std::erase_if(c_.areas, [&](const MemoryArea &a) { return a.name == area; });
    c_.procedures.erase(name);
    return *this;
}

} // namespace graf

// ------------------------------------------------------------- handles --

struct _GrafCode {
    GrafinfoHandle handle;
    std::string procedure;
};

struct _GrafinfoData {
    graf::Config config;
    std::set<std::string> failing;
    std::map<std::string, std::unique_ptr<_GrafCode>> codes;
};

namespace graf {

namespace {

std::vector<std::unique_ptr<_GrafinfoData>> &handles() {
    static std::vector<std::unique_ptr<_GrafinfoData>> all;
    return all;
}

std::vector<Run> &mutableRunLog() {
    static std::vector<Run> log;
    return log;
}

_GrafinfoData *dataOf(GrafinfoHandle h) {
    if (!h)
        return nullptr;
    for (auto &d : handles())
        if (d.get() == h)
            return d.get();
    return nullptr;
}

} // namespace

GrafinfoHandle makeHandle(const Config &c) {
    auto d = std::make_unique<_GrafinfoData>();
    d->config = c;
    handles().push_back(std::move(d));
    return handles().back().get();
}

Config &configOf(GrafinfoHandle h) {
    _GrafinfoData *d = dataOf(h);
    if (!d)
        throw std::invalid_argument("configOf: not a grafinfo handle of the store");
    return d->config;
}

Config *findConfig(GrafinfoHandle h) {
    _GrafinfoData *d = dataOf(h);
    return d ? &d->config : nullptr;
}

void release(GrafinfoHandle h) {
    auto &all = handles();
    for (auto it = all.begin(); it != all.end(); ++it)
        if (it->get() == h) {
            all.erase(it);
            return;
        }
}

void releaseAll() {
    handles().clear();
}

const std::vector<Run> &runLog() {
    return mutableRunLog();
}
void clearRunLog() {
    mutableRunLog().clear();
}

void setProcedureFails(GrafinfoHandle h, const std::string &name, bool fails) {
    _GrafinfoData *d = dataOf(h);
    if (!d)
        return;
    if (fails)
        d->failing.insert(name);
    else
        d->failing.erase(name);
}

int parameterCount(GrafinfoHandle h, const std::string &procedure) {
    const Config *c = findConfig(h);
    if (!c)
        return -1;
    auto it = c->procedures.find(procedure);
    return it == c->procedures.end() ? -1 : static_cast<int>(it->second->params.size());
}

// --------------------------------------------------------- interpreter --

namespace {

constexpr int maxCallDepth = 32;
// Each procedure's blocks nest at most kMaxNesting deep, but calls stack them:
// the blocks open across the calls of a run are bounded as well, within what
// the stack of a sanitizer build holds several times over.
constexpr int maxRunNesting = 4 * kMaxNesting;
constexpr uint64_t maxStatements = 16u << 20;

struct RuntimeError {
    const Procedure *proc;
    int line;
    std::string why;
};
struct FailSignal {};
struct ReturnSignal {};

class Interpreter {
  public:
    explicit Interpreter(const Config &c) : c_(c) {}

    // Runs `proc` with `vars` as its starting variables; returns the result.
    int32_t run(const Procedure &proc, Variables &vars) {
        ++depth_;
        struct Leave {
            int &d;
            ~Leave() { --d; }
        } leave{depth_};
        vars["result"] = 0;
        Frame f{proc, vars};
        try {
            block(f, proc.body, proc.line);
        } catch (const ReturnSignal &) {
        }
        return vars["result"];
    }

  private:
    struct Frame {
        const Procedure &proc;
        Variables &vars;
    };

    [[noreturn]] void error(const Frame &f, int line, const std::string &why) {
        throw RuntimeError{&f.proc, line, why};
    }

    // The statements of a block opened on `line`.
    void block(Frame &f, const std::vector<Stmt> &body, int line) {
        if (nesting_ >= maxRunNesting)
            error(f, line,
                  "blocks nested more than " + std::to_string(maxRunNesting) +
                      " levels deep through calls");
        struct Open {
            int &n;
            explicit Open(int &v) : n(++v) {}
            ~Open() { --n; }
        } open{nesting_};
        for (const Stmt &s : body)
            statement(f, s);
    }

    // Every statement and every turn of a loop counts against the budget.
    void tick(Frame &f, int line) {
        if (++statements_ > maxStatements)
            error(f, line, "statement budget exceeded (runaway loop?)");
    }

    void statement(Frame &f, const Stmt &s) {
        tick(f, s.line);
        sim::Machine &m = sim::Machine::current();
        switch (s.kind) {
        case Stmt::Out:
            m.portOut(port(f, s), s.width, truncate(eval(f, *s.e2, s.line), s.width));
            break;
        case Stmt::In:
            f.vars[s.var] = static_cast<int32_t>(truncate(m.portIn(port(f, s), s.width), s.width));
            break;
        case Stmt::Write:
            m.memWrite(address(f, s), s.width, truncate(eval(f, *s.e2, s.line), s.width));
            break;
        case Stmt::Read:
            f.vars[s.var] =
                static_cast<int32_t>(truncate(m.memRead(address(f, s), s.width), s.width));
            break;
        case Stmt::Assign:
            f.vars[s.var] = eval(f, *s.e1, s.line);
            break;
        case Stmt::If: {
            const std::vector<Stmt> *taken = &s.elseBody;
            if (eval(f, *s.e1, s.line)) {
                taken = &s.body;
            } else {
                for (const Stmt &branch : s.elseIfs)
                    if (eval(f, *branch.e1, branch.line)) {
                        taken = &branch.body;
                        break;
                    }
            }
            block(f, *taken, s.line);
            break;
        }
        case Stmt::Repeat: {
            int32_t n = eval(f, *s.e1, s.line);
            if (n < 0)
                error(f, s.line, "negative repeat count " + std::to_string(n));
            for (int32_t i = 0; i < n; ++i) {
                tick(f, s.line);
                block(f, s.body, s.line);
            }
            break;
        }
        case Stmt::Call:
            call(f, s);
            break;
        case Stmt::Wait: {
            int32_t us = eval(f, *s.e1, s.line);
            if (us < 0)
                error(f, s.line, "negative wait " + std::to_string(us));
            m.advance(static_cast<uint64_t>(us));
            break;
        }
        case Stmt::Fail:
            throw FailSignal{};
        case Stmt::Return:
            throw ReturnSignal{};
        }
    }

    static uint32_t truncate(uint32_t v, int width) {
        return width == 1 ? v & 0xFFu : width == 2 ? v & 0xFFFFu : v;
    }

    uint16_t port(Frame &f, const Stmt &s) {
        int32_t p = eval(f, *s.e1, s.line);
        if (p < 0 || p > 0xFFFF)
            error(f, s.line, "port " + std::to_string(p) + " out of range");
        return static_cast<uint16_t>(p);
    }

    volatile void *address(Frame &f, const Stmt &s) {
        std::string shown = s.area.empty() ? "MEMORY" : s.area;
        auto it = std::find_if(c_.areas.begin(), c_.areas.end(),
                               [&](const MemoryArea &a) { return a.name == s.area; });
        if (it == c_.areas.end())
            error(f, s.line, "no memory area " + shown);
        if (!it->mapped)
            error(f, s.line, "memory area " + shown + " is not mapped");
        int32_t off = eval(f, *s.e1, s.line);
        if (off < 0 || uint64_t(static_cast<uint32_t>(off)) + s.width > it->length)
            error(f, s.line, "offset " + std::to_string(off) + " outside memory area " + shown);
        return static_cast<uint8_t *>(it->mapped) + off;
    }

    void call(Frame &f, const Stmt &s) {
        auto it = c_.procedures.find(s.callee);
        if (it == c_.procedures.end())
            error(f, s.line, "no procedure " + s.callee);
        const Procedure &callee = *it->second;
        if (depth_ >= maxCallDepth)
            error(f, s.line, "calls nested too deeply");
        if (s.args.size() > callee.params.size())
            error(f, s.line, "too many arguments for " + s.callee);
        Variables vars;
        for (size_t i = 0; i < callee.params.size(); ++i)
            vars[callee.params[i]] = i < s.args.size() ? eval(f, *s.args[i], s.line) : 0;
        int32_t r = run(callee, vars);
        if (!s.var.empty())
            f.vars[s.var] = r;
    }

    int32_t eval(Frame &f, const Expr &e, int line) {
        switch (e.kind) {
        case Expr::Number:
            return e.value;
        case Expr::Variable: {
            auto it = f.vars.find(e.name);
            if (it == f.vars.end())
                error(f, line, "variable " + e.name + " read before it is set");
            return it->second;
        }
        case Expr::Key: {
            auto it = c_.ints.find(e.name);
            if (it == c_.ints.end())
                error(f, line, "no integer key " + e.name);
            return it->second;
        }
        case Expr::Unary: {
            uint32_t a = static_cast<uint32_t>(eval(f, *e.a, line));
            if (e.op == "-")
                return static_cast<int32_t>(0u - a);
            if (e.op == "~")
                return static_cast<int32_t>(~a);
            return a == 0;
        }
        case Expr::Binary:
            return binary(f, e, line);
        }
        return 0;
    }

    int32_t binary(Frame &f, const Expr &e, int line) {
        const std::string &op = e.op;
        int32_t a = eval(f, *e.a, line);
        if (op == "&&")
            return a && eval(f, *e.b, line);
        if (op == "||")
            return a || eval(f, *e.b, line);
        int32_t b = eval(f, *e.b, line);
        uint32_t ua = static_cast<uint32_t>(a), ub = static_cast<uint32_t>(b);
        if (op == "+")
            return static_cast<int32_t>(ua + ub);
        if (op == "-")
            return static_cast<int32_t>(ua - ub);
        if (op == "*")
            return static_cast<int32_t>(ua * ub);
        if (op == "/" || op == "%") {
            if (b == 0)
                error(f, line, "division by zero");
            // INT_MIN / -1 overflows in 32 bits; 64-bit arithmetic wraps it instead.
            int64_t q = int64_t(a) / b, r = int64_t(a) % b;
            return static_cast<int32_t>(static_cast<uint32_t>(op == "/" ? q : r));
        }
        if (op == "&")
            return a & b;
        if (op == "|")
            return a | b;
        if (op == "^")
            return a ^ b;
        if (op == "<<")
            return b < 0 || b > 31 ? 0 : static_cast<int32_t>(ua << b);
        if (op == ">>")
            return b < 0 || b > 31 ? 0 : static_cast<int32_t>(ua >> b);
        if (op == "==")
            return a == b;
        if (op == "!=")
            return a != b;
        if (op == "<")
            return a < b;
        if (op == ">")
            return a > b;
        if (op == "<=")
            return a <= b;
        return a >= b; // ">="
    }

    const Config &c_;
    int depth_ = 0;
    int nesting_ = 0; // blocks open, through every call of the run
    uint64_t statements_ = 0;
};

} // namespace

bool runProcedure(GrafinfoHandle h, const std::string &procedure, const std::vector<int> &args,
                  Variables &vars, int &result) {
    _GrafinfoData *d = dataOf(h);
    if (!d)
        return false;
    auto it = d->config.procedures.find(procedure);
    if (it == d->config.procedures.end())
        return false;
    const Procedure &proc = *it->second;
    if (d->failing.count(procedure)) {
        mutableRunLog().push_back(Run{procedure, 0, false});
        return false;
    }
    for (size_t i = 0; i < proc.params.size() && i < args.size(); ++i)
        vars[proc.params[i]] = args[i];
    for (size_t i = args.size(); i < proc.params.size(); ++i)
        vars.try_emplace(proc.params[i], 0);
    Interpreter interp(d->config);
    try {
        result = interp.run(proc, vars);
    } catch (const FailSignal &) {
        mutableRunLog().push_back(Run{procedure, 0, false});
        return false;
    } catch (const RuntimeError &e) {
        mutableRunLog().push_back(Run{procedure, 0, false});
        std::string src = e.proc->source.empty() ? "grafinfo" : e.proc->source;
        sim::Machine::current().fail(src + ":" + std::to_string(e.line) + ": procedure " +
                                     e.proc->name + ": " + e.why);
        return false;
    }
    mutableRunLog().push_back(Run{procedure, result, true});
    return true;
}

GrafCode codeOf(GrafinfoHandle h, const std::string &procedure) {
    _GrafinfoData *d = dataOf(h);
    if (!d || !d->config.procedures.count(procedure))
        return nullptr;
    auto &slot = d->codes[procedure];
    if (!slot)
        slot = std::make_unique<_GrafCode>(_GrafCode{h, procedure});
    return slot.get();
}

bool runCode(GrafCode code, int &result) {
    // Only a code handle the store gave out is followed; anything else is
    // never dereferenced.
    for (auto &d : handles())
        for (auto &[name, c] : d->codes)
            if (c.get() == code) {
                Variables vars;
                return runProcedure(code->handle, name, {}, vars, result);
            }
    return false;
}

} // namespace graf
