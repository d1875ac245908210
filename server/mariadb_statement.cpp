#include "server/mariadb_statement.h"

#include <algorithm>
#include <iterator>
#include <map>

#include "server/database.h"

namespace veltrano::server {

namespace {

using Kind = StatementError::Kind;
constexpr int kSyntaxError = 1064;  // MariaDB's ER_PARSE_ERROR

bool isWordChar(unsigned char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
         c == '$' || c >= 0x80;
}
bool isDigit(char c) { return c >= '0' && c <= '9'; }

std::string upper(std::string_view s) {
  std::string out(s);
  for (char& c : out)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return out;
}

// A significant piece of the text (blanks and comments are not kept).
struct Token {
  enum Type { Word, Name, String, Parameter, Punct } type;
  std::string text;  // Word: upper-cased; Punct: the character; Parameter: as written
  std::size_t begin = 0, end = 0;  // in the source
};

// Sorted lists, searched with binary_search.
template <std::size_t N>
bool among(const std::string_view (&sorted)[N], std::string_view word) {
  return std::binary_search(std::begin(sorted), std::end(sorted), word);
}

// Words that may stand before "(" without calling anything: clauses, operators, type names.
constexpr std::string_view kWordsBeforeParen[] = {
    "ALL",      "AND",       "ANY",       "AS",        "BETWEEN",   "BIGINT",   "BINARY",
    "BY",       "CASE",      "CHAR",      "COLUMNS",   "CROSS",     "DATE",     "DATETIME",
    "DEC",      "DECIMAL",   "DESC",      "DESCRIBE",  "DISTINCT",  "DIV",      "DOUBLE",
    "ELSE",     "ESCAPE",    "EXCEPT",    "EXISTS",    "EXPLAIN",   "FLOAT",    "FOR",
    "FROM",     "HAVING",    "IN",        "INDEX",     "INNER",     "INT",      "INTEGER",
    "INTERSECT", "INTERVAL", "IS",        "JOIN",      "KEY",       "LATERAL",  "LIKE",
    "LIMIT",    "MEDIUMINT", "NATURAL",   "NCHAR",     "NESTED",    "NOT",      "NUMERIC",
    "OF",       "OFFSET",    "ON",        "OR",        "OUTER",     "OVER",     "PARTITION",
    "PATH",     "RANGE",     "REAL",      "RECURSIVE", "REGEXP",    "RLIKE",    "ROW",
    "ROWS",     "SELECT",    "SIGNED",    "SMALLINT",  "SOME",      "STRAIGHT_JOIN", "THEN",
    "TINYINT",  "UNION",     "UNSIGNED",  "USING",     "VALUES",    "VARBINARY",
};
static_assert(std::is_sorted(std::begin(kWordsBeforeParen), std::end(kWordsBeforeParen)));

// MariaDB's built-in functions without side effects (names starting with JSON_, ST_ and
// REGEXP_ are all such as well). Absent on purpose: NEXTVAL, SETVAL, LASTVAL, GET_LOCK,
// RELEASE_LOCK, RELEASE_ALL_LOCKS, IS_FREE_LOCK, IS_USED_LOCK, LOAD_FILE, MASTER_POS_WAIT,
// MASTER_GTID_WAIT, LAST_INSERT_ID (which sets a value given one), BENCHMARK.
constexpr std::string_view kPureFunctions[] = {
    "ABS", "ACOS", "ADDDATE", "ADDTIME", "ADD_MONTHS", "AES_DECRYPT", "AES_ENCRYPT", "ASCII",
    "ASIN", "ATAN", "ATAN2", "AVG", "BIN", "BIT_AND", "BIT_COUNT", "BIT_LENGTH", "BIT_OR",
    "BIT_XOR", "CAST", "CEIL", "CEILING", "CHARACTER_LENGTH", "CHARSET", "CHAR_LENGTH", "CHR",
    "COALESCE", "COERCIBILITY", "COLLATION", "COLUMN_ADD", "COLUMN_CHECK", "COLUMN_CREATE",
    "COLUMN_DELETE", "COLUMN_EXISTS", "COLUMN_GET", "COLUMN_JSON", "COLUMN_LIST", "COMPRESS",
    "CONCAT", "CONCAT_WS", "CONNECTION_ID", "CONV", "CONVERT", "CONVERT_TZ", "COS", "COT",
    "COUNT", "CRC32", "CRC32C", "CUME_DIST", "CURDATE", "CURRENT_DATE", "CURRENT_ROLE",
    "CURRENT_TIME", "CURRENT_TIMESTAMP", "CURRENT_USER", "CURTIME", "DATABASE", "DATEDIFF",
    "DATE_ADD", "DATE_FORMAT", "DATE_SUB", "DAY", "DAYNAME", "DAYOFMONTH", "DAYOFWEEK",
    "DAYOFYEAR", "DECODE_HISTOGRAM", "DEFAULT", "DEGREES", "DENSE_RANK", "ELT", "EXP",
    "EXPORT_SET", "EXTRACT", "EXTRACTVALUE", "FIELD", "FIND_IN_SET", "FIRST_VALUE", "FLOOR",
    "FORMAT", "FORMAT_BYTES", "FORMAT_PICO_TIME", "FOUND_ROWS", "FROM_BASE64", "FROM_DAYS",
    "FROM_UNIXTIME", "GET_FORMAT", "GREATEST", "GROUP_CONCAT", "HEX", "HOUR", "IF", "IFNULL",
    "INET6_ATON", "INET6_NTOA", "INET_ATON", "INET_NTOA", "INSERT", "INSTR", "ISNULL",
    "IS_IPV4", "IS_IPV4_COMPAT", "IS_IPV4_MAPPED", "IS_IPV6", "LAG", "LAST_DAY", "LAST_VALUE",
    "LCASE", "LEAD", "LEAST", "LEFT", "LENGTH", "LENGTHB", "LN", "LOCALTIME", "LOCALTIMESTAMP",
    "LOCATE", "LOG", "LOG10", "LOG2", "LOWER", "LPAD", "LTRIM", "MAKEDATE", "MAKETIME",
    "MAKE_SET", "MAX", "MD5", "MEDIAN", "MICROSECOND", "MID", "MIN", "MINUTE", "MOD", "MONTH",
    "MONTHNAME", "NATURAL_SORT_KEY", "NOW", "NTH_VALUE", "NTILE", "NULLIF", "NVL", "NVL2",
    "OCT", "OCTET_LENGTH", "ORD", "PERCENTILE_CONT", "PERCENTILE_DISC", "PERCENT_RANK",
    "PERIOD_ADD", "PERIOD_DIFF", "PI", "POSITION", "POW", "POWER", "QUARTER", "QUOTE",
    "RADIANS", "RAND", "RANDOM_BYTES", "RANK", "REPEAT", "REPLACE", "REVERSE", "RIGHT",
    "ROUND", "ROW_COUNT", "ROW_NUMBER", "RPAD", "RTRIM", "SCHEMA", "SECOND", "SEC_TO_TIME",
    "SESSION_USER", "SFORMAT", "SHA", "SHA1", "SHA2", "SIGN", "SIN", "SLEEP", "SOUNDEX",
    "SPACE", "SQRT", "STD", "STDDEV", "STDDEV_POP", "STDDEV_SAMP", "STRCMP", "STR_TO_DATE",
    "SUBDATE", "SUBSTR", "SUBSTRING", "SUBSTRING_INDEX", "SUBTIME", "SUM", "SYSDATE",
    "SYSTEM_USER", "SYS_GUID", "TAN", "TIME", "TIMEDIFF", "TIMESTAMP", "TIMESTAMPADD",
    "TIMESTAMPDIFF", "TIME_FORMAT", "TIME_TO_SEC", "TO_BASE64", "TO_CHAR", "TO_DAYS",
    "TO_SECONDS", "TRIM", "TRUNCATE", "UCASE", "UNCOMPRESS", "UNCOMPRESSED_LENGTH", "UNHEX",
    "UNIX_TIMESTAMP", "UPDATEXML", "UPPER", "USER", "UTC_DATE", "UTC_TIME", "UTC_TIMESTAMP",
    "UUID", "UUID_SHORT", "VARIANCE", "VAR_POP", "VAR_SAMP", "VERSION", "WEEK", "WEEKDAY",
    "WEEKOFYEAR", "WEIGHT_STRING", "YEAR", "YEARWEEK",
};
static_assert(std::is_sorted(std::begin(kPureFunctions), std::end(kPureFunctions)));

// Words that have no place in a query, or make it more than a read: INTO (a file or
// variables), FOR UPDATE, LOCK IN SHARE MODE, PROCEDURE ANALYSE, and the verbs a WITH clause
// could lead to. INSERT, REPLACE and TRUNCATE are functions as well when "(" follows; SET
// follows CHARACTER in a type.
constexpr std::string_view kNotInAQuery[] = {
    "ALTER", "ANALYZE", "CALL", "CREATE", "DELETE", "DO", "DROP", "HANDLER", "INSERT",
    "INTO", "LOAD", "LOCK", "PROCEDURE", "RENAME", "REPLACE", "SET", "TRUNCATE", "UPDATE",
};
static_assert(std::is_sorted(std::begin(kNotInAQuery), std::end(kNotInAQuery)));

bool isPureFunction(const std::string& word) {
  return among(kPureFunctions, word) || word.rfind("JSON_", 0) == 0 || word.rfind("ST_", 0) == 0 ||
         word.rfind("REGEXP_", 0) == 0;
}

// Splits `sql` into significant tokens up to the end of its one statement; `end` is where the
// statement's text ends: at its ";", or the end of the text, blanks before either left out.
// (Comments stay: cutting one off could make the text before it read differently, as "---"
// at the very end reads "-" and a comment.)
std::vector<Token> tokenize(std::string_view sql, std::size_t& end) {
  std::vector<Token> tokens;
  const std::size_t n = sql.size();
  std::size_t i = 0;
  bool ended = false;  // a ";" was seen: only blanks, comments and ";" may follow
  end = 0;
  auto closeQuote = [&](char quote, std::size_t from) {
    std::size_t j = from + 1;
    while (true) {
      if (j >= n)
        throw StatementError(Kind::Statement, kSyntaxError,
                             "the statement has an unterminated quoted text or name");
      if (sql[j] == quote) {
        if (j + 1 < n && sql[j + 1] == quote) {
          j += 2;
          continue;
        }
        return j + 1;
      }
      ++j;
    }
  };
  while (i < n) {
    const auto c = static_cast<unsigned char>(sql[i]);
    // Blanks and comments.
    if (c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v') {
      ++i;
      continue;
    }
    if (c == '#' || (c == '-' && i + 1 < n && sql[i + 1] == '-' &&
                     (i + 2 >= n || static_cast<unsigned char>(sql[i + 2]) <= ' '))) {
      while (i < n && sql[i] != '\n') ++i;
      continue;
    }
    if (c == '/' && i + 1 < n && sql[i + 1] == '*') {
      if ((i + 2 < n && sql[i + 2] == '!') ||
          (i + 3 < n && (sql[i + 2] == 'M' || sql[i + 2] == 'm') && sql[i + 3] == '!'))
        throw StatementError(Kind::Statement, error_number::kMisuse,
                             "comments that MariaDB runs as code (/*! ... */) are not accepted");
      const std::size_t close = sql.find("*/", i + 2);
      if (close == std::string_view::npos)
        throw StatementError(Kind::Statement, kSyntaxError, "the statement has an unterminated comment");
      i = close + 2;
      continue;
    }
    if (c == ';') {
      if (!ended) end = i;
      ended = true;
      ++i;
      continue;
    }
    if (ended)
      throw StatementError(Kind::Statement, error_number::kMisuse,
                           "only one statement may be sent per request");

    Token t{Token::Punct, "", i, i + 1};
    if (c == '\'' || c == '"') {
      t.type = Token::String;
      t.end = closeQuote(static_cast<char>(c), i);
    } else if (c == '`') {
      t.type = Token::Name;
      t.end = closeQuote('`', i);
      std::string name;
      for (std::size_t k = i + 1; k + 1 < t.end; ++k) {
        name += sql[k];
        if (sql[k] == '`') ++k;
      }
      t.text = name;
    } else if (c == '?') {
      t.type = Token::Parameter;
      std::size_t j = i + 1;
      while (j < n && isDigit(sql[j])) ++j;
      t.end = j;
      t.text = std::string(sql.substr(i, j - i));
    } else if ((c == ':' || c == '$' || c == '@') && i + 1 < n &&
               isWordChar(static_cast<unsigned char>(sql[i + 1])) &&
               !(c == '@' && i > 0 && sql[i - 1] == '@')) {
      t.type = Token::Parameter;
      std::size_t j = i + 1;
      while (j < n && isWordChar(static_cast<unsigned char>(sql[j]))) ++j;
      t.end = j;
      t.text = std::string(sql.substr(i, j - i));
    } else if (isWordChar(c)) {
      t.type = Token::Word;
      std::size_t j = i;
      while (j < n && isWordChar(static_cast<unsigned char>(sql[j]))) ++j;
      t.end = j;
      t.text = upper(sql.substr(i, j - i));
    } else {
      t.text = std::string(1, static_cast<char>(c));
    }
    tokens.push_back(t);
    i = t.end;
  }
  if (!ended) end = n;
  auto blank = [](char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v';
  };
  while (end > 0 && blank(sql[end - 1])) --end;
  if (tokens.empty())
    throw StatementError(Kind::Statement, error_number::kMisuse, "no statement to run");
  // No statement ends with "-" (it is always a syntax error); cut at its ";", such a text could
  // end in "--", which reads as a comment when the text is read again.
  if (tokens.back().type == Token::Punct && tokens.back().text == "-" && tokens.back().end == end)
    throw StatementError(Kind::Statement, kSyntaxError, "the statement ends with an operator");
  return tokens;
}

bool isPunct(const std::vector<Token>& t, std::size_t i, char c) {
  return i < t.size() && t[i].type == Token::Punct && t[i].text[0] == c;
}
bool isWord(const std::vector<Token>& t, std::size_t i, std::string_view w) {
  return i < t.size() && t[i].type == Token::Word && t[i].text == w;
}

// Whether tokens[open] is the "(" of a common table expression's column list:
// "name (a, b) AS (".
bool isColumnList(const std::vector<Token>& t, std::size_t open) {
  std::size_t i = open + 1;
  while (true) {
    if (i >= t.size() || (t[i].type != Token::Word && t[i].type != Token::Name)) return false;
    ++i;
    if (isPunct(t, i, ',')) {
      ++i;
      continue;
    }
    return isPunct(t, i, ')') && isWord(t, i + 1, "AS") && isPunct(t, i + 2, '(');
  }
}

// "" when the query's tokens (from `from` on) only read; else what could not be shown to.
std::string doubtOfQuery(const std::vector<Token>& t, std::size_t from) {
  for (std::size_t i = from; i < t.size(); ++i) {
    const Token& k = t[i];
    const bool call = isPunct(t, i + 1, '(');
    if (k.type == Token::Punct && k.text == ":" && isPunct(t, i + 1, '=')) return ":=";
    if (k.type == Token::Name && call && !isColumnList(t, i + 1)) return "`" + k.text + "`()";
    if (k.type != Token::Word) continue;
    const std::string& w = k.text;
    if (w == "NEXT" && isWord(t, i + 1, "VALUE")) return "NEXT VALUE";
    if (among(kNotInAQuery, w)) {
      const bool function = call && (w == "INSERT" || w == "REPLACE" || w == "TRUNCATE");
      const bool charset = w == "SET" && i > 0 && (isWord(t, i - 1, "CHARACTER") || isWord(t, i - 1, "CHARSET"));
      if (!function && !charset) return w;
    }
    if (!call) continue;
    if (i > 0 && isPunct(t, i - 1, '.')) return w + "()";  // a stored function of a schema
    if (among(kWordsBeforeParen, w) || isPureFunction(w) || isColumnList(t, i + 1)) continue;
    return w + "()";
  }
  return "";
}

}  // namespace

MariadbStatement readMariadbStatement(std::string_view sql) {
  std::size_t end = 0;
  const std::vector<Token> tokens = tokenize(sql, end);
  MariadbStatement s;

  // The text, each parameter written "?"; parameters numbered as SQLite numbers them.
  std::map<std::string, std::size_t> byName;
  std::size_t copied = 0;
  for (const Token& t : tokens) {
    if (t.type != Token::Parameter) continue;
    s.text.append(sql.substr(copied, t.begin - copied));
    s.text += '?';
    copied = t.end;
    std::size_t number = 0;  // 1-based
    if (t.text == "?") {
      number = s.parameters.size() + 1;
    } else if (t.text[0] == '?') {
      const std::string digits = t.text.substr(1);
      if (digits.size() > 3 || std::stoul(digits) == 0 || std::stoul(digits) > 999)
        throw StatementError(Kind::Statement, error_number::kRange,
                             "parameter " + t.text + " is out of range (1 to 999)");
      number = std::stoul(digits);
      const auto found = byName.find(t.text);
      if (found != byName.end()) number = found->second;
    } else {
      const auto found = byName.find(t.text);
      number = found != byName.end() ? found->second : s.parameters.size() + 1;
    }
    if (number > s.parameters.size()) s.parameters.resize(number);
    if (t.text != "?") {
      s.parameters[number - 1] = t.text;
      byName.emplace(t.text, number);
    }
    s.placeholders.push_back(number - 1);
  }
  s.text.append(sql.substr(copied, end - copied));

  // What it does.
  std::size_t first = 0;
  while (isPunct(tokens, first, '(')) ++first;
  const std::string verb = first < tokens.size() && tokens[first].type == Token::Word ? tokens[first].text : "";
  if (verb == "SHOW") {
    s.effect = MariadbEffect::Reads;
  } else if (verb == "SELECT" || verb == "WITH" || verb == "VALUES" || verb == "EXPLAIN" ||
             verb == "DESC" || verb == "DESCRIBE") {
    s.doubt = doubtOfQuery(tokens, first + 1);
    s.effect = s.doubt.empty() ? MariadbEffect::Reads : MariadbEffect::Other;
  } else if (first == 0 && (verb == "INSERT" || verb == "UPDATE" || verb == "DELETE" || verb == "REPLACE")) {
    s.effect = MariadbEffect::ChangesRows;
  }
  return s;
}

}  // namespace veltrano::server
