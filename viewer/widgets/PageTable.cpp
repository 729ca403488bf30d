#include "viewer/widgets/PageTable.h"

#include "viewer/core/shell/CommandRouter.h"

namespace tarvell {

namespace {
std::size_t IndexOf(PageSlot slot) { return static_cast<std::size_t>(SlotNumber(slot) - 1); }
bool Valid(PageSlot slot) { return SlotNumber(slot) >= 1 && SlotNumber(slot) <= kPageSlots; }
}  // namespace

void PageTable::Register(PageSlot slot, PageMaker maker) {
    if (Valid(slot)) makers_[IndexOf(slot)] = std::move(maker);
}

bool PageTable::Has(PageSlot slot) const {
    return Valid(slot) && makers_[IndexOf(slot)] != nullptr;
}

QWidget* PageTable::Create(PageSlot slot, const PageContext& context, QWidget* parent) const {
    return Has(slot) ? makers_[IndexOf(slot)](context, parent) : nullptr;
}

std::function<void(int)> PageSender(const PageContext& context) {
    CommandRouter& router = context.router;
    return [&router](int id) { router.Send(static_cast<CommandId>(id)); };
}

}  // namespace tarvell
