// SPDX-License-Identifier: GPL-3.0-or-later
#include "ApplicationEvents.h"

#include <QCoreApplication>

#include "ThreadHandOff.h"

TApplicationEvents::TApplicationEvents(QObject* parent) : QObject(parent) {
    if (QCoreApplication::instance() != nullptr) {
        QCoreApplication::instance()->installEventFilter(this);
    }
}

TApplicationEvents::~TApplicationEvents() {
    if (QCoreApplication::instance() != nullptr) {
        QCoreApplication::instance()->removeEventFilter(this);
    }
}

bool TApplicationEvents::eventFilter(QObject* receiver, QEvent* event) {
    // This filter sees events before their receivers do, also those that a worker thread posted.
    platform::HandOffAcquire(event);
    bool handled = false;
    if (onMessage_) {
        onMessage_(receiver, event, handled);
    }
    return handled;
}
