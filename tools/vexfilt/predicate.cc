#include "predicate.h"

#include <cctype>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <memory>

#include "plan/plan_builder.h"
#include "plan/pool_builder.h"

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
  enum class Kind { kColumn, kNumber, kString, kChange } kind = Kind::kColumn;
  std::string text;
  int position = 0;
  const Field* field = nullptr;  // columns and CHANGE
};

struct Node {
  enum class Kind { kCompare, kLike, kAnd, kOr, kNot, kKeys, kTrue } kind = Kind::kTrue;
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

  NodePtr Parse() {
    if (Peek().kind == Tok::kEnd) throw Failure{"the predicate is empty", 0};
    NodePtr node = Or();
    if (Peek().kind != Tok::kEnd) throw Failure{"expected AND, OR or the end of the predicate", Peek().position};
    return node;
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
    return Comparison();
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
    } else if (token.kind == Tok::kIdent && IsWord(token, "CHANGE") && Peek(1).kind == Tok::kLParen) {
      Next();
      Next();
      const Token& name = Expect(Tok::kIdent, "a column name");
      operand.kind = Operand::Kind::kChange;
      operand.field = ColumnNamed(name);
      operand.text = "CHANGE(" + operand.field->name + ")";
      Expect(Tok::kRParen, "')'");
    } else if (token.kind == Tok::kIdent) {
      for (const char* word : {"AND", "OR", "NOT", "LIKE", "IN"}) {
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
    if (IsWord(Peek(), "NOT") && IsWord(Peek(1), "LIKE")) {
      notPosition = Next().position;
      negated = true;
    }
    if (IsWord(Peek(), "LIKE")) {
      Next();
      node->kind = Node::Kind::kLike;
      node->op = op::kLike;
      node->right = ParseOperand();
      if (negated) return Binary(Node::Kind::kNot, notPosition, std::move(node), nullptr);
      return node;
    }
    if (Peek().kind != Tok::kRelOp) throw Failure{"expected a comparison (= <> < > <= >= LIKE)", Peek().position};
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

const char* OperatorName(std::int32_t code) {
  switch (code) {
    case op::kEQ: return "=";
    case op::kNE: return "<>";
    case op::kLT: return "<";
    case op::kGT: return ">";
    case op::kLE: return "<=";
    case op::kGE: return ">=";
    case op::kLike: return "LIKE";
    default: return "?";
  }
}

class Compiler {
 public:
  Compiler(const Schema& schema, const CompileOptions& options) : schema_(schema), options_(options) {}

  CompiledPlan Compile(NodePtr root) {
    plan_.TableName(options_.tableName).RecordLength(schema_.recordLength());
    NodePtr rest = TakeKeys(std::move(root));
    if (keys_ != nullptr) EmitKeys(*keys_);
    if (rest == nullptr) {
      rest = std::make_unique<Node>();
      rest->kind = Node::Kind::kTrue;
    }
    Emit(*rest, kPass, kFail);
    Finish();
    CompiledPlan out;
    out.plan = plan_.Build();
    out.pool = pool_.Build();
    out.notes = notes_;
    out.keysField = keys_ != nullptr ? keys_->left.field : nullptr;
    return out;
  }

 private:
  static constexpr int kPass = -1, kFail = -2;

  struct Wiring {
    int onTrue, onFalse;
  };

  int NewLabel() {
    labels_.push_back(-1);
    return static_cast<int>(labels_.size()) - 1;
  }
  void Place(int label) { labels_[static_cast<std::size_t>(label)] = static_cast<int>(plan_.size()); }

  plan::Element Added(plan::Element element, int onTrue, int onFalse, ElementNote note) {
    wiring_.push_back({onTrue, onFalse});
    notes_.push_back(std::move(note));
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
    std::string shown;
    for (const std::string& key : node.keys) {
      if (key.empty() || key.size() > static_cast<std::size_t>(field.capacity)) {
        throw Failure{"key '" + key + "' must be 1 to " + std::to_string(field.capacity) + " bytes for " + field.name,
                      node.position};
      }
      plan::SearchKey entry;
      entry.key = field.IsVarying() ? key : key + std::string(static_cast<std::size_t>(field.capacity) - key.size(), ' ');
      entry.entryType = field.IsVarying() ? plan::search::kVarying : 0;
      list.keys.push_back(entry);
      shown += (shown.empty() ? "'" : ", '") + key + "'";
    }
    list.dataOffset = static_cast<std::int16_t>(field.column.offset);
    if (field.IsUtf8()) list.dataType = type::kUtf8Char;
    const Literal literal = pool_.Search(list);
    // The search holds for no record; both ways lead on to the condition.
    const int next = NewLabel();
    Added(plan_.Search(field.column, literal), next, next, {"KEYS IN", field.name, "(" + shown + ")"});
    Place(next);
  }

  void Emit(const Node& node, int onTrue, int onFalse) {
    switch (node.kind) {
      case Node::Kind::kAnd: {
        const int second = NewLabel();
        Emit(*node.a, second, onFalse);
        Place(second);
        Emit(*node.b, onTrue, onFalse);
        return;
      }
      case Node::Kind::kOr: {
        const int second = NewLabel();
        Emit(*node.a, onTrue, second);
        Place(second);
        Emit(*node.b, onTrue, onFalse);
        return;
      }
      case Node::Kind::kNot: Emit(*node.a, onFalse, onTrue); return;
      case Node::Kind::kTrue: Added(plan_.Always(), onTrue, onFalse, {"ALWAYS", "", ""}); return;
      case Node::Kind::kKeys: CheckNoKeys(node); return;
      case Node::Kind::kLike: EmitLike(node, onTrue, onFalse); return;
      case Node::Kind::kCompare: EmitCompare(node, onTrue, onFalse); return;
    }
  }

  void UsesText(const Field& field) {
    if (field.IsUtf8()) plan_.Flags(plan_flag::kUtf8Data | plan_flag::kLocaleSetup);
  }

  void EmitLike(const Node& node, int onTrue, int onFalse) {
    if (node.left.kind != Operand::Kind::kColumn || !node.left.field->IsText()) {
      throw Failure{"LIKE needs a character column on its left", node.left.position};
    }
    if (node.right.kind != Operand::Kind::kString) {
      throw Failure{"LIKE needs a 'quoted' pattern on its right", node.right.position};
    }
    const Field& field = *node.left.field;
    std::string pattern = node.right.text;
    if (pattern.empty()) pattern = " ";  // an empty value is all blanks
    // A fixed column holds its blanks too: a pattern without a trailing * must cover them.
    if (!field.IsVarying() && pattern.back() != '*' && pattern.size() < static_cast<std::size_t>(field.capacity)) {
      pattern.append(static_cast<std::size_t>(field.capacity) - pattern.size(), ' ');
    }
    UsesText(field);
    const Literal literal = field.IsUtf8() ? pool_.Utf8Char(pattern) : pool_.Char(pattern);
    Added(plan_.Like(field.column, literal), onTrue, onFalse, {"LIKE", field.name, "'" + node.right.text + "'"});
  }

  template <typename T>
  T Whole(const Operand& value, const Field& field) {
    char* end = nullptr;
    const long long v = std::strtoll(value.text.c_str(), &end, 10);
    if (end != value.text.c_str() + value.text.size()) {
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

  Literal ValueFor(const Field& field, const Operand& value) {
    if (field.IsText()) {
      if (value.kind != Operand::Kind::kString) {
        throw Failure{field.name + " is " + field.TypeName() + "; compare it with a 'quoted' text", value.position};
      }
      const std::string& text = value.text;
      if (text.size() > static_cast<std::size_t>(field.capacity)) {
        throw Failure{"'" + text + "' is longer than " + field.name + " (" + field.TypeName() + ")", value.position};
      }
      UsesText(field);
      const auto width = static_cast<std::int16_t>(field.capacity);
      if (field.IsVarying()) {
        const std::string padded = text.empty() ? " " : text;  // varying values compare blank padded
        return field.IsUtf8() ? pool_.Utf8Char(padded) : pool_.Char(padded);
      }
      return field.IsUtf8() ? pool_.Utf8Char(text, width) : pool_.Char(text, width);
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
    const auto isValue = [](const Operand* o) {
      return o->kind == Operand::Kind::kNumber || o->kind == Operand::Kind::kString;
    };
    if (isValue(left) && !isValue(right)) {
      std::swap(left, right);
      code = Mirror(code);
    }
    if (isValue(left)) throw Failure{"compare a column with a value, not two values", left->position};
    if (left->kind == Operand::Kind::kChange || right->kind == Operand::Kind::kChange) {
      if (left->kind != Operand::Kind::kChange || right->kind != Operand::Kind::kNumber) {
        throw Failure{"CHANGE(column) can only be compared with a number", right->position};
      }
      EmitChange(*left, code, *right, onTrue, onFalse);
      return;
    }
    const Field& field = *left->field;
    if (right->kind == Operand::Kind::kColumn) {
      const Field& other = *right->field;
      if (field.IsText() != other.IsText()) {
        throw Failure{"cannot compare " + field.name + " (" + field.TypeName() + ") with " + other.name + " (" +
                          other.TypeName() + ")",
                      right->position};
      }
      UsesText(field);
      UsesText(other);
      const Literal descriptor = pool_.ColumnDescriptor(other.column);
      Added(plan_.CompareColumns(field.column, code, other.column, descriptor), onTrue, onFalse,
            {OperatorName(code), field.name, "column " + other.name});
      return;
    }
    const Literal literal = ValueFor(field, *right);
    const std::string shown = right->kind == Operand::Kind::kString ? "'" + right->text + "'" : right->text;
    Added(plan_.Compare(field.column, code, literal), onTrue, onFalse, {OperatorName(code), field.name, shown});
  }

  void EmitChange(const Operand& change, std::int32_t code, const Operand& value, int onTrue, int onFalse) {
    const Field& field = *change.field;
    if (field.kind != Kind::kInt32 && field.kind != Kind::kUInt32) {
      throw Failure{"CHANGE() needs an int32 or uint32 column; " + field.name + " is " + field.TypeName(),
                    change.position};
    }
    if (options_.keyColumns.empty()) {
      throw Failure{"CHANGE() needs --key COLUMN[,COLUMN] to tell rows of one sample from the next", change.position};
    }
    plan::ChangeControl control;
    for (const std::string& name : options_.keyColumns) {
      const Field* key = schema_.Find(name);
      if (key == nullptr) throw Failure{"--key names unknown column '" + name + "'", -1};
      control.keys.push_back(key->column);
    }
    const Literal scratch = pool_.ChangeScratch(control);
    const Literal block = pool_.Change(control);
    const int compare = NewLabel();
    // A key seen for the first time has no change: the condition does not hold.
    Added(plan_.Change(field.column, scratch, block), compare, onFalse, {"CHANGE", field.name, ""});
    Place(compare);
    const Literal literal = pool_.Long(Whole<std::int32_t>(value, field));
    // Slot 14 compares the change the previous element left in leftResult with the literal.
    Added(plan_.Add().Operator(code).DataType(type::kLong).Slot(14).RightLiteral(literal), onTrue, onFalse,
          {std::string("CHANGE ") + OperatorName(code), field.name, value.text});
  }

  // Skips by destination; a verdict its element cannot give by ending there goes through a sink that gives it.
  void Finish() {
    bool needAlways = false, needNever = false;
    for (const Wiring& w : wiring_) {
      needNever = needNever || w.onTrue == kFail;
      needAlways = needAlways || w.onFalse == kPass;
    }
    const std::size_t count = wiring_.size();
    std::size_t alwaysAt = 0, neverAt = 0;
    if (needAlways) {
      alwaysAt = plan_.size();
      plan_.Always().TrueToEnd().FalseToEnd();
      notes_.push_back({"ALWAYS (passes)", "", ""});
    }
    if (needNever) {
      neverAt = plan_.size();
      // leftResult 0 against 1: never holds.
      plan_.Add().Operator(op::kEQ).DataType(type::kLong).Slot(14).LeftResult(0).RightLiteral(pool_.Long(1))
          .TrueToEnd().FalseToEnd();
      notes_.push_back({"NEVER (fails)", "", ""});
    }
    for (std::size_t i = 0; i < count; ++i) {
      plan::Element element = plan_.At(i);
      const Wiring& w = wiring_[i];
      if (w.onTrue == kPass) {
        element.TrueToEnd();
      } else if (w.onTrue == kFail) {
        element.TrueTo(neverAt);
      } else {
        element.TrueTo(static_cast<std::size_t>(labels_[static_cast<std::size_t>(w.onTrue)]));
      }
      if (w.onFalse == kFail) {
        element.FalseToEnd();
      } else if (w.onFalse == kPass) {
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
  std::vector<ElementNote> notes_;
};

}  // namespace

std::string CompileError::Render(std::string_view predicate) const {
  std::string out = "error: " + message + "\n";
  if (position >= 0) {
    out += "  " + std::string(predicate) + "\n";
    out += "  " + std::string(static_cast<std::size_t>(position), ' ') + "^\n";
  }
  return out;
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
