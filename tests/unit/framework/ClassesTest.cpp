#include "Classes.h"

#include "TempDir.h"

#include <gtest/gtest.h>

namespace {
std::vector<AnsiString> Lines(const TStringList& list) {
    std::vector<AnsiString> out;
    for (int i = 0; i < list.Count(); ++i)
        out.push_back(list.Strings(i));
    return out;
}
using V = std::vector<AnsiString>;
} // namespace

TEST(TStringList, SplitsLines) {
    struct Row {
        AnsiString text;
        V lines;
    } rows[] = {
        {"a\r\nb\nc\rd", {"a", "b", "c", "d"}},
        {"a\r\n", {"a"}},
        {"a\r\n\r\n", {"a", ""}},
        {"\n", {""}},
        {"a\n\rb", {"a", "", "b"}},
        {"", {}},
        {AnsiString("a\nb\0c\nd", 7), {"a", "b"}},
        {" x \r\n\r\n y", {" x ", "", " y"}},
    };
    TStringList list;
    for (const Row& r : rows) {
        SCOPED_TRACE(r.text);
        list.SetText(r.text);
        EXPECT_EQ(Lines(list), r.lines);
    }
    list.SetText("a\nb");
    EXPECT_EQ(list.Text(), "a\r\nb\r\n");
}

TEST(TStringList, CustomSortMovesObjectsWithStrings) {
    TStringList list;
    TObject a, b, c;
    list.AddObject("c", &c);
    list.AddObject("a", &a);
    list.AddObject("b", &b);
    list.CustomSort(
        [](TStringList* l, int i, int j) { return l->Strings(i).compare(l->Strings(j)); });
    EXPECT_EQ(Lines(list), (V{"a", "b", "c"}));
    EXPECT_EQ(list.Objects(0), &a);
    EXPECT_EQ(list.Objects(2), &c);
}

TEST(TStringList, OwnedObjectsAreFreed) {
    static int alive = 0;
    struct Counted : TObject {
        Counted() { ++alive; }
        ~Counted() override { --alive; }
    };
    {
        TStringList list(true);
        list.AddObject("1", new Counted);
        list.AddObject("2", new Counted);
        list.AddObject("3", new Counted);
        list.Delete(1);
        EXPECT_EQ(alive, 2);
    }
    EXPECT_EQ(alive, 0);
}

TEST(TStringList, SaveAndLoad) {
    TempDir dir;
    TStringList list;
    list.SetText("[update]\nx");
    list.SaveToFile(dir / "s.txt");
    EXPECT_EQ(ReadFile(dir / "s.txt"), "[update]\r\nx\r\n");
    TStringList back;
    back.LoadFromFile(dir / "s.txt");
    EXPECT_EQ(Lines(back), (V{"[update]", "x"}));
    EXPECT_THROW(back.LoadFromFile(dir / "missing"), EInOutError);
    EXPECT_THROW(list.SaveToFile(dir / "no\\such\\folder\\f"), EInOutError);
}

TEST(TComponent, OwnerFreesChildren) {
    static int alive = 0;
    struct C : TComponent {
        explicit C(TComponent* o) : TComponent(o) { ++alive; }
        ~C() override { --alive; }
    };
    auto* root = new C(nullptr);
    new C(root);
    auto* middle = new C(root);
    new C(middle);
    delete middle; // leaves its owner's list
    EXPECT_EQ(alive, 2);
    delete root;
    EXPECT_EQ(alive, 0);
}
