// What the main view needs of a page window, and what a page gets from the shell. A page is a
// QWidget child of the view, created hidden; the view hides all pages and then shows one. A
// page refreshes its contents for its current mode when it is shown and stops its timers when
// it is hidden. Pages with a detection and a prevention side (slots 3, 5 and 7) take the mode
// command before each show through ShellPage::SetMode (a page that is no ShellPage finds it
// in its "mode" property instead).
#pragma once

#include <functional>
#include <string>

#include <QWidget>

#include "viewer/core/base/CommandIds.h"

namespace tarvell {

class CTarvellApp;
class CommandRouter;
class CommandTarget;
class Prompt;
class ServiceControl;

struct PageContext {
    CTarvellApp& app;
    CommandRouter& router;  // commands to the frame, the view or the visible page
    Prompt& prompt;
    // The service state of the current server (-1 unknown, 0 stopped, 1 running); empty: none.
    std::function<int()> serviceState{};
    // 1 when the current server's service runs under an account of its own, else 0; a page asks
    // it only while it validates. Empty: none.
    std::function<int()> serviceUserAccount{};
    // Shows an information page (title, HTML) modal to `parent` and returns when it is closed.
    // Empty: none.
    std::function<void(const QString& title, const QString& html, QWidget* parent)>
        showInformation{};
    // The frame's one Connect path for a server given by name and folder (it need not be saved
    // among the servers yet); false, after the frame's message, when it could not be connected.
    std::function<bool(const std::string& name, const std::string& folder)> connectServer{};
    // The frame's control of the current server's service (the settings' Test links); null:
    // none.
    ServiceControl* service = nullptr;
};

class ShellPage {
public:
    virtual ~ShellPage() = default;
    virtual void SetMode(CommandId mode) { mode_ = mode; }
    CommandId Mode() const { return mode_; }
    // The page's own commands, offered after the view's; null for none.
    virtual CommandTarget* Commands() { return nullptr; }

private:
    CommandId mode_ = 0;
};

}  // namespace tarvell
