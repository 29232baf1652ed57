#include "Define.h"

#include "TempDir.h"

#include <gtest/gtest.h>

#include <climits>

namespace {

// Loads settings written to a fresh file of the folder.
TReadIniFile LoadFrom(const TempDir& dir, const AnsiString& content) {
    static int counter = 0;
    const AnsiString path = dir / ("quen6_" + IntToStr(counter++) + ".ini");
    WriteFile(path, content);
    TReadIniFile settings;
    EXPECT_TRUE(settings.Load(path));
    return settings;
}

} // namespace

TEST(TReadIniFile, NoFileAtThePath) {
    TempDir dir;
    ForceDirectories(dir / "quen6.ini");
    for (const AnsiString& path : {dir / "missing.ini", dir / "quen6.ini", dir.Path()}) {
        SCOPED_TRACE(path);
        TReadIniFile settings;
        EXPECT_FALSE(settings.Load(path));
        // Nothing was read: not even the defaults of the file's keys.
        EXPECT_EQ(settings.GetProxyPort(), 0);
        EXPECT_EQ(settings.GetTimeOut(), 20000);
        EXPECT_FALSE(settings.IsOffline());
        EXPECT_EQ(settings.GetAppName(), "");
    }
}

TEST(TReadIniFile, ReadsEveryKey) {
    TempDir dir;
    const TReadIniFile s = LoadFrom(dir, "[update]\r\n"
                                         "appname=Shop Manager\r\n"
                                         "list=http://a.example/upd.txt\r\n"
                                         "list2=http://b.example/upd.txt\r\n"
                                         "list3=http://c.example/upd.txt\r\n"
                                         "exec=shop.exe\r\n"
                                         "user=alice\r\n"
                                         "pass=secret\r\n"
                                         "check=1\r\n"
                                         "proxy=proxy.example\r\n"
                                         "proxyport=8080\r\n"
                                         "timeout=30\r\n"
                                         "offline=1\r\n"
                                         "language=ja\r\n");
    EXPECT_EQ(s.GetAppName(), "Shop Manager");
    EXPECT_EQ(s.GetList(0), "http://a.example/upd.txt");
    EXPECT_EQ(s.GetList(1), "http://b.example/upd.txt");
    EXPECT_EQ(s.GetList(2), "http://c.example/upd.txt");
    EXPECT_EQ(s.GetList(-1), "");
    EXPECT_EQ(s.GetList(3), "");
    EXPECT_EQ(s.GetExec(), "shop.exe");
    EXPECT_EQ(s.GetUser(), "alice");
    EXPECT_EQ(s.GetPass(), "secret");
    EXPECT_EQ(s.GetProxy(), "proxy.example");
    EXPECT_EQ(s.GetProxyPort(), 8080);
    EXPECT_EQ(s.GetTimeOut(), 30000);
    EXPECT_TRUE(s.IsOffline());
    EXPECT_EQ(s.GetLanguage(), "ja");
}

TEST(TReadIniFile, MissingKeysTakeTheirDefaults) {
    TempDir dir;
    for (const char* content : {"", "[other]\r\nappname=x\r\nproxyport=81\r\ntimeout=5\r\n"
                                    "offline=1\r\nlanguage=ja\r\n"}) {
        SCOPED_TRACE(content);
        const TReadIniFile s = LoadFrom(dir, content);
        EXPECT_EQ(s.GetAppName(), "");
        for (int i = 0; i < 3; ++i)
            EXPECT_EQ(s.GetList(i), "");
        EXPECT_EQ(s.GetExec(), "");
        EXPECT_EQ(s.GetUser(), "");
        EXPECT_EQ(s.GetPass(), "");
        EXPECT_EQ(s.GetProxy(), "");
        EXPECT_EQ(s.GetProxyPort(), 80);
        EXPECT_EQ(s.GetTimeOut(), 20000);
        EXPECT_FALSE(s.IsOffline());
        EXPECT_EQ(s.GetLanguage(), "");
    }
}

TEST(TReadIniFile, NumberKeys) {
    const struct {
        const char* lines;
        int proxyPort;
        int timeOut; // milliseconds
        bool offline;
    } rows[] = {
        {"timeout=0", 80, 20000, false},
        {"timeout=-3", 80, 20000, false},
        {"timeout=5", 80, 5000, false},
        {"timeout=30s", 80, 20000, false},
        {"timeout=$10", 80, 16000, false},
        {"timeout=2147483", 80, 2147483000, false},
        {"timeout=2147484", 80, INT_MAX, false},
        {"timeout=2147483647", 80, INT_MAX, false},
        {"timeout=", 80, 20000, false},
        {"proxyport=0x50", 80, 20000, false},
        {"proxyport=-1", -1, 20000, false},
        {"proxyport=0", 0, 20000, false},
        {"proxyport=99999999999", 80, 20000, false},
        {"proxyport=0xFFFFFFFF", -1, 20000, false},
        {"offline=2", 80, 20000, true},
        {"offline=-1", 80, 20000, true},
        {"offline=yes", 80, 20000, false},
    };
    TempDir dir;
    for (const auto& row : rows) {
        SCOPED_TRACE(row.lines);
        const TReadIniFile s = LoadFrom(dir, AnsiString("[update]\r\n") + row.lines + "\r\n");
        EXPECT_EQ(s.GetProxyPort(), row.proxyPort);
        EXPECT_EQ(s.GetTimeOut(), row.timeOut);
        EXPECT_EQ(s.IsOffline(), row.offline);
    }
}

TEST(TReadIniFile, KeysMatchInAnyLetterCase) {
    TempDir dir;
    const TReadIniFile s = LoadFrom(dir, "[UPDATE]\r\nAPPNAME=Shop\r\nList2=http://b/\r\n"
                                         "TimeOut=7\r\nProxyPort=3128\r\nLANGUAGE=ja\r\n");
    EXPECT_EQ(s.GetAppName(), "Shop");
    EXPECT_EQ(s.GetList(1), "http://b/");
    EXPECT_EQ(s.GetTimeOut(), 7000);
    EXPECT_EQ(s.GetProxyPort(), 3128);
    EXPECT_EQ(s.GetLanguage(), "ja");
}

TEST(TReadIniFile, LongValueIsCutAfter2047Characters) {
    TempDir dir;
    AnsiString value;
    for (int i = 0; value.size() < 3000; ++i)
        value += static_cast<char>('a' + i % 26);
    const TReadIniFile s = LoadFrom(dir, "[update]\r\nlist=" + value + "\r\nexec=after.exe\r\n");
    EXPECT_EQ(s.GetList(0), value.substr(0, 2047));
    EXPECT_EQ(s.GetExec(), "after.exe");
}

// Only existence counts: a settings file with a time stamp outside the MS-DOS years is read.
TEST(TReadIniFile, FileWithAnOldTimeStampIsRead) {
    TempDir dir;
    const AnsiString path = dir / "quen6.ini";
    WriteFile(path, "[update]\r\nappname=Old\r\n");
    SetLocalWriteTime(path, 1975, 6, 1, 12, 0, 0);
    TReadIniFile settings;
    EXPECT_TRUE(settings.Load(path));
    EXPECT_EQ(settings.GetAppName(), "Old");
}
