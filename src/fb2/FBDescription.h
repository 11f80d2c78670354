#pragma once

#include <optional>
#include <string>
#include <vector>

class TFictionBook;
class TSimpleType;

// The description of an FB2 document as plain values (Windows-1251), for the import and the
// command-line tool.
struct TFBPerson {
    std::string FirstName, MiddleName, LastName, NickName;
    std::vector<std::string> HomePages, Emails;
};

struct TFBSequence {
    std::string Name;
    std::optional<int> Number;
};

struct TFBTitleInfo {
    bool Present = false;
    std::vector<std::string> Genres;
    std::vector<TFBPerson> Authors;
    std::string BookTitle;
    std::string Annotation;
    std::string Keywords;
    std::string Date;       // the element's text
    std::string DateValue;  // its value attribute
    std::string CoverHref;
    std::string Lang;
    std::string SrcLang;
    std::vector<TFBPerson> Translators;
    std::vector<TFBSequence> Sequences;  // nested sequences follow the one they are in
};

struct TFBDocumentInfo {
    bool Present = false;
    std::vector<TFBPerson> Authors;
    std::string ProgramUsed;
    std::string Date;
    std::string DateValue;
    std::vector<std::string> SrcUrls;
    std::string SrcOcr;
    std::string Id;
    std::string Version;
    std::string History;
};

struct TFBPublishInfo {
    bool Present = false;
    std::string BookName;
    std::string Publisher;
    std::string City;
    std::string Year;
    std::string Isbn;
    std::vector<TFBSequence> Sequences;
};

struct TFBCustomInfo {
    std::string InfoType;
    std::string Text;
};

struct TFBDescription {
    TFBTitleInfo TitleInfo;
    TFBTitleInfo SrcTitleInfo;
    TFBDocumentInfo DocumentInfo;
    TFBPublishInfo PublishInfo;
    std::vector<TFBCustomInfo> CustomInfo;
};

// Reads the description of a loaded book; parts it lacks stay empty (Present false).
TFBDescription ReadDescription(TFictionBook& book);
