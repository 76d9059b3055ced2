// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>

#include <functional>

class QEvent;

// Runs a window's activation handler once per showing: when the window is activated, or, where no
// window manager ever activates it (offscreen, a bare X server), from the event loop right after
// it was shown.
class TActivationOnce {
  public:
    TActivationOnce(QObject* window, std::function<void()> handler)
        : window_(window), handler_(std::move(handler)) {}

    // From the window's show event.
    void Arm();
    // From the window's event handler, with every event it sees.
    void Notice(const QEvent* event);

  private:
    void Fire();

    QObject* window_;
    std::function<void()> handler_;
    bool pending_ = false;
};
