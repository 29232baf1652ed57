#include "Classes.h"

#include "Handles.h"

TComponent::TComponent(TComponent* owner) : owner_(owner) {
    if (owner_)
        owner_->components_.push_back(this);
}

TComponent::~TComponent() {
    DestroyComponents();
    if (owner_) {
        auto& siblings = owner_->components_;
        for (auto it = siblings.begin(); it != siblings.end(); ++it)
            if (*it == this) {
                siblings.erase(it);
                break;
            }
    }
}

void TComponent::DestroyComponents() {
    while (!components_.empty()) {
        TComponent* child = components_.back();
        components_.pop_back();
        child->owner_ = nullptr;
        delete child;
    }
}

int TStringList::AddObject(const AnsiString& s, TObject* object) {
    items_.push_back({s, object});
    return Count() - 1;
}

void TStringList::Delete(int index) {
    if (ownsObjects_)
        delete items_[index].object;
    items_.erase(items_.begin() + index);
}

void TStringList::Clear() {
    if (ownsObjects_)
        for (Item& item : items_)
            delete item.object;
    items_.clear();
}

void TStringList::SetText(const AnsiString& text) {
    Clear();
    const AnsiString::size_type end = std::min(text.find('\0'), text.size());
    AnsiString::size_type start = 0;
    while (start < end) {
        AnsiString::size_type i = start;
        while (i < end && text[i] != '\r' && text[i] != '\n')
            ++i;
        Add(text.substr(start, i - start));
        if (i + 1 < end && text[i] == '\r' && text[i + 1] == '\n')
            i += 2;
        else if (i < end)
            ++i;
        start = i;
    }
}

AnsiString TStringList::Text() const {
    AnsiString out;
    for (const Item& item : items_) {
        out += item.text;
        out += "\r\n";
    }
    return out;
}

void TStringList::CustomSort(const TStringListSortCompare& compare) {
    if (Count() > 1)
        QuickSort(0, Count() - 1, compare);
}

void TStringList::QuickSort(int left, int right, const TStringListSortCompare& compare) {
    while (left < right) {
        int i = left, j = right, pivot = (left + right) / 2;
        while (i <= j) {
            while (compare(this, i, pivot) < 0)
                ++i;
            while (compare(this, j, pivot) > 0)
                --j;
            if (i <= j) {
                if (i != j) {
                    Exchange(i, j);
                    if (pivot == i)
                        pivot = j;
                    else if (pivot == j)
                        pivot = i;
                }
                ++i;
                --j;
            }
        }
        // Recurse into the smaller half, loop on the larger: the stack stays shallow.
        if (j - left < right - i) {
            QuickSort(left, j, compare);
            left = i;
        } else {
            QuickSort(i, right, compare);
            right = j;
        }
    }
}

void TStringList::LoadFromFile(const AnsiString& path) {
    FileHandle file(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file)
        throw EInOutError("Cannot open file \"" + path + "\"");
    AnsiString text;
    char buf[65536];
    for (;;) {
        DWORD got = 0;
        if (!ReadFile(file.get(), buf, sizeof buf, &got, nullptr))
            throw EInOutError("Cannot read file \"" + path + "\"");
        if (got == 0)
            break;
        text.append(buf, got);
    }
    SetText(text);
}

void TStringList::SaveToFile(const AnsiString& path) const {
    FileHandle file(CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file)
        throw EInOutError("Cannot create file \"" + path + "\"");
    const AnsiString text = Text();
    DWORD written = 0;
    if (!WriteFile(file.get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr) ||
        written != text.size())
        throw EInOutError("Cannot write file \"" + path + "\"");
}
