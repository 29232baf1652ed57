// Runs under the code page 932, where the trail byte of a double-byte character can be a
// backslash.
#include "Download.h"

#include <gtest/gtest.h>

TEST(ReduceDotFolders, EveryDotFolderBecomesOneBackslash) {
    ASSERT_EQ(GetACP(), 932u);
    const struct {
        const char* path;
        const char* reduced;
    } rows[] = {
        {"a\\.\\b", "a\\b"},
        {".\\sub\\.\\file", ".\\sub\\file"},
        {"a\\.\\.\\.\\b", "a\\b"},
        {"\\.\\a\\.\\", "\\a\\"},
        {"a\\..\\b", "a\\..\\b"},
        {"a.\\b\\.c", "a.\\b\\.c"},
        // 0x95 0x5C is one character: its second byte is no backslash.
        {"\x95\x5c.\\f.txt", "\x95\x5c.\\f.txt"},
        {"\x95\x5c\\.\\f.txt", "\x95\x5c\\f.txt"},
        {"x\x95\x5c.\\.\\f", "x\x95\x5c.\\f"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.path);
        EXPECT_EQ(ReduceDotFolders(row.path), row.reduced);
    }
}
