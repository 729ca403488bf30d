#include "viewer/widgets/HubSignals.h"

#include <QMetaObject>

namespace tarvell {

HubSignals::HubSignals(CTarvellApp& app, QObject* parent) : QObject(parent), app_(app) {
    qRegisterMetaType<tarvell::HubChange>();
    // The call runs on the changing thread while this object is alive (the removal in the
    // destructor waits for it); the queued emission is dropped with the object if it goes first.
    listener_ = app_.AddHubListener([this](HubChange change) {
        QMetaObject::invokeMethod(
            this, [this, change] { emit changed(change); }, Qt::QueuedConnection);
    });
}

HubSignals::~HubSignals() { app_.RemoveHubListener(listener_); }

}  // namespace tarvell
