// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QLabel>
#include <QStatusBar>

#include <array>

// A status bar of fixed-width panels; it has no simple-text mode.
class TStatusBar : public QStatusBar {
    Q_OBJECT

  public:
    static constexpr std::array<int, 3> PanelWidths{120, 300, 300};

    explicit TStatusBar(QWidget* parent = nullptr);

    QString PanelText(int panel) const { return panels_.at(panel)->text(); }
    void SetPanelText(int panel, const QString& text) { panels_.at(panel)->setText(text); }
    QLabel* Panel(int panel) const { return panels_.at(panel); }

  private:
    std::array<QLabel*, PanelWidths.size()> panels_{};
};
