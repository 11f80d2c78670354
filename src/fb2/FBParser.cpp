#include "fb2/FBParser.h"

#include <algorithm>
#include <map>

#include "common/Error.h"
#include "common/TextUtils.h"
#include "fb2/Base64.h"
#include "fb2/MyStream.h"
#include "fb2/Recoder.h"
#include "fb2/XMLPars.h"

namespace {

struct TTagDescr {
    const char* tag;
    TFBClass cls;
    uint8_t kind;
};

using C = TFBClass;

constexpr TTagDescr kBookTable[] = {
    {"description", C::Description, 4}, {"body", C::Body, 46}, {"binary", C::Binary, 82}};
constexpr TTagDescr kDescriptionTable[] = {{"title-info", C::TitleInfo, 5},       {"src-title-info", C::TitleInfo, 6},
                                           {"document-info", C::DocumentInfo, 7}, {"publish-info", C::PublishInfo, 8},
                                           {"custom-info", C::ValList, 9},        {"output", C::SharedInstruction, 10}};
constexpr TTagDescr kTitleInfoTable[] = {
    {"genre", C::ValList, 11},        {"author", C::Author, 12},    {"book-title", C::ValList, 13},
    {"annotation", C::BlockList, 14}, {"keywords", C::ValList, 15}, {"date", C::ValList, 16},
    {"coverpage", C::Coverpage, 17},  {"lang", C::SimpleValue, 18}, {"src-lang", C::SimpleValue, 19},
    {"translator", C::Author, 20},    {"sequence", C::Sequence, 21}};
constexpr TTagDescr kAuthorTable[] = {{"first-name", C::SimpleValue, 22}, {"middle-name", C::SimpleValue, 23},
                                      {"last-name", C::SimpleValue, 24},  {"nickname", C::SimpleValue, 25},
                                      {"home-page", C::SimpleValue, 26},  {"email", C::SimpleValue, 27}};
constexpr TTagDescr kCoverpageTable[] = {{"image", C::Image, 28}};
constexpr TTagDescr kDocumentInfoTable[] = {{"author", C::Author, 29},       {"program-used", C::SimpleValue, 30},
                                            {"date", C::SimpleValue, 31},    {"src-url", C::SimpleValue, 32},
                                            {"src-ocr", C::ValList, 33},     {"id", C::SimpleValue, 34},
                                            {"version", C::SimpleValue, 35}, {"history", C::BlockList, 36}};
constexpr TTagDescr kPublishInfoTable[] = {{"book-name", C::ValList, 37}, {"publisher", C::ValList, 38},
                                           {"city", C::ValList, 39},      {"year", C::SimpleValue, 40},
                                           {"isbn", C::ValList, 41},      {"sequence", C::Sequence, 42}};
constexpr TTagDescr kSharedTable[] = {{"part", C::ValList, 43},
                                      {"output-document-class", C::PartSharedInstruction, 44}};
constexpr TTagDescr kPartSharedTable[] = {{"part", C::ValList, 45}};
constexpr TTagDescr kSequenceTable[] = {{"sequence", C::Sequence, 21}};
constexpr TTagDescr kSectionTable[] = {{"section", C::Section, 47},
                                       {"title", C::Title, 48},
                                       {"epigraph", C::Epigraph, 49},
                                       {"annotation", C::BlockList, 50},
                                       {"p", C::P, 51},
                                       {"poem", C::Poem, 53},
                                       {"image", C::Image, 52},
                                       {"subtitle", C::Subtitle, 54},
                                       {"cite", C::Cite, 55},
                                       {"empty-line", C::EmptyLine, 56},
                                       {"table", C::Table, 57},
                                       {"text-author", C::TextAuthor, 58},
                                       {"date", C::ValList, 59}};
constexpr TTagDescr kBlockTable[] = {{"p", C::P, 51},         {"poem", C::Poem, 53},
                                     {"image", C::Image, 52}, {"subtitle", C::Subtitle, 54},
                                     {"cite", C::Cite, 55},   {"empty-line", C::EmptyLine, 56},
                                     {"table", C::Table, 57}, {"text-author", C::TextAuthor, 58},
                                     {"date", C::ValList, 59}};
constexpr TTagDescr kInlineTable[] = {
    {"strong", C::Bold, 60}, {"emphasis", C::Italic, 61},     {"style", C::NamedStyle, 62},
    {"a", C::Link, 63},      {"strikethrough", C::Style, 64}, {"sub", C::Sub, 65},
    {"sup", C::Sup, 66},     {"code", C::Style, 67},          {"image", C::Image, 68}};
// A cite holds paragraphs, poems and the other blocks as well as inline markup.
constexpr TTagDescr kCiteTable[] = {{"strong", C::Bold, 60},
                                    {"emphasis", C::Italic, 61},
                                    {"style", C::NamedStyle, 62},
                                    {"a", C::Link, 63},
                                    {"strikethrough", C::Style, 64},
                                    {"sub", C::Sub, 65},
                                    {"sup", C::Sup, 66},
                                    {"code", C::Style, 67},
                                    {"image", C::Image, 68},
                                    {"p", C::P, 51},
                                    {"poem", C::Poem, 53},
                                    {"subtitle", C::Subtitle, 54},
                                    {"cite", C::Cite, 55},
                                    {"empty-line", C::EmptyLine, 56},
                                    {"table", C::Table, 57},
                                    {"text-author", C::TextAuthor, 58},
                                    {"date", C::ValList, 59}};
constexpr TTagDescr kPoemTable[] = {{"title", C::Title, 71},
                                    {"epigraph", C::Epigraph, 72},
                                    {"stanza", C::Stanza, 73},
                                    {"text-author", C::TextAuthor, 74},
                                    {"date", C::ValList, 75}};
constexpr TTagDescr kStanzaTable[] = {{"title", C::Title, 76}, {"subtitle", C::Subtitle, 77}, {"v", C::Style, 78}};
constexpr TTagDescr kTableTable[] = {{"tr", C::TR, 79}};
constexpr TTagDescr kTRTable[] = {{"th", C::Style, 80}, {"td", C::Style, 81}};

struct Table {
    const TTagDescr* rows;
    size_t count;
};

template <size_t N>
constexpr Table Of(const TTagDescr (&rows)[N]) {
    return {rows, N};
}

// The child table of a class; none for the classes that take no child elements.
bool TableOf(TFBClass cls, Table& table) {
    switch (cls) {
        case C::FictionBook:
            table = Of(kBookTable);
            return true;
        case C::Description:
            table = Of(kDescriptionTable);
            return true;
        case C::TitleInfo:
            table = Of(kTitleInfoTable);
            return true;
        case C::Author:
            table = Of(kAuthorTable);
            return true;
        case C::Coverpage:
            table = Of(kCoverpageTable);
            return true;
        case C::DocumentInfo:
            table = Of(kDocumentInfoTable);
            return true;
        case C::PublishInfo:
            table = Of(kPublishInfoTable);
            return true;
        case C::SharedInstruction:
            table = Of(kSharedTable);
            return true;
        case C::PartSharedInstruction:
            table = Of(kPartSharedTable);
            return true;
        case C::Sequence:
            table = Of(kSequenceTable);
            return true;
        case C::Section:
        case C::Body:
            table = Of(kSectionTable);
            return true;
        case C::BlockList:
        case C::Epigraph:
        case C::Title:
            table = Of(kBlockTable);
            return true;
        case C::Style:
        case C::Subtitle:
        case C::Bold:
        case C::Sup:
        case C::Sub:
        case C::Italic:
        case C::TextAuthor:
        case C::P:
        case C::NamedStyle:
        case C::Link:
            table = Of(kInlineTable);
            return true;
        case C::Cite:
            table = Of(kCiteTable);
            return true;
        case C::Poem:
            table = Of(kPoemTable);
            return true;
        case C::Stanza:
            table = Of(kStanzaTable);
            return true;
        case C::Table:
            table = Of(kTableTable);
            return true;
        case C::TR:
            table = Of(kTRTable);
            return true;
        default:
            return false;
    }
}

bool IsVisibleKind(uint8_t kind) {
    return kind == 1 || kind == 2 || kind == 4 || kind == 5 || kind == 6 || kind == 17 || kind == 28 ||
           (kind >= 46 && kind <= 81);
}

std::unique_ptr<TSimpleType> MakeNode(TSimpleType* owner, TFBClass cls, uint8_t kind) {
    return std::make_unique<TSimpleType>(owner, kind, cls);
}

bool InRange(uint8_t k, uint8_t lo, uint8_t hi) {
    return k >= lo && k <= hi;
}

}  // namespace

TSimpleType::TSimpleType(TSimpleType* owner, uint8_t kind, TFBClass cls)
    : Owner(owner), Kind(kind), Class(cls), Visible(IsVisibleKind(kind) && (!owner || owner->Visible)) {
    if (owner && owner->HasValueText()) Align = owner->Align;
    if (cls == C::Subtitle || cls == C::Title) Align = 1;
}

TSimpleType::~TSimpleType() = default;

bool TSimpleType::HasAttributes() const {
    return Class != C::Simple && Class != C::EmptyLine && Class != C::SimpleValue && Class != C::SimpleBody;
}

bool TSimpleType::IsValList() const {
    return HasAttributes() && Class != C::Image && Class != C::Binary;
}

TFictionBook* TSimpleType::GetBook() {
    TSimpleType* node = this;
    while (node->Owner && node->Class != C::FictionBook)
        node = node->Owner;
    return node->Class == C::FictionBook ? static_cast<TFictionBook*>(node) : nullptr;
}

void TSimpleType::SetText(const std::string& text) {
    std::string decoded = DecodeXmlEntities(text.substr(0, text.find('\0')));
    std::string out;
    out.reserve(decoded.size());
    for (char c : decoded) {
        if (static_cast<unsigned char>(c) < 32) c = ' ';
        if (c == ' ' && !out.empty() && out.back() == ' ') continue;
        out += c;
    }
    Text = std::move(out);
}

std::string TSimpleType::GetAttribute(const std::string& name) const {
    for (const auto& [n, v] : Attributes)
        if (n == name) return v;
    return {};
}

std::string TSimpleType::GetAttributeBySuffix(const std::string& localName) const {
    for (const auto& [n, v] : Attributes)
        if (n.size() > localName.size() + 1 &&
            n.compare(n.size() - localName.size(), localName.size(), localName) == 0 &&
            n[n.size() - localName.size() - 1] == ':')
            return v;
    return {};
}

TSimpleType* TSimpleType::FindChild(uint8_t kind, bool deep, const TSimpleType* after) {
    bool passed;
    if (Kind == kind) {
        if (!after) return this;
        passed = this == after;
    } else {
        passed = after == nullptr;
    }
    for (const auto& child : Children) {
        TSimpleType* candidate = deep && child->IsValList() ? child->FindChild(kind, deep, nullptr)
                                                            : (child->Kind == kind ? child.get() : nullptr);
        if (!candidate) continue;
        if (passed) return candidate;
        passed = candidate == after;
    }
    return nullptr;
}

void TSimpleType::CollectNodes(std::vector<TSimpleType*>& nodes) {
    nodes.push_back(this);
    for (const auto& child : Children)
        child->CollectNodes(nodes);
}

void TSimpleType::Clear() {
    Text.clear();
    Attributes.clear();
    Id.clear();
    LinkTarget = nullptr;
    Width = Height = Extra = 0;
    Children.clear();
    PictureData.clear();
    PictureFormat = TPictureFormat::None;
    PictureWidth = PictureHeight = 0;
    picture_.reset();
    decoded_ = false;
    EmbeddedBook.reset();
}

const TBitmap* TSimpleType::DecodedPicture() const {
    if (!decoded_ && HasPicture()) {
        decoded_ = true;
        picture_ = DecodePicture(PictureFormat, PictureData.data(), PictureData.size());
    }
    return picture_.get();
}

std::unique_ptr<TSimpleType> TSimpleType::CreateChild(const std::string& tag) {
    Table table{};
    if (!TableOf(Class, table)) RaiseFixedError("Not implemented yet 222!");
    for (size_t i = 0; i < table.count; ++i)
        if (tag == table.rows[i].tag) return MakeNode(this, table.rows[i].cls, table.rows[i].kind);
    return nullptr;
}

void TSimpleType::LoadAttributes(const TAbstractElement& xml) {
    const auto* element = dynamic_cast<const TAttrOnlyElement*>(&xml);
    if (!element) RaiseFixedError("FB parsing Error!");
    for (const TAttribute& a : element->Attributes) {
        if (a.Name == "id")
            Id = a.Value;
        else
            Attributes.emplace_back(a.Name, a.Value);
    }
}

bool TSimpleType::Load(const TAbstractElement& xml) {
    Clear();
    switch (Class) {
        case C::Simple:
        case C::EmptyLine:
            return true;
        case C::SimpleValue:
        case C::SimpleBody: {
            if (xml.Type() == TXMLNodeType::Text) {
                SetText(xml.Text);
                return true;
            }
            const auto* element = dynamic_cast<const TXMLElement*>(&xml);
            if (!element) RaiseFixedError("FB parsing Error!");
            // Simple values keep their attributes too: the document-info date has its value there.
            LoadAttributes(xml);
            std::string text;
            for (const auto& child : element->Children) {
                if (child->Type() != TXMLNodeType::Text) RaiseFixedError("FB parsing Error!");
                text += child->Text;
            }
            SetText(text);
            return true;
        }
        case C::Image:
            LoadAttributes(xml);
            return true;
        case C::Binary: {
            LoadAttributes(xml);
            if (const auto* element = dynamic_cast<const TXMLElement*>(&xml))
                for (const auto& child : element->Children)
                    if (child->Type() == TXMLNodeType::Text) DecodeBinary(child->Text);
            return true;
        }
        default:
            break;
    }
    LoadAttributes(xml);
    const auto* element = dynamic_cast<const TXMLElement*>(&xml);
    if (!element) RaiseFixedError("FB parsing Error!");
    if (element->Children.size() == 1 && element->Children[0]->Type() == TXMLNodeType::Text) {
        SetText(element->Children[0]->Text);
        return true;
    }
    TFictionBook* book = GetBook();
    for (const auto& child : element->Children) {
        switch (child->Type()) {
            case TXMLNodeType::Text: {
                auto run = MakeNode(this, C::SimpleBody, 1);
                run->SetText(child->Text);
                Children.push_back(std::move(run));
                break;
            }
            case TXMLNodeType::Element: {
                const auto& childElement = static_cast<const TXMLElement&>(*child);
                std::unique_ptr<TSimpleType> node = CreateChild(childElement.Name);
                if (!node) {
                    if (book) book->Messages.push_back("Unknown tag : " + child->AsText());
                    break;
                }
                TSimpleType* added = node.get();
                Children.push_back(std::move(node));
                if (!added->Load(*child)) return false;
                break;
            }
            default:
                if (book) book->Messages.push_back("Invalid document structure near '" + child->AsText() + "'");
        }
    }
    return true;
}

void TSimpleType::DecodeBinary(const std::string& text) {
    PictureData.clear();
    PictureFormat = TPictureFormat::None;
    picture_.reset();
    decoded_ = false;
    const std::string contentType = GetAttribute("content-type");
    std::vector<uint8_t> bytes;
    if (!Base64Decode(text, bytes)) return;
    TPictureFormat format = SniffPictureFormat(bytes.data(), bytes.size());
    if (format == TPictureFormat::None) format = FormatOfContentType(contentType);
    if (format != TPictureFormat::None) {
        // Only the header is read now: a book's pictures are decoded when they are shown, and
        // one that claims a giant size is never decoded.
        int width = 0, height = 0;
        if (!ReadPictureSize(format, bytes.data(), bytes.size(), width, height)) return;
        PictureData = std::move(bytes);
        PictureFormat = format;
        PictureWidth = width;
        PictureHeight = height;
        return;
    }
    if (contentType != "text/xml") return;
    TFictionBook* book = GetBook();
    // Books inside binaries inside books: read a few levels, not without end.
    if (book && book->NestingDepth() >= kMaxEmbeddedBooks) return;
    auto embedded = std::make_unique<TFictionBook>(this);
    try {
        if (embedded->LoadFromBytes(bytes.data(), bytes.size(), kKeepAll)) EmbeddedBook = std::move(embedded);
    } catch (const EShelvaraError&) {
    }
}

// ---- TFictionBook

TFictionBook::TFictionBook(TSimpleType* owner) : TSimpleType(owner, 2, C::FictionBook) {}

TFictionBook::~TFictionBook() = default;

void TFictionBook::Clear() {
    TSimpleType::Clear();
    AllNodes.clear();
    Messages.clear();
    ParseError.clear();
    Version = 0;
    Encoding = "windows-1251";
    Standalone = false;
}

int TFictionBook::NestingDepth() const {
    int depth = 0;
    for (const TSimpleType* node = Owner; node; node = node->Owner)
        if (node->Class == C::FictionBook) ++depth;
    return depth;
}

bool TFictionBook::LoadFromStream(TMyMemStream* stream, int keepParts) {
    if (!stream) return false;
    return LoadFromBytes(stream->Memory(), static_cast<size_t>(stream->Size()), keepParts);
}

bool TFictionBook::LoadFromBytes(const uint8_t* data, size_t size, int keepParts) {
    TXMLDocument document;
    if (!document.LoadFromBytes(data, size, keepParts)) {
        Clear();
        SetText("Damaged or not an XML file!");
        ParseError = document.Error.Text();
        return false;
    }
    return LoadDocument(document);
}

bool TFictionBook::LoadDocument(const TXMLDocument& document) {
    Clear();
    Version = document.Version;
    Encoding = document.Encoding;
    Standalone = document.Standalone;
    const TXMLElement* root = document.Root.get();
    // A book whose parts were cut out before parsing had content there.
    const bool hasContent = root && (document.Stripped || root->Children.size() > 1 ||
                                     std::any_of(root->Children.begin(), root->Children.end(),
                                                 [](const auto& c) { return c->Type() == TXMLNodeType::Element; }));
    if (!root || root->Name != "FictionBook" || !TSimpleType::Load(*root) || !hasContent) {
        Clear();
        SetText("Not a FictionBook file!");
        return false;
    }
    // Load cleared the fields taken from the document.
    Version = document.Version;
    Encoding = document.Encoding;
    Standalone = document.Standalone;
    CollectNodes(AllNodes);
    std::map<std::string, TSimpleType*> ids;
    for (TSimpleType* node : AllNodes)
        if (!node->Id.empty()) ids.emplace("#" + AnsiLowerCase(node->Id), node);
    for (TSimpleType* node : AllNodes) {
        if (!node->HasAttributes()) continue;
        const std::string href = node->GetAttributeBySuffix("href");
        if (href.empty() || href[0] != '#') continue;
        auto it = ids.find(AnsiLowerCase(href));
        if (it != ids.end())
            node->LinkTarget = it->second;
        else
            Messages.push_back("Broken internal link : " + href);
    }
    return true;
}

TSimpleType* TFictionBook::FindBody() {
    for (const auto& child : Children)
        if (child->Kind == 46) return child.get();
    return nullptr;
}

TSimpleType* TFictionBook::Description() {
    for (const auto& child : Children)
        if (child->Kind == 4) return child.get();
    return nullptr;
}

std::string GetText(const TSimpleType& node) {
    std::string text;
    if (!node.Children.empty()) {
        for (const auto& child : node.Children)
            text += child->IsValList() ? GetText(*child) : child->Text;
    } else {
        text = node.Text;
    }
    const uint8_t k = node.Kind;
    if (k == 56) {
        text += !text.empty() && text.back() != '\n' ? "\r\n\r\n" : "\r\n";
    } else if (InRange(k, 11, 21) || InRange(k, 29, 36) || InRange(k, 47, 51) || InRange(k, 53, 55) ||
               InRange(k, 57, 59) || InRange(k, 71, 78)) {
        if (!text.empty() && text.back() != '\n') text += "\r\n";
    } else if (InRange(k, 22, 27) || InRange(k, 37, 42)) {
        if (!text.empty() && text.back() != ' ') text += ' ';
    }
    return text;
}

const TSimpleType* PictureNode(const TSimpleType& binary) {
    if (binary.HasPicture()) return &binary;
    if (!binary.EmbeddedBook) return nullptr;
    const TFictionBook& book = *binary.EmbeddedBook;
    for (const TSimpleType* node : book.AllNodes) {
        if (node->Kind != 28) continue;
        const TSimpleType* target = node->LinkTarget;
        return target && target->Class == C::Binary && target->HasPicture() ? target : nullptr;
    }
    for (const auto& child : book.Children)
        if (child->Class == C::Binary && child->HasPicture()) return child.get();
    return nullptr;
}

const TBitmap* BinaryPicture(const TSimpleType& binary) {
    const TSimpleType* node = PictureNode(binary);
    return node ? node->DecodedPicture() : nullptr;
}
