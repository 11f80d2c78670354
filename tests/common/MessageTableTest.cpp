#include "common/MessageTable.h"

#include <iostream>
#include <set>

#include <gtest/gtest.h>

#include "common/Encoding.h"
#include "common/Error.h"
#include "common/TextUtils.h"

namespace {

class MessageTableTest : public ::testing::Test {
protected:
    void TearDown() override { ResetMessageTexts(); }
};

TEST_F(MessageTableTest, KeysAreUniqueAndComplete) {
    std::set<std::string> keys;
    int count = 0;
    for (int id = 1000; id <= 10100; ++id) {
        if (!IsMessageId(id)) continue;
        ++count;
        ASSERT_FALSE(MessageKey(id).empty()) << id;
        EXPECT_TRUE(keys.insert(AnsiLowerCase(MessageKey(id))).second) << MessageKey(id);
    }
    EXPECT_EQ(count, (kLastInterfaceId - kFirstInterfaceId + 1) + (kLastErrorId - kFirstErrorId + 1));
    EXPECT_EQ(MessageKey(1001), "rsSelectOneBook");
    EXPECT_EQ(MessageKey(1305), "rsUncompress");
    EXPECT_EQ(MessageKey(10027), "rsErrCannotDeleteAuthor");
    EXPECT_EQ(MessageText(999), "");
}

TEST_F(MessageTableTest, DefaultTextsKeepTheirOddities) {
    // Latin C in "Cерия", one н in "Даные", Latin O in "OЧЕНЬ", CR LF inside texts.
    EXPECT_EQ(AnsiToUtf8(MessageText(rsBookSeries)), "C\xD0\xB5\xD1\x80\xD0\xB8\xD1\x8F");
    EXPECT_EQ(AnsiToUtf8(MessageText(rsShelvaraData)), "\xD0\x94\xD0\xB0\xD0\xBD\xD1\x8B\xD0\xB5 Shelvara");
    EXPECT_NE(MessageText(rsFindDupHint).find(" O\xD7\xC5\xCD\xDC"), std::string::npos);
    EXPECT_NE(MessageText(rsSelAuthorText).find(". \r\n"), std::string::npos);
    EXPECT_EQ(AnsiToUtf8(MessageText(rsSVDNotSaved)),
              "\xD0\x91\xD0\xB0\xD0\xB7\xD0\xB0 \xD0\xB4\xD0\xB0\xD0\xBD\xD0\xBD\xD1\x8B\xD1\x85 \xD0\xB1\xD1\x8B\xD0"
              "\xBB\xD0\xB0 \xD0\xB8\xD0\xB7\xD0\xBC\xD0\xB5\xD0\xBD\xD0\xB5\xD0\xBD\xD0\xB0. \xD0\xA1\xD0\xBE\xD1\x85"
              "\xD1\x80\xD0\xB0\xD0\xBD\xD0\xB8\xD1\x82\xD1\x8C?");
    EXPECT_EQ(MessageText(rsOk), "Ok");
}

TEST_F(MessageTableTest, KeysMatchWithoutRegardToCase) {
    EXPECT_EQ(FindMessageByKey("RSOK"), 1103);
    EXPECT_EQ(FindMessageByKey("rserrloadingerror"), 10007);
    EXPECT_EQ(FindMessageByKey("rs_Ok"), 0);
}

TEST_F(MessageTableTest, RaisedErrorCarriesCurrentTextAndId) {
    SetMessageText(rsErrLoadingError, "Load failed!");
    try {
        RaiseError(rsErrLoadingError);
        FAIL() << "no error raised";
    } catch (const EShelvaraError& e) {
        EXPECT_EQ(e.MessageId(), 10007);
        EXPECT_STREQ(e.what(), "Load failed!");
    }
}

TEST_F(MessageTableTest, IdsWithoutDefaultTextShowPlaceholders) {
    const std::vector<int> missing = MessageIdsWithoutDefault();
    std::cout << missing.size() << " interface ids still without a default text:";
    for (int id : missing) {
        std::cout << ' ' << id;
        EXPECT_EQ(MessageText(id), "[" + MessageKey(id) + "]");
    }
    std::cout << '\n';
    for (int id = kFirstInterfaceId; id <= kLastInterfaceId; ++id)
        EXPECT_FALSE(MessageText(id).empty()) << id;
}

}  // namespace

namespace {

TEST(MessageCountTest, CountsTakeThePluralFormOfTheirNumber) {
    ResetMessageTexts();
    const std::vector<std::pair<int64_t, std::string>> russian{
        {0, "0 авторов"},           {1, "1 автор"},     {2, "2 автора"},      {4, "4 автора"},
        {5, "5 авторов"},           {11, "11 авторов"}, {12, "12 авторов"},   {14, "14 авторов"},
        {21, "21 автор"},           {23, "23 автора"},  {111, "111 авторов"}, {101, "101 автор"},
        {1000002, "1000002 автора"}};
    for (const auto& [n, text] : russian)
        EXPECT_EQ(AnsiToUtf8(CountMessage(rsOpdsAuthorCount, n)), text) << n;
    SetMessageText(rsOpdsAuthorCount, "%s author|%s authors");
    for (const auto& [n, text] : std::vector<std::pair<int64_t, std::string>>{
             {0, "0 authors"}, {1, "1 author"}, {2, "2 authors"}, {21, "21 authors"}})
        EXPECT_EQ(CountMessage(rsOpdsAuthorCount, n), text) << n;
    SetMessageText(rsOpdsAuthorCount, "%s");  // one form for every number
    EXPECT_EQ(CountMessage(rsOpdsAuthorCount, 3), "3");
    ResetMessageTexts();
}

}  // namespace
