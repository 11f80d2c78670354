#include <fstream>
#include <ostream>

#include "cli/Cli.h"
#include "cli/Json.h"
#include "common/Encoding.h"
#include "common/Error.h"
#include "common/FileUtils.h"
#include "common/MessageIds.h"
#include "fb2/FBCover.h"
#include "fb2/FBDescription.h"
#include "fb2/FBParser.h"
#include "fb2/MyStream.h"
#include "fb2/XMLPars.h"
#include "scan/Packer.h"

namespace {

void PersonJson(JsonWriter& json, const TFBPerson& p) {
    json.BeginObject()
        .Key("firstName")
        .String(Utf8(p.FirstName))
        .Key("middleName")
        .String(Utf8(p.MiddleName))
        .Key("lastName")
        .String(Utf8(p.LastName))
        .Key("nickname")
        .String(Utf8(p.NickName))
        .EndObject();
}

void SequencesJson(JsonWriter& json, const std::vector<TFBSequence>& sequences) {
    json.BeginArray();
    for (const TFBSequence& s : sequences) {
        json.BeginObject().Key("name").String(Utf8(s.Name)).Key("number");
        if (s.Number)
            json.Number(*s.Number);
        else
            json.Null();
        json.EndObject();
    }
    json.EndArray();
}

void TitleInfoJson(JsonWriter& json, const TFBTitleInfo& t) {
    if (!t.Present) {
        json.Null();
        return;
    }
    json.BeginObject().Key("genres").BeginArray();
    for (const std::string& g : t.Genres)
        json.String(Utf8(g));
    json.EndArray().Key("authors").BeginArray();
    for (const TFBPerson& p : t.Authors)
        PersonJson(json, p);
    json.EndArray();
    json.Key("bookTitle").String(Utf8(t.BookTitle));
    json.Key("annotation").String(Utf8(t.Annotation));
    json.Key("keywords").String(Utf8(t.Keywords));
    json.Key("date").String(Utf8(t.Date));
    json.Key("lang").String(Utf8(t.Lang));
    json.Key("srcLang").String(Utf8(t.SrcLang));
    json.Key("translators").BeginArray();
    for (const TFBPerson& p : t.Translators)
        PersonJson(json, p);
    json.EndArray();
    json.Key("sequences");
    SequencesJson(json, t.Sequences);
    json.EndObject();
}

std::string PersonText(const TFBPerson& p) {
    std::string name;
    for (const std::string* part : {&p.FirstName, &p.MiddleName, &p.LastName}) {
        if (part->empty()) continue;
        if (!name.empty()) name += ' ';
        name += *part;
    }
    if (!p.NickName.empty()) name += name.empty() ? p.NickName : " (" + p.NickName + ")";
    return Utf8(name);
}

void TitleInfoText(std::ostream& out, const char* heading, const TFBTitleInfo& t) {
    if (!t.Present) return;
    out << heading << ":\n";
    auto line = [&](const char* label, const std::string& value) {
        if (!value.empty()) out << "  " << label << ": " << Utf8(value) << "\n";
    };
    line("title", t.BookTitle);
    for (const TFBPerson& p : t.Authors)
        out << "  author: " << PersonText(p) << "\n";
    for (const TFBPerson& p : t.Translators)
        out << "  translator: " << PersonText(p) << "\n";
    for (const std::string& g : t.Genres)
        out << "  genre: " << Utf8(g) << "\n";
    for (const TFBSequence& s : t.Sequences)
        out << "  sequence: " << Utf8(s.Name) << (s.Number ? " #" + std::to_string(*s.Number) : std::string()) << "\n";
    line("date", t.Date);
    line("lang", t.Lang);
    line("src-lang", t.SrcLang);
    line("keywords", t.Keywords);
    line("annotation", t.Annotation);
}

int RunFb2(const std::vector<std::string>& args, std::ostream& out, std::ostream&) {
    CliArgs a(args, {"--json", "--text"}, {"--entry", "--cover"});
    a.ExpectPositionals(1, 1);
    const std::string path = Utf8ToAnsi(a.Positionals()[0]);
    std::unique_ptr<TMyMemStream> stream;
    if (a.Has("--entry")) {
        // A member of a ZIP archive (inner archives by their path: inner.zip/book.fb2).
        TPacker packer;
        if (!packer.Open(path, false)) RaiseFixedError("Cannot open the archive " + path);
        const std::vector<uint8_t> bytes = packer.Extract(Utf8ToAnsi(a.Value("--entry")));
        auto memory = std::make_unique<TMyMemStream>();
        memory->Write(bytes.data(), static_cast<int32_t>(bytes.size()));
        stream = std::move(memory);
    } else {
        stream = TMappedFileStream::OpenForParsing(path);
    }
    const bool wantText = a.Has("--text");
    TFictionBook book;
    if (!book.LoadFromStream(stream.get(), wantText ? kKeepDescription | kKeepBody : kKeepDescription)) {
        const std::string name = a.Has("--entry") ? Utf8ToAnsi(a.Value("--entry")) : path;
        RaiseFixedError(name + ": " + book.FailureText());
    }
    const TFBDescription d = ReadDescription(book);

    if (a.Has("--cover")) {
        std::unique_ptr<TBitmap> cover = GetCover(*stream);
        if (!cover) RaiseFixedError("The book has no cover picture.");
        const std::vector<uint8_t> png = EncodePng(*cover);
        ReplaceFile(a.Value("--cover"), png.data(), png.size());
    }
    if (wantText) {
        TSimpleType* body = book.FindBody();
        out << (body ? Utf8(GetText(*body)) : std::string());
        return 0;
    }
    if (a.Has("--json")) {
        JsonWriter json;
        json.BeginObject().Key("titleInfo");
        TitleInfoJson(json, d.TitleInfo);
        json.Key("srcTitleInfo");
        TitleInfoJson(json, d.SrcTitleInfo);
        json.Key("documentInfo");
        if (d.DocumentInfo.Present) {
            const TFBDocumentInfo& di = d.DocumentInfo;
            json.BeginObject().Key("authors").BeginArray();
            for (const TFBPerson& p : di.Authors)
                PersonJson(json, p);
            json.EndArray();
            json.Key("programUsed").String(Utf8(di.ProgramUsed)).Key("date").String(Utf8(di.Date));
            json.Key("srcUrls").BeginArray();
            for (const std::string& url : di.SrcUrls)
                json.String(Utf8(url));
            json.EndArray();
            json.Key("srcOcr")
                .String(Utf8(di.SrcOcr))
                .Key("id")
                .String(Utf8(di.Id))
                .Key("version")
                .String(Utf8(di.Version));
            json.Key("history").String(Utf8(di.History)).EndObject();
        } else {
            json.Null();
        }
        json.Key("publishInfo");
        if (d.PublishInfo.Present) {
            const TFBPublishInfo& pi = d.PublishInfo;
            json.BeginObject()
                .Key("bookName")
                .String(Utf8(pi.BookName))
                .Key("publisher")
                .String(Utf8(pi.Publisher))
                .Key("city")
                .String(Utf8(pi.City))
                .Key("year")
                .String(Utf8(pi.Year))
                .Key("isbn")
                .String(Utf8(pi.Isbn))
                .Key("sequences");
            SequencesJson(json, pi.Sequences);
            json.EndObject();
        } else {
            json.Null();
        }
        json.Key("customInfo").BeginArray();
        for (const TFBCustomInfo& c : d.CustomInfo)
            json.BeginObject().Key("infoType").String(Utf8(c.InfoType)).Key("text").String(Utf8(c.Text)).EndObject();
        json.EndArray().EndObject();
        out << json.Text() << "\n";
        return 0;
    }
    TitleInfoText(out, "title-info", d.TitleInfo);
    TitleInfoText(out, "src-title-info", d.SrcTitleInfo);
    if (d.DocumentInfo.Present) {
        out << "document-info:\n";
        for (const TFBPerson& p : d.DocumentInfo.Authors)
            out << "  author: " << PersonText(p) << "\n";
        if (!d.DocumentInfo.ProgramUsed.empty()) out << "  program-used: " << Utf8(d.DocumentInfo.ProgramUsed) << "\n";
        if (!d.DocumentInfo.Date.empty()) out << "  date: " << Utf8(d.DocumentInfo.Date) << "\n";
        if (!d.DocumentInfo.Id.empty()) out << "  id: " << Utf8(d.DocumentInfo.Id) << "\n";
        if (!d.DocumentInfo.Version.empty()) out << "  version: " << Utf8(d.DocumentInfo.Version) << "\n";
    }
    if (d.PublishInfo.Present) {
        out << "publish-info:\n";
        const TFBPublishInfo& pi = d.PublishInfo;
        for (const auto& [label, value] :
             {std::pair{"book-name", &pi.BookName}, std::pair{"publisher", &pi.Publisher}, std::pair{"city", &pi.City},
              std::pair{"year", &pi.Year}, std::pair{"isbn", &pi.Isbn}})
            if (!value->empty()) out << "  " << label << ": " << Utf8(*value) << "\n";
        for (const TFBSequence& s : pi.Sequences)
            out << "  sequence: " << Utf8(s.Name) << (s.Number ? " #" + std::to_string(*s.Number) : std::string())
                << "\n";
    }
    for (const TFBCustomInfo& c : d.CustomInfo)
        out << "custom-info (" << Utf8(c.InfoType) << "): " << Utf8(c.Text) << "\n";
    return 0;
}

}  // namespace

std::vector<CliCommand> Fb2Commands() {
    return {
        {"fb2", "fb2 FILE [--entry MEMBER] [--json] [--text] [--cover OUT.png]",
         "Show the description of an FB2 file (--json as one object), the plain text of its first body (--text), "
         "or write its cover picture as PNG (--cover).",
         RunFb2},
    };
}
