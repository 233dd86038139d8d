#include "rows/binary_xml.h"

#include <algorithm>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "rows/xml_atomic_value.h"

namespace ravelin {
namespace {

enum Token : uint8_t {
  kXmlDecl = 0xFE,
  kEncoding = 0xFD,
  kDocType = 0xFC,
  kSystem = 0xFB,
  kPublic = 0xFA,
  kSubset = 0xF9,
  kElement = 0xF8,
  kEndElement = 0xF7,
  kAttribute = 0xF6,
  kEndAttributes = 0xF5,
  kPi = 0xF4,
  kComment = 0xF3,
  kCData = 0xF2,
  kCDataEnd = 0xF1,
  kNameDef = 0xF0,
  kQNameDef = 0xEF,
  kXmlText = 0xED,
  kNest = 0xEC,
  kEndNest = 0xEB,
  kExtension = 0xEA,
  kFlushNames = 0xE9,
};

constexpr size_t kHeaderSize = 5;

// Signature DF FF, version 0 to 2, code page 1200 (UTF-16LE).
bool ValidHeader(ByteSpan data, size_t offset) {
  if (offset > data.size() || data.size() - offset < kHeaderSize) return false;
  const uint8_t* p = data.data() + offset;
  return p[0] == 0xDF && p[1] == 0xFF && p[2] <= 2 && p[3] == 0xB0 && p[4] == 0x04;
}

bool IsWhitespace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

// "&#xN;" with upper-case hex digits and no leading zeros.
void AppendCharRef(std::string& out, unsigned char c) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  out += "&#x";
  if (c >= 0x10) out += kHex[c >> 4];
  out += kHex[c & 0x0F];
  out += ';';
}

// `&`, `<`, `>` and carriage returns always, other control characters as
// references; in attribute values also `"`, tabs and line feeds, so that
// reading the text back keeps them.
void AppendEscaped(std::string& out, std::string_view text, bool attribute) {
  size_t from = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (c > '>') continue;
    const char* entity = nullptr;
    switch (c) {
      case '&':
        entity = "&amp;";
        break;
      case '<':
        entity = "&lt;";
        break;
      case '>':
        entity = "&gt;";
        break;
      case '"':
        if (!attribute) continue;
        entity = "&quot;";
        break;
      case '\t':
      case '\n':
        if (!attribute) continue;
        break;
      default:
        if (c >= 0x20) continue;
        break;
    }
    out.append(text, from, i - from);
    if (entity)
      out += entity;
    else
      AppendCharRef(out, c);
    from = i + 1;
  }
  out.append(text, from);
}

// A qualified name: indexes into the name table.
struct QName {
  uint32_t uri = 0;
  uint32_t prefix = 0;
  uint32_t local = 0;
};

// The names and qualified names of one document level. Names live in one
// pool, so that defining one costs no allocation of its own.
class NameTable {
 public:
  void Clear() {
    pool_.clear();
    names_.assign(1, {0, 0});    // index 0 is the empty name
    qnames_.assign(1, QName{});  // index 0 is no qualified name
  }

  bool ReadName(ByteSpan data, size_t& offset, size_t limit) {
    const size_t start = pool_.size();
    if (names_.size() > limit || !ReadXmlTextData(data, offset, pool_) || pool_.size() > UINT32_MAX) {
      pool_.resize(start);
      return false;
    }
    names_.push_back({static_cast<uint32_t>(start), static_cast<uint32_t>(pool_.size() - start)});
    return true;
  }

  bool ReadQName(ByteSpan data, size_t& offset, size_t limit) {
    QName q;
    if (qnames_.size() > limit || !ReadMb32(data, offset, q.uri) || !ReadMb32(data, offset, q.prefix) ||
        !ReadMb32(data, offset, q.local) || q.uri >= names_.size() || q.prefix >= names_.size() ||
        q.local >= names_.size())
      return false;
    qnames_.push_back(q);
    return true;
  }

  size_t NameCount() const { return names_.size(); }

  std::string_view Name(uint32_t index) const {
    const auto& [start, length] = names_[index];
    return std::string_view(pool_).substr(start, length);
  }

  // The qualified name at `index`, or null when there is none.
  const QName* Find(uint32_t index) const { return index > 0 && index < qnames_.size() ? &qnames_[index] : nullptr; }

  // "prefix:local", or whichever of the two is not empty.
  void AppendQName(std::string& out, const QName& q) const {
    const std::string_view prefix = Name(q.prefix);
    const std::string_view local = Name(q.local);
    out += prefix;
    if (!prefix.empty() && !local.empty()) out += ':';
    out += local;
  }

 private:
  std::string pool_;
  std::vector<std::pair<uint32_t, uint32_t>> names_;  // offset and length in pool_
  std::vector<QName> qnames_;
};

// An open element, or a document: the value itself at the bottom, nested
// documents above it.
struct Frame {
  bool document = false;
  size_t nameStart = 0;  // where the element's name starts in openNames_
  size_t scope = 0;      // namespace bindings in force before it
  size_t children = 0;   // nodes written inside it so far
};

struct Binding {
  std::string prefix;
  std::string uri;
};

// Where in the grammar the decoder stands.
enum class State {
  kContent,         // document or element content
  kStartTag,        // after ELEMENT: attributes may follow
  kAttributes,      // inside an attribute's value
  kAttributesDone,  // after ENDATTRIBUTES: the start tag is still open
  kCData,           // between CDATA chunks and CDATAEND
};

class Decoder {
 public:
  Decoder(ByteSpan data, const XmlDecodeLimits& limits) : data_(data), limits_(limits) {
    const size_t floor = limits.outputFloor;
    const size_t ratio = limits.outputPerInputByte;
    budget_ = ratio != 0 && data.size() > (SIZE_MAX - floor) / ratio ? SIZE_MAX : floor + data.size() * ratio;
  }

  XmlDecodeResult Run() {
    if (!ValidHeader(data_, 0)) return Fault(0);
    out_.reserve(std::min(data_.size(), budget_));
    tables_.resize(1);
    tables_[0].Clear();
    frames_.push_back(Frame{true, 0, 0, 0});
    pos_ = kHeaderSize;
    while (pos_ < data_.size()) {
      const size_t tokenStart = pos_;
      const uint8_t token = data_[pos_++];
      if (!Step(token) || Used() > budget_) return Fault(tokenStart);
    }
    if (frames_.size() > 1 || state_ != State::kContent) return Fault(data_.size());
    FlushRun(frames_.back().children == 0);
    return {std::move(out_), std::nullopt};
  }

 private:
  bool Step(uint8_t token) {
    switch (token) {
      case kNameDef:
        return Names().ReadName(data_, pos_, limits_.maxNames);
      case kQNameDef:
        return Names().ReadQName(data_, pos_, limits_.maxNames);
      case kExtension: {
        // Extension data (type annotations of typed XML) is not shown.
        uint32_t length = 0;
        if (!ReadMb32(data_, pos_, length) || data_.size() - pos_ < length) return false;
        pos_ += length;
        return true;
      }
      case kFlushNames:
        Names().Clear();
        return true;
      case kElement:
        return StartElement();
      case kEndElement:
        return EndElement();
      case kAttribute:
        return StartAttribute();
      case kEndAttributes:
        return EndAttributes();
      case kComment:
        return WriteComment();
      case kPi:
        return WriteProcessingInstruction();
      case kCData:
        return AddCData();
      case kCDataEnd:
        if (state_ != State::kCData) return false;
        WriteCData();
        state_ = State::kContent;
        return true;
      case kNest:
        return StartNested();
      case kEndNest:
        return EndNested();
      case kXmlDecl:
        return WriteDeclaration();
      case kDocType:
        return WriteDocType();
      case kXmlText:
        return WriteXmlText();
      default:
        return IsXmlAtomicToken(token) && AddAtomicValue(token);
    }
  }

  NameTable& Names() { return tables_[level_]; }

  size_t Used() const { return out_.size() + run_.size() + attrValue_.size() + cdata_.size() + openNames_.size(); }

  const QName* ReadQNameRef() {
    uint32_t index = 0;
    return ReadMb32(data_, pos_, index) ? Names().Find(index) : nullptr;
  }

  // Before a node of content: closes a pending start tag and writes the
  // text that came before the node.
  bool BeginNode() {
    switch (state_) {
      case State::kAttributes:
      case State::kCData:
        return false;
      case State::kStartTag:
      case State::kAttributesDone:
        CloseStartTag(false);
        break;
      case State::kContent:
        break;
    }
    FlushRun(false);
    ++frames_.back().children;
    return true;
  }

  bool StartElement() {
    const QName* q = ReadQNameRef();
    if (!q || frames_.size() > limits_.maxDepth || !BeginNode()) return false;
    const size_t nameStart = openNames_.size();
    Names().AppendQName(openNames_, *q);
    frames_.push_back(Frame{false, nameStart, bindings_.size(), 0});
    out_ += '<';
    out_.append(openNames_, nameStart);
    elementPrefix_ = Names().Name(q->prefix);
    elementUri_ = Names().Name(q->uri);
    state_ = State::kStartTag;
    return true;
  }

  bool EndElement() {
    const Frame frame = frames_.back();
    if (frame.document) return false;
    switch (state_) {
      case State::kAttributes:
      case State::kCData:
        return false;
      case State::kStartTag:
      case State::kAttributesDone:
        CloseStartTag(true);
        break;
      case State::kContent:
        FlushRun(frame.children == 0);
        out_ += "</";
        out_.append(openNames_, frame.nameStart);
        out_ += '>';
        break;
    }
    openNames_.resize(frame.nameStart);
    bindings_.erase(bindings_.begin() + static_cast<std::ptrdiff_t>(frame.scope), bindings_.end());
    frames_.pop_back();
    state_ = State::kContent;
    return true;
  }

  bool StartAttribute() {
    if (state_ != State::kStartTag && state_ != State::kAttributes) return false;
    const QName* q = ReadQNameRef();
    if (!q) return false;
    if (state_ == State::kAttributes) FinishAttribute();
    out_ += ' ';
    const size_t nameStart = out_.size();
    Names().AppendQName(out_, *q);
    const std::string_view name = std::string_view(out_).substr(nameStart);
    // However the parts are split, a namespace declaration is named
    // "xmlns" or "xmlns:prefix".
    declaration_ = name == "xmlns" || name.starts_with("xmlns:");
    if (declaration_) {
      declaredPrefix_ = name.substr(std::min<size_t>(name.size(), 6));
    } else if (!Names().Name(q->prefix).empty()) {
      pendingAttributes_.push_back(Binding{std::string(Names().Name(q->prefix)), std::string(Names().Name(q->uri))});
    }
    out_ += "=\"";
    attrValue_.clear();
    attrLastTyped_ = false;
    state_ = State::kAttributes;
    return true;
  }

  void FinishAttribute() {
    AppendEscaped(out_, attrValue_, true);
    out_ += '"';
    if (declaration_) bindings_.push_back(Binding{declaredPrefix_, attrValue_});
    declaration_ = false;
  }

  bool EndAttributes() {
    if (state_ == State::kAttributes)
      FinishAttribute();
    else if (state_ != State::kStartTag)
      return false;
    state_ = State::kAttributesDone;
    return true;
  }

  void CloseStartTag(bool empty) {
    Declare(elementPrefix_, elementUri_);
    for (const Binding& attribute : pendingAttributes_) Declare(attribute.prefix, attribute.uri);
    pendingAttributes_.clear();
    out_ += empty ? "/>" : ">";
    state_ = State::kContent;
  }

  // The stored names may use a prefix (or a default namespace) that no
  // stored declaration binds to their namespace; the text then declares it
  // on the element, as Microsoft's own reader does.
  void Declare(const std::string& prefix, const std::string& uri) {
    if (prefix == "xml" || prefix == "xmlns" || (!prefix.empty() && uri.empty())) return;
    std::string_view bound;
    for (auto it = bindings_.rbegin(); it != bindings_.rend(); ++it) {
      if (it->prefix == prefix) {
        bound = it->uri;
        break;
      }
    }
    if (bound == uri) return;
    out_ += prefix.empty() ? " xmlns" : " xmlns:";
    out_ += prefix;
    out_ += "=\"";
    AppendEscaped(out_, uri, true);
    out_ += '"';
    bindings_.push_back(Binding{prefix, uri});
  }

  // An atomic value: part of an attribute's value or of a text node.
  // Typed values next to each other are list items, kept apart by a space.
  bool AddAtomicValue(uint8_t token) {
    if (state_ == State::kCData) return false;
    const bool inAttribute = state_ == State::kAttributes;
    std::string& text = inAttribute ? attrValue_ : run_;
    bool& lastTyped = inAttribute ? attrLastTyped_ : runLastTyped_;
    const bool typed = !IsXmlStringToken(token);
    const size_t start = text.size();
    if (typed && lastTyped) text += ' ';
    bool read = false;
    if (token == kXmlTokenQName) {
      const QName* q = ReadQNameRef();
      if (q) Names().AppendQName(text, *q);
      read = q != nullptr;
    } else {
      read = AppendXmlAtomicValue(token, data_, pos_, text);
    }
    if (!read) {
      text.resize(start);
      return false;
    }
    lastTyped = typed;
    if (state_ == State::kStartTag || state_ == State::kAttributesDone) CloseStartTag(false);
    return true;
  }

  // Writes the pending text node. One made only of white space that is the
  // only content of its element gets its last character written as a
  // character reference, so that reading the text back keeps the node.
  void FlushRun(bool onlyContent) {
    if (run_.empty()) return;
    bool blank = onlyContent;
    for (size_t i = 0; blank && i < run_.size(); ++i) blank = IsWhitespace(run_[i]);
    if (blank) {
      AppendEscaped(out_, std::string_view(run_).substr(0, run_.size() - 1), false);
      AppendCharRef(out_, static_cast<unsigned char>(run_.back()));
    } else {
      AppendEscaped(out_, run_, false);
    }
    run_.clear();
    runLastTyped_ = false;
  }

  bool AddCData() {
    const size_t start = cdata_.size();
    if (!ReadXmlTextData(data_, pos_, cdata_)) {
      cdata_.resize(start);
      return false;
    }
    if (state_ == State::kCData) return true;
    if (!BeginNode()) {
      cdata_.clear();
      return false;
    }
    state_ = State::kCData;
    return true;
  }

  // The chunks so far as one section; a "]]>" inside splits it in two.
  void WriteCData() {
    out_ += "<![CDATA[";
    size_t from = 0;
    for (size_t at = cdata_.find("]]>"); at != std::string::npos; at = cdata_.find("]]>", at + 1)) {
      out_.append(cdata_, from, at + 2 - from);
      out_ += "]]><![CDATA[";
      from = at + 2;
    }
    out_.append(cdata_, from);
    out_ += "]]>";
    cdata_.clear();
  }

  bool WriteComment() {
    scratch_.clear();
    if (!ReadXmlTextData(data_, pos_, scratch_) || !BeginNode()) return false;
    out_ += "<!--";
    out_ += scratch_;
    out_ += "-->";
    return true;
  }

  // The target is an index into the name table, not a qualified name.
  bool WriteProcessingInstruction() {
    uint32_t target = 0;
    scratch_.clear();
    if (!ReadMb32(data_, pos_, target) || target >= Names().NameCount() || !ReadXmlTextData(data_, pos_, scratch_) ||
        !BeginNode())
      return false;
    out_ += "<?";
    out_ += Names().Name(target);
    if (!scratch_.empty()) {
      out_ += ' ';
      out_ += scratch_;
    }
    out_ += "?>";
    return true;
  }

  // Text that is already XML: written as it stands.
  bool WriteXmlText() {
    scratch_.clear();
    if (!ReadXmlTextData(data_, pos_, scratch_) || !BeginNode()) return false;
    out_ += scratch_;
    return true;
  }

  // A whole document inside this one, with names of its own and the
  // namespaces of its parent.
  bool StartNested() {
    if (frames_.size() > limits_.maxDepth || !ValidHeader(data_, pos_) || !BeginNode()) return false;
    pos_ += kHeaderSize;
    frames_.push_back(Frame{true, openNames_.size(), bindings_.size(), 0});
    ++level_;
    if (tables_.size() <= level_) tables_.emplace_back();
    tables_[level_].Clear();
    return true;
  }

  bool EndNested() {
    if (state_ != State::kContent || frames_.size() < 2 || !frames_.back().document) return false;
    FlushRun(frames_.back().children == 0);
    frames_.pop_back();
    --level_;
    return true;
  }

  // Reads the token `token` and its text when it is next.
  bool ReadOptionalText(uint8_t token, std::string& text, bool& present) {
    present = pos_ < data_.size() && data_[pos_] == token;
    if (!present) return true;
    ++pos_;
    return ReadXmlTextData(data_, pos_, text);
  }

  bool AtDocumentLevel() const { return frames_.back().document && state_ == State::kContent; }

  bool WriteDeclaration() {
    std::string version;
    std::string encoding;
    bool hasEncoding = false;
    uint8_t standalone = 0;
    if (!AtDocumentLevel() || !ReadXmlTextData(data_, pos_, version) ||
        !ReadOptionalText(kEncoding, encoding, hasEncoding) || !ReadLE(data_, pos_, standalone) || standalone > 2)
      return false;
    ++pos_;
    BeginNode();
    out_ += "<?xml version=\"";
    out_ += version;
    out_ += '"';
    if (hasEncoding) {
      out_ += " encoding=\"";
      out_ += encoding;
      out_ += '"';
    }
    if (standalone != 0) out_ += standalone == 1 ? " standalone=\"yes\"" : " standalone=\"no\"";
    out_ += "?>";
    return true;
  }

  bool WriteDocType() {
    std::string name, system, publicId, subset;
    bool hasSystem = false, hasPublic = false, hasSubset = false;
    if (!AtDocumentLevel() || !ReadXmlTextData(data_, pos_, name) || !ReadOptionalText(kSystem, system, hasSystem) ||
        !ReadOptionalText(kPublic, publicId, hasPublic) || !ReadOptionalText(kSubset, subset, hasSubset))
      return false;
    BeginNode();
    out_ += "<!DOCTYPE ";
    out_ += name;
    if (hasPublic) {
      out_ += " PUBLIC \"" + publicId + '"';
      if (hasSystem) out_ += " \"" + system + '"';
    } else if (hasSystem) {
      out_ += " SYSTEM \"" + system + '"';
    }
    if (hasSubset) out_ += " [" + subset + ']';
    out_ += '>';
    return true;
  }

  // Closes whatever is open, so that the marker stands outside any tag,
  // value or section, and appends it.
  XmlDecodeResult Fault(size_t offset) {
    switch (state_) {
      case State::kAttributes:
        FinishAttribute();
        CloseStartTag(false);
        break;
      case State::kStartTag:
      case State::kAttributesDone:
        CloseStartTag(false);
        break;
      case State::kCData:
        WriteCData();
        break;
      case State::kContent:
        break;
    }
    FlushRun(false);
    out_ += XmlDamagedMarker(offset);
    return {std::move(out_), offset};
  }

  ByteSpan data_;
  const XmlDecodeLimits& limits_;
  size_t budget_ = 0;
  size_t pos_ = 0;
  std::string out_;
  State state_ = State::kContent;

  std::vector<NameTable> tables_;  // one per document level
  size_t level_ = 0;
  std::vector<Frame> frames_;
  std::string openNames_;  // the names of the open elements, end to end
  std::vector<Binding> bindings_;

  // The start tag being written.
  std::string elementPrefix_;
  std::string elementUri_;
  std::vector<Binding> pendingAttributes_;  // prefixed attributes: prefix, namespace
  bool declaration_ = false;                // the current attribute declares a namespace
  std::string declaredPrefix_;
  std::string attrValue_;
  bool attrLastTyped_ = false;

  std::string run_;  // the text node being collected
  bool runLastTyped_ = false;
  std::string cdata_;
  std::string scratch_;
};

}  // namespace

XmlDecodeResult DecodeBinaryXml(ByteSpan value) { return DecodeBinaryXml(value, XmlDecodeLimits{}); }

XmlDecodeResult DecodeBinaryXml(ByteSpan value, const XmlDecodeLimits& limits) { return Decoder(value, limits).Run(); }

std::string XmlDamagedMarker(size_t offset) {
  return "<!-- ravelin: xml damaged at byte " + std::to_string(offset) + " -->";
}

}  // namespace ravelin
