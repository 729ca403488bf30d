// The panels of the event monitor screens: the header panel above each list (title, event
// count and the type filter link with its drop-down menu), and the framed white panels that
// hold the places of the report panel and the details pane. GUI thread only.
#pragma once

#include <QLabel>
#include <QMenu>
#include <QWidget>
#include <memory>

#include "viewer/core/base/CommandIds.h"

namespace tarvell {

class CEventMonitorWnd;
class LinkLabel;

class CMonitorHeaderPanel : public QWidget {
    Q_OBJECT
public:
    // Sets the initial link text ("Filter by type: All Events").
    void OnInitDialog();
    // The filter link was clicked: drops the menu below the link and sets the chosen filter when
    // it differs from the current one.
    void OnFilterByType();
    // Makes `command` the filter, relabels the link, clears the list's selection, redraws the
    // details pane and refills the window.
    void SetFilter(CommandId command, const QString& text);

    CommandId Filter() const { return filter_; }
    QString CountText() const { return count_->text(); }
    // Writes the count only when it differs.
    void SetCountText(const QString& text);
    QString LinkText() const;
    QString TitleText() const { return title_->text(); }
    LinkLabel* Link() const { return link_; }
    // The drop-down as OnFilterByType shows it: every action carries its command in data(), the
    // default item is the menu's (or its submenu's) default action.
    std::unique_ptr<QMenu> BuildFilterMenu() const;

protected:
    CMonitorHeaderPanel(CEventMonitorWnd* window, bool detection, const QString& title);
    void paintEvent(QPaintEvent*) override;

private:
    CEventMonitorWnd* window_;
    const bool detection_;
    CommandId filter_;
    QLabel* title_;
    QLabel* events_;
    QLabel* count_;
    LinkLabel* link_;
};

class CDetectionMonitorHeaderPanel : public CMonitorHeaderPanel {
    Q_OBJECT
public:
    explicit CDetectionMonitorHeaderPanel(CEventMonitorWnd* window);
};

class CPreventionMonitorHeaderPanel : public CMonitorHeaderPanel {
    Q_OBJECT
public:
    explicit CPreventionMonitorHeaderPanel(CEventMonitorWnd* window);
};

// A white panel with the grey rounded frame; the report panels and details panes take its place
// when they are built.
class CFramedPanel : public QWidget {
    Q_OBJECT
public:
    CFramedPanel(const QString& name, QSize size, QWidget* parent);

protected:
    void paintEvent(QPaintEvent*) override;
};

}  // namespace tarvell
