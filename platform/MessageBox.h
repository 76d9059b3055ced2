// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <functional>
#include <string>

namespace platform {

// Box styles, with the values of the Windows message-box flags they stand for.
enum : unsigned {
    MbOk = 0x0,
    MbIconError = 0x10,
    MbIconInformation = 0x40,
    MbSystemModal = 0x1000,
};

// How a box is presented; each kind is a distinct look on the desktop.
enum class BoxKind {
    Platform,       // the platform message box: caption, text and style as given
    Application,    // the application's message box: like Platform, owned by the application
    Plain,          // the toolkit's plain message dialog: the application title as caption
    StandardError,  // the toolkit's error box for an error raised inside an event
};

struct BoxRecord {
    BoxKind kind = BoxKind::Platform;
    std::string text;
    std::string caption;
    unsigned style = MbOk;
};

// Where a conversion's boxes go. The windows show them and block the worker as any box does; the
// command line writes each as a line against its file. Back-ends and the worker are handed one.
class MessageTarget {
  public:
    virtual ~MessageTarget() = default;
    // Blocks the caller until the box is dismissed.
    virtual void Show(const BoxRecord& box) = 0;

    void MessageBox(const std::string& text, const std::string& caption, unsigned style) {
        Show({BoxKind::Platform, text, caption, style});
    }
    void ApplicationMessageBox(const std::string& text, const std::string& caption,
                               unsigned style) {
        Show({BoxKind::Application, text, caption, style});
    }
    void ShowPlainMessage(const std::string& text);
};

// The process's own boxes, through the sink below.
MessageTarget& ProcessMessages();

// Receives every box the program shows. It must block its caller until the box is dismissed.
using MessageSink = std::function<void(const BoxRecord&)>;

// Replaces the sink (tests record, the batch tool prints). An empty sink restores the default,
// which hands the box to the presenter and prints "caption: text" to stderr when there is none or
// it declines. Returns the previous sink.
MessageSink SetMessageSink(MessageSink sink);

// Shows a box on the desktop, blocking its caller; false when it cannot. The windows install one
// (InstallWidgetBoxes), so that this part stays free of widgets.
using BoxPresenter = std::function<bool(const BoxRecord&)>;
void SetBoxPresenter(BoxPresenter presenter);

// Blocks the calling thread until dismissed. Safe from any thread: a box raised on a worker thread
// is shown by the user-interface thread without an owner window and blocks only the worker. So do
// the boxes of ProcessMessages().
void ShowStandardError(const std::string& message);

// The standard error box appends "." when the message's last character sorts after ".".
std::string StandardErrorText(const std::string& message);

// The title the toolkit derives from the executable's file name.
std::string ApplicationTitle();

}  // namespace platform
