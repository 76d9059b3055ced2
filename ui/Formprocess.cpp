// SPDX-License-Identifier: GPL-3.0-or-later
#include "Formprocess.h"

#include <QCoreApplication>
#include <QKeyEvent>

#include <utility>

#include "ThreadHandOff.h"

namespace {

template <typename Control>
Control* Place(Control* control, const char* name, int left, int top, int width, int height) {
    control->setObjectName(QLatin1String(name));
    control->setGeometry(left, top, width, height);
    return control;
}

QProgressBar* Bar(QWidget* parent, const char* name, int top) {
    auto* bar = Place(new QProgressBar(parent), name, 103, top, 234, 17);
    bar->setRange(0, 100);
    bar->setValue(0);
    bar->setTextVisible(false);
    return bar;
}

}  // namespace

// One report of a batch, queued from the worker's thread to the dialog's.
class TProcessForm::ReportEvent : public QEvent {
  public:
    enum class Kind { FileStarted, Progress, BatchEnded };
    static QEvent::Type EventType() {
        static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
        return type;
    }

    ReportEvent(int batchNumber, Kind reportKind, QString sourcePath = {}, int currentValue = 0,
                int totalValue = 0)
        : QEvent(EventType()),
          batch(batchNumber),
          kind(reportKind),
          path(std::move(sourcePath)),
          current(currentValue),
          total(totalValue) {}

    const int batch;
    const Kind kind;
    const QString path;
    const int current;
    const int total;
};

// Runs on the worker's thread and hands every report to the dialog's thread, in order, tagged with
// its batch so that a late report of a cancelled batch is recognised there.
class TProcessForm::BatchReporter : public ConversionReporter {
  public:
    BatchReporter(TProcessForm* form, int batch) : form_(form), batch_(batch) {}

    void FileStarted(const std::string& sourcePath) override {
        lastCurrent_ = lastTotal_ = 0;
        Post(new ReportEvent(batch_, ReportEvent::Kind::FileStarted,
                             QString::fromStdString(sourcePath)));
    }
    void Progress(int current, int total) override {
        // The bars move at most 100 steps a file; repeating a position would only load the queue.
        if (current == lastCurrent_ && total == lastTotal_) {
            return;
        }
        lastCurrent_ = current;
        lastTotal_ = total;
        Post(new ReportEvent(batch_, ReportEvent::Kind::Progress, {}, current, total));
    }
    void BatchEnded() override { Post(new ReportEvent(batch_, ReportEvent::Kind::BatchEnded)); }

  private:
    void Post(ReportEvent* report) {
        platform::HandOffRelease(report);
        QCoreApplication::postEvent(form_, report);
    }

    TProcessForm* form_;  // the dialog lives until every worker has ended
    int batch_;
    int lastCurrent_ = -1;
    int lastTotal_ = -1;
};

TProcessForm::TProcessForm(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("ProcessForm"));
    setWindowTitle(QStringLiteral("Processing"));
    QFont font(QStringLiteral("Tahoma"));
    font.setPixelSize(11);
    setFont(font);
    setFixedSize(359, 164);
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint);

    Label1 = Place(new QLabel(QStringLiteral("Label1"), this), "Label1", 16, 16, 321, 13);
    // The bars' captions are as wide as their texts, which a language pack replaces.
    Label2 = Place(new QLabel(QStringLiteral("Current process:"), this), "Label2", 16, 48, 85, 13);
    Label2->adjustSize();
    ProgressBar1 = Bar(this, "ProgressBar1", 48);
    Label3 = Place(new QLabel(QStringLiteral("Total process:"), this), "Label3", 16, 80, 85, 13);
    Label3->adjustSize();
    ProgressBar2 = Bar(this, "ProgressBar2", 80);
    Bevel1 = Place(new QFrame(this), "Bevel1", 8, 112, 343, 2);
    Bevel1->setFrameShape(QFrame::HLine);
    Bevel1->setFrameShadow(QFrame::Sunken);
    ButtonCancel =
        Place(new QPushButton(QStringLiteral("Cancel"), this), "ButtonCancel", 128, 128, 75, 25);
    ButtonCancel->setAutoDefault(false);
    // A long path is cut at the label's right edge rather than widening the label.
    Label1->setTextFormat(Qt::PlainText);
    Label1->setMinimumWidth(0);

    setTabOrder(ProgressBar1, ProgressBar2);
    setTabOrder(ProgressBar2, ButtonCancel);
    connect(ButtonCancel, &QPushButton::clicked, this, &QDialog::reject);
}

std::unique_ptr<ConversionReporter> TProcessForm::BeginBatch() {
    ++batch_;
    ended_ = false;
    Converting = true;
    return std::make_unique<BatchReporter>(this, batch_);
}

int TProcessForm::ShowModal() {
    if (ended_) {
        return QDialog::Rejected;
    }
    if (parentWidget() != nullptr) {
        const QRect owner = parentWidget()->frameGeometry();
        move(owner.center() - rect().center());
    }
    exec();
    return QDialog::Rejected;  // every way out of this dialog is Cancel
}

bool TProcessForm::event(QEvent* event) {
    if (event->type() != ReportEvent::EventType()) {
        return QDialog::event(event);
    }
    platform::HandOffAcquire(event);
    const auto* report = static_cast<const ReportEvent*>(event);
    switch (report->kind) {
        case ReportEvent::Kind::FileStarted:
            FileStarted(report->batch, report->path);
            break;
        case ReportEvent::Kind::Progress:
            Progress(report->batch, report->current, report->total);
            break;
        case ReportEvent::Kind::BatchEnded:
            BatchEnded(report->batch);
            break;
    }
    return true;
}

void TProcessForm::keyPressEvent(QKeyEvent* event) {
    // Escape must not end a running batch's dialog; only Cancel and the close box do.
    if (event->key() == Qt::Key_Escape) {
        event->ignore();
        return;
    }
    QDialog::keyPressEvent(event);
}

void TProcessForm::FileStarted(int batch, const QString& path) {
    if (batch != batch_) {
        return;
    }
    Label1->setText(path);
    ProgressBar1->setValue(0);
    ProgressBar2->setValue(0);
}

void TProcessForm::Progress(int batch, int current, int total) {
    if (batch != batch_) {
        return;
    }
    ProgressBar1->setValue(current);
    ProgressBar2->setValue(total);
}

void TProcessForm::BatchEnded(int batch) {
    if (batch != batch_) {
        return;  // the late end of a cancelled batch
    }
    ended_ = true;
    Converting = false;
    if (isVisible()) {
        reject();
    }
    if (parentWidget() != nullptr) {
        parentWidget()->update();
    }
}
