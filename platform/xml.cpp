#include "platform/xml.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <pugixml.hpp>

#include "platform/codepage.h"
#include "platform/error.h"

namespace platform {

namespace {

// The parser does not recurse (neither does the document's destructor or the
// writer), so deeply nested input needs no depth limit here.
//
// parse_fragment only makes the parser keep text found outside the root
// element, so that such text can be rejected below instead of being dropped
// silently; the tree is otherwise the one parse_default gives.
constexpr unsigned kParseOptions = pugi::parse_default | pugi::parse_fragment;
constexpr unsigned kFormatOptions = pugi::format_indent | pugi::format_no_declaration;
constexpr const char* kIndent = "  ";

class StringWriter : public pugi::xml_writer {
 public:
  explicit StringWriter(std::string& out) : out_(out) {}
  void write(const void* data, std::size_t size) override { out_.append(static_cast<const char*>(data), size); }

 private:
  std::string& out_;
};

bool IsElementNamed(const pugi::xml_node& node, const std::string& utf8Name) {
  return node.type() == pugi::node_element && utf8Name == node.name();
}

// UTF-16 and UTF-32 input is recognised by the parser from a byte order mark or
// from the zero bytes around the first "<"; all other input is 8-bit.
bool IsWideInput(std::string_view text) {
  if (text.starts_with("\xFE\xFF") || text.starts_with("\xFF\xFE")) return true;
  return text.substr(0, 4).find('\0') != std::string_view::npos;
}

std::string Where(const std::string& origin) { return origin.empty() ? std::string() : " in \"" + origin + "\""; }

[[noreturn]] void ThrowNotWellFormed(const std::string& origin, const std::string& what, std::ptrdiff_t offset) {
  throw Error(kXmlError, "XML error" + Where(origin) + ": " + what + " at offset " + std::to_string(offset));
}

// Checks the top level of a parsed document: exactly one element and no text.
void CheckTopLevel(const pugi::xml_document& doc, std::size_t inputSize, const std::string& origin) {
  bool haveRoot = false;
  for (pugi::xml_node node = doc.first_child(); node; node = node.next_sibling()) {
    if (node.type() == pugi::node_element) {
      if (haveRoot) ThrowNotWellFormed(origin, "More than one top-level element", node.offset_debug());
      haveRoot = true;
    } else if (node.type() == pugi::node_pcdata || node.type() == pugi::node_cdata) {
      ThrowNotWellFormed(origin, "Text outside the root element", node.offset_debug());
    }
  }
  if (!haveRoot) {
    pugi::xml_parse_result missing;
    missing.status = pugi::status_no_document_element;
    ThrowNotWellFormed(origin, missing.description(), static_cast<std::ptrdiff_t>(inputSize));
  }
}

// A control character that XML 1.0 cannot carry becomes "?".
std::string ReplaceControlCharacters(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 && c != '\t' && c != '\n' && c != '\r') c = '?';
  }
  return out;
}

pugi::xml_node AppendElement(pugi::xml_node parent, std::string_view name) {
  pugi::xml_node element = parent.append_child(pugi::node_element);
  if (!element || !element.set_name(SingleByteToUtf8(name).c_str())) throw std::bad_alloc();
  return element;
}

}  // namespace

std::string XmlElement::Name() const {
  if (!node_) return {};
  return Utf8ToSingleByte(pugi::xml_node(node_).name());
}

XmlElement XmlElement::Child(std::string_view name) const {
  if (!node_) return {};
  const std::string utf8Name = SingleByteToUtf8(name);
  for (pugi::xml_node child = pugi::xml_node(node_).first_child(); child; child = child.next_sibling())
    if (IsElementNamed(child, utf8Name)) return XmlElement(child.internal_object());
  return {};
}

std::string XmlElement::Text() const {
  if (!node_) return {};
  std::string utf8;
  for (pugi::xml_node child = pugi::xml_node(node_).first_child(); child; child = child.next_sibling())
    if (child.type() == pugi::node_pcdata || child.type() == pugi::node_cdata) utf8 += child.value();
  return Utf8ToSingleByte(utf8);
}

XmlElement XmlElement::AddChild(std::string_view name, std::string_view text) {
  if (!node_) return {};
  pugi::xml_node element = AppendElement(pugi::xml_node(node_), name);
  if (!text.empty()) {
    const std::string utf8 = SingleByteToUtf8(ReplaceControlCharacters(text));
    pugi::xml_node data = element.append_child(pugi::node_pcdata);
    if (!data || !data.set_value(utf8.data(), utf8.size())) throw std::bad_alloc();
  }
  return XmlElement(element.internal_object());
}

struct XmlDocument::Impl {
  pugi::xml_document doc;

  void Parse(std::string_view text, const std::string& origin);
};

void XmlDocument::Impl::Parse(std::string_view text, const std::string& origin) {
  doc.reset();
  // The parser takes a zero byte for the end of the input and would ignore
  // whatever follows; 8-bit XML cannot contain one.
  if (!IsWideInput(text)) {
    const auto zero = text.find('\0');
    if (zero != std::string_view::npos)
      ThrowNotWellFormed(origin, "Zero byte in the input", static_cast<std::ptrdiff_t>(zero));
  }
  const pugi::xml_parse_result result = doc.load_buffer(text.data(), text.size(), kParseOptions);
  try {
    if (!result) ThrowNotWellFormed(origin, result.description(), result.offset);
    CheckTopLevel(doc, text.size(), origin);
  } catch (...) {
    doc.reset();  // no half-read document stays behind
    throw;
  }
}

XmlDocument::XmlDocument() : impl_(std::make_unique<Impl>()) {}
XmlDocument::~XmlDocument() = default;

void XmlDocument::LoadFile(const std::string& path) {
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (!file) {
    const int openError = errno;
    throw Error(kInOutError, "Cannot open file \"" + path + "\": " + std::strerror(openError));
  }
  std::string content;
  char buffer[65536];
  std::size_t got = 0;
  while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0) content.append(buffer, got);
  const int readError = std::ferror(file) ? errno : 0;
  std::fclose(file);
  if (readError) throw Error(kInOutError, "Cannot read file \"" + path + "\": " + std::strerror(readError));
  impl_->Parse(content, path);
}

void XmlDocument::LoadText(std::string_view text) { impl_->Parse(text, {}); }

XmlElement XmlDocument::TopElement(std::string_view name) const {
  const pugi::xml_node root = impl_->doc.document_element();
  if (!root) return {};
  if (!IsElementNamed(root, SingleByteToUtf8(name)))
    throw Error(kXmlError, "The document already has the root element <" + Utf8ToSingleByte(root.name()) +
                               ">, so it cannot have <" + std::string(name) + ">");
  return XmlElement(root.internal_object());
}

XmlElement XmlDocument::CreateRoot(std::string_view name) {
  impl_->doc.reset();
  return XmlElement(AppendElement(impl_->doc, name).internal_object());
}

void XmlDocument::SaveFile(const std::string& path) const {
  const std::string content = ToString();
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (!file) {
    const int openError = errno;
    throw Error(kInOutError, "Cannot create file \"" + path + "\": " + std::strerror(openError));
  }
  const bool written = std::fwrite(content.data(), 1, content.size(), file) == content.size();
  int writeError = written ? 0 : errno;
  if (std::fclose(file) != 0 && writeError == 0) writeError = errno;
  if (!written || writeError != 0)
    throw Error(kInOutError, "Cannot write file \"" + path + "\": " + std::strerror(writeError != 0 ? writeError : EIO));
}

std::string XmlDocument::ToString() const {
  std::string out;
  StringWriter writer(out);
  impl_->doc.save(writer, kIndent, kFormatOptions, pugi::encoding_utf8);
  return out;
}

}  // namespace platform
