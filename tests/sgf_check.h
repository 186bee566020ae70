// A strict syntax check of SGF text, written apart from the converter so
// that it shares none of its mistakes. It accepts a collection of game
// trees: '(' then nodes ';' with properties IDENT[value][value]..., nested
// trees, ')'. Identifiers are upper-case letters; a value runs to the first
// ']' that no backslash escapes. A property may appear only once in a node.
// Blanks and line ends may stand between any two of these pieces.
#ifndef KIRATO_TESTS_SGF_CHECK_H_
#define KIRATO_TESTS_SGF_CHECK_H_

#include <cstddef>
#include <set>
#include <string>
#include <string_view>

namespace kirato {

struct SgfCheck {
  bool complete = false;    // one or more whole game trees, nothing after
  bool validPrefix = true;  // no fault so far: the text could go on to be whole
  size_t errorAt = 0;       // byte offset of the first fault
  std::string error;        // what the fault is; empty when there is none

  bool ok() const { return complete && validPrefix; }
};

namespace sgf_check_detail {

inline bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}
inline bool IsUpper(char c) { return c >= 'A' && c <= 'Z'; }

class Checker {
 public:
  explicit Checker(std::string_view text) : s_(text) {}

  SgfCheck Run() {
    SkipBlanks();
    if (AtEnd()) return Fail("no game tree");
    while (!AtEnd() && !failed_) {
      if (s_[pos_] != '(') return Fail("expected '(' to open a game tree");
      GameTree();
      SkipBlanks();
    }
    if (failed_) return result_;
    result_.complete = !truncated_;
    return result_;
  }

 private:
  bool AtEnd() const { return pos_ >= s_.size(); }

  void SkipBlanks() {
    while (!AtEnd() && IsBlank(s_[pos_])) ++pos_;
  }

  SgfCheck Fail(const char* what) {
    if (!failed_) {
      failed_ = true;
      result_.validPrefix = false;
      result_.errorAt = pos_;
      result_.error = what;
    }
    return result_;
  }

  // The text stopped where more was needed: a prefix, not a fault.
  void Truncated() {
    truncated_ = true;
    result_.errorAt = pos_;
    result_.error = "text ends inside a game tree";
  }

  // Trees nest; depth is kept iterative so a hostile input cannot
  // overflow the stack of the check itself.
  void GameTree() {
    size_t depth = 0;
    bool sawNode = false;   // in the current tree
    bool sawChild = false;  // a variation closed: only more may follow
    while (!failed_) {
      SkipBlanks();
      if (AtEnd()) return Truncated();
      const char c = s_[pos_];
      if (c == '(') {
        if (depth > 0 && !sawNode) {
          Fail("a game tree must start with a node");
          return;
        }
        ++depth;
        ++pos_;
        sawNode = false;
        sawChild = false;
      } else if (c == ';') {
        if (sawChild) {
          Fail("a node after a variation");
          return;
        }
        ++pos_;
        Node();
        sawNode = true;
      } else if (c == ')') {
        if (!sawNode) {
          Fail("empty game tree");
          return;
        }
        ++pos_;
        if (--depth == 0) return;
        sawNode = true;
        sawChild = true;
      } else {
        Fail("expected ';', '(' or ')'");
        return;
      }
    }
  }

  void Node() {
    std::set<std::string, std::less<>> seen;
    while (!failed_) {
      SkipBlanks();
      if (AtEnd()) return Truncated();
      if (!IsUpper(s_[pos_])) {
        if (s_[pos_] == ';' || s_[pos_] == '(' || s_[pos_] == ')') return;
        Fail("expected a property identifier (upper-case letters)");
        return;
      }
      const size_t start = pos_;
      while (!AtEnd() && IsUpper(s_[pos_])) ++pos_;
      const std::string ident(s_.substr(start, pos_ - start));
      if (!seen.insert(ident).second) {
        pos_ = start;
        Fail("property appears twice in one node");
        return;
      }
      SkipBlanks();
      if (AtEnd()) return Truncated();
      if (s_[pos_] != '[') {
        Fail("property without a value");
        return;
      }
      while (!failed_ && !truncated_) {
        Value();
        SkipBlanks();
        if (AtEnd() || s_[pos_] != '[') break;
      }
      if (truncated_) return;
    }
  }

  void Value() {
    ++pos_;  // '['
    while (!AtEnd()) {
      const char c = s_[pos_++];
      if (c == ']') return;
      if (c == '\\') {
        if (AtEnd()) break;
        ++pos_;
      }
    }
    Truncated();
  }

  std::string_view s_;
  size_t pos_ = 0;
  bool failed_ = false;
  bool truncated_ = false;
  SgfCheck result_;
};

}  // namespace sgf_check_detail

inline SgfCheck CheckSgf(std::string_view text) {
  return sgf_check_detail::Checker(text).Run();
}

}  // namespace kirato

#endif  // KIRATO_TESTS_SGF_CHECK_H_
