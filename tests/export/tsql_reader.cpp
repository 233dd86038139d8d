// A small reader of the INSERT statements the script export writes.

#include "export/tsql_reader.h"

#include <gtest/gtest.h>

#include <cctype>
#include <stdexcept>

namespace ravelin::testing {
namespace {

class Cursor {
 public:
  explicit Cursor(const std::string& text) : t_(text) {}

  bool AtEnd() {
    Skip();
    return i_ >= t_.size();
  }
  // Skips blanks and comments; remembers whether "/* unreadable */" was one.
  void Skip() {
    while (i_ < t_.size()) {
      if (std::isspace(static_cast<unsigned char>(t_[i_]))) {
        ++i_;
      } else if (t_.compare(i_, 2, "--") == 0) {
        while (i_ < t_.size() && t_[i_] != '\n') ++i_;
      } else if (t_.compare(i_, 2, "/*") == 0) {
        const size_t end = t_.find("*/", i_);
        if (end == std::string::npos) throw std::runtime_error("open comment");
        lastComment_ = t_.substr(i_, end + 2 - i_);
        i_ = end + 2;
      } else {
        break;
      }
    }
  }
  bool Looking(const std::string& word) const { return t_.compare(i_, word.size(), word) == 0; }
  bool Take(const std::string& word) {
    Skip();
    if (t_.compare(i_, word.size(), word) != 0) return false;
    i_ += word.size();
    return true;
  }
  void Expect(const std::string& word) {
    if (!Take(word)) throw std::runtime_error("expected " + word + " at " + t_.substr(i_, 40));
  }
  char Peek() {
    Skip();
    return i_ < t_.size() ? t_[i_] : '\0';
  }
  std::string Name() {
    Skip();
    if (t_[i_] != '[') throw std::runtime_error("expected a name at " + t_.substr(i_, 40));
    std::string name;
    for (++i_; i_ < t_.size(); ++i_) {
      if (t_[i_] == ']') {
        if (i_ + 1 < t_.size() && t_[i_ + 1] == ']') {
          name += ']';
          ++i_;
          continue;
        }
        ++i_;
        return name;
      }
      name += t_[i_];
    }
    throw std::runtime_error("open name");
  }
  std::string Quoted() {
    std::string text;
    for (++i_; i_ < t_.size(); ++i_) {
      if (t_[i_] == '\'') {
        if (i_ + 1 < t_.size() && t_[i_ + 1] == '\'') {
          text += '\'';
          ++i_;
          continue;
        }
        ++i_;
        return text;
      }
      text += t_[i_];
    }
    throw std::runtime_error("open string");
  }
  // A string piece: N'…', '…' or NCHAR(n).
  bool Piece(std::string& text, bool& national) {
    Skip();
    if (t_.compare(i_, 2, "N'") == 0) {
      ++i_;
      national = true;
      text += Quoted();
      return true;
    }
    if (t_[i_] == '\'') {
      text += Quoted();
      return true;
    }
    if (Take("NCHAR(")) {
      size_t used = 0;
      text += static_cast<char>(std::stoi(t_.substr(i_), &used));
      i_ += used;
      Expect(")");
      national = true;
      return true;
    }
    return false;
  }
  TsqlLiteral Literal() {
    TsqlLiteral lit;
    Skip();
    if (Take("NULL")) {
      lastComment_.clear();
      Skip();
      lit.unreadable = lastComment_ == "/* unreadable */";
      return lit;
    }
    if (Take("CAST(")) {
      Skip();
      if (Looking("N'' AS nvarchar(max))+N'") || Looking("N'' AS nvarchar(max))+NCHAR")) {
        Expect("N'' AS nvarchar(max))+");
        // The head of a long text that has NCHAR pieces.
        lit.kind = TsqlLiteral::kString;
        lit.national = true;
        do {
          if (!Piece(lit.text, lit.national)) throw std::runtime_error("expected a text piece");
        } while (Take("+"));
        return lit;
      }
      lit = Literal();
      Expect("AS ");
      int depth = 0;
      while (i_ < t_.size() && !(t_[i_] == ')' && depth == 0)) {
        if (t_[i_] == '(') ++depth;
        if (t_[i_] == ')') --depth;
        lit.castType += t_[i_++];
      }
      Expect(")");
      return lit;
    }
    if (t_.compare(i_, 2, "0x") == 0) {
      lit.kind = TsqlLiteral::kBinary;
      for (i_ += 2; i_ < t_.size() && std::isxdigit(static_cast<unsigned char>(t_[i_])); ++i_) lit.text += t_[i_];
      return lit;
    }
    if (Piece(lit.text, lit.national)) {
      lit.kind = TsqlLiteral::kString;
      while (Take("+"))
        if (!Piece(lit.text, lit.national)) throw std::runtime_error("expected a text piece");
      return lit;
    }
    lit.kind = TsqlLiteral::kNumber;
    while (i_ < t_.size() &&
           (std::isalnum(static_cast<unsigned char>(t_[i_])) || t_[i_] == '-' || t_[i_] == '+' || t_[i_] == '.'))
      lit.text += t_[i_++];
    if (lit.text.empty()) throw std::runtime_error("expected a value at " + t_.substr(i_, 40));
    return lit;
  }

 private:
  const std::string& t_;
  size_t i_ = 0;
  std::string lastComment_;
};

}  // namespace

void PrintTo(const TsqlLiteral& l, std::ostream* os) {
  *os << "{kind " << l.kind << " '" << l.text << "' cast '" << l.castType << "' N=" << l.national
      << " unreadable=" << l.unreadable << "}";
}

std::vector<std::string> SplitBatches(const std::string& script) {
  std::string text = script.starts_with("\xEF\xBB\xBF") ? script.substr(3) : script;
  std::vector<std::string> batches;
  std::string batch;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size() - 1;
    const std::string line = text.substr(start, end + 1 - start);
    if (line == "GO\r\n" || line == "GO\n") {
      batches.push_back(batch);
      batch.clear();
    } else {
      batch += line;
    }
    start = end + 1;
  }
  if (!batch.empty()) batches.push_back(batch);
  return batches;
}

std::vector<std::string> ReadQualifiedName(const std::string& text) {
  Cursor c(text);
  std::vector<std::string> parts{c.Name()};
  while (c.Take(".")) parts.push_back(c.Name());
  return parts;
}

std::vector<TsqlInsert> ReadInserts(const std::string& script) {
  std::vector<TsqlInsert> inserts;
  for (const std::string& batch : SplitBatches(script)) {
    size_t at = 0;
    while ((at = batch.find("INSERT INTO ", at)) != std::string::npos) {
      if (at > 0 && batch[at - 1] != '\n') {
        ++at;
        continue;
      }
      const std::string statement = batch.substr(at);
      at += 12;
      try {
        Cursor c(statement);
        c.Expect("INSERT INTO ");
        TsqlInsert insert;
        insert.table = c.Name();
        c.Expect(".");
        insert.table += "." + c.Name();
        if (c.Take("DEFAULT VALUES;")) {
          insert.rows.emplace_back();
          inserts.push_back(insert);
          continue;
        }
        c.Expect("(");
        do insert.columns.push_back(c.Name());
        while (c.Take(","));
        c.Expect(")");
        c.Expect("VALUES");
        do {
          c.Expect("(");
          std::vector<TsqlLiteral> row;
          do row.push_back(c.Literal());
          while (c.Take(","));
          c.Expect(")");
          insert.rows.push_back(row);
        } while (c.Take(","));
        c.Expect(";");
        inserts.push_back(insert);
      } catch (const std::exception& e) {
        ADD_FAILURE() << e.what() << "\nin: " << statement.substr(0, 400);
      }
    }
  }
  return inserts;
}

}  // namespace ravelin::testing
