#include "ComCtrls.h"
#include "ExtCtrls.h"
#include "Forms.h"
#include "Registry.h"
#include "StdCtrls.h"

#include "BoxWatcher.h"

#include <gtest/gtest.h>

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

} // namespace

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
