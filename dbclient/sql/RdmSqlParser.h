// The tokenizer of the client-side SQL scripts: it knows no grammar, only
// whitespace, comments, keywords, quoted texts, names, separators and the two
// comparison operators, and cuts the tokens into statements at every ";".
#pragma once

#include <string>
#include <vector>

// What a token was written as. Everything downstream compares token texts;
// the kind keeps a quoted text from passing for a keyword, a separator, a
// field name or one of the special values.
enum class RdmSqlTokenKind : unsigned char {
  Keyword,     // one of the keywords, in upper case
  Word,        // a name, number or anything else written bare
  QuotedName,  // a name between double quotes, upper-cased
  Literal,     // a text between single quotes, without them
  Separator,   // , ; ( ) and a stray "
  Operator,    // = or <>
};

struct RdmSqlToken {
  std::string text;
  RdmSqlTokenKind kind = RdmSqlTokenKind::Word;

  bool IsLiteral() const { return kind == RdmSqlTokenKind::Literal; }
  // Written between quotes of either kind: never a keyword or a separator.
  bool IsQuoted() const {
    return kind == RdmSqlTokenKind::Literal || kind == RdmSqlTokenKind::QuotedName;
  }
  bool operator==(const RdmSqlToken&) const = default;
};

// One statement: its tokens, the last of them the separator ";".
using RdmSqlStatement = std::vector<RdmSqlToken>;

class RdmSqlParser {
 public:
  RdmSqlParser();
  virtual ~RdmSqlParser();

  // Reads length characters of text and appends its statements. Tokens after
  // the last ";" form no statement. A refused text raises DbDescError 2018,
  // 2019 or 2033 and appends nothing.
  void Parse(const char* text, unsigned length, std::vector<RdmSqlStatement>& statements);

 private:
  void Reset();
  void ReadTokens();
  void SkipWhitespace();
  void SkipComment();
  void ReadQuotedName();
  void ReadString();
  void ReadKeyword();
  void ReadParenthesis();
  void ReadSeparator();
  void ReadWord();
  void ReadOperator();

  bool AtEnd() const { return m_position >= m_text.size(); }
  // The text at the position starts with s.
  bool At(const char* s) const;
  bool AtCommentStart() const { return At("/*") || At("--"); }
  void Add(std::string text, RdmSqlTokenKind kind);

  std::string m_text;
  std::size_t m_position = 0;
  std::vector<RdmSqlToken> m_tokens;
};
