// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDialog>
#include <QFrame>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>

#include <memory>

#include "ConversionReporter.h"

// The progress dialog of a batch. The worker reports through a per-batch reporter made by
// BeginBatch(); reports of an earlier batch never touch a later one.
class TProcessForm : public QDialog {
    Q_OBJECT

  public:
    explicit TProcessForm(QWidget* parent = nullptr);

    // Starts a new batch: Converting is set and a reporter for this batch is returned, to be
    // handed to the batch's worker. The reporter may outlive the dialog's interest in it.
    std::unique_ptr<ConversionReporter> BeginBatch();
    // Shows the dialog modally for the current batch; a batch that has already ended by the time
    // the dialog would appear closes it at once. Returns the modal result (Cancel).
    int ShowModal();

    QLabel* Label1;
    QLabel* Label2;
    QProgressBar* ProgressBar1;
    QLabel* Label3;
    QProgressBar* ProgressBar2;
    QFrame* Bevel1;
    QPushButton* ButtonCancel;
    bool Converting = false;

  protected:
    bool event(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

  private:
    class ReportEvent;
    class BatchReporter;

    // Called on this dialog's thread, in the order the worker reported.
    void FileStarted(int batch, const QString& path);
    void Progress(int batch, int current, int total);
    void BatchEnded(int batch);

    int batch_ = 0;
    bool ended_ = false;  // the current batch has ended
};
