// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QSet>
#include <QString>
#include <QWebEnginePage>
#include <QWebEngineView>

#include <functional>

class QWebEngineUrlSchemeHandler;

// A small embedded web browser for pages built in memory. Flash content in a page (object and
// embed elements) is played by the Ruffle player shipped in the program's "ruffle" folder; any
// link or window a page opens goes to the user's default web browser instead of this view.
// Whatever befalls the web engine (it cannot start here, its render process dies) leaves the view
// blank and the rest of the program running.
class TCppWebBrowser : public QWebEngineView {
    Q_OBJECT

  public:
    explicit TCppWebBrowser(QWidget* parent = nullptr);
    ~TCppWebBrowser() override;

    // Must run before the QApplication is constructed: the web engine shares OpenGL contexts
    // with the widgets and the scheme the pages load local files through has to be known then.
    // Also decides whether the engine can start at all (see EngineUsable).
    static void PrepareApplication();
    // Whether the engine may be started in this process. It may not when its helper program is
    // missing, or when its sandbox cannot work here for a user other than root: the engine would
    // end the whole program then. For root the engine runs without its sandbox.
    static bool EngineUsable();

    // Starts loading the URL; `done` runs once when that navigation has finished, successfully
    // or not.
    void Navigate(const QString& url, std::function<void()> done = {});
    // Whether a document has been loaded completely.
    bool HasDocument() const { return hasDocument_; }
    // Whether a navigation is still in progress.
    bool Busy() const { return busy_; }
    // Replaces the document with the HTML text. Names in the page that are absolute local paths
    // resolve to files the page may read (see AllowLocalFile).
    void LoadFromStream(const QByteArray& html);
    // Sets one property of the document body's style, once the document is there.
    void SetBodyStyle(const QString& property, const QString& value);
    // Lets pages read this local file. Files of the Flash player are always readable; nothing
    // else on the disk is.
    void AllowLocalFile(const QString& path);

    // The folder the Flash player is loaded from, ending in the separator.
    static QString PlayerFolder();

  signals:
    // A document has finished loading; `sender` is this browser.
    void DocumentComplete(QObject* sender);

  protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

  private:
    // The engine starts with the first page; a browser that never shows one costs nothing.
    // False when the engine is not to be started.
    bool EnsurePage();
    void OnLoadStarted();
    void OnLoadFinished(bool ok);
    void OnRenderProcessTerminated(QWebEnginePage::RenderProcessTerminationStatus status);
    // Shows or hides what the engine paints; the view's own area stays either way.
    void ShowContents(bool show);

    QWebEnginePage* page_ = nullptr;
    QWebEngineUrlSchemeHandler* files_ = nullptr;
    std::function<void()> navigated_;
    bool hasDocument_ = false;
    bool busy_ = false;
};
