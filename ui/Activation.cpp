// SPDX-License-Identifier: GPL-3.0-or-later
#include "Activation.h"

#include <QEvent>
#include <QMetaObject>

void TActivationOnce::Arm() {
    pending_ = true;
    QMetaObject::invokeMethod(
        window_, [this] { Fire(); }, Qt::QueuedConnection);
}

void TActivationOnce::Notice(const QEvent* event) {
    if (event->type() == QEvent::WindowActivate) {
        Fire();
    }
}

void TActivationOnce::Fire() {
    if (pending_) {
        pending_ = false;
        handler_();
    }
}
