// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>
#include <QString>

#include <string>
#include <vector>

// The Add command's file-open dialog: several files, resizable, the first filter entry chosen at
// first. The filter is kept in the language pack's form and converted when the dialog is shown.
class TOpenDialog : public QObject {
    Q_OBJECT
    // Pairs of description and pattern separated by "|": "WAVE Files(*.wav)|*.wav|...".
    Q_PROPERTY(QString Filter READ Filter WRITE SetFilter)

  public:
    explicit TOpenDialog(QObject* parent = nullptr);

    QString Filter() const { return filter_; }
    void SetFilter(const QString& filter) { filter_ = filter; }

    // Shows the dialog over the parent window. False when the user cancels.
    bool Execute();
    // The paths chosen at the last confirmed Execute, in the dialog's order.
    const std::vector<std::string>& Files() const { return files_; }

    // "Desc|*.a;*.b|All|*.*" becomes "Desc (*.a *.b);;All (*)": the toolkit separates patterns by
    // blanks, and its "*.*" would skip names without a dot. An unpaired last description is
    // dropped.
    static QString ToolkitFilter(const QString& filter);

  private:
    QString filter_;
    std::vector<std::string> files_;
};
