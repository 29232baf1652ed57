// Runs with the Japanese ANSI code page (932): path functions must not split characters.
#include "SysUtils.h"

#include <gtest/gtest.h>

// "表" in Shift-JIS is 0x95 0x5C: its second byte is the backslash code.
static const AnsiString kHyo = "\x95\x5c";

TEST(Dbcs, CodePageIsShiftJis) {
    EXPECT_EQ(GetACP(), 932u);
}

TEST(Dbcs, TrailByteIsNoSeparator) {
    EXPECT_EQ(ExtractFilePath("C:\\" + kHyo), "C:\\");
    EXPECT_EQ(ExtractFileName("C:\\" + kHyo), kHyo);
    EXPECT_EQ(ExcludeTrailingBackslash("C:\\" + kHyo), "C:\\" + kHyo);
    EXPECT_EQ(IncludeTrailingBackslash("C:\\" + kHyo), "C:\\" + kHyo + "\\");
    EXPECT_EQ(AnsiPos("\\.\\", kHyo + ".\\x"), AnsiString::npos);
    EXPECT_EQ(AnsiPos("\\.\\", kHyo + "\\.\\x"), 2u);
}
