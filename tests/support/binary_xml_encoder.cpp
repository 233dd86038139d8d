#include "support/binary_xml_encoder.h"

#include <bit>
#include <map>
#include <tuple>

#include "storage/text_codec.h"

namespace ravelin::testing {
namespace {

// Token values, written out here rather than shared with the decoder so
// that a wrong value on either side shows.
constexpr uint8_t kXmlDecl = 0xFE, kEncoding = 0xFD, kDocType = 0xFC, kSystem = 0xFB, kPublic = 0xFA, kSubset = 0xF9,
                  kElement = 0xF8, kEndElement = 0xF7, kAttribute = 0xF6, kEndAttributes = 0xF5, kPi = 0xF4,
                  kComment = 0xF3, kCData = 0xF2, kCDataEnd = 0xF1, kNameDef = 0xF0, kQNameDef = 0xEF, kXmlText = 0xED,
                  kNest = 0xEC, kEndNest = 0xEB, kExtension = 0xEA, kFlush = 0xE9, kQName = 0x8C;

constexpr uint32_t kDay1900 = 693595;  // 1900-01-01 counted from 0001-01-01

void Append(Bytes& out, const Bytes& more) { out.insert(out.end(), more.begin(), more.end()); }

template <typename T>
void AppendLE(Bytes& out, T value, size_t width = sizeof(T)) {
  using U = std::make_unsigned_t<T>;
  auto bits = static_cast<U>(value);
  for (size_t i = 0; i < width; ++i) {
    out.push_back(static_cast<uint8_t>(bits & 0xFF));
    bits = static_cast<U>(bits >> 4 >> 4);
  }
}

void AppendMagnitude(Bytes& out, unsigned __int128 value, size_t width) {
  for (size_t i = 0; i < width; ++i) {
    out.push_back(static_cast<uint8_t>(value & 0xFF));
    value >>= 8;
  }
}

template <typename T>
XmlAtom Fixed(uint8_t token, T value) {
  XmlAtom atom{token, {}, std::nullopt};
  AppendLE(atom.payload, value);
  return atom;
}

Bytes Blob(const Bytes& bytes) {
  Bytes out = Mb32(static_cast<uint32_t>(bytes.size()));
  Append(out, bytes);
  return out;
}

size_t TimeWidth(int precision) { return precision <= 2 ? 3 : precision <= 4 ? 4 : 5; }

uint64_t PackedDay(int year, int month, int day) {
  return static_cast<uint64_t>((day - 1) + 31 * ((month - 1) + 12 * static_cast<int64_t>(year + 9999)));
}

// The names and qualified names one document level has defined.
struct Tables {
  std::map<std::string, uint32_t> names;
  std::map<std::tuple<uint32_t, uint32_t, uint32_t>, uint32_t> qnames;
};

class Encoder {
 public:
  explicit Encoder(size_t flushAfterNames) : flushAfterNames_(flushAfterNames) {}

  Bytes Encode(const XmlDocument& document) {
    out_ = XmlHeader(document.version);
    levels_.assign(1, Tables{});
    if (document.declaration) {
      out_.push_back(kXmlDecl);
      Append(out_, XmlTextData(document.declaration->version));
      if (document.declaration->encoding) {
        out_.push_back(kEncoding);
        Append(out_, XmlTextData(*document.declaration->encoding));
      }
      out_.push_back(document.declaration->standalone);
    }
    if (document.doctype) {
      const XmlDocType& d = *document.doctype;
      out_.push_back(kDocType);
      Append(out_, XmlTextData(d.name));
      const std::pair<uint8_t, const std::optional<std::string>*> parts[] = {
          {kSystem, &d.system}, {kPublic, &d.publicId}, {kSubset, &d.subset}};
      for (const auto& [token, text] : parts) {
        if (!*text) continue;
        out_.push_back(token);
        Append(out_, XmlTextData(**text));
      }
    }
    for (const XmlNode& node : document.nodes) Write(node);
    return std::move(out_);
  }

 private:
  Tables& Level() { return levels_.back(); }

  uint32_t Name(const std::string& text) {
    if (text.empty()) return 0;
    auto [it, added] = Level().names.emplace(text, static_cast<uint32_t>(Level().names.size() + 1));
    if (added) {
      out_.push_back(kNameDef);
      Append(out_, XmlTextData(text));
    }
    return it->second;
  }

  uint32_t QName(const XmlName& name) {
    // The three names and the qualified name are defined together; a flush
    // between them would lose the first ones.
    if (flushAfterNames_ != 0 && Level().names.size() + 3 > flushAfterNames_) {
      out_.push_back(kFlush);
      Level() = Tables{};
    }
    const uint32_t local = Name(name.local);
    const uint32_t uri = Name(name.uri);
    const uint32_t prefix = Name(name.prefix);
    auto [it, added] =
        Level().qnames.emplace(std::make_tuple(uri, prefix, local), static_cast<uint32_t>(Level().qnames.size() + 1));
    if (added) {
      out_.push_back(kQNameDef);
      Append(out_, Mb32(uri));
      Append(out_, Mb32(prefix));
      Append(out_, Mb32(local));
    }
    return it->second;
  }

  void WriteAtom(const XmlAtom& atom) {
    if (atom.qname) {
      const uint32_t index = QName(*atom.qname);
      out_.push_back(kQName);
      Append(out_, Mb32(index));
      return;
    }
    out_.push_back(atom.token);
    Append(out_, atom.payload);
  }

  void Write(const XmlNode& node) {
    switch (node.kind) {
      case XmlNode::Kind::kElement: {
        const uint32_t index = QName(node.name);
        out_.push_back(kElement);
        Append(out_, Mb32(index));
        for (const XmlAttribute& attribute : node.attributes) {
          const uint32_t name = QName(attribute.name);
          out_.push_back(kAttribute);
          Append(out_, Mb32(name));
          for (const XmlAtom& value : attribute.values) WriteAtom(value);
        }
        if (!node.attributes.empty()) out_.push_back(kEndAttributes);
        for (const XmlNode& child : node.children) Write(child);
        out_.push_back(kEndElement);
        break;
      }
      case XmlNode::Kind::kText:
        for (const XmlAtom& atom : node.atoms) WriteAtom(atom);
        break;
      case XmlNode::Kind::kCData:
        for (const std::string& chunk : node.chunks) {
          out_.push_back(kCData);
          Append(out_, XmlTextData(chunk));
        }
        out_.push_back(kCDataEnd);
        break;
      case XmlNode::Kind::kComment:
        out_.push_back(kComment);
        Append(out_, XmlTextData(node.text));
        break;
      case XmlNode::Kind::kPi: {
        const uint32_t target = Name(node.target);
        out_.push_back(kPi);
        Append(out_, Mb32(target));
        Append(out_, XmlTextData(node.text));
        break;
      }
      case XmlNode::Kind::kXmlText:
        out_.push_back(kXmlText);
        Append(out_, XmlTextData(node.text));
        break;
      case XmlNode::Kind::kNested:
        out_.push_back(kNest);
        Append(out_, XmlHeader(node.version));
        levels_.emplace_back();
        for (const XmlNode& child : node.children) Write(child);
        levels_.pop_back();
        out_.push_back(kEndNest);
        break;
      case XmlNode::Kind::kExtension:
        out_.push_back(kExtension);
        Append(out_, Blob(node.extension));
        break;
      case XmlNode::Kind::kFlush:
        out_.push_back(kFlush);
        Level() = Tables{};
        break;
    }
  }

  size_t flushAfterNames_;
  Bytes out_;
  std::vector<Tables> levels_;
};

}  // namespace

XmlName XmlnsName(const std::string& prefix) { return XmlName("", prefix.empty() ? "xmlns" : "xmlns:" + prefix); }

XmlAtom XmlString(const std::string& utf8, uint8_t token) { return XmlAtom{token, XmlTextData(utf8), std::nullopt}; }

XmlAtom XmlCodePageString(const Bytes& text, uint32_t codePage, uint8_t token) {
  XmlAtom atom{token, Mb32(static_cast<uint32_t>(text.size() + 4)), std::nullopt};
  AppendLE(atom.payload, codePage);
  Append(atom.payload, text);
  return atom;
}

XmlAtom XmlSmallInt(int16_t v) { return Fixed(0x01, v); }
XmlAtom XmlInt(int32_t v) { return Fixed(0x02, v); }
XmlAtom XmlBigInt(int64_t v) { return Fixed(0x08, v); }
XmlAtom XmlTinyInt(uint8_t v) { return Fixed(0x07, v); }
XmlAtom XmlBit(uint8_t v) { return Fixed(0x06, v); }
XmlAtom XmlByte(int8_t v) { return Fixed(0x88, v); }
XmlAtom XmlUnsignedShort(uint16_t v) { return Fixed(0x89, v); }
XmlAtom XmlUnsignedInt(uint32_t v) { return Fixed(0x8A, v); }
XmlAtom XmlUnsignedLong(uint64_t v) { return Fixed(0x8B, v); }
XmlAtom XmlReal(float v) { return Fixed(0x03, std::bit_cast<uint32_t>(v)); }
XmlAtom XmlFloat(double v) { return Fixed(0x04, std::bit_cast<uint64_t>(v)); }
XmlAtom XmlMoney(int64_t tenThousandths) { return Fixed(0x05, tenThousandths); }
XmlAtom XmlSmallMoney(int32_t tenThousandths) { return Fixed(0x14, tenThousandths); }
XmlAtom XmlBoolean(bool v) { return Fixed(0x86, static_cast<uint8_t>(v ? 1 : 0)); }

XmlAtom XmlDecimal(uint8_t token, int precision, int scale, bool negative, unsigned __int128 magnitude, int width) {
  XmlAtom atom{token, Mb32(static_cast<uint32_t>(3 + width)), std::nullopt};
  atom.payload.push_back(static_cast<uint8_t>(precision));
  atom.payload.push_back(static_cast<uint8_t>(scale));
  atom.payload.push_back(negative ? 0 : 1);
  AppendMagnitude(atom.payload, magnitude, static_cast<size_t>(width));
  return atom;
}

XmlAtom XmlUuid(const Bytes& sixteen) { return XmlAtom{0x09, sixteen, std::nullopt}; }

XmlAtom XmlBlob(uint8_t token, const Bytes& bytes) { return XmlAtom{token, Blob(bytes), std::nullopt}; }

XmlAtom XmlSqlDateTime(int32_t days, uint32_t ticks) {
  XmlAtom atom = Fixed(0x12, days);
  AppendLE(atom.payload, ticks);
  return atom;
}

XmlAtom XmlSmallDateTime(uint16_t days, uint16_t minutes) {
  XmlAtom atom = Fixed(0x13, days);
  AppendLE(atom.payload, minutes);
  return atom;
}

XmlAtom XmlXsdDate(int year, int month, int day, int zoneMinutes) {
  const int64_t stored = -zoneMinutes;
  return Fixed(
      0x83, static_cast<uint64_t>(1 + 4 * ((840 + stored) + 1740 * static_cast<int64_t>(PackedDay(year, month, day)))));
}

XmlAtom XmlXsdDateTime(int year, int month, int day, int hour, int minute, int second, int millisecond) {
  const uint64_t hours = hour + 24 * PackedDay(year, month, day);
  return Fixed(0x82, 2 + 4 * (millisecond + 1000 * (second + 60 * (minute + 60 * hours))));
}

XmlAtom XmlXsdTime(int hour, int minute, int second, int millisecond) {
  return Fixed(0x81, static_cast<uint64_t>(4 * (millisecond + 1000 * (second + 60 * (minute + 60 * hour)))));
}

XmlAtom XmlDate2(uint32_t days) {
  XmlAtom atom{0x7F, {}, std::nullopt};
  AppendLE(atom.payload, days, 3);
  return atom;
}

XmlAtom XmlTime2(int precision, uint64_t units) {
  XmlAtom atom = XmlDateTime2(precision, units, kDay1900);
  atom.token = 0x7D;
  return atom;
}

XmlAtom XmlDateTime2(int precision, uint64_t units, uint32_t days) {
  XmlAtom atom{0x7E, {static_cast<uint8_t>(precision)}, std::nullopt};
  AppendLE(atom.payload, units, TimeWidth(precision));
  AppendLE(atom.payload, days, 3);
  return atom;
}

XmlAtom XmlOffsetTime(uint8_t token, int precision, uint64_t units, uint32_t days, int16_t zoneMinutes) {
  XmlAtom atom = XmlDateTime2(precision, units, days);
  atom.token = token;
  AppendLE(atom.payload, zoneMinutes);
  return atom;
}

XmlAtom XmlQNameValue(const XmlName& name) { return XmlAtom{kQName, {}, name}; }

XmlAttribute Attr(const XmlName& name, const std::string& value) { return XmlAttribute{name, {XmlString(value)}}; }

XmlAttribute Attr(const XmlName& name, std::vector<XmlAtom> values) { return XmlAttribute{name, std::move(values)}; }

XmlAttribute NamespaceDecl(const std::string& prefix, const std::string& uri) { return Attr(XmlnsName(prefix), uri); }

XmlNode Element(const XmlName& name, std::vector<XmlAttribute> attributes, std::vector<XmlNode> children) {
  XmlNode node;
  node.kind = XmlNode::Kind::kElement;
  node.name = name;
  node.attributes = std::move(attributes);
  node.children = std::move(children);
  return node;
}

XmlNode Element(const XmlName& name, std::vector<XmlNode> children) { return Element(name, {}, std::move(children)); }

XmlNode Text(const std::string& utf8) { return Atoms({XmlString(utf8)}); }

XmlNode Atoms(std::vector<XmlAtom> atoms) {
  XmlNode node;
  node.kind = XmlNode::Kind::kText;
  node.atoms = std::move(atoms);
  return node;
}

XmlNode CData(std::vector<std::string> chunks) {
  XmlNode node;
  node.kind = XmlNode::Kind::kCData;
  node.chunks = std::move(chunks);
  return node;
}

XmlNode Comment(const std::string& text) {
  XmlNode node;
  node.kind = XmlNode::Kind::kComment;
  node.text = text;
  return node;
}

XmlNode Pi(const std::string& target, const std::string& data) {
  XmlNode node;
  node.kind = XmlNode::Kind::kPi;
  node.target = target;
  node.text = data;
  return node;
}

XmlNode XmlTextNode(const std::string& markup) {
  XmlNode node;
  node.kind = XmlNode::Kind::kXmlText;
  node.text = markup;
  return node;
}

XmlNode Nested(std::vector<XmlNode> children, uint8_t version) {
  XmlNode node;
  node.kind = XmlNode::Kind::kNested;
  node.children = std::move(children);
  node.version = version;
  return node;
}

XmlNode Extension(const Bytes& data) {
  XmlNode node;
  node.kind = XmlNode::Kind::kExtension;
  node.extension = data;
  return node;
}

XmlNode FlushNames() {
  XmlNode node;
  node.kind = XmlNode::Kind::kFlush;
  return node;
}

Bytes EncodeBinaryXml(const XmlDocument& document) { return Encoder(document.flushAfterNames).Encode(document); }

Bytes EncodeBinaryXml(const XmlNode& root) {
  XmlDocument document;
  document.nodes.push_back(root);
  return EncodeBinaryXml(document);
}

Bytes XmlHeader(uint8_t version) { return Bytes{0xDF, 0xFF, version, 0xB0, 0x04}; }

Bytes Mb32(uint32_t value) {
  Bytes out;
  do {
    uint8_t b = value & 0x7F;
    value >>= 7;
    if (value != 0) b |= 0x80;
    out.push_back(b);
  } while (value != 0);
  return out;
}

Bytes XmlTextData(const std::string& utf8) {
  const Bytes units = Utf8ToUtf16(utf8);
  Bytes out = Mb32(static_cast<uint32_t>(units.size() / 2));
  Append(out, units);
  return out;
}

}  // namespace ravelin::testing
