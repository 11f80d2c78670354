#include "CatalogueFixture.h"

#include "common/Encoding.h"

std::vector<uint8_t> TinyBitmap() {
    std::vector<uint8_t> bmp = {'B', 'M', 70, 0, 0,  0, 0, 0, 0, 0, 54, 0, 0, 0,         // file header
                                40,  0,   0,  0, 2,  0, 0, 0, 2, 0, 0,  0, 1, 0, 24, 0,  // size, 2 x 2, planes, bits
                                0,   0,   0,  0, 16, 0, 0, 0, 0, 0, 0,  0, 0, 0, 0,  0, 0, 0, 0, 0, 0, 0, 0, 0};
    for (int row = 0; row < 2; ++row)
        bmp.insert(bmp.end(), {0xFF, 0, 0, 0, 0xFF, 0, 0, 0});
    return bmp;
}

namespace {

std::string A(const char* utf8) {
    return Utf8ToAnsi(utf8);
}

void Describe(TSVD& svd, TBookInfo& book, int n) {
    TTitleInfo& title = book.EnsureTitleInfo();
    title.Titles = {A("Книга ") + std::to_string(n), "Alt " + std::to_string(n)};
    title.AddGenre(svd.Genres.FindByCode("sf_fantasy"), true);
    title.AddGenre(svd.Genres.FindByCode("mine"), true);
    title.AddAuthor(svd.Authors.FindOrAddName(A("Лев"), A("Николаевич"), "", A("Толстой")));
    title.AddTranslator(svd.Authors.FindOrAddByNick(A("Переводчик")));
    title.AddSequence(svd.FindOrAddSequence(A("Война и мир"), true), n, true);
    title.Annotation = "annotation " + std::to_string(n);
    title.Keywords = "keys";
    title.DateText = "2004";
    title.Cover = TinyBitmap();
    title.Lang = "ru";
    title.SrcLang = "en";

    TTitleInfo& src = book.EnsureSrcTitleInfo();
    src.Titles = {"Original"};
    src.AddGenre(svd.Genres.FindByCode("prose_classic"), true);
    src.AddAuthor(svd.Authors.FindOrAddName("Leo", "", "", "Tolstoy"));
    src.AddSequence(svd.FindOrAddSequence("War and Peace", true), 2, true);

    TDocumentInfo& doc = book.EnsureDocumentInfo();
    doc.AddAuthor(svd.Authors.FindOrAddByNick("Scanner"));
    doc.ProgramUsed = "FB Tools";
    doc.Date = EncodeDate(2005, 6, 7);
    doc.SrcUrls = {"http://example.org/" + std::to_string(n)};
    doc.SrcOcr = "ocr";
    doc.Id = "id-" + std::to_string(n);
    doc.DocVersion = "1.0";
    doc.History = "history";

    TPublishInfo& pub = book.EnsurePublishInfo();
    pub.BookName = "Publisher's title";
    pub.Publisher = "Publisher";
    pub.City = A("Москва");
    pub.Year = "1999";
    pub.Isbn = "5-00-000000-0";
    pub.AddSequence(svd.FindOrAddSequence("Classics", true), 12, true);
    pub.CustomInfo = {"custom one", "custom two"};

    book.Votes[7] = 3;
    book.Votes[10] = 1;
    book.FileDate = EncodeDateTime({2004, 5, 6, 13, 45, 30, 0});
    book.AddedDate = EncodeDateTime({2006, 1, 2, 3, 4, 6, 0});
    book.ReadDate = EncodeDate(2007, 8, 9);
    book.Size = 12345 + n;
    book.Crc = 0xC0FFEE00u + static_cast<uint32_t>(n);
    book.Comment = "comment";
    book.Version = 2;
    book.Color = 3;
    book.ByteCounts['a'] = 100 + n;
}

}  // namespace

void BuildFullCatalogue(TSVD& svd, const std::string& root) {
    svd.SaveHuffman = true;
    svd.Genres.LoadBuiltIn();
    TBookGenre* mine = TBookGenre::AddGenre(&svd.Genres, -1, "mine", true, "my comment", A("Моё"));
    mine->Flags |= TBookGenre::kHidden;
    TBookSequence* war = svd.FindOrAddSequence(A("Война и мир"), true);
    war->AddChild(A("Том 1"), true);

    TMountPoint* first = svd.AddMountPoint(root + "/first");
    first->Caption = "First";
    first->Description = "mount point";
    TBookFolder* nested = first->AddFolder("nested");
    nested->Description = A("Вложенная");
    TBookFolder* deeper = nested->AddFolder("deeper");
    deeper->SetReadOnly(true);

    TBookInfo* plain = first->AddBook();
    plain->FileName = A("Толстой - Война и мир.fb2");
    Describe(svd, *plain, 1);

    TBookInfo* packed = nested->AddBook();
    packed->FileName = "archive.zip";
    packed->EntryName = "inner/book.fb2";
    packed->Packed = true;
    Describe(svd, *packed, 2);

    TBookInfo* bare = deeper->AddBook();
    bare->FileName = "notes.txt";
    bare->Flags |= TBookInfo::kShown | TBookInfo::kReadOnly;

    TMountPoint* second = svd.AddMountPoint(root + "/second");
    TBookInfo* other = second->AddBook();
    other->FileName = "other.fb2";
    Describe(svd, *other, 3);

    TLostBookInfo* lost = svd.AddLostBook();
    TBookInfo template_(&svd);
    template_.FileName = "gone.fb2";
    Describe(svd, template_, 4);
    lost->Assign(template_);
    lost->OldPath = root + "/first/gone.fb2";
    lost->LostDate = EncodeDate(2008, 1, 1);
    template_.Clear();

    svd.Duplicates.push_back({plain, other, 87'500});
    svd.Duplicates.push_back({packed, other, 50'000});
}
