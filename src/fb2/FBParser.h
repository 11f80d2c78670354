#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "fb2/Picture.h"

class TAbstractElement;
class TFictionBook;
class TMyMemStream;
class TXMLDocument;

// Node classes of the FB2 model. Each element kind has a class, a kind code and a table of
// the child tags it accepts.
enum class TFBClass : uint8_t {
    Simple,
    EmptyLine,
    SimpleValue,
    SimpleBody,
    Image,
    Binary,
    ValList,
    Author,
    Style,
    Cite,
    Stanza,
    Poem,
    TR,
    Table,
    BlockList,
    Sequence,
    Coverpage,
    TitleInfo,
    DocumentInfo,
    PublishInfo,
    PartSharedInstruction,
    SharedInstruction,
    Description,
    FictionBook,
    Subtitle,
    Bold,
    Sup,
    Sub,
    Italic,
    TextAuthor,
    P,
    NamedStyle,
    Link,
    Epigraph,
    Title,
    Section,
    Body,
};

// A node of the FB2 model: an element or a text run. The fields of the richer node kinds
// (text, attributes, children, pictures) are used by the classes that have them.
class TSimpleType {
public:
    TSimpleType(TSimpleType* owner, uint8_t kind, TFBClass cls);
    virtual ~TSimpleType();
    TSimpleType(const TSimpleType&) = delete;
    TSimpleType& operator=(const TSimpleType&) = delete;

    TSimpleType* const Owner;
    const uint8_t Kind;
    const TFBClass Class;
    int32_t Width = 0, Height = 0, Extra = 0;  // layout results
    std::string Id;
    const bool Visible;

    // TFBSimpleValueType and below: normalised text and alignment (0 left, 1 centre, 2 right, 3 full).
    std::string Text;
    uint8_t Align = 0;
    // TFBAttrType and below: attributes other than id, in order; the target of an internal link.
    std::vector<std::pair<std::string, std::string>> Attributes;
    TSimpleType* LinkTarget = nullptr;
    // TFBValListType and below.
    std::vector<std::unique_ptr<TSimpleType>> Children;
    // TFBBinaryType: a picture's file bytes, format and declared size (decoded only when asked
    // for, through BinaryPicture), or an FB2 document carried in the binary.
    std::vector<uint8_t> PictureData;
    TPictureFormat PictureFormat = TPictureFormat::None;
    int32_t PictureWidth = 0, PictureHeight = 0;
    std::unique_ptr<TFictionBook> EmbeddedBook;

    bool HasValueText() const { return Class != TFBClass::Simple && Class != TFBClass::EmptyLine; }
    bool HasAttributes() const;
    bool IsValList() const;

    TFictionBook* GetBook();
    // Text normalisation: control characters become blanks, runs of blanks one blank, entity
    // references decoded.
    void SetText(const std::string& text);
    std::string GetAttribute(const std::string& name) const;
    // The value of the first attribute named prefix:localName (l:href, xlink:href; not href).
    std::string GetAttributeBySuffix(const std::string& localName) const;
    // See the model's search rules: own kind first, then the children in order.
    TSimpleType* FindChild(uint8_t kind, bool deep, const TSimpleType* after = nullptr);
    void CollectNodes(std::vector<TSimpleType*>& nodes);
    virtual void Clear();

    // Reads the node from an XML node; false when a child could not be loaded. Raises
    // "FB parsing Error!" and "Not implemented yet 222!" as the model does.
    virtual bool Load(const TAbstractElement& xml);
    // A new child for a tag this node accepts, or null.
    std::unique_ptr<TSimpleType> CreateChild(const std::string& tag);

    // The decoded picture of a binary, decoded on first use; null when it has none or it
    // cannot be decoded.
    const TBitmap* DecodedPicture() const;
    bool HasPicture() const { return PictureFormat != TPictureFormat::None; }

private:
    void LoadAttributes(const TAbstractElement& xml);
    void DecodeBinary(const std::string& text);

    mutable std::unique_ptr<TBitmap> picture_;
    mutable bool decoded_ = false;
};

// One FB2 document.
class TFictionBook final : public TSimpleType {
public:
    explicit TFictionBook(TSimpleType* owner = nullptr);
    ~TFictionBook() override;

    uint16_t Version = 0;
    std::string Encoding = "windows-1251";
    bool Standalone = false;
    std::vector<TSimpleType*> AllNodes;
    std::vector<std::string> Messages;
    // Where the XML reader stopped after a failed load ("line 120: unclosed <p>"), else empty.
    std::string ParseError;
    // Why the last load failed: the place and the reason ("line 120: unclosed <p> (Damaged or
    // not an XML file!)"), or the reason alone.
    std::string FailureText() const { return ParseError.empty() ? Text : ParseError + " (" + Text + ")"; }

    // keepParts: 1 description, 2 body, 4 binaries (TKeepParts). False for a file that is not
    // XML ("Damaged or not an XML file!") or not FB2 ("Not a FictionBook file!"), the
    // reason then being the book's Text.
    bool LoadFromStream(TMyMemStream* stream, int keepParts);
    bool LoadFromBytes(const uint8_t* data, size_t size, int keepParts);
    bool LoadDocument(const TXMLDocument& document);
    void Clear() override;

    TSimpleType* FindBody();
    TSimpleType* Description();
    // How many FB2 documents enclose this one (binaries holding books).
    int NestingDepth() const;
};

// The plain text of a node: paragraphs and block elements end with CRLF, inline markup is dissolved.
std::string GetText(const TSimpleType& node);

// The picture of a binary: its own, or the cover of the FB2 document it carries (decoded).
const TBitmap* BinaryPicture(const TSimpleType& binary);
// The node that holds that picture (the binary itself or a binary of the carried document),
// or null; its declared size is known without decoding.
const TSimpleType* PictureNode(const TSimpleType& binary);

// FB2 documents inside binaries are read only this deep.
inline constexpr int kMaxEmbeddedBooks = 3;
