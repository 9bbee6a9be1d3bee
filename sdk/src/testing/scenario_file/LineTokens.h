// Splitting one scenario line into words and quoted texts.
#pragma once

#include <string>
#include <vector>

namespace CamSdk {
namespace detail {

// A problem found on one line; the caller adds the file name and line number.
struct LineError {
  std::string reason;
};

struct Token {
  std::string text;
  bool quoted = false;  // written as "..." (quotes removed, escapes resolved)
};

// Words are separated by blanks; `#` outside quotes starts a comment; inside "..." the
// escapes \" and \\ stand for " and \. Raises LineError for an unterminated quote or an
// unknown escape.
std::vector<Token> tokenizeLine(const std::string& line);

// Walks the tokens of a line, naming what is missing or left over when the line is wrong.
class TokenCursor {
 public:
  explicit TokenCursor(std::vector<Token> tokens) : tokens_(std::move(tokens)) {}

  bool atEnd() const { return next_ >= tokens_.size(); }
  // The next token if it is the unquoted word `keyword`.
  bool accept(const char* keyword);
  // The next unquoted word; `what` names it in the error when missing.
  std::string word(const char* what);
  // The next quoted text.
  std::string text(const char* what);
  bool nextIsText() const { return !atEnd() && tokens_[next_].quoted; }
  // Raises LineError: "missing WHAT" at the end of the line, else "expected WHAT, not X".
  [[noreturn]] void expected(const char* what) const;
  // Raises LineError naming the first token left over.
  void expectEnd() const;

 private:
  std::vector<Token> tokens_;
  std::size_t next_ = 0;
};

// How a token is shown in an error: words as they are, texts in quotes.
std::string describe(const Token& token);

}  // namespace detail
}  // namespace CamSdk
