// SPDX-License-Identifier: GPL-3.0-or-later
#include "Statusbar.h"

TStatusBar::TStatusBar(QWidget* parent) : QStatusBar(parent) {
    setFixedHeight(19);
    setSizeGripEnabled(true);
    for (std::size_t i = 0; i < panels_.size(); ++i) {
        auto* panel = new QLabel(this);
        panel->setObjectName(QStringLiteral("Panel%1").arg(i));
        panel->setFrameShape(QFrame::StyledPanel);
        panel->setFrameShadow(QFrame::Sunken);
        panel->setFixedWidth(PanelWidths[i]);
        // Panel texts are the program's, never markup from a language pack.
        panel->setTextFormat(Qt::PlainText);
        panel->setIndent(2);
        addWidget(panel);
        panels_[i] = panel;
    }
}
