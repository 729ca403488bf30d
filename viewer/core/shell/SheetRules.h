// The rules of a property sheet without any window: which page is current, which pages were
// created, whether Apply is enabled, and in which order the pages are asked on a tab change, OK,
// Apply and Cancel. The widgets (widgets/CPropertySheet) forward the user's actions here.
//  - A page is created (OnCreate, where it fills its controls) the first time it is shown; the
//    created pages are the visited ones.
//  - A tab change first asks the current page's OnKillActive (false keeps that page), then the
//    new page's OnSetActive (false returns to the old page, which is not asked again).
//  - OK asks the current page's OnKillActive, then runs OnOK on every visited page in page
//    order; a false stops there and the sheet stays open. Apply does the same without closing;
//    it is enabled only while a page is modified and clears every page's mark when it succeeds.
//  - Cancel runs OnCancel on every visited page and closes. EndSheet closes with its result and
//    runs nothing.
//  - A page may end the sheet from any of its handlers; the sheet then asks no further page.
// After the sheet ended every action is ignored. Not thread-safe: one thread drives a sheet.
#pragma once

#include <cstddef>
#include <vector>

namespace tarvell {

class ISheetPage {
public:
    virtual ~ISheetPage() = default;
    virtual void OnCreate() = 0;
    virtual bool OnSetActive() = 0;
    virtual bool OnKillActive() = 0;
    virtual bool OnOK() = 0;
    virtual void OnCancel() = 0;
};

inline constexpr int kSheetOk = 1;      // the result of OK
inline constexpr int kSheetCancel = 2;  // the result of Cancel

class SheetRules {
public:
    // Adds a page at the end; returns its index. Pages are not owned.
    int AddPage(ISheetPage* page);
    int PageCount() const { return static_cast<int>(pages_.size()); }

    // Shows page `start` (the first when out of range). False when there is no page or the
    // sheet was already started.
    bool Start(int start = 0);
    int Current() const { return current_; }
    bool IsCreated(int page) const;

    // A tab change to `page`; true when it is now the current page.
    bool SetActivePage(int page);

    void SetModified(int page, bool modified);
    bool IsModified(int page) const;
    bool IsApplyEnabled() const;

    // OK: true when the sheet closed (result kSheetOk, or a page ended it).
    bool Ok();
    // Apply: true when every visited page applied; the sheet stays open.
    bool Apply();
    void Cancel();
    void EndSheet(int result);

    bool IsEnded() const { return ended_; }
    int Result() const { return result_; }

private:
    struct Slot {
        ISheetPage* page = nullptr;
        bool created = false;
        bool modified = false;
    };
    bool Show(int page);
    bool ApplyAll();
    Slot* At(int page);
    const Slot* At(int page) const;

    std::vector<Slot> pages_;
    int current_ = -1;
    bool ended_ = false;
    int result_ = 0;
};

}  // namespace tarvell
