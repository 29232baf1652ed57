// Object, component ownership and string lists.
#pragma once

#include "SysUtils.h"

#include <functional>
#include <memory>
#include <vector>

class TObject {
  public:
    virtual ~TObject() = default;
};

// An event handler bound to its object; the argument is the sender.
using TNotifyEvent = std::function<void(TObject* sender)>;

// A component owns the components created with it as owner and frees them with itself.
class TComponent : public TObject {
  public:
    explicit TComponent(TComponent* owner);
    ~TComponent() override;
    TComponent(const TComponent&) = delete;
    TComponent& operator=(const TComponent&) = delete;

    TComponent* Owner() const { return owner_; }

  protected:
    // Frees the owned components now, last-created first.
    void DestroyComponents();

  private:
    TComponent* owner_;
    std::vector<TComponent*> components_; // owned, freed last-created first
};

class TStringList;
using TStringListSortCompare = std::function<int(TStringList* list, int index1, int index2)>;

// Ordered strings, each with an object pointer. With OwnsObjects the list frees the objects
// of the items it deletes.
class TStringList : public TObject {
  public:
    explicit TStringList(bool ownsObjects = false) : ownsObjects_(ownsObjects) {}
    ~TStringList() override { Clear(); }
    TStringList(const TStringList&) = delete;
    TStringList& operator=(const TStringList&) = delete;

    int Count() const { return static_cast<int>(items_.size()); }
    const AnsiString& Strings(int index) const { return items_[index].text; }
    TObject* Objects(int index) const { return items_[index].object; }

    int Add(const AnsiString& s) { return AddObject(s, nullptr); }
    int AddObject(const AnsiString& s, TObject* object);
    void Delete(int index);
    void Clear();
    void Exchange(int index1, int index2) { std::swap(items_[index1], items_[index2]); }
    void Reserve(int count) { items_.reserve(count); }

    // The text split into lines at CR LF, a lone LF and a lone CR; a break at the very end
    // adds no empty line; a NUL byte ends the text. Text() ends every line with CR LF.
    void SetText(const AnsiString& text);
    AnsiString Text() const;

    // Quicksort in place; string and object of an item move together.
    void CustomSort(const TStringListSortCompare& compare);

    // Reading denies others write access; both raise EInOutError on failure.
    void LoadFromFile(const AnsiString& path);
    void SaveToFile(const AnsiString& path) const;

  private:
    struct Item {
        AnsiString text;
        TObject* object;
    };
    void QuickSort(int left, int right, const TStringListSortCompare& compare);

    std::vector<Item> items_;
    bool ownsObjects_;
};
