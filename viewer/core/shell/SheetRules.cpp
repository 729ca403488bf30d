#include "viewer/core/shell/SheetRules.h"

namespace tarvell {

int SheetRules::AddPage(ISheetPage* page) {
    pages_.push_back(Slot{page});
    return PageCount() - 1;
}

SheetRules::Slot* SheetRules::At(int page) {
    return page >= 0 && page < PageCount() ? &pages_[static_cast<std::size_t>(page)] : nullptr;
}

const SheetRules::Slot* SheetRules::At(int page) const {
    return page >= 0 && page < PageCount() ? &pages_[static_cast<std::size_t>(page)] : nullptr;
}

bool SheetRules::IsCreated(int page) const {
    const Slot* s = At(page);
    return s != nullptr && s->created;
}

bool SheetRules::Show(int page) {
    Slot& s = pages_[static_cast<std::size_t>(page)];
    if (!s.created) {
        s.created = true;
        s.page->OnCreate();
        if (ended_) return false;
    }
    return s.page->OnSetActive() && !ended_;
}

bool SheetRules::Start(int start) {
    if (pages_.empty() || current_ >= 0 || ended_) return false;
    if (At(start) == nullptr) start = 0;
    current_ = start;
    Show(start);  // the first page is shown even when it declines
    return true;
}

bool SheetRules::SetActivePage(int page) {
    if (ended_ || current_ < 0 || At(page) == nullptr) return false;
    if (page == current_) return true;
    if (!At(current_)->page->OnKillActive() || ended_) return false;
    const int old = current_;
    current_ = page;
    if (Show(page)) return true;
    if (!ended_) current_ = old;
    return false;
}

void SheetRules::SetModified(int page, bool modified) {
    if (Slot* s = At(page)) s->modified = modified;
}

bool SheetRules::IsModified(int page) const {
    const Slot* s = At(page);
    return s != nullptr && s->modified;
}

bool SheetRules::IsApplyEnabled() const {
    if (ended_) return false;
    for (const Slot& s : pages_)
        if (s.modified) return true;
    return false;
}

bool SheetRules::ApplyAll() {
    if (ended_ || current_ < 0) return false;
    if (!At(current_)->page->OnKillActive() || ended_) return false;
    for (Slot& s : pages_) {
        if (!s.created) continue;
        if (!s.page->OnOK() || ended_) return false;
    }
    for (Slot& s : pages_) s.modified = false;
    return true;
}

bool SheetRules::Ok() {
    if (ended_) return false;
    if (ApplyAll()) EndSheet(kSheetOk);
    return ended_;
}

bool SheetRules::Apply() {
    if (!IsApplyEnabled()) return false;
    return ApplyAll();
}

void SheetRules::Cancel() {
    if (ended_) return;
    for (Slot& s : pages_) {
        if (!s.created) continue;
        s.page->OnCancel();
        if (ended_) return;
    }
    EndSheet(kSheetCancel);
}

void SheetRules::EndSheet(int result) {
    if (ended_) return;
    ended_ = true;
    result_ = result;
}

}  // namespace tarvell
