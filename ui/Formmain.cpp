// SPDX-License-Identifier: GPL-3.0-or-later
#include "Formmain.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLayout>
#include <QMetaObject>
#include <QMimeData>
#include <QMouseEvent>
#include <QPointer>
#include <QScreen>
#include <QUrl>
#include <QVBoxLayout>

#include <algorithm>

#include "Banner.h"
#include "Convertthread.h"
#include "FileTypeIcon.h"
#include "Filelisttext.h"
#include "Formoptions.h"
#include "Formprocess.h"
#include "Glyphs.h"
#include "HomePage.h"
#include "Languageapply.h"
#include "Languagepack.h"
#include "LocalFileName.h"
#include "MessageBox.h"
#include "Packtext.h"
#include "ProgramDir.h"
#include "Settingsfile.h"
#include "UrlOpener.h"
#include "Waveinf.h"

namespace {

struct ToolButtonDesign {
    QToolButton* TMainForm::*Member;
    const char* Name;
    int Left;
    const char* Caption;
    const char* Hint;
    const char* GlyphName;
};

constexpr ToolButtonDesign ToolButtons[] = {
    {&TMainForm::SpeedButtonAdd, "SpeedButtonAdd", 0, "Add", "Add wav files", "add"},
    {&TMainForm::SpeedButtonRemove, "SpeedButtonRemove", 56, "Remove", "Remove wav files",
     "remove"},
    {&TMainForm::SpeedButtonClear, "SpeedButtonClear", 112, "Clear", "Clear all wav files",
     "clear"},
    {&TMainForm::SpeedButtonConvert, "SpeedButtonConvert", 185, "Convert",
     "Convert wav files to mp3", "convert"},
    {&TMainForm::SpeedButtonOptions, "SpeedButtonOptions", 242, "Options", "Options", "options"},
    {&TMainForm::SpeedButtonAbout, "SpeedButtonAbout", 313, "About", "About", "about"},
    {&TMainForm::SpeedButtonUpdate, "SpeedButtonUpdate", 370, "Update", "Update", "update"},
};

struct ColumnDesign {
    const char* Title;
    int Width;
};

constexpr ColumnDesign Columns[] = {{"Wave Files", 150}, {"Path", 220}, {"Sample Rate", 80},
                                    {"Channels", 65},    {"Size", 70},  {"Time", 70}};

QFrame* Separator(QWidget* parent, const char* name, int left) {
    auto* bevel = new QFrame(parent);
    bevel->setObjectName(QLatin1String(name));
    bevel->setFrameShape(QFrame::VLine);
    bevel->setFrameShadow(QFrame::Sunken);
    bevel->setGeometry(left, 0, 2, 65);
    return bevel;
}

}  // namespace

TMainForm::TMainForm(QWidget* parent) : QMainWindow(parent) {
    setObjectName(QStringLiteral("MainForm"));
    setWindowTitle(QStringLiteral("Quennets Sonvert"));
    setFont(QFont(QStringLiteral("Tahoma"), 8));

    auto* client = new QWidget(this);
    auto* layout = new QVBoxLayout(client);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    setCentralWidget(client);

    Panel1 = new QWidget(client);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->setFixedHeight(65);
    layout->addWidget(Panel1);

    StatusBar1 = new TStatusBar(this);
    StatusBar1->setObjectName(QStringLiteral("StatusBar1"));
    setStatusBar(StatusBar1);

    ListView1 = new QTreeWidget(client);
    ListView1->setObjectName(QStringLiteral("ListView1"));
    ListView1->setRootIsDecorated(false);
    ListView1->setItemsExpandable(false);
    ListView1->setUniformRowHeights(true);
    ListView1->setSelectionMode(QAbstractItemView::SingleSelection);
    ListView1->setSelectionBehavior(QAbstractItemView::SelectRows);
    ListView1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    ListView1->setIconSize(QSize(16, 16));
    ListView1->setColumnCount(static_cast<int>(std::size(Columns)));
    ListView1->header()->setStretchLastSection(false);
    ListView1->header()->setSectionsMovable(false);
    for (int column = 0; column < ListView1->columnCount(); ++column) {
        ListView1->headerItem()->setText(column, QLatin1String(Columns[column].Title));
        ListView1->setColumnWidth(column, Columns[column].Width);
    }
    ListView1->setMinimumSize(0, 0);
    ListView1->viewport()->installEventFilter(this);
    layout->addWidget(ListView1, 1);

    for (const ToolButtonDesign& design : ToolButtons) {
        auto* button = new QToolButton(Panel1);
        button->setObjectName(QLatin1String(design.Name));
        button->setGeometry(design.Left, 0, 57, 65);
        button->setAutoRaise(true);
        button->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
        button->setIconSize(QSize(32, 32));
        button->setIcon(Glyph(design.GlyphName));
        button->setText(QLatin1String(design.Caption));
        button->setToolTip(QLatin1String(design.Hint));
        this->*design.Member = button;
    }
    Bevel1 = Separator(Panel1, "Bevel1", 177);
    Bevel2 = Separator(Panel1, "Bevel2", 305);

    CppWebBrowser1 = new TCppWebBrowser(Panel1);
    CppWebBrowser1->setObjectName(QStringLiteral("CppWebBrowser1"));
    CppWebBrowser1->setFixedSize(257, 65);
    // Only the browser is laid out, against the panel's right edge; the buttons keep their places.
    auto* panelLayout = new QHBoxLayout(Panel1);
    panelLayout->setContentsMargins(0, 0, 0, 0);
    panelLayout->addStretch(1);
    panelLayout->addWidget(CppWebBrowser1);
    connect(CppWebBrowser1, &TCppWebBrowser::DocumentComplete, this,
            &TMainForm::CppWebBrowser1DocumentComplete);

    ApplicationEvents1 = new TApplicationEvents(this);
    ApplicationEvents1->setObjectName(QStringLiteral("ApplicationEvents1"));
    ApplicationEvents1->SetOnMessage([this](QObject* receiver, QEvent* message, bool& handled) {
        ApplicationEvents1Message(receiver, message, handled);
    });

    OpenDialog1 = new TOpenDialog(this);
    OpenDialog1->setObjectName(QStringLiteral("OpenDialog1"));
    OpenDialog1->SetFilter(QStringLiteral("WAVE Files(*.wav)|*.wav|All Files(*.*)|*.*"));

    connect(SpeedButtonAdd, &QToolButton::clicked, this, &TMainForm::SpeedButtonAddClick);
    connect(SpeedButtonRemove, &QToolButton::clicked, this, &TMainForm::SpeedButtonRemoveClick);
    connect(SpeedButtonClear, &QToolButton::clicked, this, &TMainForm::SpeedButtonClearClick);
    connect(SpeedButtonConvert, &QToolButton::clicked, this, &TMainForm::SpeedButtonConvertClick);
    connect(SpeedButtonOptions, &QToolButton::clicked, this, &TMainForm::SpeedButtonOptionsClick);
    connect(SpeedButtonAbout, &QToolButton::clicked, this, &TMainForm::SpeedButtonAboutClick);
    connect(SpeedButtonUpdate, &QToolButton::clicked, this, &TMainForm::SpeedButtonUpdateClick);

    // Only the width has a lower limit: a low window clips its list instead of refusing the height
    // that its layout would want.
    QMainWindow::layout()->setSizeConstraint(QLayout::SetNoConstraint);
    resize(700, 469);
    KeepMinimumWidth();
    FormCreate();
}

TMainForm::~TMainForm() {
    FinishRunningBatch();
    // The children outlive this class's part of the object; nothing may call back into it then.
    ApplicationEvents1->SetOnMessage({});
    disconnect(CppWebBrowser1, nullptr, this, nullptr);
    FormDestroy();
}

void TMainForm::FormCreate() {
    setAcceptDrops(true);
    FlashFile.clear();
    LanguageIni.reset();
    ProgramDir = platform::ProgramDir();
    FlashFile = banner::SetUp(this, CppWebBrowser1, ProgramDir);
}

void TMainForm::FormDestroy() {
    banner::CleanUp(FlashFile);
    LanguageIni.reset();
}

void TMainForm::FormActivate() {
    if (ApplyLanguagePack()) {
        UpdateStatusBar();
    }
}

bool TMainForm::ApplyLanguagePack() {
    return ::ApplyLanguagePack(LanguageIni,
                               {this, forms_.AboutForm, forms_.ProcessForm, forms_.OptionsForm});
}

std::string TMainForm::LanguageString(const std::string& section, const std::string& key,
                                      const std::string& defaultValue) const {
    return ::LanguageString(LanguageIni.get(), section, key, defaultValue);
}

QString TMainForm::LanguageText(const std::string& section, const std::string& key) const {
    if (!LanguageIni) {
        return {};
    }
    return DecodePackText(LanguageString(section, key, ""),
                          ReadPackFont(LanguageIni.get()).CharSet);
}

void TMainForm::UpdateStatusBar() {
    const int rows = ListView1->topLevelItemCount();
    StatusBar1->SetPanelText(
        0, QString::number(rows) + QLatin1Char(' ') + LanguageText("StatusBar", "Files"));

    const ConversionOptions options =
        forms_.OptionsForm ? forms_.OptionsForm->CurrentOptions() : ConversionOptions{};
    const FormatFacts& format = FormatOf(options.OutputFormat);
    const int index = options.*ListIndexOf[FormatIndex(options.OutputFormat)];
    StatusBar1->SetPanelText(1, LanguageText("OptionsForm", "OutputFormat") + QStringLiteral(": ") +
                                    QLatin1String(format.Name) + QStringLiteral("      ") +
                                    LanguageText("OptionsForm", format.ListName) +
                                    QStringLiteral(": ") +
                                    QLatin1String(ListEntry(options.OutputFormat, index).Label));

    QString folder;
    if (options.CustomDir) {
        folder = QString::fromStdString(options.OutputDir);
    } else if (rows > 0) {
        const QList<QTreeWidgetItem*> selected = ListView1->selectedItems();
        folder =
            (selected.size() == 1 ? selected.constFirst() : ListView1->topLevelItem(0))->text(1);
    }
    StatusBar1->SetPanelText(2, folder);
}

void TMainForm::AppendRow(const std::string& path, const WaveInfo& info, const QString& channelText,
                          FileTypeIcons& icons) {
    const PathParts parts = SplitPath(path, platform::PathSeparator);
    const std::string extension = FileExtension(parts.Name);
    auto icon = icons.find(extension);
    if (icon == icons.end()) {
        icon = icons.emplace(extension, platform::SmallFileTypeIcon(extension)).first;
    }
    ImageList1.append(icon->second);
    // Filled before it joins the list, so the list hears of the row once.
    auto* row = new QTreeWidgetItem;
    row->setIcon(0, ImageList1.constLast());
    row->setText(0, QFile::decodeName(QByteArray::fromStdString(parts.Name)));
    row->setText(1, QFile::decodeName(QByteArray::fromStdString(parts.Folder)));
    row->setData(0, FilePathRole, QByteArray::fromStdString(path));
    row->setText(2, QString::fromStdString(SampleRateText(info.SampleRate)));
    row->setText(3, channelText);
    row->setText(4, QString::fromStdString(SizeText(info.FileSize)));
    row->setText(5, QString::fromStdString(TimeText(info.Seconds)));
    ListView1->addTopLevelItem(row);
}

void TMainForm::SpeedButtonAddClick() {
    if (!OpenDialog1->Execute()) {
        return;
    }
    // The pack cannot change while the command runs; its two texts are read once, not per file.
    const QString mono = LanguageText("ListView", "Mono");
    const QString stereo = LanguageText("ListView", "Stereo");
    FileTypeIcons icons;
    for (const std::string& path : OpenDialog1->Files()) {
        WaveInfo info;
        if (!GetWaveInfo(path, info)) {
            platform::ProcessMessages().ShowPlainMessage("Not a supported wave file.");
            continue;
        }
        AppendRow(path, info, info.Channels == 1 ? mono : stereo, icons);
    }
    UpdateStatusBar();
}

void TMainForm::WMDropFiles(const std::vector<std::string>& paths) {
    // Bring the window up while the drop is worked through, as the file manager may cover it.
    raise();
    FileTypeIcons icons;
    for (const std::string& path : paths) {
        WaveInfo info;
        if (GetWaveInfo(path, info)) {
            // Dropped rows take the literal channel texts, whatever the pack says.
            AppendRow(path, info,
                      info.Channels == 1 ? QStringLiteral("Mono") : QStringLiteral("Stereo"),
                      icons);
        }
    }
    UpdateStatusBar();
}

void TMainForm::SpeedButtonRemoveClick() {
    bool removed = false;
    for (int i = 0; i < ListView1->topLevelItemCount(); ++i) {
        if (ListView1->topLevelItem(i)->isSelected()) {
            delete ListView1->takeTopLevelItem(i);
            removed = true;
        }
    }
    // The view moves its selection to a neighbour of a deleted row; the rows left were not
    // selected and stay so.
    if (removed) {
        ListView1->clearSelection();
    }
    UpdateStatusBar();
}

void TMainForm::SpeedButtonClearClick() {
    ListView1->clear();
    UpdateStatusBar();
}

void TMainForm::SpeedButtonOptionsClick() {
    TOptionsForm* options = forms_.OptionsForm;
    if (options == nullptr) {
        return;
    }
    try {
        if (options->exec() == QDialog::Accepted) {
            options->SaveSettings();
        } else {
            options->LoadSettings();
        }
    } catch (const SettingsError& error) {
        platform::ShowStandardError(error.what());
        return;
    }
    if (ApplyLanguagePack()) {
        UpdateStatusBar();
    }
}

void TMainForm::SpeedButtonConvertClick() {
    // A press while a cancelled batch is being waited for belongs to that wait's Convert.
    if (finishing_ || ListView1->topLevelItemCount() == 0) {
        return;
    }
    auto* progress = static_cast<TProcessForm*>(forms_.ProcessForm);
    // Guarded: a worker that has ended releases itself, possibly before the dialog returns.
    FinishRunningBatch();
    // The wait served events: the list may have been cleared or the window closed meanwhile.
    if (closing_ || ListView1->topLevelItemCount() == 0) {
        return;
    }
    QPointer<TConvertThread> worker = new TConvertThread(true);
    worker_ = worker;
    for (int row = 0; row < ListView1->topLevelItemCount(); ++row) {
        const QTreeWidgetItem* item = ListView1->topLevelItem(row);
        worker->FileList.push_back(item->data(0, FilePathRole).toByteArray().toStdString());
    }
    worker->SetOptions(forms_.OptionsForm->CurrentOptions());
    worker->AdoptReporter(progress->BeginBatch());
    worker->Resume();
    progress->ShowModal();
    if (TConvertThread* running = worker.data()) {
        running->Terminate();
    }
    if (progress->Converting) {
        return;  // cancelled: the worker finishes its current file on its own
    }
    platform::ProcessMessages().ApplicationMessageBox(
        LanguageText("Convert", "Complete").toStdString(),
        LanguageText("Common", "Message").toStdString(),
        platform::MbIconInformation | platform::MbSystemModal);
}

void TMainForm::FinishRunningBatch() {
    if (finishing_) {
        return;
    }
    // The worker lets itself go once it has ended, which may happen inside processEvents().
    const QPointer<TConvertThread> worker = worker_;
    if (worker.isNull()) {
        return;
    }
    finishing_ = true;
    worker->Terminate();
    // Keep serving events: the worker may be waiting in a message box.
    while (!worker.isNull() && !worker->wait(20)) {
        QCoreApplication::processEvents();
    }
    QCoreApplication::processEvents();  // its last reports
    delete worker.data();
    finishing_ = false;
}

void TMainForm::SpeedButtonAboutClick() {
    if (forms_.AboutForm != nullptr) {
        forms_.AboutForm->exec();
    }
}

void TMainForm::SpeedButtonUpdateClick() {
    platform::OpenUrl(HomePage);
}

void TMainForm::CppWebBrowser1DocumentComplete(QObject* Sender) {
    if (Sender == CppWebBrowser1) {
        CppWebBrowser1->SetBodyStyle(QStringLiteral("border"), QStringLiteral("none"));
    }
}

void TMainForm::ApplicationEvents1Message(QObject*, QEvent* Msg, bool& Handled) {
    if (Msg->type() != QEvent::MouseButtonPress ||
        static_cast<QMouseEvent*>(Msg)->button() != Qt::RightButton) {
        return;
    }
    // Only the screen point counts, so a press in another of the program's windows that lies
    // over the banner is kept back too.
    const QPoint client = mapFromGlobal(static_cast<QMouseEvent*>(Msg)->globalPosition().toPoint());
    const QRect bounds(CppWebBrowser1->mapTo(this, QPoint(0, 0)), CppWebBrowser1->size());
    if (banner::SwallowsRightPress(bounds, client)) {
        Handled = true;
    }
}

void TMainForm::ListView1Click() {
    UpdateStatusBar();
}

void TMainForm::KeepMinimumWidth() {
    // The limit is on the outer width; the frame the desktop adds is known only once shown, and
    // until then (or without any frame) the design's 4-pixel borders are assumed.
    int frame = frameGeometry().width() - width();
    if (frame <= 0) {
        frame = MinimumOuterWidth - 700;
    }
    setMinimumWidth(std::max(0, MinimumOuterWidth - frame));
}

void TMainForm::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    closing_ = false;
    KeepMinimumWidth();
    if (activated_ || event->spontaneous()) {
        return;
    }
    activated_ = true;
    if (const QScreen* desktop = screen()) {
        move(desktop->availableGeometry().center() - frameGeometry().center() + pos());
    }
    activation_.Arm();
}

void TMainForm::closeEvent(QCloseEvent* event) {
    QMainWindow::closeEvent(event);
    closing_ = event->isAccepted();
}

bool TMainForm::event(QEvent* event) {
    activation_.Notice(event);
    if (event->type() == QEvent::Move) {
        KeepMinimumWidth();
    }
    return QMainWindow::event(event);
}

bool TMainForm::eventFilter(QObject* watched, QEvent* event) {
    if (watched == ListView1->viewport() && event->type() == QEvent::MouseButtonRelease &&
        static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
        ListView1Click();
    }
    return QMainWindow::eventFilter(watched, event);
}

void TMainForm::dragEnterEvent(QDragEnterEvent* event) {
    if (event->mimeData()->hasUrls()) {
        event->acceptProposedAction();
    }
}

void TMainForm::dropEvent(QDropEvent* event) {
    std::vector<std::string> paths;
    for (const QUrl& url : event->mimeData()->urls()) {
        if (const auto path = platform::LocalFileOfUrl(url)) {
            paths.push_back(*path);
        }
    }
    event->acceptProposedAction();
    WMDropFiles(paths);
}
