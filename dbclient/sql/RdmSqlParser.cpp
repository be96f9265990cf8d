#include "RdmSqlParser.h"

#include <cstring>
#include <string_view>

#include "DbDescError.h"
#include "QorUtils.h"

namespace {

constexpr const char* kKeywords[] = {
    "INSERT",     "INTO",         "VALUES", "DELETE",   "FROM",       "WHERE",
    "UPDATE",     "SET",          "COMMIT", "ROLLBACK", "SELECT",     "LIKE",
    "ORDER",      "BY",           "DESC",   "DESCRIBE", "AND",        "SYSDATE",
    "CREATE",     "ALTER",        "DROP",   "DATABASE", "TABLESPACE", "TABLE",
    "SEQUENCE",   "INCREMENT_BY", "START",  "WITH",     "MAXVALUE",   "MINVALUE",
    "NOMAXVALUE", "NOMINVALUE",   "CYCLE",  "NOCYCLE",  "CACHE",      "NOCACHE",
};

// Comment start markers and the end marker of each.
struct Comment {
  const char* start;
  const char* end;
};
constexpr Comment kComments[] = {{"/*", "*/"}, {"--", "\r\n"}};

constexpr char kLiteralQuote = '\'';
constexpr char kEscape = '\\';
constexpr char kNameQuote = '"';

bool IsWhitespace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }
bool IsSeparator(char c) { return c == ',' || c == ';' || c == '(' || c == ')' || c == '"'; }

}  // namespace

RdmSqlParser::RdmSqlParser() = default;
RdmSqlParser::~RdmSqlParser() = default;

void RdmSqlParser::Parse(const char* text, unsigned length,
                         std::vector<RdmSqlStatement>& statements) {
  Reset();
  m_text.assign(text, length);
  m_tokens.clear();
  ReadTokens();
  RdmSqlStatement gathered;
  for (RdmSqlToken& token : m_tokens) {
    bool ends = token.kind == RdmSqlTokenKind::Separator && token.text == ";";
    gathered.push_back(std::move(token));
    if (ends) {
      statements.push_back(std::move(gathered));
      gathered.clear();
    }
  }
  m_tokens.clear();
}

void RdmSqlParser::Reset() {
  m_text.clear();
  m_position = 0;
}

bool RdmSqlParser::At(const char* s) const {
  return std::string_view(m_text).substr(m_position).starts_with(s);
}

void RdmSqlParser::Add(std::string text, RdmSqlTokenKind kind) {
  m_tokens.push_back(RdmSqlToken{std::move(text), kind});
}

// Each pass runs the readers in a fixed order, every one of them looking at
// where the one before left the position; every pass moves it on.
void RdmSqlParser::ReadTokens() {
  while (!AtEnd()) {
    SkipWhitespace();
    SkipComment();
    if (!AtEnd()) {
      if (m_text[m_position] == kNameQuote)
        ReadQuotedName();
      else if (m_text[m_position] == kLiteralQuote)
        ReadString();
    }
    ReadKeyword();
    ReadParenthesis();
    ReadSeparator();
    ReadWord();
    ReadOperator();
  }
}

void RdmSqlParser::SkipWhitespace() {
  while (!AtEnd() && IsWhitespace(m_text[m_position])) ++m_position;
}

void RdmSqlParser::SkipComment() {
  for (const Comment& comment : kComments) {
    if (!At(comment.start)) continue;
    std::size_t end = m_text.find(comment.end, m_position + 2);
    m_position = end == std::string::npos ? m_text.size() : end + std::strlen(comment.end);
    return;
  }
}

void RdmSqlParser::ReadQuotedName() {
  ++m_position;
  std::size_t close = m_text.find(kNameQuote, m_position);
  if (close == std::string::npos) {
    std::string read = m_text.substr(m_position);
    m_position = m_text.size();
    throw DbDescError(2019, StringVector(read));
  }
  std::string name = m_text.substr(m_position, close - m_position);
  if (name.empty()) throw DbDescError(2019, StringVector(name));
  m_position = close + 1;
  Add(ToUpper(name), RdmSqlTokenKind::QuotedName);
}

void RdmSqlParser::ReadString() {
  ++m_position;
  std::string value;
  while (!AtEnd()) {
    char c = m_text[m_position++];
    if (c == kLiteralQuote) {
      Add(std::move(value), RdmSqlTokenKind::Literal);
      return;
    }
    if (c == kEscape) {
      if (AtEnd()) break;
      c = m_text[m_position++];
    }
    value += c;
  }
  throw DbDescError(2033, StringVector(value));
}

void RdmSqlParser::ReadKeyword() {
  std::string_view rest = std::string_view(m_text).substr(m_position);
  const char* found = nullptr;
  std::size_t foundLength = 0;
  for (const char* keyword : kKeywords) {
    std::size_t n = std::strlen(keyword);
    if (n <= foundLength || n > rest.size()) continue;
    if (CompareNoCase(rest.substr(0, n), keyword) == 0) {
      found = keyword;
      foundLength = n;
    }
  }
  if (!found) return;
  if (foundLength == rest.size() ||
      !(IsWhitespace(rest[foundLength]) || IsSeparator(rest[foundLength])))
    throw DbDescError(2018, StringVector(found));
  m_position += foundLength;
  Add(found, RdmSqlTokenKind::Keyword);
}

void RdmSqlParser::ReadParenthesis() {
  if (!AtEnd() && (m_text[m_position] == '(' || m_text[m_position] == ')'))
    Add(std::string(1, m_text[m_position++]), RdmSqlTokenKind::Separator);
}

void RdmSqlParser::ReadSeparator() {
  if (!AtEnd() && IsSeparator(m_text[m_position]))
    Add(std::string(1, m_text[m_position++]), RdmSqlTokenKind::Separator);
}

// A backslash takes the next character into the word; a comment start and
// "<>" end the word even right after one.
void RdmSqlParser::ReadWord() {
  if (AtEnd() || m_text[m_position] == kLiteralQuote) return;
  std::string word;
  bool escaped = false;
  for (; !AtEnd(); ++m_position) {
    if (AtCommentStart() || At("<>")) break;
    char c = m_text[m_position];
    if (escaped) {
      word += c;
      escaped = false;
    } else if (c == kEscape) {
      escaped = true;
    } else if (IsWhitespace(c) || IsSeparator(c) || c == '=') {
      break;
    } else {
      word += c;
    }
  }
  if (!word.empty()) Add(std::move(word), RdmSqlTokenKind::Word);
}

void RdmSqlParser::ReadOperator() {
  if (At("=")) {
    Add("=", RdmSqlTokenKind::Operator);
    ++m_position;
  } else if (At("<>")) {
    Add("<>", RdmSqlTokenKind::Operator);
    m_position += 2;
  }
}
