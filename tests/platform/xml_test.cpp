#include "platform/xml.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <string>

#include "platform/error.h"
#include "tests/support/temp_dir.h"

namespace {

using platform::XmlDocument;
using platform::XmlElement;
using testsupport::ReadWholeFile;
using testsupport::TempDir;
using testsupport::WriteWholeFile;

// The class name of the platform::Error that `action` raises, or "none".
template <class Action>
std::string ErrorClassOf(Action&& action) {
  try {
    action();
  } catch (const platform::Error& e) {
    return e.ClassName();
  }
  return "none";
}

std::string TextOf(std::string_view xml, const char* root) {
  XmlDocument doc;
  doc.LoadText(xml);
  return doc.TopElement(root).Text();
}

TEST(XmlRead, NestedChildrenAndNames) {
  XmlDocument doc;
  doc.LoadText(
      "<Kiosk>\n"
      "  <Station><Name>RVU 1</Name><Code>42</Code></Station>\n"
      "  <Item>first</Item><Item>second</Item>\n"
      "  <Name>top</Name>\n"
      "</Kiosk>\n");
  const XmlElement kiosk = doc.TopElement("Kiosk");
  ASSERT_TRUE(kiosk.Exists());
  EXPECT_EQ(kiosk.Name(), "Kiosk");
  const XmlElement station = kiosk.Child("Station");
  EXPECT_EQ(station.Name(), "Station");
  EXPECT_EQ(station.Child("Name").Text(), "RVU 1");
  EXPECT_EQ(station.Child("Code").Text(), "42");
  EXPECT_EQ(kiosk.Child("Name").Text(), "top");  // a direct child, not the one inside Station
  EXPECT_EQ(kiosk.Child("Item").Text(), "first");
  EXPECT_FALSE(kiosk.Child("station").Exists());  // names are case-sensitive
}

TEST(XmlRead, MissingChildrenReadEmpty) {
  XmlDocument doc;
  doc.LoadText("<Kiosk><Station>x</Station></Kiosk>");
  const XmlElement missing = doc.TopElement("Kiosk").Child("Missing");
  EXPECT_FALSE(missing.Exists());
  const XmlElement deeper = missing.Child("Station").Child("Name");
  EXPECT_FALSE(deeper.Exists());
  EXPECT_EQ(deeper.Text(), "");
  EXPECT_EQ(deeper.Name(), "");
  EXPECT_FALSE(XmlElement().Child("Station").Exists());

  XmlDocument empty;
  EXPECT_FALSE(empty.TopElement("Kiosk").Exists());
  EXPECT_EQ(empty.TopElement("Kiosk").Child("Station").Text(), "");
}

TEST(XmlRead, TextDecoding) {
  struct Case {
    const char* label;
    std::string xml;
    std::string expected;
  } cases[] = {
      {"plain", "<a>Wache</a>", "Wache"},
      {"no text", "<a/>", ""},
      {"predefined entities", "<a>&amp; &lt;&gt; &quot;&apos;</a>", "& <> \"'"},
      {"decimal reference", "<a>caf&#233;</a>", "caf\xE9"},
      {"hex reference", "<a>caf&#xE9;</a>", "caf\xE9"},
      {"euro reference", "<a>5 &#8364;</a>", "5 \x80"},
      {"reference outside the code page", "<a>&#x263A;</a>", "?"},
      {"UTF-8 characters", "<a>Gr\xC3\xB6\xC3\x9F""e \xE2\x80\x9Ex\xE2\x80\x9C</a>", "Gr\xF6\xDF""e \x84x\x93"},
      {"CDATA", "<a><![CDATA[<b>&amp;</b>]]></a>", "<b>&amp;</b>"},
      {"text and CDATA joined", "<a>x<![CDATA[<&>]]>y</a>", "x<&>y"},
      {"child element text left out", "<a>x<b>inner</b>y</a>", "xy"},
      {"comment left out", "<a>x<!-- note -->y</a>", "xy"},
      {"surrounding spaces kept", "<a>  padded  </a>", "  padded  "},
      {"white space only", "<a>  \n  </a>", ""},
      {"CR LF normalised", "<a>1\r\n2\r3</a>", "1\n2\n3"},
  };
  for (const auto& c : cases) EXPECT_EQ(TextOf(c.xml, "a"), c.expected) << c.label;
}

TEST(XmlRead, FileEncodings) {
  const std::string singleByte = "Gr\xF6\xDF""e \xE0 \x80 \x84x\x93";
  const std::string latin1 = "Gr\xF6\xDF""e \xE0 \xE9";
  struct Case {
    const char* label;
    std::string content;
    std::string expected;
  } cases[] = {
      {"single-byte, no declaration", "<a>" + singleByte + "</a>", singleByte},
      {"single-byte, declared windows-1252",
       "<?xml version=\"1.0\" encoding=\"windows-1252\"?>\n<a>" + singleByte + "</a>", singleByte},
      {"declared ISO-8859-1", "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n<a>" + latin1 + "</a>", latin1},
      {"UTF-8 with byte order mark", "\xEF\xBB\xBF<a>\xC3\xA9\xE2\x82\xAC</a>", "\xE9\x80"},
      {"UTF-16LE with byte order mark", std::string("\xFF\xFE<\0a\0>\0\xE9\0\xAC\x20<\0/\0a\0>\0", 20), "\xE9\x80"},
      {"UTF-16BE without byte order mark", std::string("\0<\0a\0>\0\xE9\0<\0/\0a\0>", 16), "\xE9"},
  };
  TempDir dir;
  for (const auto& c : cases) {
    const std::string file = dir.File("in.xml");
    WriteWholeFile(file, c.content);
    XmlDocument doc;
    doc.LoadFile(file);
    EXPECT_EQ(doc.TopElement("a").Text(), c.expected) << c.label;
  }
}

TEST(XmlRead, NotWellFormedInputIsAnXmlError) {
  struct Case {
    const char* label;
    std::string xml;
  } cases[] = {
      {"empty", ""},
      {"white space only", " \r\n\t"},
      {"declaration only", "<?xml version=\"1.0\"?>"},
      {"comment only", "<!-- nothing -->"},
      {"plain text", "Wache 1"},
      {"unclosed root", "<a><b></b>"},
      {"mismatched end tag", "<a></b>"},
      {"end tag only", "</a>"},
      {"unquoted attribute", "<a b=1/>"},
      {"stray <", "<a/><"},
      {"two roots", "<a/><b/>"},
      {"same root twice", "<a>1</a>\n<a>2</a>"},
      {"text after the root", "<a/>text"},
      {"text before the root", "text<a/>"},
      {"CDATA after the root", "<a/><![CDATA[x]]>"},
      {"zero byte after the root", std::string("<a/>\0<b/>", 9)},
      {"zero byte in a text", std::string("<a>x\0y</a>", 10)},
      {"binary", std::string("\x00\x01\x02\xFF\xFE\x89PNG\r\n\x1A\n", 13)},
      {"UTF-16 byte order mark only", "\xFF\xFE"},
  };
  for (const auto& c : cases) {
    XmlDocument doc;
    EXPECT_EQ(ErrorClassOf([&] { doc.LoadText(c.xml); }), platform::kXmlError) << c.label;
  }
}

TEST(XmlRead, FailedLoadLeavesTheDocumentEmpty) {
  XmlDocument doc;
  doc.LoadText("<a><b>old</b></a>");
  EXPECT_THROW(doc.LoadText("<a><b>new</b></a><c/>"), platform::Error);
  EXPECT_FALSE(doc.TopElement("a").Exists());
  EXPECT_EQ(doc.ToString(), "");
}

TEST(XmlRead, FileErrors) {
  TempDir dir;
  struct Case {
    const char* label;
    std::string path;
    std::string className;
  } cases[] = {
      {"missing file", dir.File("missing.xml"), platform::kInOutError},
      {"folder", dir.path(), platform::kInOutError},
      {"not well-formed", dir.File("bad.xml"), platform::kXmlError},
  };
  WriteWholeFile(dir.File("bad.xml"), "<a>");
  for (const auto& c : cases) {
    XmlDocument doc;
    try {
      doc.LoadFile(c.path);
      ADD_FAILURE() << c.label << ": no error";
    } catch (const platform::Error& e) {
      EXPECT_EQ(e.ClassName(), c.className) << c.label;
      EXPECT_NE(std::string(e.what()).find(c.path), std::string::npos) << c.label << ": " << e.what();
    }
  }
}

TEST(XmlRead, TopElementWithAnotherNameThrows) {
  XmlDocument doc;
  doc.LoadText("<Kiosk/>");
  EXPECT_EQ(ErrorClassOf([&] { doc.TopElement("Station"); }), platform::kXmlError);
  EXPECT_EQ(ErrorClassOf([&] { doc.TopElement("kiosk"); }), platform::kXmlError);
  EXPECT_TRUE(doc.TopElement("Kiosk").Exists());
}

TEST(XmlRead, DeepNestingReturnsNormally) {
  constexpr int kDepth = 100000;
  std::string xml;
  for (int i = 0; i < kDepth; ++i) xml += "<e>";
  const std::string unclosed = xml;
  xml += "bottom";
  for (int i = 0; i < kDepth; ++i) xml += "</e>";

  {
    XmlDocument doc;
    try {
      doc.LoadText(xml);
      XmlElement e = doc.TopElement("e");
      for (int i = 1; i < kDepth; ++i) e = e.Child("e");
      EXPECT_EQ(e.Text(), "bottom");
      EXPECT_FALSE(e.Child("e").Exists());
    } catch (const platform::Error& e) {
      EXPECT_EQ(e.ClassName(), platform::kXmlError);
    }
  }  // the destructor must cope with the depth as well

  XmlDocument doc;
  EXPECT_EQ(ErrorClassOf([&] { doc.LoadText(unclosed); }), platform::kXmlError);
}

TEST(XmlRead, MultiMegabyteInput) {
  const std::string bigText(4 << 20, 'x');
  std::string xml = "<Big><Text>" + bigText + "</Text>";
  for (int i = 0; i < 100000; ++i) xml += "<Item>" + std::to_string(i) + "</Item>";
  xml += "<End>end</End></Big>";

  XmlDocument doc;
  doc.LoadText(xml);
  const XmlElement big = doc.TopElement("Big");
  EXPECT_EQ(big.Child("Text").Text(), bigText);
  EXPECT_EQ(big.Child("Item").Text(), "0");
  EXPECT_EQ(big.Child("End").Text(), "end");
}

TEST(XmlRead, RandomBytesReturnNormally) {
  std::mt19937 random(20261209);
  for (std::size_t size : {1u, 7u, 64u, 4096u, 3u << 20}) {
    std::string garbage(size, '\0');
    for (char& c : garbage) c = static_cast<char>(random());
    for (const std::string& input : {garbage, "<a>" + garbage + "</a>"}) {
      XmlDocument doc;
      const std::string result = ErrorClassOf([&] { doc.LoadText(input); });
      EXPECT_TRUE(result == "none" || result == platform::kXmlError) << size << ": " << result;
    }
  }
}

TEST(XmlWrite, TextsSurviveSaveAndLoad) {
  struct Case {
    const char* name;
    std::string text;
    std::string readBack;
  } cases[] = {
      {"Plain", "Wache 1", "Wache 1"},
      {"Quotes", "say \"hi\" and 'bye'", "say \"hi\" and 'bye'"},
      {"Markup", "<b>&amp; & < > ]]>", "<b>&amp; & < > ]]>"},
      {"High", "Gr\xF6\xDF""e \x80 \x84x\x93 \xFF", "Gr\xF6\xDF""e \x80 \x84x\x93 \xFF"},
      {"Undefined", "\x81\x8D\x8F\x90\x9D", "\x81\x8D\x8F\x90\x9D"},
      {"Spaces", "  padded  ", "  padded  "},
      {"Tab", "a\tb", "a\tb"},
      {"LineFeed", "line1\nline2\n", "line1\nline2\n"},
      // The parser normalises line ends, so CR LF and a lone CR come back as LF.
      {"CrLf", "line1\r\nline2", "line1\nline2"},
      {"LoneCr", "a\rb", "a\nb"},
      // Control characters XML cannot carry, NUL included, are written as "?".
      {"Nul", std::string("a\0b", 3), "a?b"},
      {"Controls", "\x01x\x1F\x7F", "?x?\x7F"},
      // A text of white space only reads back empty.
      {"Blank", "   ", ""},
      {"Empty", "", ""},
  };
  XmlDocument out;
  XmlElement texts = out.CreateRoot("Kiosk").AddChild("Texts");
  for (const auto& c : cases) texts.AddChild(c.name, c.text);

  TempDir dir;
  const std::string file = dir.File("out.xml");
  out.SaveFile(file);
  XmlDocument in;
  in.LoadFile(file);
  const XmlElement read = in.TopElement("Kiosk").Child("Texts");
  for (const auto& c : cases) {
    EXPECT_TRUE(read.Child(c.name).Exists()) << c.name;
    EXPECT_EQ(read.Child(c.name).Text(), c.readBack) << c.name;
  }
}

TEST(XmlWrite, FileLayout) {
  XmlDocument doc;
  XmlElement root = doc.CreateRoot("Kiosk");
  root.AddChild("Station").AddChild("Name", "caf\xE9");
  root.AddChild("Empty");

  TempDir dir;
  const std::string file = dir.File("out.xml");
  WriteWholeFile(file, std::string(10000, '#'));  // an older, longer file is replaced
  doc.SaveFile(file);
  const std::string saved = ReadWholeFile(file);
  EXPECT_EQ(saved, doc.ToString());
  EXPECT_EQ(saved.rfind("<Kiosk>", 0), 0u) << saved;  // no declaration, no byte order mark
  EXPECT_NE(saved.find("\n  <Station>\n    <Name>caf\xC3\xA9</Name>\n  </Station>\n"), std::string::npos) << saved;
  EXPECT_EQ(saved.find('#'), std::string::npos);

  XmlDocument in;
  in.LoadText(saved);
  const XmlElement empty = in.TopElement("Kiosk").Child("Empty");
  EXPECT_TRUE(empty.Exists());
  EXPECT_EQ(empty.Text(), "");
}

TEST(XmlWrite, CreateRootReplacesTheContent) {
  XmlDocument doc;
  doc.LoadText("<Old><Child>x</Child></Old>");
  doc.CreateRoot("New").AddChild("Child", "y");
  EXPECT_EQ(doc.TopElement("New").Child("Child").Text(), "y");
  EXPECT_EQ(ErrorClassOf([&] { doc.TopElement("Old"); }), platform::kXmlError);
  EXPECT_EQ(doc.ToString().find("Old"), std::string::npos);
}

TEST(XmlWrite, AddingToAnEmptyElementDoesNothing) {
  XmlDocument doc;
  XmlElement missing = doc.TopElement("Kiosk");
  EXPECT_FALSE(missing.AddChild("Station", "x").Exists());
  EXPECT_EQ(doc.ToString(), "");

  doc.CreateRoot("Kiosk");
  XmlElement absent = doc.TopElement("Kiosk").Child("Absent");
  EXPECT_FALSE(absent.AddChild("Station", "x").Exists());
  EXPECT_FALSE(doc.TopElement("Kiosk").Child("Station").Exists());
}

TEST(XmlWrite, SaveErrors) {
  TempDir dir;
  XmlDocument doc;
  doc.CreateRoot("Kiosk");
  for (const std::string& path : {dir.File("missing/out.xml"), dir.path()}) {
    try {
      doc.SaveFile(path);
      ADD_FAILURE() << path << ": no error";
    } catch (const platform::Error& e) {
      EXPECT_EQ(e.ClassName(), platform::kInOutError) << path;
      EXPECT_NE(std::string(e.what()).find(path), std::string::npos) << e.what();
    }
  }
}

}  // namespace
