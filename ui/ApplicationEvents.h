// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>

#include <functional>
#include <utility>

class QEvent;

// Sees every event of every object of the program before it is delivered. The handler sets
// `handled` to keep an event from its receiver.
class TApplicationEvents : public QObject {
    Q_OBJECT

  public:
    using MessageHandler = std::function<void(QObject* receiver, QEvent* event, bool& handled)>;

    // Starts filtering the running application's events.
    explicit TApplicationEvents(QObject* parent = nullptr);
    ~TApplicationEvents() override;

    void SetOnMessage(MessageHandler handler) { onMessage_ = std::move(handler); }

  protected:
    bool eventFilter(QObject* receiver, QEvent* event) override;

  private:
    MessageHandler onMessage_;
};
