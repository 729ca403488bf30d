// The hub's change notifications as a Qt signal: `changed` is emitted on the thread this object
// lives in (the GUI thread), queued, whatever thread made the change. A page keeps one as a
// child and refreshes on it instead of polling the hub with a timer of its own.
#pragma once

#include <QObject>

#include "viewer/core/hub/CTarvellApp.h"

namespace tarvell {

class HubSignals : public QObject {
    Q_OBJECT
public:
    explicit HubSignals(CTarvellApp& app, QObject* parent = nullptr);
    ~HubSignals() override;
    HubSignals(const HubSignals&) = delete;
    HubSignals& operator=(const HubSignals&) = delete;

signals:
    void changed(tarvell::HubChange change);

private:
    CTarvellApp& app_;
    int listener_ = 0;
};

}  // namespace tarvell

Q_DECLARE_METATYPE(tarvell::HubChange)
