#include "fb2/FBDescription.h"

#include <cstdlib>

#include "common/TextUtils.h"
#include "fb2/FBParser.h"
#include "fb2/Recoder.h"

namespace {

// The text of a value element: its plain text without the line end or blank it ends with.
std::string ValueOf(const TSimpleType& node) {
    return TrimBlanks(GetText(node));
}

// An attribute value as the reader means it: the model keeps attributes raw, entities and all.
std::string AttributeOf(const TSimpleType& node, const std::string& name) {
    return TrimBlanks(DecodeXmlEntities(node.GetAttribute(name)));
}

TFBPerson ReadPerson(const TSimpleType& node) {
    TFBPerson person;
    for (const auto& child : node.Children) {
        const std::string value = ValueOf(*child);
        switch (child->Kind) {
            case 22:
                person.FirstName = value;
                break;
            case 23:
                person.MiddleName = value;
                break;
            case 24:
                person.LastName = value;
                break;
            case 25:
                person.NickName = value;
                break;
            case 26:
                person.HomePages.push_back(value);
                break;
            case 27:
                person.Emails.push_back(value);
                break;
            default:
                break;
        }
    }
    return person;
}

void ReadSequence(const TSimpleType& node, std::vector<TFBSequence>& out) {
    TFBSequence sequence;
    sequence.Name = AttributeOf(node, "name");
    const std::string number = AttributeOf(node, "number");
    if (!number.empty()) {
        char* end = nullptr;
        const long value = std::strtol(number.c_str(), &end, 10);
        if (end && *end == '\0' && value >= INT32_MIN && value <= INT32_MAX) sequence.Number = static_cast<int>(value);
    }
    out.push_back(sequence);
    for (const auto& child : node.Children)
        if (child->Kind == 21) ReadSequence(*child, out);
}

void ReadTitleInfo(const TSimpleType& node, TFBTitleInfo& info) {
    info.Present = true;
    for (const auto& child : node.Children) {
        switch (child->Kind) {
            case 11:
                info.Genres.push_back(ValueOf(*child));
                break;
            case 12:
                info.Authors.push_back(ReadPerson(*child));
                break;
            case 13:
                info.BookTitle = ValueOf(*child);
                break;
            case 14:
                info.Annotation = TrimBlanks(GetText(*child));
                break;
            case 15:
                info.Keywords = ValueOf(*child);
                break;
            case 16:
                info.Date = ValueOf(*child);
                info.DateValue = AttributeOf(*child, "value");
                break;
            case 17:
                for (const auto& image : child->Children)
                    if (info.CoverHref.empty()) info.CoverHref = image->GetAttributeBySuffix("href");
                break;
            case 18:
                info.Lang = ValueOf(*child);
                break;
            case 19:
                info.SrcLang = ValueOf(*child);
                break;
            case 20:
                info.Translators.push_back(ReadPerson(*child));
                break;
            case 21:
                ReadSequence(*child, info.Sequences);
                break;
            default:
                break;
        }
    }
}

}  // namespace

TFBDescription ReadDescription(TFictionBook& book) {
    TFBDescription d;
    TSimpleType* description = book.Description();
    if (!description) return d;
    for (const auto& part : description->Children) {
        switch (part->Kind) {
            case 5:
                ReadTitleInfo(*part, d.TitleInfo);
                break;
            case 6:
                ReadTitleInfo(*part, d.SrcTitleInfo);
                break;
            case 7: {
                TFBDocumentInfo& info = d.DocumentInfo;
                info.Present = true;
                for (const auto& child : part->Children) {
                    switch (child->Kind) {
                        case 29:
                            info.Authors.push_back(ReadPerson(*child));
                            break;
                        case 30:
                            info.ProgramUsed = ValueOf(*child);
                            break;
                        case 31:
                            info.Date = ValueOf(*child);
                            info.DateValue = AttributeOf(*child, "value");
                            break;
                        case 32:
                            info.SrcUrls.push_back(ValueOf(*child));
                            break;
                        case 33:
                            info.SrcOcr = ValueOf(*child);
                            break;
                        case 34:
                            info.Id = ValueOf(*child);
                            break;
                        case 35:
                            info.Version = ValueOf(*child);
                            break;
                        case 36:
                            info.History = TrimBlanks(GetText(*child));
                            break;
                        default:
                            break;
                    }
                }
                break;
            }
            case 8: {
                TFBPublishInfo& info = d.PublishInfo;
                info.Present = true;
                for (const auto& child : part->Children) {
                    switch (child->Kind) {
                        case 37:
                            info.BookName = ValueOf(*child);
                            break;
                        case 38:
                            info.Publisher = ValueOf(*child);
                            break;
                        case 39:
                            info.City = ValueOf(*child);
                            break;
                        case 40:
                            info.Year = ValueOf(*child);
                            break;
                        case 41:
                            info.Isbn = ValueOf(*child);
                            break;
                        case 42:
                            ReadSequence(*child, info.Sequences);
                            break;
                        default:
                            break;
                    }
                }
                break;
            }
            case 9:
                d.CustomInfo.push_back({AttributeOf(*part, "info-type"), ValueOf(*part)});
                break;
            default:
                break;
        }
    }
    return d;
}
