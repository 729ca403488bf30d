// Which page window each slot of the main view gets. Each screen area registers its pages
// (Register<Area>Pages in a header of its own); every slot has a screen. GUI thread only.
#pragma once

#include <QWidget>
#include <array>
#include <functional>

#include "viewer/core/shell/PageSlots.h"
#include "viewer/widgets/ShellPage.h"

namespace tarvell {

// Creates a hidden-to-be page window as a child of `parent`; never null.
using PageMaker = std::function<QWidget*(const PageContext& context, QWidget* parent)>;

class PageTable {
public:
    // A later registration for the same slot replaces the earlier one.
    void Register(PageSlot slot, PageMaker maker);
    bool Has(PageSlot slot) const;
    // The page of `slot`, or null when the slot has no maker.
    QWidget* Create(PageSlot slot, const PageContext& context, QWidget* parent) const;

private:
    std::array<PageMaker, kPageSlots> makers_;
};

// The command-sending callback a page's links and buttons use.
std::function<void(int commandId)> PageSender(const PageContext& context);

// Registers the overview page of an area: a `Page(app, sendCommand, parent)` whose links send
// their commands through PageSender.
template <class Page>
void RegisterOverviewPage(PageTable& table, PageSlot slot) {
    table.Register(slot, [](const PageContext& context, QWidget* parent) -> QWidget* {
        return new Page(context.app, PageSender(context), parent);
    });
}

}  // namespace tarvell
