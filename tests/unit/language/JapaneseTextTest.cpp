// Runs with the Japanese ANSI code page 932.
#include "Language.h"

#include "LanguageTestFiles.h"

#include <gtest/gtest.h>

class JapaneseLibrary : public testing::Test {
  protected:
    void SetUp() override {
        ASSERT_EQ(GetACP(), 932u);
        ASSERT_TRUE(LoadLanguageDll(BuiltLanguageDir().c_str(), "ja"));
    }
};

TEST_F(JapaneseLibrary, TextsArriveAsShiftJis) {
    const struct {
        int number;
        const char* bytes;
    } rows[] = {
        // オンラインアップデート
        {104, "\x83\x49\x83\x93\x83\x89\x83\x43\x83\x93\x83\x41\x83\x62\x83\x76\x83\x66\x81\x5b"
              "\x83\x67"},
        // 更新しています。しばらくお待ちください。
        {117, "\x8d\x58\x90\x56\x82\xb5\x82\xc4\x82\xa2\x82\xdc\x82\xb7\x81\x42\x82\xb5\x82\xce"
              "\x82\xe7\x82\xad\x82\xa8\x91\xd2\x82\xbf\x82\xad\x82\xbe\x82\xb3\x82\xa2\x81\x42"},
        // 状態：
        {128, "\x8f\xf3\x91\xd4\x81\x46"},
        // （更新リスト）
        {130, "\x81\x69\x8d\x58\x90\x56\x83\x8a\x83\x58\x83\x67\x81\x6a"},
        // キャンセル
        {133, "\x83\x4c\x83\x83\x83\x93\x83\x5a\x83\x8b"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.number);
        EXPECT_EQ(AnsiString(LoadLangString(row.number)), AnsiString(row.bytes));
    }
}

// A character without a Shift-JIS form would arrive as "?", a byte no Shift-JIS character
// contains.
TEST_F(JapaneseLibrary, HoldsEveryTextTheProgramsFetch) {
    for (int number : FetchedTextNumbers()) {
        SCOPED_TRACE(number);
        const AnsiString text = LoadLangString(number);
        EXPECT_NE(text, "");
        EXPECT_EQ(text.find('?'), AnsiString::npos) << text;
    }
}
