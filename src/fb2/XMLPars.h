#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

class TMyMemStream;

// A small, lenient XML reader for FB2 files. It parses a zero-terminated Windows-1251 buffer
// (foreign encodings are converted in place first) into a tree; entity references are left as
// written, and input cut off inside content closes every open element implicitly.

enum class TXMLNodeType { Text, Comment, Doctype, Stylesheet, Element, Document };

class TAbstractElement {
public:
    explicit TAbstractElement(TAbstractElement* owner) : Owner(owner) {}
    virtual ~TAbstractElement() = default;
    TAbstractElement(const TAbstractElement&) = delete;
    TAbstractElement& operator=(const TAbstractElement&) = delete;

    TAbstractElement* Owner;
    std::string Text;

    virtual TXMLNodeType Type() const = 0;
    // The node serialised.
    virtual std::string AsText() const { return Text; }
    virtual int ChildCount() const { return 0; }
    // Reads the node at the cursor (just after its tag prefix) and advances the cursor.
    virtual bool Parse(char*& cursor, int depth) = 0;
};

// Character data: the raw bytes between tags.
class TBodyElement final : public TAbstractElement {
public:
    using TAbstractElement::TAbstractElement;
    TXMLNodeType Type() const override { return TXMLNodeType::Text; }
    bool Parse(char*& cursor, int depth) override;
};

// A comment: the bytes between "<!--" and "-->".
class TNoteElement : public TAbstractElement {
public:
    using TAbstractElement::TAbstractElement;
    TXMLNodeType Type() const override { return TXMLNodeType::Comment; }
    std::string AsText() const override { return "<!-- " + Text + " -->"; }
    bool Parse(char*& cursor, int depth) override;
};

// A DOCTYPE, which FB2 files do not use: reading one raises an error that says so.
class TXMLDoctype final : public TNoteElement {
public:
    using TNoteElement::TNoteElement;
    TXMLNodeType Type() const override { return TXMLNodeType::Doctype; }
    std::string AsText() const override;
    bool Parse(char*& cursor, int depth) override;
};

struct TAttribute {
    std::string Name;
    std::string Value;  // raw, quotes removed
};

class TAttrOnlyElement : public TAbstractElement {
public:
    using TAbstractElement::TAbstractElement;
    std::vector<TAttribute> Attributes;
    std::string AttributesText() const;

protected:
    void ReadAttributes(char*& cursor);
};

// An xml-stylesheet instruction: attributes only.
class TXMLStylesheet final : public TAttrOnlyElement {
public:
    using TAttrOnlyElement::TAttrOnlyElement;
    TXMLNodeType Type() const override { return TXMLNodeType::Stylesheet; }
    std::string AsText() const override { return AttributesText(); }
    bool Parse(char*& cursor, int depth) override;
};

class TXMLElement final : public TAttrOnlyElement {
public:
    using TAttrOnlyElement::TAttrOnlyElement;
    std::string Name;  // with its namespace prefix
    std::vector<std::unique_ptr<TAbstractElement>> Children;

    TXMLNodeType Type() const override { return TXMLNodeType::Element; }
    std::string AsText() const override;
    int ChildCount() const override { return static_cast<int>(Children.size()); }
    bool Parse(char*& cursor, int depth) override;
};

// Parts a loader keeps; the others are cut out of the text before parsing.
enum TKeepParts : int { kKeepDescription = 1, kKeepBody = 2, kKeepBinaries = 4, kKeepAll = 7 };

// The first error of a parse and where it is: the byte offset in the text as parsed (after its
// conversion to Windows-1251 and the cutting of parts not kept) and its line, counted from 1.
struct TXMLError {
    bool Set = false;
    std::string What;
    size_t Offset = 0;
    int Line = 0;

    // "line 120: unclosed <p>", empty when there was no error.
    std::string Text() const { return Set ? "line " + std::to_string(Line) + ": " + What : std::string(); }
};

class TXMLDocument final : public TAbstractElement {
public:
    TXMLDocument() : TAbstractElement(nullptr) {}

    uint16_t Version = 0;
    std::string Encoding = "windows-1251";
    bool Standalone = false;
    std::vector<std::unique_ptr<TAbstractElement>> Prolog;
    std::unique_ptr<TXMLElement> Root;
    std::vector<std::unique_ptr<TAbstractElement>> Epilog;
    // Elements were cut out before parsing (parts not kept).
    bool Stripped = false;
    // Why the last parse failed.
    TXMLError Error;

    TXMLNodeType Type() const override { return TXMLNodeType::Document; }
    void Clear();
    // Reads a whole stream, cuts out the parts not kept and parses the rest.
    bool LoadFromStream(TMyMemStream& stream, int keepParts);
    // The same over bytes (need not be terminated).
    bool LoadFromBytes(const uint8_t* data, size_t size, int keepParts);
    // Parses a zero-terminated buffer in place (it is rewritten by encoding conversion).
    bool Parse(char*& cursor, int depth) override;

private:
    bool sourceIsUtf8_ = false;  // the bytes were UTF-16 and are now UTF-8
};

// An XML text in UTF-16, by its byte-order mark or a "<" next to a zero byte; such a text is
// converted and read whole. bigEndian, when given, tells the byte order.
bool IsUtf16Xml(const uint8_t* data, size_t size, bool* bigEndian = nullptr);

// The length of the text a description-only load parses: through the ">" after the first
// "</description"; 0 while the text holds no such end. The search starts at from and leaves
// there where a later call on the same text grown longer may start again.
size_t DescriptionEnd(const uint8_t* data, size_t size, size_t& from);

// Cuts every element whose tag starts with name out of the zero-terminated buffer, textually.
// True when something was cut.
bool StripElements(char* buffer, const std::string& name);

// Elements nested deeper than this make a parse fail instead of exhausting the stack.
inline constexpr int kMaxXmlDepth = 1000;
