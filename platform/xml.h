#pragma once

#include <memory>
#include <string>
#include <string_view>

namespace pugi {
struct xml_node_struct;
}

namespace platform {

// An element of an XmlDocument. A child that is not there reads as an empty
// element: its text is empty and its own children are empty too.
class XmlElement {
 public:
  XmlElement() = default;

  bool Exists() const { return node_ != nullptr; }
  std::string Name() const;
  // First child element of that name (exact case).
  XmlElement Child(std::string_view name) const;
  // The element's text (its direct text and CDATA children joined), converted
  // to the single-byte code page.
  std::string Text() const;

  // Building: adds a child element holding `text` (single-byte, converted to
  // UTF-8; control characters that XML cannot carry become "?").
  XmlElement AddChild(std::string_view name, std::string_view text = {});

 private:
  friend class XmlDocument;
  explicit XmlElement(pugi::xml_node_struct* node) : node_(node) {}
  pugi::xml_node_struct* node_ = nullptr;
};

class XmlDocument {
 public:
  XmlDocument();
  ~XmlDocument();
  XmlDocument(const XmlDocument&) = delete;
  XmlDocument& operator=(const XmlDocument&) = delete;

  // Parse a file or a text; throw platform::Error (EXmlError) when it is not
  // well-formed XML with one root element, (EInOutError) when it cannot be read;
  // the document is then empty. Line breaks in texts read back as LF (CR LF
  // and a lone CR are normalised, as XML requires), and a text made only of
  // white space reads back empty.
  void LoadFile(const std::string& path);
  void LoadText(std::string_view text);

  // The top-level element of that name. When the document has a root element of
  // another name this throws EXmlError, as adding a second root would; an empty
  // document yields an empty element.
  XmlElement TopElement(std::string_view name) const;

  // Building: replaces the content with a new root element.
  XmlElement CreateRoot(std::string_view name);
  // Writes the document as UTF-8 without declaration, replacing the file.
  // Throws platform::Error (EInOutError) on failure.
  void SaveFile(const std::string& path) const;
  std::string ToString() const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace platform
