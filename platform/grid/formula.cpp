#include "platform/grid/formula.h"

#include <cctype>
#include <cmath>
#include <cstdlib>

namespace veltrano::grid {

std::string columnName(int col) {
  std::string out;
  while (col > 0) {
    int rem = (col - 1) % 26;
    out.insert(out.begin(), static_cast<char>('A' + rem));
    col = (col - 1) / 26;
  }
  return out;
}

int columnNumber(std::string_view letters) {
  if (letters.empty() || letters.size() > 3) return 0;
  int n = 0;
  for (char ch : letters) {
    if (!std::isalpha(static_cast<unsigned char>(ch))) return 0;
    n = n * 26 + (std::toupper(static_cast<unsigned char>(ch)) - 'A' + 1);
  }
  return n;
}

std::string formulaErrorText(FormulaError e) {
  switch (e) {
    case FormulaError::DivisionByZero: return "#DIV/0!";
    case FormulaError::Cycle: return "#CIRC!";
    case FormulaError::None: break;
  }
  return "";
}

// Recursive descent over
//   expr   := term (("+" | "-") term)*
//   term   := unary (("*" | "/") unary)*
//   unary  := ("-" | "+") unary | primary
//   primary:= number | ref | "SUM" "(" arg ("," arg)* ")" | "(" expr ")"
//   arg    := ref ":" ref | expr
class FormulaParser {
 public:
  explicit FormulaParser(std::string_view text) : s_(text) {}

  Formula::ParseResult run() {
    Formula::ParseResult r;
    skipBlanks();
    if (pos_ < s_.size() && s_[pos_] == '=') ++pos_;
    std::size_t start = pos_;
    skipBlanks();
    if (pos_ >= s_.size()) return fail(r, "empty formula");
    if (!expr()) return fail(r, error_);
    skipBlanks();
    if (pos_ != s_.size()) return fail(r, "unexpected text");
    Formula f;
    f.source_ = std::string(s_.substr(start));
    f.program_ = std::move(out_);
    r.formula = std::move(f);
    return r;
  }

 private:
  Formula::ParseResult& fail(Formula::ParseResult& r, std::string what) {
    r.position = errorPos_ ? errorPos_ : pos_;
    r.description = what.empty() ? std::string("syntax error") : std::move(what);
    return r;
  }
  bool error(const char* what) {
    if (error_.empty()) {
      error_ = what;
      errorPos_ = pos_;
    }
    return false;
  }
  void skipBlanks() {
    while (pos_ < s_.size() && (s_[pos_] == ' ' || s_[pos_] == '\t')) ++pos_;
  }
  bool accept(char c) {
    skipBlanks();
    if (pos_ < s_.size() && s_[pos_] == c) {
      ++pos_;
      return true;
    }
    return false;
  }
  void emit(Formula::Op op) { out_.push_back(Formula::Step{op}); }

  bool expr() {
    if (!term()) return false;
    while (true) {
      if (accept('+')) {
        if (!term()) return false;
        emit(Formula::Op::Add);
      } else if (accept('-')) {
        if (!term()) return false;
        emit(Formula::Op::Sub);
      } else {
        return true;
      }
    }
  }
  bool term() {
    if (!unary()) return false;
    while (true) {
      if (accept('*')) {
        if (!unary()) return false;
        emit(Formula::Op::Mul);
      } else if (accept('/')) {
        if (!unary()) return false;
        emit(Formula::Op::Div);
      } else {
        return true;
      }
    }
  }
  bool unary() {
    if (accept('-')) {
      if (!unary()) return false;
      emit(Formula::Op::Neg);
      return true;
    }
    if (accept('+')) return unary();
    return primary();
  }
  // Letters followed by digits: a cell reference. Leaves pos_ unchanged when there is none.
  bool reference(int& row, int& col) {
    skipBlanks();
    std::size_t p = pos_;
    while (p < s_.size() && std::isalpha(static_cast<unsigned char>(s_[p]))) ++p;
    std::size_t letters = p - pos_;
    std::size_t q = p;
    while (q < s_.size() && std::isdigit(static_cast<unsigned char>(s_[q]))) ++q;
    if (letters == 0 || q == p) return false;
    int c = columnNumber(s_.substr(pos_, letters));
    if (c == 0 || q - p > 9) return false;
    row = std::atoi(std::string(s_.substr(p, q - p)).c_str());
    col = c;
    pos_ = q;
    return true;
  }
  bool primary() {
    skipBlanks();
    if (pos_ >= s_.size()) return error("operand expected");
    char ch = s_[pos_];
    if (std::isdigit(static_cast<unsigned char>(ch)) || ch == '.') {
      const std::string rest(s_.substr(pos_));
      char* end = nullptr;
      double v = std::strtod(rest.c_str(), &end);
      if (end == rest.c_str()) return error("number expected");
      pos_ += static_cast<std::size_t>(end - rest.c_str());
      out_.push_back(Formula::Step{Formula::Op::Number, v});
      return true;
    }
    if (accept('(')) {
      if (!expr()) return false;
      if (!accept(')')) return error("\")\" expected");
      return true;
    }
    if (std::isalpha(static_cast<unsigned char>(ch))) {
      std::size_t p = pos_;
      while (p < s_.size() && std::isalpha(static_cast<unsigned char>(s_[p]))) ++p;
      std::string name(s_.substr(pos_, p - pos_));
      for (char& c : name) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
      std::size_t after = p;
      while (after < s_.size() && s_[after] == ' ') ++after;
      if (after < s_.size() && s_[after] == '(') {
        if (name != "SUM") return error("unknown function");
        pos_ = after + 1;
        int argc = 0;
        if (!accept(')')) {
          do {
            if (!argument()) return false;
            ++argc;
          } while (accept(','));
          if (!accept(')')) return error("\")\" expected");
        }
        Formula::Step s{Formula::Op::Sum};
        s.argc = argc;
        out_.push_back(s);
        return true;
      }
      int row = 0, col = 0;
      if (!reference(row, col)) return error("cell reference expected");
      Formula::Step s{Formula::Op::Ref};
      s.row = row;
      s.col = col;
      out_.push_back(s);
      return true;
    }
    return error("operand expected");
  }
  bool argument() {
    std::size_t save = pos_;
    int row = 0, col = 0;
    if (reference(row, col)) {
      if (accept(':')) {
        int row2 = 0, col2 = 0;
        if (!reference(row2, col2)) return error("cell reference expected after \":\"");
        Formula::Step s{Formula::Op::RangeSum};
        s.row = row;
        s.col = col;
        s.row2 = row2;
        s.col2 = col2;
        out_.push_back(s);
        return true;
      }
      pos_ = save;  // a plain reference, possibly the start of an expression
    }
    return expr();
  }

  std::string_view s_;
  std::size_t pos_ = 0;
  std::vector<Formula::Step> out_;
  std::string error_;
  std::size_t errorPos_ = 0;
};

Formula::ParseResult Formula::parse(std::string_view text) { return FormulaParser(text).run(); }

FormulaValue Formula::evaluate(const CellReader& read) const {
  std::vector<FormulaValue> stack;
  stack.reserve(8);
  auto pop = [&stack] {
    FormulaValue v = stack.back();
    stack.pop_back();
    return v;
  };
  auto binary = [&](auto fn) {
    FormulaValue b = pop();
    FormulaValue a = pop();
    if (!a.ok()) stack.push_back(a);
    else if (!b.ok()) stack.push_back(b);
    else stack.push_back(fn(a.number, b.number));
  };
  for (const Step& s : program_) {
    switch (s.op) {
      case Op::Number: stack.push_back({s.number}); break;
      case Op::Ref: {
        CellNumber c = read(s.row, s.col);
        if (c.error != FormulaError::None) stack.push_back({0, c.error});
        else stack.push_back({c.number.value_or(0.0)});
        break;
      }
      case Op::RangeSum: {
        FormulaValue sum;
        for (int r = s.row; r <= s.row2 && sum.ok(); ++r)
          for (int c = s.col; c <= s.col2; ++c) {
            CellNumber v = read(r, c);
            if (v.error != FormulaError::None) {
              sum = {0, v.error};
              break;
            }
            if (v.number) sum.number += *v.number;
          }
        stack.push_back(sum);
        break;
      }
      case Op::Neg: {
        FormulaValue a = pop();
        if (a.ok()) a.number = -a.number;
        stack.push_back(a);
        break;
      }
      case Op::Add: binary([](double a, double b) { return FormulaValue{a + b}; }); break;
      case Op::Sub: binary([](double a, double b) { return FormulaValue{a - b}; }); break;
      case Op::Mul: binary([](double a, double b) { return FormulaValue{a * b}; }); break;
      case Op::Div:
        binary([](double a, double b) {
          return b == 0 ? FormulaValue{0, FormulaError::DivisionByZero} : FormulaValue{a / b};
        });
        break;
      case Op::Sum: {
        FormulaValue total;
        std::size_t first = stack.size() - static_cast<std::size_t>(s.argc);
        for (std::size_t i = first; i < stack.size(); ++i) {
          if (!stack[i].ok()) {
            total = stack[i];
            break;
          }
          total.number += stack[i].number;
        }
        stack.resize(first);
        stack.push_back(total);
        break;
      }
    }
  }
  return stack.empty() ? FormulaValue{} : stack.back();
}

}  // namespace veltrano::grid
