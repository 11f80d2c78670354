#include "opds/OpdsServer.h"

#include <gtest/gtest.h>
#include <httplib.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <functional>
#include <thread>

#include "LibraryGenerator.h"
#include "TestUtils.h"
#include "catalogue/BookFolder.h"
#include "catalogue/BookInfo.h"
#include "catalogue/PublishInfo.h"
#include "catalogue/SVD.h"
#include "common/Encoding.h"
#include "common/MessageIds.h"
#include "common/MessageTable.h"
#include "fb2/FBCover.h"
#include "fb2/MyStream.h"
#include "fb2/Picture.h"
#include "opds/OpdsCatalogue.h"
#include "opds/OpdsFeeds.h"
#include "scan/FolderSync.h"
#include "scan/InpxImport.h"
#include "scan/Packer.h"
#include "scan/PackerArchiveAccess.h"

namespace {

std::string Fb2(const std::string& title, const std::string& last) {
    return "<?xml version=\"1.0\" encoding=\"utf-8\"?><FictionBook><description><title-info><author><first-name>Иван"
           "</first-name><last-name>" +
           last + "</last-name></author><book-title>" + title + "</book-title><annotation><p>О книге " + title +
           "</p></annotation><lang>ru</lang></title-info></description><body><p>Текст.</p></body></FictionBook>";
}

// A library of real files (plain books, one with a cover, an archive of two) and 120 generated
// books without files, served on a free loopback port.
struct Served : ::testing::Test {
    TempDir dir;
    std::filesystem::path disk = dir / "books";
    std::string library = PathToAnsi(dir / "lib.sv2");
    std::unique_ptr<TOpdsServer> server;
    std::thread serving;
    TOpdsOptions options;

    void SetUp() override {
        std::filesystem::create_directories(disk);
        WriteBytes(disk / "plain.fb2", Bytes(Fb2("Журавли", "Журавлёв")));
        std::filesystem::copy_file(std::filesystem::path(SHELVARA_CORPUS) / "fb2/fbreaderj/image.fb2",
                                   disk / "cover.fb2");
        {
            TPacker packer;
            ASSERT_TRUE(packer.Open(PathToAnsi(disk / "two.zip"), true));
            packer.AddFromBytes("first.fb2", Bytes(Fb2("Первая", "Архивов")), 0, 0, true);
            packer.AddFromBytes("second.fb2", Bytes(Fb2("Вторая", "Архивов")), 0, 0, true);
            packer.Close();
        }
        TSVD svd;
        svd.Packer = std::make_unique<TPackerArchiveAccess>();
        GenerateLibrary(svd, 120);
        TSyncStats stats;
        Resync(*svd.AddMountPoint(PathToAnsi(disk)), true, true, stats);
        svd.SaveToFile(library);
        options.Library = library;
        options.Port = 0;
        options.ReloadCheckMs = 100;
    }
    void Start() {
        server = std::make_unique<TOpdsServer>(options);
        server->Bind();
        serving = std::thread([this] { server->Serve(); });
    }
    void TearDown() override {
        if (server) server->Stop();
        if (serving.joinable()) serving.join();
    }
    httplib::Result Get(const std::string& path, const httplib::Headers& headers = {}) {
        httplib::Client client("127.0.0.1", server->Port());
        return client.Get(path, headers);
    }
    int32_t BookNumber(const std::string& title) {
        const auto catalogue = server->Catalogue();
        for (size_t i = 0; i < catalogue->Books().size(); ++i)
            if (AnsiToUtf8(catalogue->Books()[i]->TitleText()) == title) return static_cast<int32_t>(i);
        ADD_FAILURE() << "no book " << title;
        return -1;
    }
    std::string BookId(const std::string& title) { return server->Catalogue()->BookId(BookNumber(title)); }
};

size_t Count(const std::string& text, const std::string& what) {
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        ++n;
    return n;
}

TEST_F(Served, FeedsNavigatePageAndSearch) {
    Start();
    auto root = Get("/opds");
    ASSERT_TRUE(root);
    EXPECT_EQ(root->status, 200);
    EXPECT_NE(root->get_header_value("Content-Type").find("profile=opds-catalog"), std::string::npos);
    for (const char* path : {"/opds/authors", "/opds/series", "/opds/genres", "/opds/new", "/opds/books"})
        EXPECT_NE(root->body.find(std::string("href=\"") + path + "\""), std::string::npos) << path;

    const size_t books = server->Catalogue()->Books().size();
    ASSERT_EQ(books, 124u);
    auto first = Get("/opds/books");
    EXPECT_EQ(Count(first->body, "<entry>"), 50u);
    EXPECT_NE(first->body.find("rel=\"next\" href=\"/opds/books?page=2\""), std::string::npos);
    EXPECT_NE(first->body.find("rel=\"last\" href=\"/opds/books?page=3\""), std::string::npos);
    EXPECT_EQ(first->body.find("rel=\"previous\""), std::string::npos);
    auto last = Get("/opds/books?page=3");
    EXPECT_EQ(Count(last->body, "<entry>"), 24u);
    EXPECT_NE(last->body.find("rel=\"previous\" href=\"/opds/books?page=2\""), std::string::npos);
    EXPECT_EQ(Get("/opds/books?page=99")->body, last->body);  // a page beyond the end is the last

    // Authors by letter, then an author's books with their acquisition and image links.
    auto letters = Get("/opds/authors");
    EXPECT_NE(letters->body.find("letter=%D0%96"), std::string::npos);  // Ж
    auto z = Get("/opds/authors?letter=%D0%96");
    EXPECT_NE(z->body.find("Иван Журавлёв"), std::string::npos);
    const size_t link = z->body.find("href=\"/opds/author/");
    ASSERT_NE(link, std::string::npos);
    const size_t start = link + 6;
    auto author = Get(z->body.substr(start, z->body.find('"', start) - start));
    EXPECT_NE(author->body.find("<title>Журавли</title>"), std::string::npos);
    EXPECT_NE(author->body.find("rel=\"http://opds-spec.org/acquisition\""), std::string::npos);
    EXPECT_NE(author->body.find("type=\"application/x-fictionbook+xml\""), std::string::npos);
    EXPECT_EQ(author->body.find("rel=\"http://opds-spec.org/image/thumbnail\""), std::string::npos);  // no cover
    EXPECT_NE(author->body.find("<dc:language>ru</dc:language>"), std::string::npos);

    // ё folds to е on both sides, as in the lists' filters.
    auto found = Get("/opds/search?q=%D0%B6%D1%83%D1%80%D0%B0%D0%B2%D0%BB%D0%B5%D0%B2");  // журавлев
    EXPECT_EQ(Count(found->body, "<entry>"), 1u);
    EXPECT_EQ(Get("/opds/opensearch.xml")->status, 200);
    // Series and genres lead somewhere.
    EXPECT_GT(Count(Get("/opds/series")->body, "<entry>"), 0u);
    EXPECT_GT(Count(Get("/opds/genres")->body, "<entry>"), 0u);
    // The same catalogue for a browser.
    auto page = Get("/authors?letter=%D0%96");
    EXPECT_NE(page->get_header_value("Content-Type").find("text/html"), std::string::npos);
    EXPECT_NE(page->body.find("<form action=\"/search\">"), std::string::npos);
    // Only the one book with a cover has a picture, in pages and feeds alike.
    size_t pictures = 0, imageLinks = 0;
    for (int n = 1; n <= 3; ++n) {
        pictures += Count(Get("/books?page=" + std::to_string(n))->body, "<img src=\"/thumb/");
        imageLinks += Count(Get("/opds/books?page=" + std::to_string(n))->body, "rel=\"http://opds-spec.org/image\"");
    }
    EXPECT_EQ(pictures, 1u);
    EXPECT_EQ(imageLinks, 1u);
}

TEST_F(Served, BooksAndCoversAreServedByIdentityOnly) {
    Start();
    auto download = Get("/download/" + BookId("Журавли"));
    ASSERT_TRUE(download);
    EXPECT_EQ(download->status, 200);
    EXPECT_EQ(download->get_header_value("Content-Type"), "application/x-fictionbook+xml");
    EXPECT_EQ(download->body, Fb2("Журавли", "Журавлёв"));

    // A member of a many-book archive comes zipped alone.
    auto member = Get("/download/" + BookId("Вторая"));
    EXPECT_EQ(member->get_header_value("Content-Type"), "application/fb2+zip");
    TPacker zipped;
    ASSERT_TRUE(zipped.OpenBytes(std::vector<uint8_t>(member->body.begin(), member->body.end()), "x.zip"));
    const std::vector<TArcFileInfoRec> members = zipped.List();
    ASSERT_EQ(members.size(), 1u);
    EXPECT_EQ(members[0].Path, "second.fb2");
    EXPECT_EQ(zipped.Extract("second.fb2"), Bytes(Fb2("Вторая", "Архивов")));

    // Covers, and thumbnails at most 200 pixels high.
    int32_t covered = -1;
    for (size_t i = 0; i < server->Catalogue()->Books().size() && covered < 0; ++i)
        if (Get("/cover/" + server->Catalogue()->BookId(static_cast<int32_t>(i)))->status == 200)
            covered = static_cast<int32_t>(i);
    ASSERT_GE(covered, 0);
    auto thumb = Get("/thumb/" + server->Catalogue()->BookId(covered));
    EXPECT_EQ(thumb->get_header_value("Content-Type"), "image/jpeg");
    const auto* data = reinterpret_cast<const uint8_t*>(thumb->body.data());
    int width = 0, height = 0;
    ASSERT_TRUE(ReadPictureSize(TPictureFormat::Jpeg, data, thumb->body.size(), width, height));
    EXPECT_LE(height, 200);
    // The cover itself goes out as the book holds it, not decoded and packed again.
    auto cover = Get("/cover/" + server->Catalogue()->BookId(covered));
    EXPECT_EQ(cover->get_header_value("Content-Type"), "image/jpeg");
    {
        const std::vector<uint8_t> file = ReadBytes(disk / "cover.fb2");
        TMyMemStream stream;
        stream.Write(file.data(), static_cast<int32_t>(file.size()));
        const uint8_t zero = 0;
        stream.Write(&zero, 1);
        std::vector<uint8_t> stored;
        TPictureFormat format = TPictureFormat::None;
        ASSERT_TRUE(GetCoverBytes(stream, stored, format));
        EXPECT_EQ(cover->body, std::string(stored.begin(), stored.end()));
    }
    EXPECT_GT(width, 0);

    // Numbers that name nothing, and anything that is not a number.
    for (const char* path :
         {"/download/124", "/download/99999999999", "/download/-1", "/download/abc", "/cover/124",
          "/opds/author/100000", "/opds/genre/x", "/opds/nothing", "/etc/passwd", "/download/..%2F..%2Fetc%2Fpasswd"})
        EXPECT_EQ(Get(path)->status, 404) << path;
    EXPECT_EQ(Get("/download/" + BookId("Журавли") + "?path=/etc/passwd")->body, Fb2("Журавли", "Журавлёв"));
}

TEST_F(Served, RangesAreMergedBoundedAndNeverMultiplyTheFile) {
    Start();
    const std::string book = "/download/" + BookId("Журавли");
    const std::string whole = Fb2("Журавли", "Журавлёв");
    struct Case {
        std::string range;
        int status;
        std::string body;  // for one range: the bytes; for several: empty (checked apart)
    };
    std::string many = "bytes=";
    for (int i = 0; i < 2600; ++i)
        many += (i ? "," : "") + std::string("0-");
    std::string scattered = "bytes=";
    for (int i = 0; i < 40; ++i)
        scattered += (i ? "," : "") + std::to_string(i * 3) + "-" + std::to_string(i * 3);
    const std::vector<Case> cases{
        {"bytes=0-9", 206, whole.substr(0, 10)},
        {"bytes=-5", 206, whole.substr(whole.size() - 5)},
        {"bytes=10-", 206, whole.substr(10)},
        {"bytes=0-9,5-19", 206, whole.substr(0, 20)},  // overlapping: merged into one
        {"bytes=0-4,5-9", 206, whole.substr(0, 10)},   // touching: merged into one
        {"bytes=0-99999999", 206, whole},
        {many, 206, whole},       // thousands of one range: one range
        {scattered, 200, whole},  // too many to answer apart: the whole file
        {"bytes=99999999-", 416, ""},
    };
    for (const Case& c : cases) {
        auto reply = Get(book, {{"Range", c.range}});
        ASSERT_TRUE(reply) << c.range.substr(0, 40);
        EXPECT_EQ(reply->status, c.status) << c.range.substr(0, 40);
        if (c.status != 416) {
            EXPECT_EQ(reply->body, c.body) << c.range.substr(0, 40);
        }
    }
    auto two = Get(book, {{"Range", "bytes=0-1,10-11"}});
    EXPECT_EQ(two->status, 206);
    EXPECT_NE(two->get_header_value("Content-Type").find("multipart/byteranges"), std::string::npos);
    EXPECT_LT(two->body.size(), 400u);
    EXPECT_NE(two->body.find(whole.substr(10, 2)), std::string::npos);
}

TEST_F(Served, ParallelRequestsForOneCoverDecodeItOnce) {
    Start();
    int32_t covered = -1;
    for (size_t i = 0; i < server->Catalogue()->Books().size() && covered < 0; ++i)
        if (server->Catalogue()->Books()[i]->FileName == "cover.fb2") covered = static_cast<int32_t>(i);
    ASSERT_GE(covered, 0);
    std::vector<std::thread> clients;
    std::atomic<int> served = 0;
    for (int i = 0; i < 8; ++i)
        clients.emplace_back([&] {
            if (auto reply = Get("/thumb/" + server->Catalogue()->BookId(covered)); reply && reply->status == 200)
                ++served;
        });
    for (std::thread& t : clients)
        t.join();
    EXPECT_EQ(served, 8);
    EXPECT_EQ(server->CoversDecoded(), 1);
}

// A request that is not HTTP gets 400 and the connection is closed.
TEST_F(Served, MalformedRequestsAreRefused) {
    Start();
    const int s = ::socket(AF_INET, SOCK_STREAM, 0);
    ASSERT_GE(s, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(server->Port()));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(::connect(s, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    const std::string garbage = "THIS IS NOT HTTP\r\n\r\n";
    ASSERT_EQ(::send(s, garbage.data(), garbage.size(), 0), static_cast<ssize_t>(garbage.size()));
    char reply[256] = {};
    const ssize_t n = ::recv(s, reply, sizeof reply - 1, 0);
    ::close(s);
    ASSERT_GT(n, 0);
    EXPECT_EQ(std::string(reply).rfind("HTTP/1.1 400", 0), 0u) << reply;
    // A request line longer than the cap.
    EXPECT_NE(Get("/opds/search?q=" + std::string(20000, 'a'))->status, 200);
}

TEST_F(Served, BasicAuthenticationGuardsEveryRequest) {
    options.User = "reader";
    options.Password = "секрет";
    Start();
    for (const char* path : {"/opds", "/", "/download/0", "/cover/0"}) {
        auto refused = Get(path);
        EXPECT_EQ(refused->status, 401) << path;
        EXPECT_NE(refused->get_header_value("WWW-Authenticate").find("Basic"), std::string::npos);
    }
    httplib::Client client("127.0.0.1", server->Port());
    client.set_basic_auth("reader", "секрет");
    EXPECT_EQ(client.Get("/opds")->status, 200);
    client.set_basic_auth("reader", "wrong");
    EXPECT_EQ(client.Get("/opds")->status, 401);
    // The scheme's name in any case; nothing but the right credentials.
    const std::string credentials = "cmVhZGVyOtGB0LXQutGA0LXRgg==";  // "reader:секрет"
    for (const auto& [header, status] : std::vector<std::pair<std::string, int>>{{"basic " + credentials, 200},
                                                                                 {"BASIC  " + credentials, 200},
                                                                                 {"Basic " + credentials, 200},
                                                                                 {"Bearer " + credentials, 401},
                                                                                 {credentials, 401},
                                                                                 {"Basic", 401}})
        EXPECT_EQ(Get("/opds", {{"Authorization", header}})->status, status) << header;
}

// A library saved again on disk is read again while requests go on.
TEST_F(Served, TheSnapshotFollowsTheLibraryFile) {
    Start();
    EXPECT_EQ(server->Catalogue()->Books().size(), 124u);
    WriteBytes(disk / "new.fb2", Bytes(Fb2("Новинка", "Новиков")));
    {
        TSVD svd;
        svd.LoadFromFile(library);
        TSyncStats stats;
        Resync(*svd.MountPoints.back(), true, false, stats);
        svd.SaveToFile(library);
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (server->Catalogue()->Books().size() != 125u && std::chrono::steady_clock::now() < deadline) {
        EXPECT_EQ(Get("/opds")->status, 200);  // served all the while
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    EXPECT_EQ(server->Catalogue()->Books().size(), 125u);
    EXPECT_GE(server->Reloads(), 1);
    EXPECT_EQ(Count(Get("/opds/search?q=%D0%BD%D0%BE%D0%B2%D0%B8%D0%BD%D0%BA%D0%B0")->body, "<entry>"), 1u);
}

}  // namespace

namespace {

int Connect(int port) {
    const int s = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(s, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        ::close(s);
        return -1;
    }
    return s;
}

bool WaitUntil(const std::function<bool()>& done, std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

// Clients that trickle a request a byte at a time, or connect and say nothing, neither hold
// the server nor keep their connection for ever.
TEST_F(Served, SlowAndIdleClientsCannotHoldTheServer) {
    options.Limits.HeaderSeconds = 2;
    Start();
    std::vector<int> slow;
    for (int i = 0; i < 9; ++i)
        slow.push_back(Connect(server->Port()));
    std::atomic<bool> trickling = true;
    std::thread trickle([&] {
        const std::string request = "GET /opds HTTP/1.1\r\nHost: x\r\nX-Slow: ";
        for (size_t at = 0; trickling; at = (at + 1) % request.size()) {
            for (const int s : slow)
                (void)!::send(s, request.data() + at, 1, MSG_NOSIGNAL);
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
    });
    ASSERT_TRUE(WaitUntil([&] { return server->OpenConnections() >= 9; }, std::chrono::seconds(5)));
    const auto start = std::chrono::steady_clock::now();
    auto reply = Get("/opds");
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->status, 200);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
    // Past the deadline for a whole request, the trickling connections are closed.
    EXPECT_TRUE(WaitUntil([&] { return server->OpenConnections() == 0; }, std::chrono::seconds(3 * kShadowFactor)));
    trickling = false;
    trickle.join();
    for (const int s : slow) {
        std::string answer;
        char piece[256];
        for (ssize_t n; (n = ::recv(s, piece, sizeof piece, 0)) > 0;)
            answer.append(piece, static_cast<size_t>(n));
        EXPECT_EQ(answer.find(" 200 "), std::string::npos) << answer;
        ::close(s);
    }
}

TEST_F(Served, AnAddressHoldsBoundedConnectionsAndCrowdedOnesAreNotKeptAlive) {
    options.Limits.PerAddress = 3;
    options.Limits.Workers = 4;
    Start();
    std::vector<int> idle;
    for (int i = 0; i < 2; ++i)
        idle.push_back(Connect(server->Port()));
    ASSERT_TRUE(WaitUntil([&] { return server->OpenConnections() == 2; }, std::chrono::seconds(5)));
    // Three of four workers taken: the answer closes its connection rather than wait idle.
    auto crowded = Get("/opds");
    ASSERT_TRUE(crowded);
    EXPECT_EQ(crowded->status, 200);
    EXPECT_EQ(crowded->get_header_value("Connection"), "close");
    ASSERT_TRUE(WaitUntil([&] { return server->OpenConnections() == 2; }, std::chrono::seconds(5)));
    idle.push_back(Connect(server->Port()));
    ASSERT_TRUE(WaitUntil([&] { return server->OpenConnections() == 3; }, std::chrono::seconds(5)));
    auto refused = Get("/opds");
    ASSERT_TRUE(refused);
    EXPECT_EQ(refused->status, 503);
    EXPECT_EQ(server->RefusedConnections(), 1);
    for (const int s : idle)
        ::close(s);
    ASSERT_TRUE(WaitUntil([&] { return server->OpenConnections() == 0; }, std::chrono::seconds(5)));
    httplib::Client client("127.0.0.1", server->Port());
    client.set_keep_alive(true);
    auto kept = client.Get("/opds");
    ASSERT_TRUE(kept);
    EXPECT_EQ(kept->status, 200);
    EXPECT_NE(kept->get_header_value("Connection"), "close");
}

// A stop that comes before or while the server starts is not lost.
TEST_F(Served, AStopAtStartUpEndsTheServer) {
    for (int round = 0; round < 6; ++round) {
        TOpdsServer early(options);
        early.Bind();
        std::thread running;
        if (round == 0) {
            early.Stop();
            early.Serve();  // returns at once
        } else {
            running = std::thread([&] { early.Serve(); });
            if (round % 2) std::this_thread::sleep_for(std::chrono::milliseconds(round));
            early.Stop();
            running.join();
        }
    }
}

}  // namespace

namespace {

// A book keeps its URL when other books go, and a client that holds a copy is told so; a
// resumed download never joins two versions of a file.
TEST_F(Served, BooksKeepTheirIdentityAndItsValidators) {
    Start();
    const std::string id = BookId("Журавли");
    const std::string book = "/download/" + id;
    auto first = Get(book);
    ASSERT_EQ(first->status, 200);
    const std::string tag = first->get_header_value("ETag");
    const std::string modified = first->get_header_value("Last-Modified");
    EXPECT_FALSE(tag.empty());
    EXPECT_NE(modified.find(" GMT"), std::string::npos);
    EXPECT_EQ(first->get_header_value("Accept-Ranges"), "bytes");
    EXPECT_FALSE(first->get_header_value("Date").empty());

    struct Case {
        httplib::Headers headers;
        int status;
    };
    const std::vector<Case> cases{
        {{{"If-None-Match", tag}}, 304},
        {{{"If-None-Match", "\"other\", " + tag}}, 304},
        {{{"If-None-Match", "W/" + tag}}, 304},  // weak comparison
        {{{"If-None-Match", "\"other\""}}, 200},
        {{{"If-Modified-Since", modified}}, 304},
        {{{"If-Modified-Since", "Thu, 01 Jan 1970 00:00:00 GMT"}}, 200},
        {{{"If-Modified-Since", "not a date"}}, 200},
        {{{"Range", "bytes=0-9"}, {"If-Range", tag}}, 206},
        {{{"Range", "bytes=0-9"}, {"If-Range", "\"another-version\""}}, 200},  // the whole new file
        {{{"Range", "bytes=0-9"}, {"If-Range", "W/" + tag}}, 200},             // weak tags never match
        {{{"Range", "bytes=0-9"}, {"If-Range", modified}}, 206},
        {{{"Range", "bytes=0-9"}, {"If-Range", "Thu, 01 Jan 1970 00:00:00 GMT"}}, 200},
    };
    for (const Case& c : cases) {
        auto reply = Get(book, c.headers);
        ASSERT_TRUE(reply);
        EXPECT_EQ(reply->status, c.status) << c.headers.begin()->second;
        if (c.status == 200) {
            EXPECT_EQ(reply->body, first->body);
        }
        if (c.status == 304) {
            EXPECT_TRUE(reply->body.empty());
        }
    }
    // Feeds and covers are validated too.
    auto feed = Get("/opds/books");
    EXPECT_EQ(Get("/opds/books", {{"If-None-Match", feed->get_header_value("ETag")}})->status, 304);

    // Another book leaves the library: numbers in the snapshot shift, the identity does not.
    const size_t before = server->Catalogue()->Books().size();
    ASSERT_NE(server->Catalogue()->BookNumber(server->Catalogue()->Books()[0]), BookNumber("Журавли"));
    const std::string gone =
        server->Catalogue()->Books()[0]->FullPath() + "|" + server->Catalogue()->Books()[0]->EntryName.str();
    {
        TSVD svd;
        svd.LoadFromFile(library);
        TBookCollection all;
        for (const auto& mount : svd.MountPoints)
            mount->CollectBooks(all, true);
        for (TBookInfo* b : all.Books())
            if (b->FullPath() + "|" + b->EntryName.str() == gone) b->Folder->DeleteBook(b);
        svd.SaveToFile(library);
    }
    ASSERT_TRUE(WaitUntil([&] { return server->Catalogue()->Books().size() == before - 1; }, std::chrono::seconds(10)));
    auto again = Get(book);
    EXPECT_EQ(again->status, 200);
    EXPECT_EQ(again->body, first->body);
    EXPECT_EQ(again->get_header_value("ETag"), tag);
    EXPECT_EQ(server->Catalogue()->BookId(BookNumber("Журавли")), id);
}

// The protocol's own rules, names a person can read, and the plural forms of counts.
TEST_F(Served, FeedsFollowTheProtocol) {
    Start();
    auto root = Get("/opds");
    // The search template belongs in the OpenSearch description only: braces are not a URI.
    EXPECT_EQ(root->body.find("{searchTerms}"), std::string::npos);
    EXPECT_NE(Get("/opds/opensearch.xml")->body.find("template=\"/opds/search?q={searchTerms}\""), std::string::npos);
    EXPECT_NE(root->body.find("xmlns:opds=\"http://opds-spec.org/2010/catalog\""), std::string::npos);
    EXPECT_EQ(root->body.find("<updated>1970"), std::string::npos);
    EXPECT_NE(root->body.find("124 книги"), std::string::npos);
    auto letters = Get("/opds/authors");
    EXPECT_EQ(letters->body.find(" авторов</content>\n<link rel=\"subsection\" href=\"/opds/authors?letter=%D0%96\""),
              std::string::npos);  // one author under Ж: "1 автор"
    EXPECT_NE(letters->body.find("1 автор<"), std::string::npos);

    // A search sent in Windows-1251 is read as such; bytes that are text in neither are refused.
    EXPECT_EQ(Count(Get("/opds/search?q=%E6%F3%F0%E0%E2%EB%E5%E2")->body, "<entry>"), 1u);  // журавлев
    EXPECT_EQ(Get("/opds/search?q=%98%01")->status, 400);

    // Feeds are packed when the client takes it; a download is named for people and programs.
    httplib::Client client("127.0.0.1", server->Port());
    client.set_decompress(false);
    auto packed = client.Get("/opds/books", {{"Accept-Encoding", "gzip, deflate"}});
    EXPECT_EQ(packed->get_header_value("Content-Encoding"), "gzip");
    EXPECT_EQ(client.Get("/opds/books", {{"Accept-Encoding", "gzip;q=0"}})->get_header_value("Content-Encoding"), "");
    auto download = Get("/download/" + BookId("Журавли"));
    EXPECT_EQ(download->get_header_value("Content-Disposition"),
              "attachment; filename=\"plain.fb2\"; filename*=UTF-8''plain.fb2");
}

// The texts are the language's, set before the server starts, with its plural rule.
TEST_F(Served, FeedsSpeakTheLanguageChosenAtStart) {
    SetMessageText(rsOpdsAuthors, "Authors");
    SetMessageText(rsOpdsBookCount, "%s book|%s books");
    Start();
    auto english = Get("/opds");
    server->Stop();
    serving.join();
    ResetMessageTexts();
    EXPECT_NE(english->body.find("<title>Authors</title>"), std::string::npos);
    EXPECT_NE(english->body.find("124 books"), std::string::npos);
}

TEST(OpdsFeedsTest, NumberedFilesAreNamedByTheirBook) {
    struct Case {
        std::string file, title, authors, name;
    };
    const std::vector<Case> cases{
        {"41.fb2", "Журавли", "Иван Журавлёв", "Иван Журавлёв - Журавли.fb2"},
        {"sub/123456.fb2.zip", "Журавли", "", "Журавли.fb2.zip"},
        {"own name.fb2", "Журавли", "Иван Журавлёв", "own name.fb2"},
        {"1984.fb2", "", "", "1984.fb2"},  // nothing better to call it
        {"8.fb2", "Дробь / черта", "", "Дробь _ черта.fb2"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(DownloadName(Utf8ToAnsi(c.file), Utf8ToAnsi(c.title), Utf8ToAnsi(c.authors)), c.name) << c.file;
}

}  // namespace

namespace {

// What cannot be served is not offered: lost books, and books their collection's index
// deletes unless asked for. A library of one collection goes by the collection's name.
TEST_F(Served, LostAndDeletedBooksAreNotOffered) {
    {
        TSVD svd;
        svd.LoadFromFile(library);
        while (svd.MountPoints.size() > 1)  // the generated books go: one collection remains
            svd.MountPoints.erase(svd.MountPoints.begin());
        TMountPoint& collection = *svd.MountPoints[0];
        collection.Caption = Utf8ToAnsi("Моя коллекция");
        collection.Description = InpxDescription(collection.Caption, "20240101");
        TBookCollection books;
        collection.CollectBooks(books, true);
        for (TBookInfo* book : books.Books()) {
            if (book->FileName == "plain.fb2") book->EnsurePublishInfo().CustomInfo.push_back(kInpxDeletedMark);
            if (book->FileName == "cover.fb2") book->SetLost(true);
        }
        svd.SaveToFile(library);
    }
    Start();
    EXPECT_EQ(server->Catalogue()->Books().size(), 2u);  // the two of the archive
    EXPECT_EQ(AnsiToUtf8(server->Catalogue()->Title()), "Моя коллекция");
    auto authors = Get("/opds/authors");
    EXPECT_EQ(authors->body.find("letter=%D0%96"), std::string::npos);  // Журавлёв's one book is deleted
    EXPECT_EQ(Count(Get("/opds/books")->body, "<entry>"), 2u);

    options.IncludeDeleted = true;
    TOpdsServer withDeleted(options);
    EXPECT_EQ(withDeleted.Catalogue()->Books().size(), 3u);
}

}  // namespace
