#include "predicate.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <memory>

#include "plan/plan_builder.h"
#include "plan/pool_builder.h"
#include "plan_view.h"

namespace vexfilt::cli {
namespace {

using plan::Column;
using plan::Literal;
using plan::PlanBuilder;
using plan::PoolBuilder;

// Thrown inside the compiler and turned into a CompileError at its edge.
struct Failure {
  std::string message;
  int position;
};

enum class Tok { kIdent, kNumber, kString, kRelOp, kLParen, kRParen, kComma, kEnd };

struct Token {
  Tok kind;
  std::string text;
  int position;
};

std::string Upper(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return out;
}

std::vector<Token> Lex(std::string_view text) {
  std::vector<Token> tokens;
  std::size_t i = 0;
  while (i < text.size()) {
    const char c = text[i];
    const int at = static_cast<int>(i);
    if (std::isspace(static_cast<unsigned char>(c))) {
      ++i;
    } else if (std::isalpha(static_cast<unsigned char>(c)) || c == '_') {
      std::size_t j = i;
      while (j < text.size() && (std::isalnum(static_cast<unsigned char>(text[j])) || text[j] == '_')) ++j;
      tokens.push_back({Tok::kIdent, std::string(text.substr(i, j - i)), at});
      i = j;
    } else if (std::isdigit(static_cast<unsigned char>(c)) || c == '.' ||
               ((c == '-' || c == '+') && i + 1 < text.size() &&
                (std::isdigit(static_cast<unsigned char>(text[i + 1])) || text[i + 1] == '.'))) {
      std::size_t j = i + 1;
      while (j < text.size() && (std::isalnum(static_cast<unsigned char>(text[j])) || text[j] == '.' ||
                                 ((text[j] == '-' || text[j] == '+') && (text[j - 1] == 'e' || text[j - 1] == 'E')))) {
        ++j;
      }
      tokens.push_back({Tok::kNumber, std::string(text.substr(i, j - i)), at});
      i = j;
    } else if (c == '\'') {
      std::string value;
      std::size_t j = i + 1;
      for (;;) {
        if (j >= text.size()) throw Failure{"the quoted text is not closed with '", at};
        if (text[j] == '\'') {
          if (j + 1 < text.size() && text[j + 1] == '\'') {
            value += '\'';
            j += 2;
            continue;
          }
          ++j;
          break;
        }
        value += text[j++];
      }
      tokens.push_back({Tok::kString, value, at});
      i = j;
    } else if (c == '<' || c == '>' || c == '=' || c == '!') {
      std::string op(1, c);
      if (i + 1 < text.size() && (text[i + 1] == '=' || (c == '<' && text[i + 1] == '>'))) op += text[i + 1];
      if (op == "!") throw Failure{"'!' on its own is not an operator; use <> or NOT", at};
      tokens.push_back({Tok::kRelOp, op, at});
      i += op.size();
    } else if (c == '(') {
      tokens.push_back({Tok::kLParen, "(", at});
      ++i;
    } else if (c == ')') {
      tokens.push_back({Tok::kRParen, ")", at});
      ++i;
    } else if (c == ',') {
      tokens.push_back({Tok::kComma, ",", at});
      ++i;
    } else {
      throw Failure{std::string("unexpected character '") + c + "'", at};
    }
  }
  tokens.push_back({Tok::kEnd, "", static_cast<int>(text.size())});
  return tokens;
}

struct Operand {
  enum class Kind { kColumn, kNumber, kString, kChange, kSubstr, kMktime } kind = Kind::kColumn;
  std::string text;
  int position = 0;
  const Field* field = nullptr;  // columns and the functions' column
  bool percent = false;          // PCTCHANGE rather than CHANGE
  int start = 0, length = 0;     // SUBSTR: 1-based first character and number of characters
  std::string increment;         // MKTIME: sign, amount and unit, "+90M"
  int argumentPosition = 0;      // of SUBSTR's start or MKTIME's increment
};

struct Node {
  enum class Kind { kCompare, kLike, kContains, kAnd, kOr, kNot, kKeys, kTrue } kind = Kind::kTrue;
  int position = 0;
  std::int32_t op = 0;
  Operand left, right;
  std::unique_ptr<Node> a, b;
  std::vector<std::string> keys;
};
using NodePtr = std::unique_ptr<Node>;

class Parser {
 public:
  Parser(std::vector<Token> tokens, const Schema& schema) : tokens_(std::move(tokens)), schema_(schema) {}

  // "EXPECT KEYS(COL) IN (...)" declares the expected keys as a clause of its own, before or after the
  // condition, where a reader does not take it for part of the condition; "KEYS(...) IN (...) AND" says the
  // same and keeps working.
  NodePtr Parse() {
    if (Peek().kind == Tok::kEnd) throw Failure{"the predicate is empty", 0};
    NodePtr expected = AtExpect() ? Expected() : nullptr;
    NodePtr node = expected != nullptr && Peek().kind == Tok::kEnd ? nullptr : Or();
    if (expected == nullptr && AtExpect()) expected = Expected();
    if (Peek().kind != Tok::kEnd) {
      throw Failure{"expected AND, OR or the end of the predicate", Peek().position};
    }
    if (expected == nullptr) return node;
    if (node == nullptr) return expected;
    const int position = expected->position;
    return Binary(Node::Kind::kAnd, position, std::move(expected), std::move(node));
  }

 private:
  const Token& Peek(std::size_t ahead = 0) const { return tokens_[std::min(at_ + ahead, tokens_.size() - 1)]; }
  const Token& Next() { return tokens_[at_ < tokens_.size() - 1 ? at_++ : at_]; }
  bool IsWord(const Token& t, const char* word) const { return t.kind == Tok::kIdent && Upper(t.text) == word; }
  const Token& Expect(Tok kind, const char* what) {
    if (Peek().kind != kind) throw Failure{std::string("expected ") + what, Peek().position};
    return Next();
  }

  NodePtr Binary(Node::Kind kind, int position, NodePtr a, NodePtr b) {
    auto node = std::make_unique<Node>();
    node->kind = kind;
    node->position = position;
    node->a = std::move(a);
    node->b = std::move(b);
    return node;
  }

  NodePtr Or() {
    NodePtr node = And();
    while (IsWord(Peek(), "OR")) {
      const int position = Next().position;
      node = Binary(Node::Kind::kOr, position, std::move(node), And());
    }
    return node;
  }

  NodePtr And() {
    NodePtr node = Unary();
    while (IsWord(Peek(), "AND")) {
      const int position = Next().position;
      node = Binary(Node::Kind::kAnd, position, std::move(node), Unary());
    }
    return node;
  }

  NodePtr Unary() {
    if (IsWord(Peek(), "NOT")) {
      const int position = Next().position;
      return Binary(Node::Kind::kNot, position, Unary(), nullptr);
    }
    if (Peek().kind == Tok::kLParen) {
      Next();
      NodePtr node = Or();
      Expect(Tok::kRParen, "')'");
      return node;
    }
    if (IsWord(Peek(), "KEYS") && Peek(1).kind == Tok::kLParen) return Keys();
    // TRUE holds for every row, as a predicate of its own or a branch; a column named TRUE keeps its name.
    if (IsWord(Peek(), "TRUE") && schema_.Find("TRUE") == nullptr) {
      auto node = std::make_unique<Node>();
      node->kind = Node::Kind::kTrue;
      node->position = Next().position;
      return node;
    }
    return Comparison();
  }

  bool AtExpect() const {
    return IsWord(Peek(), "EXPECT") && IsWord(Peek(1), "KEYS") && Peek(2).kind == Tok::kLParen;
  }
  NodePtr Expected() {
    Next();
    return Keys();
  }

  const Field* ColumnNamed(const Token& token) {
    const Field* field = schema_.Find(token.text);
    if (field == nullptr) {
      std::string names;
      for (const Field& f : schema_.fields()) names += (names.empty() ? "" : ", ") + f.name;
      throw Failure{"unknown column '" + token.text + "' (the schema has " + names + ")", token.position};
    }
    return field;
  }

  NodePtr Keys() {
    auto node = std::make_unique<Node>();
    node->kind = Node::Kind::kKeys;
    node->position = Next().position;
    Expect(Tok::kLParen, "'(' after KEYS");
    const Token& name = Expect(Tok::kIdent, "a column name");
    node->left.kind = Operand::Kind::kColumn;
    node->left.field = ColumnNamed(name);
    node->left.position = name.position;
    node->left.text = name.text;
    Expect(Tok::kRParen, "')'");
    if (!IsWord(Peek(), "IN")) throw Failure{"expected IN after KEYS(...)", Peek().position};
    Next();
    Expect(Tok::kLParen, "'(' before the keys");
    for (;;) {
      node->keys.push_back(Expect(Tok::kString, "a 'quoted' key").text);
      if (Peek().kind == Tok::kComma) {
        Next();
        continue;
      }
      Expect(Tok::kRParen, "',' or ')'");
      break;
    }
    return node;
  }

  // NAME(column, ...) of a function operand: consumes up to the column and returns it.
  const Field* FunctionColumn(Operand& operand, const char* name) {
    Next();
    Next();
    const Token& column = Expect(Tok::kIdent, "a column name");
    operand.field = ColumnNamed(column);
    operand.text = std::string(name) + "(" + operand.field->name;
    return operand.field;
  }

  int WholeArgument(const char* what) {
    const Token& token = Expect(Tok::kNumber, what);
    char* end = nullptr;
    const long value = std::strtol(token.text.c_str(), &end, 10);
    if (*end != '\0' || value < 1 || value > 32767) {
      throw Failure{std::string(what) + " must be a whole number from 1", token.position};
    }
    return static_cast<int>(value);
  }

  bool IsCall(const Token& token, const char* name) const { return IsWord(token, name) && Peek(1).kind == Tok::kLParen; }

  Operand ParseOperand() {
    Operand operand;
    const Token& token = Peek();
    operand.position = token.position;
    operand.text = token.text;
    if (token.kind == Tok::kNumber) {
      operand.kind = Operand::Kind::kNumber;
      Next();
    } else if (token.kind == Tok::kString) {
      operand.kind = Operand::Kind::kString;
      Next();
    } else if (IsCall(token, "CHANGE") || IsCall(token, "PCTCHANGE")) {
      operand.kind = Operand::Kind::kChange;
      operand.percent = IsWord(token, "PCTCHANGE");
      FunctionColumn(operand, operand.percent ? "PCTCHANGE" : "CHANGE");
      operand.text += ")";
      Expect(Tok::kRParen, "')'");
    } else if (IsCall(token, "SUBSTR")) {
      operand.kind = Operand::Kind::kSubstr;
      FunctionColumn(operand, "SUBSTR");
      Expect(Tok::kComma, "',' and the first character's position");
      operand.argumentPosition = Peek().position;
      operand.start = WholeArgument("the first character's position");
      Expect(Tok::kComma, "',' and the number of characters");
      operand.length = WholeArgument("the number of characters");
      operand.text += ", " + std::to_string(operand.start) + ", " + std::to_string(operand.length) + ")";
      Expect(Tok::kRParen, "')'");
    } else if (IsCall(token, "MKTIME")) {
      operand.kind = Operand::Kind::kMktime;
      FunctionColumn(operand, "MKTIME");
      Expect(Tok::kComma, "',' and an increment such as '+90M'");
      operand.argumentPosition = Peek().position;
      operand.increment = Expect(Tok::kString, "a 'quoted' increment such as '+90M'").text;
      operand.text += ", '" + operand.increment + "')";
      Expect(Tok::kRParen, "')'");
    } else if (token.kind == Tok::kIdent) {
      for (const char* word : {"AND", "OR", "NOT", "LIKE", "CONTAINS", "IN"}) {
        if (IsWord(token, word)) throw Failure{std::string("expected a column or a value before ") + word, token.position};
      }
      operand.kind = Operand::Kind::kColumn;
      operand.field = ColumnNamed(token);
      Next();
    } else {
      throw Failure{"expected a column, a number or a 'quoted' text", token.position};
    }
    return operand;
  }

  NodePtr Comparison() {
    auto node = std::make_unique<Node>();
    node->left = ParseOperand();
    node->position = node->left.position;
    bool negated = false;
    int notPosition = 0;
    if (IsWord(Peek(), "NOT") && (IsWord(Peek(1), "LIKE") || IsWord(Peek(1), "CONTAINS"))) {
      notPosition = Next().position;
      negated = true;
    }
    if (IsWord(Peek(), "LIKE") || IsWord(Peek(), "CONTAINS")) {
      const bool like = IsWord(Next(), "LIKE");
      node->kind = like ? Node::Kind::kLike : Node::Kind::kContains;
      node->op = like ? op::kLike : op::kFunc;
      node->right = ParseOperand();
      if (negated) return Binary(Node::Kind::kNot, notPosition, std::move(node), nullptr);
      return node;
    }
    if (Peek().kind != Tok::kRelOp) {
      throw Failure{"expected a comparison (= <> < > <= >= LIKE CONTAINS)", Peek().position};
    }
    const Token& relop = Next();
    static const struct {
      const char* text;
      std::int32_t code;
    } kOps[] = {{"=", op::kEQ}, {"<>", op::kNE}, {"!=", op::kNE}, {"<", op::kLT},
                {">", op::kGT}, {"<=", op::kLE}, {">=", op::kGE}};
    for (const auto& o : kOps) {
      if (relop.text == o.text) node->op = o.code;
    }
    if (node->op == 0) throw Failure{"'" + relop.text + "' is not a comparison; use = <> < > <= >=", relop.position};
    node->kind = Node::Kind::kCompare;
    node->right = ParseOperand();
    return node;
  }

  std::vector<Token> tokens_;
  std::size_t at_ = 0;
  const Schema& schema_;
};

// The operator that holds when the operands are exchanged.
std::int32_t Mirror(std::int32_t code) {
  switch (code) {
    case op::kLT: return op::kGT;
    case op::kGT: return op::kLT;
    case op::kLE: return op::kGE;
    case op::kGE: return op::kLE;
    default: return code;
  }
}

// Whether comparison `code` holds for operands whose three-way order is `order`: for outcomes the compiler
// knows before any record is read.
bool HoldsForOrder(std::int32_t code, int order) {
  switch (code) {
    case op::kEQ: return order == 0;
    case op::kNE: return order != 0;
    case op::kLT: return order < 0;
    case op::kLE: return order <= 0;
    case op::kGT: return order > 0;
    default: return order >= 0;
  }
}

// The UTF-8 characters of `text`: bytes that do not continue a character.
std::size_t Characters(std::string_view text) {
  std::size_t n = 0;
  for (char c : text) n += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
  return n;
}

class Compiler {
 public:
  Compiler(const Schema& schema, const CompileOptions& options) : schema_(schema), options_(options) {}

  CompiledPlan Compile(NodePtr root) {
    plan_.TableName(options_.tableName).RecordLength(schema_.recordLength());
    pool_.LanguageId(options_.languageId);
    NodePtr rest = TakeKeys(std::move(root));
    if (rest != nullptr) {
      const Operand* first = nullptr;
      RefuseSecondChange(*rest, &first);
    }
    if (keys_ != nullptr) EmitKeys(*keys_);
    if (rest == nullptr) {
      rest = std::make_unique<Node>();
      rest->kind = Node::Kind::kTrue;
    }
    Emit(*rest, kPassLabel, kFailLabel);
    Finish();
    CompiledPlan compiled{plan_.Build(), pool_.Build()};
    // FLT1_CreateFilter takes each length as a 16-bit number.
    constexpr std::size_t kLongest = std::numeric_limits<std::int16_t>::max();
    if (compiled.plan.size() > kLongest) {
      throw Failure{"the predicate compiles to " + std::to_string(plan_.size()) + " elements (" +
                        std::to_string(compiled.plan.size()) + " bytes); a plan holds at most " +
                        std::to_string((kLongest - sizeof(PlanHeader)) / kElementRecordSize) + " elements",
                    0};
    }
    if (compiled.pool.size() > kLongest) {
      throw Failure{"the predicate's values take " + std::to_string(compiled.pool.size()) +
                        " bytes of literal pool; a pool holds at most " + std::to_string(kLongest),
                    0};
    }
    return compiled;
  }

 private:
  // Labels stand for elements not placed yet; these two for the verdicts.
  static constexpr int kPassLabel = -1, kFailLabel = -2;

  struct Wiring {
    int onTrue, onFalse;
  };

  int NewLabel() {
    labels_.push_back(-1);
    return static_cast<int>(labels_.size()) - 1;
  }
  void Place(int label) { labels_[static_cast<std::size_t>(label)] = static_cast<int>(plan_.size()); }

  plan::Element Added(plan::Element element, int onTrue, int onFalse) {
    wiring_.push_back({onTrue, onFalse});
    return element;
  }

  // Expected keys are no condition: only an AND at the top may hold them.
  NodePtr TakeKeys(NodePtr node) {
    if (node->kind == Node::Kind::kKeys) {
      if (keys_ != nullptr) throw Failure{"only one KEYS(...) IN list is allowed", node->position};
      keys_ = std::move(node);
      return nullptr;
    }
    if (node->kind == Node::Kind::kAnd) {
      NodePtr a = TakeKeys(std::move(node->a));
      NodePtr b = TakeKeys(std::move(node->b));
      if (a == nullptr) return b;
      if (b == nullptr) return a;
      node->a = std::move(a);
      node->b = std::move(b);
      return node;
    }
    CheckNoKeys(*node);
    return node;
  }
  void CheckNoKeys(const Node& node) {
    if (node.kind == Node::Kind::kKeys) {
      throw Failure{"KEYS(...) IN lists expected keys and may only be joined to the rest with AND", node.position};
    }
    if (node.a) CheckNoKeys(*node.a);
    if (node.b) CheckNoKeys(*node.b);
  }

  void EmitKeys(const Node& node) {
    const Field& field = *node.left.field;
    if (!field.IsText()) {
      throw Failure{"KEYS() needs a character column; " + field.name + " is " + field.TypeName(), node.left.position};
    }
    plan::SearchList list;
    for (const std::string& key : node.keys) {
      if (key.empty() || key.size() > static_cast<std::size_t>(field.capacity)) {
        throw Failure{"key '" + key + "' must be 1 to " + std::to_string(field.capacity) + " bytes for " + field.name,
                      node.position};
      }
      plan::SearchKey entry;
      RefuseUnfitText(field, key, node.position);
      const std::string_view kept = TextValue(field, key);
      if (field.IsTerminated()) {
        entry.key = TerminatedText(kept, field.column.length);
      } else {
        // UTF-8 keys are compared locale-aware without trailing blanks, so a blank stands for an empty one.
        entry.key = kept.empty() ? std::string(" ") : std::string(kept);
        entry.entryType = plan::search::kVarying | plan::search::kLocale;
      }
      // A key given twice would be one entry a row marks and one it never reaches: the search stops at the
      // first entry a row matches.
      const bool repeated = std::any_of(list.keys.begin(), list.keys.end(),
                                        [&](const plan::SearchKey& k) { return k.key == entry.key; });
      if (!repeated) list.keys.push_back(entry);
    }
    // The library reads a first key that begins with '@' as the name of a file of keys, so such a key is
    // never first.
    const auto plain = std::find_if(list.keys.begin(), list.keys.end(),
                                    [](const plan::SearchKey& k) { return k.key.front() != '@'; });
    if (plain == list.keys.end()) {
      throw Failure{"every key begins with '@', which the library reads as the name of a file of keys; "
                    "add a key that does not",
                    node.position};
    }
    std::rotate(list.keys.begin(), plain, plain + 1);
    // Every entry equal to the row's key is marked, not only the first: UTF-8 keys of different bytes may
    // collate equal.
    list.flags |= plan::search::kContinueAfterMatch;
    list.dataOffset = static_cast<std::int16_t>(field.column.offset);
    if (field.IsUtf8()) list.dataType = type::kUtf8Char;
    UsesText(field);
    const Literal literal = pool_.Search(list);
    // The search holds for no record; both ways lead on to the condition, which it is ANDed with.
    const int next = NewLabel();
    Added(plan_.Search(field.column, literal), next, next).LogicalOperator(op::kAnd);
    Place(next);
  }

  // A change function remembers a row's value only when evaluation reaches it, and the first one, compiled
  // first, decides some rows: a second one would miss them, and report no change, or a change since an
  // older sample, for their keys. Nothing in a plan can carry the first one's answer past the second, so
  // a predicate holds one.
  static void RefuseSecondChange(const Node& node, const Operand** first) {
    for (const Operand* operand : {&node.left, &node.right}) {
      if (operand->kind != Operand::Kind::kChange) continue;
      if (*first != nullptr) {
        throw Failure{"a predicate holds one CHANGE() or PCTCHANGE(): a second would not see the rows " +
                          (*first)->text + " decides, and would miss their changes",
                      operand->position};
      }
      *first = operand;
    }
    if (node.a) RefuseSecondChange(*node.a, first);
    if (node.b) RefuseSecondChange(*node.b, first);
  }

  static bool HasChange(const Node& node) {
    if (node.left.kind == Operand::Kind::kChange || node.right.kind == Operand::Kind::kChange) return true;
    return (node.a && HasChange(*node.a)) || (node.b && HasChange(*node.b));
  }

  void Emit(const Node& node, int onTrue, int onFalse) {
    switch (node.kind) {
      case Node::Kind::kAnd:
      case Node::Kind::kOr: {
        const bool isAnd = node.kind == Node::Kind::kAnd;
        // A change function keeps a row's value only when evaluation reaches it. Nothing else remembers
        // anything, so the side holding one goes first: a predicate's first change function is then
        // reached by every row.
        const bool swap = !HasChange(*node.a) && HasChange(*node.b);
        const Node& first = swap ? *node.b : *node.a;
        const Node& second = swap ? *node.a : *node.b;
        const int next = NewLabel();
        if (isAnd) {
          Emit(first, next, onFalse);
        } else {
          Emit(first, onTrue, next);
        }
        // The connective joins the left side's last element to what follows, as the host reads the plan back.
        plan_.At(plan_.size() - 1).LogicalOperator(isAnd ? op::kAnd : op::kOr);
        Place(next);
        Emit(second, onTrue, onFalse);
        return;
      }
      case Node::Kind::kNot: Emit(*node.a, onFalse, onTrue); return;
      case Node::Kind::kTrue: Added(plan_.Always(), onTrue, onFalse); return;
      case Node::Kind::kKeys: CheckNoKeys(node); return;
      case Node::Kind::kLike: EmitLike(node, onTrue, onFalse); return;
      case Node::Kind::kContains: EmitContains(node, onTrue, onFalse); return;
      case Node::Kind::kCompare: EmitCompare(node, onTrue, onFalse); return;
    }
  }

  void UsesText(const Field& field) {
    if (field.IsUtf8()) plan_.Flags(plan_flag::kUtf8Data | plan_flag::kLocaleSetup);
  }

  const Field& TextColumn(const Operand& operand, const char* what) {
    if (operand.kind == Operand::Kind::kSubstr && std::string_view(what) == "LIKE") {
      throw Failure{"LIKE takes a column, not SUBSTR(...); match the leading characters with ?, e.g. NAME LIKE '??ab*'",
                    operand.position};
    }
    if (operand.kind != Operand::Kind::kColumn || !operand.field->IsText()) {
      throw Failure{std::string(what) + " needs a character column on its left", operand.position};
    }
    return *operand.field;
  }

  const std::string& QuotedText(const Operand& operand, const char* what) {
    if (operand.kind != Operand::Kind::kString) {
      throw Failure{std::string(what) + " needs a 'quoted' text on its right", operand.position};
    }
    return operand.text;
  }

  // The pattern ends with what ends the value in the record (a terminated column's zero byte, a UTF-8
  // column's end mark), which only the end of the value matches, so the library's matcher (which stops where the pattern ends) matches the whole value. A '?'
  // right after a '*' is read by the matcher as another '*', so each run of wildcards is rewritten as its
  // '?'s followed by one '*', which means the same.
  static std::string TerminatedPattern(const std::string& pattern, std::string_view endMark) {
    std::string out;
    for (std::size_t i = 0; i < pattern.size();) {
      if (pattern[i] != '*' && pattern[i] != '?') {
        out += pattern[i++];
        continue;
      }
      std::size_t questions = 0;
      bool star = false;
      for (; i < pattern.size() && (pattern[i] == '*' || pattern[i] == '?'); ++i) {
        if (pattern[i] == '?') ++questions;
        else star = true;
      }
      out.append(questions, '?');
      if (star) out += '*';
    }
    return out.append(endMark);
  }

  void EmitLike(const Node& node, int onTrue, int onFalse) {
    const Field& field = TextColumn(node.left, "LIKE");
    const std::string& text = QuotedText(node.right, "LIKE");
    RefuseUnfitText(field, text, node.right.position);
    UsesText(field);
    const Literal pattern = field.IsTerminated() ? pool_.Char(TerminatedPattern(text, std::string_view("\0", 1)))
                                                 : pool_.Utf8Char(TerminatedPattern(text, kUtf8EndMark));
    Added(plan_.Like(field.IsTerminated() ? field.column : field.marked, pattern), onTrue, onFalse);
  }

  // The string search holds when the column contains the text; its found flag goes to no one else.
  void EmitContains(const Node& node, int onTrue, int onFalse) {
    const Field& field = TextColumn(node.left, "CONTAINS");
    const std::string& text = QuotedText(node.right, "CONTAINS");
    if (text.empty()) throw Failure{"CONTAINS needs a text of at least one character", node.right.position};
    if (text.size() > static_cast<std::size_t>(field.capacity)) {
      throw Failure{"'" + text + "' is longer than " + field.name + " (" + field.TypeName() + ")", node.right.position};
    }
    // The search reads the value alone: a terminated column's value is followed by no blank, a UTF-8
    // column is read over its length.
    RefuseUnfitText(field, text, node.right.position);
    UsesText(field);
    const Literal literal = field.IsUtf8() ? pool_.Utf8Char(text) : pool_.Char(text);
    Added(plan_.StringSearch(field.column, literal), onTrue, onFalse);
  }

  template <typename T>
  T Whole(const Operand& value, const Field& field) {
    char* end = nullptr;
    errno = 0;
    const long long v = std::strtoll(value.text.c_str(), &end, 10);
    if (end != value.text.c_str() + value.text.size() || errno == ERANGE) {
      throw Failure{field.name + " is " + field.TypeName() + "; " + value.text + " is not a whole number", value.position};
    }
    if (v < static_cast<long long>(std::numeric_limits<T>::min()) ||
        v > static_cast<long long>(std::numeric_limits<T>::max())) {
      throw Failure{value.text + " is out of range for " + field.name + " (" + field.TypeName() + ")", value.position};
    }
    return static_cast<T>(v);
  }

  double Number(const Operand& value) {
    char* end = nullptr;
    const double v = std::strtod(value.text.c_str(), &end);
    if (end != value.text.c_str() + value.text.size() || !std::isfinite(v)) {
      throw Failure{"'" + value.text + "' is not a number", value.position};
    }
    return v;
  }

  std::string Timestamp(const Operand& value, const std::string& what) {
    const std::string digits = value.kind == Operand::Kind::kString ? TimestampDigits(value.text) : std::string();
    if (digits.empty()) {
      throw Failure{what + " is a timestamp; compare it with '2024-01-15 12:30:00' (or 16 digits YYYMMDDhhmmssmmm)",
                    value.position};
    }
    return digits;
  }

  // A value of a terminated column as the column holds it; a char(N) value without its trailing blanks.
  Literal TerminatedLiteral(const Field& field, const std::string& text, int position) {
    RefuseUnfitText(field, text, position);
    return pool_.Char(TerminatedText(TextValue(field, text), field.column.length), field.column.length);
  }

  // A text for a column must not hold what ends the column's values in records, and for a UTF-8 column must
  // be UTF-8.
  static void RefuseUnfitText(const Field& field, const std::string& text, int position) {
    if (field.IsTerminated()) {
      if (HoldsEndBytes(text)) {
        throw Failure{"a text may not hold the bytes 0x00 or 0x01, which end text values in records", position};
      }
      return;
    }
    if (const std::string fault = Utf8Fault(text); !fault.empty()) throw Failure{"'" + text + "' " + fault, position};
  }

  Literal ValueFor(const Field& field, const Operand& value) {
    if (field.kind == Kind::kTimestamp) return pool_.Char(Timestamp(value, field.name), kTimestampLength);
    if (field.IsText()) {
      if (value.kind != Operand::Kind::kString) {
        throw Failure{field.name + " is " + field.TypeName() + "; compare it with a 'quoted' text", value.position};
      }
      const std::string& text = value.text;
      if (text.size() > static_cast<std::size_t>(field.capacity)) {
        throw Failure{"'" + text + "' is longer than " + field.name + " (" + field.TypeName() + ")", value.position};
      }
      UsesText(field);
      if (field.IsTerminated()) return TerminatedLiteral(field, text, value.position);
      RefuseUnfitText(field, text, value.position);
      // UTF-8 text is compared without trailing blanks, so a blank stands for an empty text.
      return pool_.Utf8Char(text.empty() ? " " : text);
    }
    if (value.kind != Operand::Kind::kNumber) {
      throw Failure{field.name + " is " + field.TypeName() + "; compare it with a number", value.position};
    }
    switch (field.kind) {
      case Kind::kInt16: return pool_.Short(Whole<std::int16_t>(value, field));
      case Kind::kUInt16: return pool_.UShort(Whole<std::uint16_t>(value, field));
      case Kind::kInt32: return pool_.Long(Whole<std::int32_t>(value, field));
      case Kind::kUInt32: return pool_.ULong(Whole<std::uint32_t>(value, field));
      default: return pool_.Double(Number(value));
    }
  }

  void EmitCompare(const Node& node, int onTrue, int onFalse) {
    const Operand* left = &node.left;
    const Operand* right = &node.right;
    std::int32_t code = node.op;
    using K = Operand::Kind;
    const auto isValue = [](const Operand* o) { return o->kind == K::kNumber || o->kind == K::kString; };
    // The value, or the MKTIME a column is compared with, goes to the right.
    if ((isValue(left) && !isValue(right)) || (left->kind == K::kMktime && right->kind == K::kColumn)) {
      std::swap(left, right);
      code = Mirror(code);
    }
    if (isValue(left)) throw Failure{"compare a column with a value, not two values", left->position};
    switch (left->kind) {
      case K::kChange:
        if (right->kind != K::kNumber) {
          throw Failure{left->text + " can only be compared with a number", right->position};
        }
        EmitChange(*left, code, *right, onTrue, onFalse);
        return;
      case K::kSubstr:
        if (right->kind != K::kString) {
          throw Failure{left->text + " can only be compared with a 'quoted' text", right->position};
        }
        EmitSubstring(*left, code, *right, onTrue, onFalse);
        return;
      case K::kMktime:
        EmitMktimeWithLiteral(*left, code, *right, onTrue, onFalse);
        return;
      default: break;
    }
    const Field& field = *left->field;
    if (right->kind == K::kMktime) {
      EmitColumnWithMktime(field, *left, code, *right, onTrue, onFalse);
      return;
    }
    if (right->kind == K::kChange || right->kind == K::kSubstr) {
      throw Failure{"a column is compared with a value, another column or MKTIME(...), not " + right->text,
                    right->position};
    }
    if (right->kind == K::kColumn) {
      const Field& other = *right->field;
      const bool timestamps = field.kind == Kind::kTimestamp;
      if (field.IsText() != other.IsText() || timestamps != (other.kind == Kind::kTimestamp)) {
        throw Failure{"cannot compare " + field.name + " (" + field.TypeName() + ") with " + other.name + " (" +
                          other.TypeName() + ")",
                      right->position};
      }
      if (field.IsText() && field.IsTerminated() != other.IsTerminated()) {
        throw Failure{"cannot compare " + field.name + " (" + field.TypeName() + ") with " + other.name + " (" +
                          other.TypeName() + "): text of bytes and UTF-8 text are laid out apart",
                      right->position};
      }
      UsesText(field);
      UsesText(other);
      GuardSignedAgainstUnsigned(field, code, other, onTrue, onFalse);
      const Literal descriptor = pool_.ColumnDescriptor(other.column);
      Added(plan_.CompareColumns(field.column, code, other.column, descriptor), onTrue, onFalse);
      return;
    }
    const Literal literal = ValueFor(field, *right);
    Added(plan_.Compare(field.column, code, literal), onTrue, onFalse);
  }

  // The library compares a uint32 column with a signed one as two unsigned 32-bit words, so a negative
  // value would count as a large one. A negative signed value decides the comparison on its own: it is
  // below every unsigned value. The element that tests for it goes first; the pair is compared only when
  // both are at least 0, where the unsigned comparison is the numbers' own.
  void GuardSignedAgainstUnsigned(const Field& left, std::int32_t code, const Field& right, int onTrue, int onFalse) {
    const auto isSigned = [](const Field& f) { return f.kind == Kind::kInt16 || f.kind == Kind::kInt32; };
    const bool leftSigned = isSigned(left) && right.kind == Kind::kUInt32;
    const bool rightSigned = isSigned(right) && left.kind == Kind::kUInt32;
    if (!leftSigned && !rightSigned) return;
    const Field& signedField = leftSigned ? left : right;
    // The signed operand is below the unsigned one: left < right when it is on the left.
    const bool holds = HoldsForOrder(code, leftSigned ? -1 : 1);
    const Literal zero = signedField.kind == Kind::kInt16 ? pool_.Short(0) : pool_.Long(0);
    const int bothAtLeastZero = NewLabel();
    Added(plan_.Compare(signedField.column, op::kLT, zero), holds ? onTrue : onFalse, bothAtLeastZero);
    Place(bothAtLeastZero);
  }

  // SUBSTR counts from 1 as people do; the library counts bytes, or characters of UTF-8 data, from 0.
  void EmitSubstring(const Operand& substr, std::int32_t code, const Operand& value, int onTrue, int onFalse) {
    const Field& field = *substr.field;
    if (!field.IsText()) {
      throw Failure{"SUBSTR() needs a character column; " + field.name + " is " + field.TypeName(), substr.position};
    }
    if (substr.start - 1 + substr.length > field.capacity) {
      throw Failure{substr.text + " reaches past the " + std::to_string(field.capacity) + " characters of " +
                        field.name,
                    substr.argumentPosition};
    }
    const std::size_t size = field.IsUtf8() ? Characters(value.text) : value.text.size();
    if (size > static_cast<std::size_t>(substr.length)) {
      throw Failure{"'" + value.text + "' is longer than the " + std::to_string(substr.length) + " characters of " +
                        substr.text,
                    value.position};
    }
    UsesText(field);
    RefuseUnfitText(field, value.text, value.position);
    if (field.IsUtf8()) {
      // The substring is compared with the literal's first `length` characters, without trailing blanks on
      // either side: blanks make up the characters the text lacks. A substring that starts past the value
      // is a blank, so it compares as empty.
      const std::string padded = value.text + std::string(static_cast<std::size_t>(substr.length) - size, ' ');
      const Literal literal = pool_.Utf8Char(padded);
      Added(plan_.Substring(field.column, substr.start - 1, code, literal), onTrue, onFalse)
          .LeftLiteralLength(static_cast<std::int16_t>(substr.length));
      return;
    }
    // The routines compare the literal's length of bytes at the substring: the text terminated as the
    // column's bytes are, so that a part cut short by the end of the value compares as the shorter text.
    const std::string bytes = TerminatedText(value.text, substr.length).substr(0, static_cast<std::size_t>(substr.length));
    const int start = substr.start - 1;
    if (start > 0) {
      // A value that ends before the substring starts leaves only its fill there: the substring is empty,
      // and the comparison of an empty text with the literal decides.
      const bool holds = HoldsForOrder(code, value.text.empty() ? 0 : -1);
      const int present = NewLabel();
      Added(plan_.Substring(field.column, start - 1, op::kLT, pool_.Char("\x02", 1)), holds ? onTrue : onFalse, present);
      Place(present);
    }
    Added(plan_.Substring(field.column, start, code, pool_.Char(bytes, static_cast<std::int16_t>(substr.length))), onTrue,
          onFalse);
  }

  // A timestamp column, or the column MKTIME's result is compared with: 16 bytes of plain characters.
  void RequireTimestamp(const Field& field, const Operand& operand, const char* role) {
    if (field.kind != Kind::kTimestamp) {
      throw Failure{std::string(role) + " needs a timestamp column; " + field.name + " is " +
                        field.TypeName(),
                    operand.position};
    }
  }

  // Adds the MKTIME element, whose result goes to the element that follows it.
  plan::Element EmitMktime(const Operand& mktime, int onFalse) {
    const Field& field = *mktime.field;
    RequireTimestamp(field, mktime, "MKTIME()");
    // [+|-] amount unit; the library reads the amount as atoi does and the unit from the last byte.
    std::string text = mktime.increment;
    const char sign = !text.empty() && (text[0] == '+' || text[0] == '-') ? text[0] : '+';
    if (!text.empty() && (text[0] == '+' || text[0] == '-')) text.erase(0, 1);
    const char unit = text.empty() ? '\0' : static_cast<char>(std::toupper(static_cast<unsigned char>(text.back())));
    const std::string amount = text.empty() ? std::string() : text.substr(0, text.size() - 1);
    const bool digits = !amount.empty() && amount.size() <= 9 &&
                        amount.find_first_not_of("0123456789") == std::string::npos;
    if (!digits || std::string_view("DHMST").find(unit) == std::string_view::npos) {
      throw Failure{"the MKTIME increment '" + mktime.increment +
                        "' is not [+|-]AMOUNT UNIT, the unit D, H, M, S or T (milliseconds), e.g. '-90M'",
                    mktime.argumentPosition};
    }
    const Literal signLiteral = pool_.Char(std::string(1, sign));
    const Literal increment = pool_.Char(amount + unit);
    const int compare = NewLabel();
    // A timestamp MKTIME cannot read gives no value: the comparison does not hold.
    plan::Element element = Added(plan_.MakeTime(field.column, signLiteral, increment), compare, onFalse);
    Place(compare);
    return element;
  }

  void EmitMktimeWithLiteral(const Operand& mktime, std::int32_t code, const Operand& value, int onTrue, int onFalse) {
    const std::string digits = Timestamp(value, mktime.text);
    EmitMktime(mktime, onFalse);
    // This slot compares the function result, which MKTIME writes into the left operand's buffer.
    const Literal result = pool_.Char(std::string(kTimestampLength, ' '));
    const Literal literal = pool_.Char(digits);
    Added(plan_.Add()
              .Operator(code)
              .Slot(slot::kCharResultLit)
              .DataType(type::kChar)
              .ColumnLength(static_cast<std::int16_t>(kTimestampLength))
              .ColumnName(mktime.field->name)
              .LeftLiteral(result)
              .RightLiteral(literal),
          onTrue, onFalse);
  }

  void EmitColumnWithMktime(const Field& field, const Operand& column, std::int32_t code, const Operand& mktime,
                            int onTrue, int onFalse) {
    RequireTimestamp(field, column, "comparing with MKTIME()");
    // MKTIME writes its result over the right literal of the column's comparison.
    EmitMktime(mktime, onFalse).ResultOperand(1);
    const Literal result = pool_.Char(std::string(kTimestampLength, ' '));
    Added(plan_.Compare(field.column, code, result), onTrue, onFalse);
  }

  void EmitChange(const Operand& change, std::int32_t code, const Operand& value, int onTrue, int onFalse) {
    const Field& field = *change.field;
    const std::string name = change.percent ? "PCTCHANGE()" : "CHANGE()";
    // The library delivers a 2-byte change into a word and a double change over two words that no
    // comparison routine reads back, so only 4-byte integers can be compared.
    if (field.kind == Kind::kInt16 || field.kind == Kind::kUInt16 || field.kind == Kind::kDouble) {
      throw Failure{name + " of " + field.name + " (" + field.TypeName() +
                        ") cannot be compared: the library hands only 4-byte changes to a comparison; declare it "
                        "int32 or uint32",
                    change.position};
    }
    if (field.kind != Kind::kInt32 && field.kind != Kind::kUInt32) {
      throw Failure{name + " needs an int32 or uint32 column; " + field.name + " is " + field.TypeName(),
                    change.position};
    }
    if (options_.keyColumns.empty()) {
      throw Failure{name + " needs --key COLUMN[,COLUMN] to tell rows of one sample from the next", change.position};
    }
    plan::ChangeControl control;
    if (change.percent) control.options |= plan::change_option::kPercent;
    for (const std::string& keyName : options_.keyColumns) {
      const Field* key = schema_.Find(keyName);
      if (key == nullptr) throw Failure{"--key names unknown column '" + keyName + "'", -1};
      control.keys.push_back(key->column);
    }
    const Literal scratch = pool_.ChangeScratch(control);
    const Literal block = pool_.Change(control);
    const int compare = NewLabel();
    // A key seen for the first time has no change: the condition does not hold.
    Added(plan_.Change(field.column, scratch, block), compare, onFalse);
    Place(compare);
    // The library computes the change exactly and caps it at the int32 bounds, so a capped change compares
    // as the change itself with every number between them, but not with the bounds themselves.
    const std::int32_t number = Whole<std::int32_t>(value, field);
    if (number == std::numeric_limits<std::int32_t>::min() || number == std::numeric_limits<std::int32_t>::max()) {
      throw Failure{name + " is compared with a number from -2147483647 to 2147483646: the library caps a change "
                           "at -2147483648 and 2147483647, which bigger changes reach too",
                    value.position};
    }
    const Literal literal = pool_.Long(number);
    // This slot compares the signed change the previous element left in leftResult with the literal.
    Added(plan_.Add()
              .Operator(code)
              .DataType(type::kLong)
              .Slot(slot::kLongResultLit)
              .ColumnName(field.name)
              .RightLiteral(literal),
          onTrue, onFalse);
  }

  // Skips by destination; a verdict its element cannot give by ending there goes through a sink that gives it:
  // ending after a true skip passes the record and after a false skip fails it, so a true that must fail
  // goes to an element that never holds and a false that must pass to one that always does.
  void Finish() {
    bool needAlways = false, needNever = false;
    for (const Wiring& w : wiring_) {
      needNever = needNever || w.onTrue == kFailLabel;
      needAlways = needAlways || w.onFalse == kPassLabel;
    }
    const std::size_t count = wiring_.size();
    std::size_t alwaysAt = 0, neverAt = 0;
    if (needAlways) {
      alwaysAt = plan_.size();
      plan_.Always().TrueToEnd().FalseToEnd();
    }
    if (needNever) {
      neverAt = plan_.size();
      // A floating-point result against a literal is undefined: the library's routine for it never holds.
      plan_.Add().Operator(op::kEQ).DataType(type::kDouble).Slot(slot::kDoubleResultLit).TrueToEnd().FalseToEnd();
    }
    for (std::size_t i = 0; i < count; ++i) {
      plan::Element element = plan_.At(i);
      const Wiring& w = wiring_[i];
      if (w.onTrue == kPassLabel) {
        element.TrueToEnd();
      } else if (w.onTrue == kFailLabel) {
        element.TrueTo(neverAt);
      } else {
        element.TrueTo(static_cast<std::size_t>(labels_[static_cast<std::size_t>(w.onTrue)]));
      }
      if (w.onFalse == kFailLabel) {
        element.FalseToEnd();
      } else if (w.onFalse == kPassLabel) {
        element.FalseTo(alwaysAt);
      } else {
        element.FalseTo(static_cast<std::size_t>(labels_[static_cast<std::size_t>(w.onFalse)]));
      }
    }
  }

  const Schema& schema_;
  const CompileOptions& options_;
  PlanBuilder plan_;
  PoolBuilder pool_;
  NodePtr keys_;
  std::vector<int> labels_;
  std::vector<Wiring> wiring_;
};

}  // namespace

CompileError::Place CompileError::PlaceIn(std::string_view predicate) const {
  if (position < 0 || static_cast<std::size_t>(position) > predicate.size()) return {};
  Place place{1, 1};
  for (std::size_t i = 0; i < static_cast<std::size_t>(position); ++i) {
    const auto c = static_cast<unsigned char>(predicate[i]);
    if (c == '\n') {
      ++place.line;
      place.column = 1;
    } else if ((c & 0xC0) != 0x80) {
      ++place.column;
    }
  }
  return place;
}

const Field* KeysField(const CompiledPlan& compiled, const Schema& schema) {
  std::string error;
  const auto view = ReadPlan(compiled.plan, &error);
  if (!view) return nullptr;
  for (const PlanElementView& element : view->elements) {
    if (element.record.functionCode == fn::kSearchList) return schema.Find(element.column);
  }
  return nullptr;
}

std::optional<CompiledPlan> CompilePredicate(std::string_view predicate, const Schema& schema,
                                             const CompileOptions& options, CompileError* error) {
  try {
    Parser parser(Lex(predicate), schema);
    NodePtr root = parser.Parse();
    Compiler compiler(schema, options);
    return compiler.Compile(std::move(root));
  } catch (const Failure& failure) {
    *error = CompileError{failure.message, failure.position};
    return std::nullopt;
  }
}

}  // namespace vexfilt::cli
