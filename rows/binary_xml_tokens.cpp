#include "rows/binary_xml_tokens.h"

#include <cstdint>
#include <iterator>
#include <string>
#include <vector>

#include "rows/xml_atomic_value.h"

namespace ravelin {
namespace {

constexpr size_t kHeaderSize = 5;
// Characters of a text shown before it is cut.
constexpr size_t kShownText = 40;

const char* StructureTokenName(uint8_t token) {
  switch (token) {
    case 0xFE:
      return "XMLDECL";
    case 0xFD:
      return "ENCODING";
    case 0xFC:
      return "DOCTYPE";
    case 0xFB:
      return "SYSTEM";
    case 0xFA:
      return "PUBLIC";
    case 0xF9:
      return "SUBSET";
    case 0xF8:
      return "ELEMENT";
    case 0xF7:
      return "ENDELEMENT";
    case 0xF6:
      return "ATTRIBUTE";
    case 0xF5:
      return "ENDATTRIBUTES";
    case 0xF4:
      return "PI";
    case 0xF3:
      return "COMMENT";
    case 0xF2:
      return "CDATA";
    case 0xF1:
      return "CDATAEND";
    case 0xF0:
      return "NAMEDEF";
    case 0xEF:
      return "QNAMEDEF";
    case 0xED:
      return "XMLTEXT";
    case 0xEC:
      return "NEST";
    case 0xEB:
      return "ENDNEST";
    case 0xEA:
      return "EXTN";
    case 0xE9:
      return "FLUSH";
    default:
      return nullptr;
  }
}

const char* AtomicTokenName(uint8_t token) {
  static const char* const kSql[] = {nullptr,          "SQL-SMALLINT", "SQL-INT",      "SQL-REAL",
                                     "SQL-FLOAT",      "SQL-MONEY",    "SQL-BIT",      "SQL-TINYINT",
                                     "SQL-BIGINT",     "SQL-UUID",     "SQL-DECIMAL",  "SQL-NUMERIC",
                                     "SQL-BINARY",     "SQL-CHAR",     "SQL-NCHAR",    "SQL-VARBINARY",
                                     "SQL-VARCHAR",    "SQL-NVARCHAR", "SQL-DATETIME", "SQL-SMALLDATETIME",
                                     "SQL-SMALLMONEY", nullptr,        "SQL-TEXT",     "SQL-IMAGE",
                                     "SQL-NTEXT",      nullptr,        nullptr,        "SQL-UDT"};
  static const char* const kXsd[] = {"XSD-TIMEOFFSET",  "XSD-DATETIMEOFFSET", "XSD-DATEOFFSET", "XSD-TIME2",
                                     "XSD-DATETIME2",   "XSD-DATE2",          nullptr,          "XSD-TIME",
                                     "XSD-DATETIME",    "XSD-DATE",           "XSD-BINHEX",     "XSD-BASE64",
                                     "XSD-BOOLEAN",     "XSD-DECIMAL",        "XSD-BYTE",       "XSD-UNSIGNEDSHORT",
                                     "XSD-UNSIGNEDINT", "XSD-UNSIGNEDLONG",   "XSD-QNAME"};
  if (token < std::size(kSql)) return kSql[token];
  if (token >= 0x7A && token < 0x7A + std::size(kXsd)) return kXsd[token - 0x7A];
  return nullptr;
}

// `text` in quotes on one line: line breaks and other control characters
// as escapes, cut after kShownText characters.
std::string Quoted(const std::string& text) {
  std::string out = "\"";
  size_t characters = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    // A UTF-8 lead byte (or ASCII) starts a character.
    if ((c & 0xC0) != 0x80 && ++characters > kShownText) {
      out += "...";
      break;
    }
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c == '\n') {
      out += "\\n";
    } else if (c == '\r') {
      out += "\\r";
    } else if (c == '\t') {
      out += "\\t";
    } else if (c < 0x20) {
      static constexpr char kHex[] = "0123456789ABCDEF";
      out += "\\x";
      out += kHex[c >> 4];
      out += kHex[c & 0x0F];
    } else {
      out += static_cast<char>(c);
    }
  }
  return out + '"';
}

// The names and qualified names of one document level.
struct Names {
  std::vector<std::string> names{std::string()};
  std::vector<uint32_t> qnames{0, 0, 0};  // three name indexes per entry; entry 0 is none

  size_t QNameCount() const { return qnames.size() / 3; }

  // "prefix:local", or "#N" for a qualified name the value never defined.
  std::string QName(uint32_t index) const {
    if (index == 0 || index >= QNameCount()) return "#" + std::to_string(index);
    const std::string& prefix = names[qnames[3 * index + 1]];
    const std::string& local = names[qnames[3 * index + 2]];
    return prefix.empty() || local.empty() ? prefix + local : prefix + ':' + local;
  }
};

class TokenLister {
 public:
  TokenLister(ByteSpan data, size_t maxTokens) : data_(data), maxTokens_(maxTokens) {}

  XmlTokenListing Run() {
    if (!HasBinaryXmlHeader(data_)) {
      listing_.faultOffset = 0;
      return std::move(listing_);
    }
    listing_.tokens.push_back({0, "header version " + std::to_string(data_[2])});
    levels_.emplace_back();
    pos_ = kHeaderSize;
    while (pos_ < data_.size()) {
      if (listing_.tokens.size() > maxTokens_) {
        listing_.more = true;
        break;
      }
      const size_t start = pos_;
      std::string text;
      if (!Read(data_[pos_++], text)) {
        listing_.faultOffset = start;
        break;
      }
      listing_.tokens.push_back({start, std::move(text)});
    }
    return std::move(listing_);
  }

 private:
  bool Text(std::string& out) {
    std::string text;
    if (!ReadXmlTextData(data_, pos_, text)) return false;
    out += ' ';
    out += Quoted(text);
    return true;
  }

  bool Number(uint32_t& value) { return ReadMb32(data_, pos_, value); }

  bool Read(uint8_t token, std::string& out) {
    Names& names = levels_.back();
    if (const char* atomic = AtomicTokenName(token); atomic && IsXmlAtomicToken(token)) {
      out = atomic;
      if (token == kXmlTokenQName) {
        uint32_t index = 0;
        if (!Number(index)) return false;
        out += ' ' + names.QName(index);
        return true;
      }
      std::string value;
      if (!AppendXmlAtomicValue(token, data_, pos_, value)) return false;
      out += ' ';
      out += Quoted(value);
      return true;
    }
    const char* name = StructureTokenName(token);
    if (!name) return false;
    out = name;
    uint32_t n = 0;
    switch (token) {
      case 0xF8:  // ELEMENT
      case 0xF6:  // ATTRIBUTE
        if (!Number(n)) return false;
        out += ' ' + names.QName(n);
        return true;
      case 0xF0: {  // NAMEDEF
        std::string text;
        if (!ReadXmlTextData(data_, pos_, text)) return false;
        out += ' ' + std::to_string(names.names.size()) + ' ' + Quoted(text);
        names.names.push_back(std::move(text));
        return true;
      }
      case 0xEF: {  // QNAMEDEF
        uint32_t parts[3] = {};
        for (uint32_t& part : parts)
          if (!Number(part) || part >= names.names.size()) return false;
        out += ' ' + std::to_string(names.QNameCount());
        names.qnames.insert(names.qnames.end(), std::begin(parts), std::end(parts));
        out += " = " + names.QName(static_cast<uint32_t>(names.QNameCount() - 1));
        if (parts[0] != 0) out += " in " + Quoted(names.names[parts[0]]);
        return true;
      }
      case 0xF4:  // PI: target name, data
        if (!Number(n) || n >= names.names.size()) return false;
        out += ' ' + names.names[n];
        return Text(out);
      case 0xFE: {  // XMLDECL: version, optional ENCODING (its own token), standalone
        if (!Text(out)) return false;
        if (pos_ < data_.size() && data_[pos_] == 0xFD) {
          ++pos_;
          out += " ENCODING";
          if (!Text(out)) return false;
        }
        if (pos_ >= data_.size()) return false;
        out += " standalone " + std::to_string(data_[pos_++]);
        return true;
      }
      case 0xFD:
      case 0xFC:
      case 0xFB:
      case 0xFA:
      case 0xF9:
      case 0xF3:
      case 0xF2:
      case 0xED:
        return Text(out);
      case 0xEA:  // EXTN: its bytes are skipped
        if (!Number(n) || data_.size() - pos_ < n) return false;
        pos_ += n;
        out += ' ' + std::to_string(n) + " bytes";
        return true;
      case 0xE9:  // FLUSH
        names = Names();
        return true;
      case 0xEC:  // NEST: a whole document with names of its own
        if (!HasBinaryXmlHeader(data_.subspan(pos_))) return false;
        out += " version " + std::to_string(data_[pos_ + 2]);
        pos_ += kHeaderSize;
        levels_.emplace_back();
        return true;
      case 0xEB:  // ENDNEST
        if (levels_.size() < 2) return false;
        levels_.pop_back();
        return true;
      default:
        return true;
    }
  }

  ByteSpan data_;
  size_t maxTokens_;
  size_t pos_ = 0;
  std::vector<Names> levels_;
  XmlTokenListing listing_;
};

}  // namespace

bool HasBinaryXmlHeader(ByteSpan value) {
  return value.size() >= kHeaderSize && value[0] == 0xDF && value[1] == 0xFF && value[2] <= 2 && value[3] == 0xB0 &&
         value[4] == 0x04;
}

XmlTokenListing ListXmlTokens(ByteSpan value, size_t maxTokens) { return TokenLister(value, maxTokens).Run(); }

}  // namespace ravelin
