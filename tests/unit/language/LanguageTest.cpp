#include "Language.h"

#include "Handles.h"
#include "LanguageTestFiles.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

enum class Lib { None, Generic, Japanese, Damaged };

// A library placed in the installation folder, at a path relative to it.
struct Placed {
    Lib lib;
    const char* where;
};

void Place(const TempDir& dir, const Placed& file) {
    const AnsiString target = dir / file.where;
    ForceDirectories(ExtractFilePath(target));
    if (file.lib == Lib::Damaged) {
        WriteFile(target, "MZ this is no library");
        return;
    }
    const AnsiString source =
        BuiltLanguageDir() + (file.lib == Lib::Generic ? "quen6aux_lang.dll" : "quen6aux_ja.dll");
    ASSERT_TRUE(CopyFileA(source.c_str(), target.c_str(), FALSE)) << source;
}

// One command-line argument as the C runtime splits it again, backslashes before a quote
// included.
AnsiString Quote(const AnsiString& arg) {
    AnsiString quoted = "\"";
    AnsiString::size_type backslashes = 0;
    for (char c : arg) {
        if (c == '\\') {
            ++backslashes;
            continue;
        }
        quoted.append(c == '"' ? 2 * backslashes + 1 : backslashes, '\\');
        quoted += c;
        backslashes = 0;
    }
    quoted.append(2 * backslashes, '\\');
    return quoted + "\"";
}

struct ProbeResult {
    AnsiString before;
    bool result = false;
    std::vector<AnsiString> modules;
    AnsiString after;
};

// Runs LanguageProbe in cwd with the folder and code ("-" for a null pointer).
ProbeResult RunProbe(const AnsiString& cwd, const AnsiString& folder, const AnsiString& code) {
    const AnsiString output = cwd + "probe.txt";
    AnsiString command = Quote(TestProgramDir() + "LanguageProbe.exe") + " " + Quote(output) + " " +
                         Quote(folder) + " " + Quote(code);
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    ProbeResult r;
    if (!CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, cwd.c_str(),
                        &startup, &info)) {
        ADD_FAILURE() << "cannot start " << command;
        return r;
    }
    const KernelHandle process(info.hProcess), thread(info.hThread);
    // A deadline only for a probe that hangs.
    if (WaitForSingleObject(process.get(), 60000) != WAIT_OBJECT_0) {
        TerminateProcess(process.get(), 3);
        ADD_FAILURE() << "the probe did not end";
        return r;
    }
    DWORD exitCode = 0;
    GetExitCodeProcess(process.get(), &exitCode);
    EXPECT_EQ(exitCode, 0u);

    const AnsiString text = ReadFile(output);
    DeleteFileA(output.c_str());
    AnsiString::size_type start = 0;
    for (auto end = text.find('\n'); end != AnsiString::npos; end = text.find('\n', start)) {
        const AnsiString line = text.substr(start, end - start);
        start = end + 1;
        const auto eq = line.find('=');
        const AnsiString key = line.substr(0, eq), value = line.substr(eq + 1);
        if (key == "before")
            r.before = value;
        else if (key == "result")
            r.result = value == "1";
        else if (key == "module")
            r.modules.push_back(value);
        else if (key == "after")
            r.after = value;
    }
    return r;
}

} // namespace

// Each case runs in a fresh process: the library handle is one per process.
TEST(LoadLanguageDll, ChoosesTheLibraryByFolderAndCode) {
    const Lib G = Lib::Generic, J = Lib::Japanese;
    struct Case {
        const char* name;
        std::vector<Placed> files;
        const char* folder; // after the temp folder; "" passes an empty folder, nullptr a null
        const char* code;   // nullptr passes a null pointer
        Placed loaded;      // Lib::None: no library
    } cases[] = {
        {"per-language library present",
         {{J, "upd\\quen6aux_ja.dll"}, {G, "upd\\quen6aux_lang.dll"}},
         "upd\\",
         "ja",
         {J, "upd\\quen6aux_ja.dll"}},
        {"per-language library missing, generic present",
         {{J, "upd\\quen6aux_ja.dll"}, {G, "upd\\quen6aux_lang.dll"}},
         "upd\\",
         "fr",
         {G, "upd\\quen6aux_lang.dll"}},
        {"per-language library damaged",
         {{Lib::Damaged, "upd\\quen6aux_ja.dll"}, {G, "upd\\quen6aux_lang.dll"}},
         "upd\\",
         "ja",
         {G, "upd\\quen6aux_lang.dll"}},
        {"empty code takes the generic library",
         {{J, "upd\\quen6aux_ja.dll"}, {G, "upd\\quen6aux_lang.dll"}},
         "upd\\",
         "",
         {G, "upd\\quen6aux_lang.dll"}},
        {"null code takes the generic library",
         {{J, "upd\\quen6aux_ja.dll"}, {G, "upd\\quen6aux_lang.dll"}},
         "upd\\",
         nullptr,
         {G, "upd\\quen6aux_lang.dll"}},
        {"empty code tries no per-language name",
         {{J, "upd\\quen6aux_.dll"}, {J, "upd\\quen6aux_ja.dll"}},
         "upd\\",
         "",
         {Lib::None, nullptr}},
        {"both missing; no other folder is tried",
         {{J, "quen6aux_ja.dll"}, {G, "quen6aux_lang.dll"}},
         "upd\\",
         "ja",
         {Lib::None, nullptr}},
        {"empty folder: per-language library in the current directory",
         {{J, "quen6aux_ja.dll"}, {G, "quen6aux_lang.dll"}},
         "",
         "ja",
         {J, "quen6aux_ja.dll"}},
        {"empty folder: generic library in the current directory",
         {{G, "quen6aux_lang.dll"}},
         "",
         "ja",
         {G, "quen6aux_lang.dll"}},
        {"null folder and code",
         {{G, "quen6aux_lang.dll"}, {G, "upd\\quen6aux_lang.dll"}},
         nullptr,
         nullptr,
         {G, "quen6aux_lang.dll"}},
        {"folder without backslash runs into the per-language name",
         {{J, "upd\\quen6aux_ja.dll"}, {J, "updquen6aux_ja.dll"}},
         "upd",
         "ja",
         {J, "updquen6aux_ja.dll"}},
        {"folder without backslash runs into the generic name",
         {{G, "upd\\quen6aux_lang.dll"}, {G, "updquen6aux_lang.dll"}},
         "upd",
         "ja",
         {G, "updquen6aux_lang.dll"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        for (const Placed& file : c.files)
            Place(dir, file);
        const AnsiString folder = !c.folder ? "-" : *c.folder ? dir / c.folder : "";
        const ProbeResult r = RunProbe(dir.Path(), folder, c.code ? c.code : "-");

        EXPECT_EQ(r.before, "");
        EXPECT_EQ(r.result, c.loaded.lib != Lib::None);
        if (c.loaded.lib == Lib::None) {
            EXPECT_TRUE(r.modules.empty());
            EXPECT_EQ(r.after, "");
            continue;
        }
        ASSERT_EQ(r.modules.size(), 1u);
        EXPECT_EQ(AnsiUpperCase(r.modules[0]), AnsiUpperCase(dir / c.loaded.where));
        if (c.loaded.lib == Lib::Generic)
            EXPECT_EQ(r.after, "Cancel");
        else
            EXPECT_NE(r.after, "");
    }
}

TEST(LoadLanguageDll, FailedLoadLeavesNoLibrary) {
    ASSERT_TRUE(LoadLanguageDll(BuiltLanguageDir().c_str(), "ja"));
    ASSERT_STRNE(LoadLangString(133), "");
    TempDir empty;
    EXPECT_FALSE(LoadLanguageDll(empty.Path().c_str(), "ja"));
    EXPECT_STREQ(LoadLangString(133), "");
}

// Windows would show a box of its own for a damaged library while no error mode is set; the
// caller's mode is back once the load is over.
TEST(LoadLanguageDll, LoadsWithoutSystemErrorBoxesAndRestoresTheErrorMode) {
    const UINT callers = SEM_NOGPFAULTERRORBOX;
    const UINT previous = SetErrorMode(callers);
    const bool loaded = LoadLanguageDll(TestProgramDir().c_str(), "mode");
    const UINT after = SetErrorMode(previous);
    ASSERT_TRUE(loaded);
    const HMODULE probe = GetModuleHandleA("quen6aux_mode.dll");
    ASSERT_NE(probe, nullptr);
    const auto* atLoad = reinterpret_cast<const UINT*>(GetProcAddress(probe, "ErrorModeAtLoad"));
    ASSERT_NE(atLoad, nullptr);
    EXPECT_EQ(*atLoad & (SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX),
              UINT{SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX});
    EXPECT_EQ(after, callers);
}

TEST(LoadLangString, OneBufferHoldingTheLastText) {
    ASSERT_TRUE(LoadLanguageDll(BuiltLanguageDir().c_str(), ""));
    const char* first = LoadLangString(104);
    EXPECT_STREQ(first, "Online Update");
    const char* second = LoadLangString(133);
    EXPECT_EQ(second, first);
    EXPECT_STREQ(first, "Cancel");
}

TEST(LoadLangString, NumberTheLibraryLacksGivesEmptyText) {
    ASSERT_TRUE(LoadLanguageDll(BuiltLanguageDir().c_str(), ""));
    for (int number : {105, 102, 103, 100, 134, 0, -1}) {
        SCOPED_TRACE(number);
        ASSERT_STRNE(LoadLangString(133), ""); // the buffer holds a text before each miss
        EXPECT_STREQ(LoadLangString(number), "");
    }
}

TEST(LoadLangString, LongTextIsCutAfter511Bytes) {
    ASSERT_TRUE(LoadLanguageDll(TestProgramDir().c_str(), "long"));
    AnsiString expected;
    while (expected.size() < 511)
        expected += "0123456789";
    expected.resize(511);
    EXPECT_EQ(AnsiString(LoadLangString(104)), expected);
}

TEST(GenericLibrary, HoldsEveryTextTheProgramsFetch) {
    ASSERT_TRUE(LoadLanguageDll(BuiltLanguageDir().c_str(), ""));
    for (int number : FetchedTextNumbers()) {
        SCOPED_TRACE(number);
        EXPECT_STRNE(LoadLangString(number), "");
    }
}
