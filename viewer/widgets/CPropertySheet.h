// A modal property sheet: a row of tabs, the page of the chosen tab below it, and the buttons OK,
// Cancel and Apply. The sheet follows SheetRules (core/shell/SheetRules.h): a page is built into
// the sheet (OnInitDialog) the first time its tab is shown; a tab change asks the current page's
// OnKillActive; OK and Apply run OnOK on every page that was shown, Apply only while a page is
// modified; Cancel (also Escape and the close box) runs OnCancel on them. DoModal returns
// kSheetOk, kSheetCancel or the value given to EndSheet. GUI thread only.
//
// A page is a CPropertyPage subclass that builds its controls in its constructor, fills them in
// OnInitDialog and writes them in OnOK; it calls SetModified(true) on every change the user makes.
// A sheet runs once: it is built, filled with its pages, run and destroyed.
// Page texts are drawn in the body text colour; MakeLink gives a link in the page link colour.
// A page pairs each control with its label through Labelled (buddy and accessible name), or names
// it with Named where no label does (Accessibility.h).
#pragma once

#include <QDialog>
#include <QString>
#include <vector>

#include "viewer/core/base/CommandIds.h"
#include "viewer/core/shell/SheetRules.h"
#include "viewer/widgets/Accessibility.h"  // Labelled and Named for the pages

class QPushButton;

namespace tarvell {

class CPropertySheet;
class CThemeTabCtrl;
class LinkLabel;

class CPropertyPage : public QWidget, private ISheetPage {
    Q_OBJECT
public:
    // `caption` is the page's tab text.
    explicit CPropertyPage(const QString& caption, QWidget* parent = nullptr);

    QString Caption() const { return caption_; }
    // The sheet the page was added to, or null.
    CPropertySheet* Sheet() const { return sheet_; }

    // Once, the first time the page is shown, before OnSetActive. Filling the controls here is
    // not a change: SetModified has no effect while it runs.
    virtual void OnInitDialog() {}
    // Each time the page becomes current; false returns to the page shown before.
    bool OnSetActive() override { return true; }
    // Before another tab is shown and before OK and Apply; false keeps this page (and the sheet
    // open). A page tells the user why, for instance with a message box.
    bool OnKillActive() override { return true; }
    // OK and Apply, on every page that was shown; false keeps the sheet open.
    bool OnOK() override { return true; }
    // Cancel, on every page that was shown.
    void OnCancel() override {}

    // Marks the page changed (enables Apply) or unchanged.
    void SetModified(bool modified = true);
    bool IsModified() const;

    // A link in the page link colour, underlined, as a child of `parent` (the page when null).
    LinkLabel* MakeLink(const QString& text, CommandId command = 0, QWidget* parent = nullptr);

private:
    friend class CPropertySheet;
    void OnCreate() override;

    QString caption_;
    CPropertySheet* sheet_ = nullptr;
    int index_ = -1;
    bool initializing_ = false;
};

class CPropertySheet : public QDialog {
    Q_OBJECT
public:
    // `caption` is the window title; the sheet starts at page `startPage` (the first when out of
    // range).
    explicit CPropertySheet(const QString& caption, QWidget* parent = nullptr, int startPage = 0);

    // Adds a page after the others; the sheet owns it from now on. Pages are added before the
    // sheet is shown.
    void AddPage(CPropertyPage* page);
    int PageCount() const { return static_cast<int>(pages_.size()); }
    CPropertyPage* Page(int index) const;
    int ActiveIndex() const { return rules_.Current(); }
    CPropertyPage* ActivePage() const { return Page(ActiveIndex()); }
    // As a click on the tab; true when the page is now shown.
    bool SetActivePage(int index);

    int DoModal() { return exec(); }
    // Closes the sheet with `result`; no page is asked anything.
    void EndSheet(int result);
    bool IsApplyEnabled() const { return rules_.IsApplyEnabled(); }

    // The buttons' actions, as the buttons run them.
    void PressOk();
    void PressApply();
    void PressCancel();

    CThemeTabCtrl* Tabs() const { return tabs_; }
    QPushButton* OkButton() const { return ok_; }
    QPushButton* CancelButton() const { return cancel_; }
    QPushButton* ApplyButton() const { return apply_; }

    QSize sizeHint() const override;

public slots:
    void accept() override { PressOk(); }
    void reject() override { PressCancel(); }

protected:
    void showEvent(QShowEvent*) override;
    void resizeEvent(QResizeEvent*) override;

private:
    friend class CPropertyPage;
    void Sync();
    void Place();

    SheetRules rules_;
    int startPage_;
    std::vector<CPropertyPage*> pages_;
    CThemeTabCtrl* tabs_;
    QPushButton* ok_;
    QPushButton* cancel_;
    QPushButton* apply_;
    bool closing_ = false;
};

}  // namespace tarvell
