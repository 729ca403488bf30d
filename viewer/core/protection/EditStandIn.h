// Until the hub's settings edit path lands: the same interface over the document's reload and
// save. Removed when it does.
#pragma once

#include <functional>

namespace tarvell {

class CTarvellApp;
class CTarvellDoc;

enum class EditResult { Saved, ReloadFailed, SaveFailed };
EditResult EditSettings(CTarvellApp& app, const std::function<void(CTarvellDoc&)>& edit);
unsigned EditResultMessage(EditResult result);

}  // namespace tarvell
