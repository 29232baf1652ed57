#include "Forms.h"
#include "ComCtrls.h"
#include "ExtCtrls.h"
#include "Registry.h"
#include "StdCtrls.h"

#include "BoxWatcher.h"

#include <gtest/gtest.h>

#include <functional>

namespace {

struct Environment : testing::Environment {
    void SetUp() override { Application->Initialize(); }
};
const auto* const environment = testing::AddGlobalTestEnvironment(new Environment);

// A form whose dispatch sees one message of its own, as an application's forms do.
class TTestForm : public TForm {
  public:
    explicit TTestForm(TComponent* owner) : TForm(owner) {
        Button = new TButton(this, 10, 10, 75, 25);
        Bar = new TProgressBar(this, 10, 40, 200, 17);
        Label = new TLabel(this, 10, 60, 200, 17);
        Bevel = new TBevel(this, 5, 5, 220, 80);
        SetClientSize(473, 151);
    }
    void Dispatch(TMessage& message) override {
        if (message.Msg == WM_USER) {
            ++UserMessages;
            if (message.LParam == 1)
                throw Exception("raised in a handler");
            return;
        }
        TForm::Dispatch(message);
    }
    TButton* Button;
    TProgressBar* Bar;
    TLabel* Label;
    TBevel* Bevel;
    int UserMessages = 0;
};

// Counts the WM_PAINT messages a control's window receives.
struct PaintCounter {
    explicit PaintCounter(HWND control) : hwnd(control) {
        SetPropA(hwnd, "PaintCounter", this);
        original = reinterpret_cast<WNDPROC>(
            SetWindowLongPtrA(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(Proc)));
    }
    ~PaintCounter() {
        SetWindowLongPtrA(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(original));
        RemovePropA(hwnd, "PaintCounter");
    }
    static LRESULT CALLBACK Proc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
        auto* self = static_cast<PaintCounter*>(GetPropA(hwnd, "PaintCounter"));
        if (msg == WM_PAINT)
            ++self->paints;
        return CallWindowProcA(self->original, hwnd, msg, wParam, lParam);
    }
    HWND hwnd;
    WNDPROC original;
    int paints = 0;
};

void PumpFor(DWORD ms) {
    const DWORD start = GetTickCount();
    for (DWORD left = ms; left > 0 && left <= ms; left = ms - (GetTickCount() - start)) {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, left, QS_ALLINPUT);
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageA(&msg);
    }
}

} // namespace

// A stream of changes to a shown label or bar is taken at once and painted later, at most once
// a frame (100 ms), the last change included; a hidden bar stays hidden.
TEST(TControl, ChangesRepaintAtAPaceNotPerChange) {
    TTestForm form(nullptr);
    ShowWindow(form.Handle(), SW_SHOWNA);
    form.Bar->SetVisible(true);
    PumpFor(300);
    struct Case {
        const char* name;
        HWND hwnd;
        std::function<void(int)> change;
    };
    const Case cases[] = {
        {"label", form.Label->Handle(),
         [&](int i) { form.Label->SetCaption("received " + IntToStr(i)); }},
        {"bar", form.Bar->Handle(), [&](int i) { form.Bar->SetPosition(i); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        PaintCounter counter(c.hwnd);
        const DWORD start = GetTickCount();
        c.change(1);
        // Nothing painted the first change: it waits for its repaint.
        EXPECT_TRUE(GetUpdateRect(c.hwnd, nullptr, FALSE));
        for (int i = 2; i <= 50; ++i)
            c.change(i);
        EXPECT_EQ(counter.paints, 0);
        const DWORD frames = (GetTickCount() - start) / 100;
        PumpFor(300);
        EXPECT_GE(counter.paints, 1);
        EXPECT_LE(counter.paints, static_cast<int>(frames) + 2);
        EXPECT_FALSE(GetUpdateRect(c.hwnd, nullptr, FALSE));
    }
    EXPECT_EQ(form.Label->Caption(), "received 50");
    EXPECT_EQ(form.Bar->Position(), 50);

    form.Bar->SetVisible(false);
    form.Bar->SetPosition(70);
    EXPECT_EQ(form.Bar->Position(), 70);
    EXPECT_FALSE(form.Bar->Visible());
}

TEST(TForm, ControlsAndLayout) {
    TTestForm form(nullptr);
    RECT client;
    GetClientRect(form.Handle(), &client);
    EXPECT_EQ(client.right, 473);
    EXPECT_EQ(client.bottom, 151);

    form.SetCaption("App:Update");
    EXPECT_EQ(form.Caption(), "App:Update");
    form.Label->SetCaption("status");
    EXPECT_EQ(form.Label->Caption(), "status");

    int clicks = 0;
    form.Button->OnClick = [&](TObject* sender) {
        EXPECT_EQ(sender, form.Button);
        ++clicks;
    };
    SendMessageA(form.Button->Handle(), BM_CLICK, 0, 0);
    EXPECT_EQ(clicks, 1);

    form.Bar->SetVisible(false);
    EXPECT_FALSE(form.Bar->Visible());
    for (auto [set, shown] : {std::pair{50, 50}, {-5, 0}, {250, 100}}) {
        form.Bar->SetPosition(set);
        EXPECT_EQ(form.Bar->Position(), shown);
    }
}

// Every control draws in the platform's default face, 12 pixels high, default character set.
TEST(TForm, ControlsUseTheDefaultFaceTwelvePixelsHigh) {
    TTestForm form(nullptr);
    LOGFONTA system{};
    GetObjectA(GetStockObject(DEFAULT_GUI_FONT), sizeof system, &system);
    for (const TControl* control :
         std::initializer_list<const TControl*>{form.Button, form.Label, form.Bar}) {
        const auto font =
            reinterpret_cast<HFONT>(SendMessageA(control->Handle(), WM_GETFONT, 0, 0));
        ASSERT_NE(font, nullptr);
        LOGFONTA used{};
        ASSERT_EQ(GetObjectA(font, sizeof used, &used), static_cast<int>(sizeof used));
        EXPECT_STREQ(used.lfFaceName, system.lfFaceName);
        EXPECT_EQ(used.lfCharSet, DEFAULT_CHARSET);

        const HDC dc = GetDC(control->Handle());
        const HGDIOBJ previous = SelectObject(dc, font);
        TEXTMETRICA metrics{};
        GetTextMetricsA(dc, &metrics);
        SelectObject(dc, previous);
        ReleaseDC(control->Handle(), dc);
        EXPECT_EQ(metrics.tmHeight - metrics.tmInternalLeading, 12);
    }
}

TEST(TApplication, ExceptionInHandlerIsShownAndLoopGoesOn) {
    TTestForm* form = nullptr;
    Application->CreateForm(form);
    ASSERT_EQ(Application->MainForm, form);
    Application->SetTitle("Title");
    int shows = 0;
    form->OnShow = [&](TObject*) {
        ++shows;
        PostMessageA(form->Handle(), WM_USER, 0, 1); // raises
        PostMessageA(form->Handle(), WM_USER, 0, 0);
        PostMessageA(form->Handle(), WM_CLOSE, 0, 0);
    };
    {
        BoxWatcher boxes;
        Application->Run(); // ends when the main form closes
        ASSERT_EQ(boxes.Boxes().size(), 1u);
        EXPECT_EQ(boxes.Boxes()[0].caption, "Title");
        EXPECT_EQ(boxes.Boxes()[0].text, "raised in a handler");
    }
    EXPECT_EQ(shows, 1);
    EXPECT_EQ(form->UserMessages, 2);
    EXPECT_TRUE(Application->Terminated());
    EXPECT_TRUE(IsWindow(form->Handle())); // closing does not free the form
}

TEST(TRegistry, OpenWithoutCreateAndWrite) {
    TRegistry reg(KEY_ALL_ACCESS);
    reg.RootKey = HKEY_CURRENT_USER;
    EXPECT_FALSE(reg.OpenKey("Software\\quen6-test-missing", false));
    ASSERT_TRUE(reg.OpenKey("Software\\quen6-test", true));
    reg.WriteString("a$b", "\"x\" $$UPDT$$");
    char data[64] = {};
    DWORD size = sizeof data, type = 0;
    ASSERT_EQ(RegGetValueA(HKEY_CURRENT_USER, "Software\\quen6-test", "a$b", RRF_RT_REG_SZ, &type,
                           data, &size),
              ERROR_SUCCESS);
    EXPECT_STREQ(data, "\"x\" $$UPDT$$");
    EXPECT_EQ(size, 13u); // with its terminating zero
    reg.CloseKey();
    EXPECT_THROW(reg.WriteString("a", "b"), ERegistryException);
    RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\quen6-test");
}
