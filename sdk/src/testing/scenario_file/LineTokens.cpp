#include "scenario_file/LineTokens.h"

namespace CamSdk {
namespace detail {
namespace {

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f'; }

}  // namespace

std::vector<Token> tokenizeLine(const std::string& line) {
  std::vector<Token> tokens;
  std::size_t i = 0;
  while (i < line.size()) {
    const char c = line[i];
    if (isBlank(c)) {
      ++i;
    } else if (c == '#') {
      break;
    } else if (c == '"') {
      Token token{"", true};
      ++i;
      for (;;) {
        if (i >= line.size()) throw LineError{"unterminated quote"};
        const char q = line[i++];
        if (q == '"') break;
        if (q == '\\') {
          if (i >= line.size() || (line[i] != '"' && line[i] != '\\')) {
            throw LineError{"unknown escape in quoted text (only \\\" and \\\\)"};
          }
          token.text += line[i++];
        } else {
          token.text += q;
        }
      }
      tokens.push_back(std::move(token));
    } else {
      Token token;
      while (i < line.size() && !isBlank(line[i]) && line[i] != '#' && line[i] != '"') {
        token.text += line[i++];
      }
      tokens.push_back(std::move(token));
    }
  }
  return tokens;
}

bool TokenCursor::accept(const char* keyword) {
  if (atEnd() || tokens_[next_].quoted || tokens_[next_].text != keyword) return false;
  ++next_;
  return true;
}

std::string TokenCursor::word(const char* what) {
  if (atEnd() || tokens_[next_].quoted) expected(what);
  return tokens_[next_++].text;
}

std::string TokenCursor::text(const char* what) {
  if (atEnd()) throw LineError{std::string("missing ") + what};
  const Token& token = tokens_[next_];
  if (!token.quoted) {
    throw LineError{std::string("expected ") + what + " in double quotes, not " + describe(token)};
  }
  ++next_;
  return token.text;
}

void TokenCursor::expected(const char* what) const {
  if (atEnd()) throw LineError{std::string("missing ") + what};
  throw LineError{std::string("expected ") + what + ", not " + describe(tokens_[next_])};
}

void TokenCursor::expectEnd() const {
  if (!atEnd()) throw LineError{"unexpected " + describe(tokens_[next_])};
}

std::string describe(const Token& token) {
  return token.quoted ? "\"" + token.text + "\"" : "'" + token.text + "'";
}

}  // namespace detail
}  // namespace CamSdk
