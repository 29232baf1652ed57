#include "Installation.h"

#include "Language.h"
#include "UiDriver.h"

#include <gtest/gtest.h>

AnsiString Text(int number) {
    static const bool loaded = LoadLanguageDll(ExtractFilePath(DosPath(LANG_DLL)).c_str(), "");
    EXPECT_TRUE(loaded);
    return LoadLangString(number);
}

Installation::Installation() {
    CreateDirectoryA(App().c_str(), nullptr);
    CreateDirectoryA(UpdaterDir().c_str(), nullptr);
    CreateDirectoryA(StartDir().c_str(), nullptr);
    CopyTo(DosPath(FAKEAPP_EXE), App() + "fakeapp.exe");
    CopyTo(DosPath(QUEN6AUX_EXE), Exe());
    CopyTo(DosPath(LANG_DLL), UpdaterDir() + "quen6aux_lang.dll");
}

void Installation::WriteSettings(const std::vector<AnsiString>& lines) const {
    AnsiString text = "[update]\r\n";
    bool exec = false;
    for (const AnsiString& line : lines) {
        text += line + "\r\n";
        exec = exec || line.compare(0, 5, "exec=") == 0;
    }
    if (!exec)
        text += "exec=fakeapp.exe\r\n";
    WriteFile(UpdaterDir() + "quen6.ini", text);
}

AnsiString Installation::CommandLine(const AnsiString& rest) const {
    return "\"" + Exe() + "\"" + rest;
}

std::vector<AnsiString> BoxTexts(const BoxWatcher& watcher, const AnsiString& caption) {
    std::vector<AnsiString> texts;
    for (const SeenBox& box : watcher.Boxes()) {
        EXPECT_EQ(box.caption, caption) << box.text;
        texts.push_back(box.text);
    }
    return texts;
}

StalledRun::StalledRun() {
    const AnsiString body(1000, 'x');
    server.Route("/list.txt",
                 HttpReply::Ok(UpdateList(
                     "", false, {EntryLine("a.dll", server.Url("/a.dll"), kListedWhen, 1000)})));
    server.Route("/a.dll", HttpReply(HttpReply::Head("HTTP/1.0 200 OK", {"Content-Length: 1000"}),
                                     body.substr(0, 400))
                               .Pause(10 * kDeadlineMs)
                               .Send(body.substr(400)));
    inst.WriteSettings({"appname=Demo", "timeout=3600", "list=" + server.Url("/list.txt")});
    updater = std::make_unique<Process>(inst.CommandLine(), inst.StartDir());
}

bool StalledRun::ReachStall() {
    form = WaitForWindow(updater->Id(), "TForm");
    if (!form)
        return false;
    boxes = std::make_unique<BoxWatcher>(updater->Id(), IDYES);
    line = ChildAt(form, 16, 48);
    return WaitUntil([&] {
        const AnsiString text = WindowText(line);
        return text.size() > 9 && text.compare(text.size() - 9, 9, ";400/1000") == 0;
    });
}
