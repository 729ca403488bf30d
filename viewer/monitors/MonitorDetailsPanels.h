// The details pane beside each event list of the monitor page (search field, the selected event's
// text or the screen's introduction, and the action links at its foot) and the action panels.
// GUI thread only.
#pragma once

#include <QTextCharFormat>
#include <QWidget>
#include <map>
#include <string>

#include "viewer/core/look/Geometry.h"
#include "viewer/core/monitors/EventSelection.h"

class QLineEdit;
class QTextEdit;
class QLabel;

namespace tarvell {

class CEventMonitorWnd;
class CPaintListCtrl;
class LinkLabel;

// The links of one screen's panel; they work on the first selected row of that screen's list.
class CMonitorActionsPanel : public QWidget {
    Q_OBJECT
public:
    static constexpr Rgb kActiveLink{66, 26, 66};
    static constexpr Rgb kInactiveLink{172, 168, 153};

    CMonitorActionsPanel(bool detection, CEventMonitorWnd& window, QWidget* parent);

    LinkLabel* Link(MonitorLink link) const;
    bool IsLinkActive(MonitorLink link) const;
    void SetLinkActive(MonitorLink link, bool active);

    void OnBlockEvents();
    void OnUnblockEvents();
    void OnRemoveEvents();
    void OnEventDetails();
    void OnSetEventInformation();
    void OnLearnMore();

protected:
    void showEvent(QShowEvent*) override;
    void paintEvent(QPaintEvent*) override;

private:
    void AddLink(MonitorLink link, const QString& text, int slot);
    void ApplyPermissions();
    // The first selected row's event key; empty when no row is selected.
    std::string FirstSelectedKey() const;

    bool detection_;
    CEventMonitorWnd& window_;
    std::map<MonitorLink, LinkLabel*> links_;
};

class CDetectionMonitorActionsPanel : public CMonitorActionsPanel {
    Q_OBJECT
public:
    CDetectionMonitorActionsPanel(CEventMonitorWnd& window, QWidget* parent)
        : CMonitorActionsPanel(true, window, parent) {}
};

class CPreventionMonitorActionsPanel : public CMonitorActionsPanel {
    Q_OBJECT
public:
    CPreventionMonitorActionsPanel(CEventMonitorWnd& window, QWidget* parent)
        : CMonitorActionsPanel(false, window, parent) {}
};

class CMonitorDetailsPanel : public QWidget {
    Q_OBJECT
public:
    CMonitorDetailsPanel(bool detection, CEventMonitorWnd& window, QWidget* parent);

    // Puts the event text in the text area: first line shown, title and labels bold.
    void SetEventText(const EventText& text);
    // Follows the list: with a selected row the "selected" look and the action links, without
    // one the introduction text.
    void Redraw();
    bool Selected() const;

    // Enter in the search field or a click on "Search:".
    void OnSearch();
    // F3 in the list: the next match after the selected row.
    void FindNext();
    const std::string& SearchText() const { return searchText_; }

    QLineEdit* SearchEdit() const { return edit_; }
    QTextEdit* TextArea() const { return text_; }
    LinkLabel* SearchLink() const { return searchLink_; }
    CMonitorActionsPanel* Actions() const { return actions_; }

protected:
    void showEvent(QShowEvent*) override;
    void hideEvent(QHideEvent*) override;
    void resizeEvent(QResizeEvent*) override;
    void paintEvent(QPaintEvent*) override;

private:
    CPaintListCtrl* List() const;
    // The first match from `start`: selected and shown as a click would; false when none.
    bool SelectMatch(int start);

    bool detection_;
    CEventMonitorWnd& window_;
    QLabel* title_;
    LinkLabel* searchLink_;
    QLineEdit* edit_;
    QTextEdit* text_;
    CMonitorActionsPanel* actions_;
    std::string searchText_;  // upper case
    QTextCharFormat m_NormalFormat;
    QTextCharFormat m_BoldFormat;
};

class CDetectionMonitorDetailsPanel : public CMonitorDetailsPanel {
    Q_OBJECT
public:
    CDetectionMonitorDetailsPanel(CEventMonitorWnd& window, QWidget* parent)
        : CMonitorDetailsPanel(true, window, parent) {}
};

class CPreventionMonitorDetailsPanel : public CMonitorDetailsPanel {
    Q_OBJECT
public:
    CPreventionMonitorDetailsPanel(CEventMonitorWnd& window, QWidget* parent)
        : CMonitorDetailsPanel(false, window, parent) {}
};

}  // namespace tarvell
