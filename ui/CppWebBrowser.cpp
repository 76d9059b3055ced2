// SPDX-License-Identifier: GPL-3.0-or-later
#include "CppWebBrowser.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QLibraryInfo>
#include <QLoggingCategory>
#include <QTimer>
#include <QUrl>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineScript>
#include <QWebEngineScriptCollection>
#include <QWebEngineSettings>
#include <QWebEngineUrlRequestInfo>
#include <QWebEngineUrlRequestInterceptor>
#include <QWebEngineUrlRequestJob>
#include <QWebEngineUrlScheme>
#include <QWebEngineUrlSchemeHandler>

#include <unistd.h>

#include <utility>

#include "ProgramDir.h"
#include "UrlOpener.h"
#include "UserNamespace.h"

namespace {

// Pages read local files through this scheme rather than file: URLs, because the web engine
// refuses fetch() on file: URLs and the player fetches both its code and the movie.
constexpr char LocalScheme[] = "sonvert";

QString PlayerUrl() {
    QUrl url;
    url.setScheme(LocalScheme);
    url.setPath(TCppWebBrowser::PlayerFolder() + QStringLiteral("ruffle.js"));
    return url.toString(QUrl::FullyEncoded);
}

QByteArray ContentType(const QString& path) {
    if (path.endsWith(QStringLiteral(".js"))) {
        return "text/javascript";
    }
    if (path.endsWith(QStringLiteral(".wasm"))) {
        return "application/wasm";
    }
    if (path.endsWith(QStringLiteral(".swf"))) {
        return "application/x-shockwave-flash";
    }
    return "application/octet-stream";
}

// Serves the player's files and the files a browser explicitly allowed, nothing else.
class LocalFiles : public QWebEngineUrlSchemeHandler {
  public:
    using QWebEngineUrlSchemeHandler::QWebEngineUrlSchemeHandler;

    void Allow(const QString& path) { allowed_.insert(QDir::cleanPath(path)); }

    void requestStarted(QWebEngineUrlRequestJob* job) override {
        const QString path = QDir::cleanPath(job->requestUrl().path());
        const QFileInfo info(path);
        const bool playerFile =
            info.absolutePath() + QDir::separator() == TCppWebBrowser::PlayerFolder();
        if (!playerFile && !allowed_.contains(path)) {
            job->fail(QWebEngineUrlRequestJob::RequestDenied);
            return;
        }
        auto* file = new QFile(path, job);
        if (!file->open(QIODevice::ReadOnly)) {
            job->fail(QWebEngineUrlRequestJob::UrlNotFound);
            return;
        }
        job->reply(ContentType(path), file);
    }

  private:
    QSet<QString> allowed_;
};

bool IsLocalUrl(const QUrl& url) {
    const QString scheme = url.scheme();
    return scheme == QLatin1String("about") || scheme == QLatin1String("data") ||
           scheme == QLatin1String(LocalScheme);
}

// Nothing from outside reaches the engine: a page's requests for anything but local data are
// refused. Addresses the user opens are whole-page navigations, which the pages below hand to the
// desktop's browser. This is what makes running the engine without its sandbox (for root) safe.
class LocalRequestsOnly : public QWebEngineUrlRequestInterceptor {
  public:
    using QWebEngineUrlRequestInterceptor::QWebEngineUrlRequestInterceptor;

    void interceptRequest(QWebEngineUrlRequestInfo& info) override {
        const QUrl url = info.requestUrl();
        if (!IsLocalUrl(url) && url.scheme() != QLatin1String("blob") &&
            info.resourceType() != QWebEngineUrlRequestInfo::ResourceTypeMainFrame) {
            info.block(true);
        }
    }
};

// Takes the first real URL a new window would open and hands it to the desktop instead.
class ExternalWindow : public QWebEnginePage {
  public:
    ExternalWindow(QWebEngineProfile* profile, QObject* parent) : QWebEnginePage(profile, parent) {
        // A window that never navigates anywhere is dropped all the same.
        QTimer::singleShot(10000, this, &QObject::deleteLater);
    }

  protected:
    bool acceptNavigationRequest(const QUrl& url, NavigationType, bool) override {
        if (url.isEmpty() || url.scheme() == QLatin1String("about")) {
            return true;
        }
        if (!done_) {
            done_ = true;
            platform::OpenUrl(url.toString(QUrl::FullyEncoded).toStdString());
            deleteLater();
        }
        return false;
    }

  private:
    bool done_ = false;
};

class BannerPage : public QWebEnginePage {
  public:
    using QWebEnginePage::QWebEnginePage;

  protected:
    bool acceptNavigationRequest(const QUrl& url, NavigationType, bool isMainFrame) override {
        if (IsLocalUrl(url)) {
            return true;
        }
        // Links leave the banner: they open in the user's browser, never in this small view.
        if (isMainFrame && url.scheme() != QLatin1String("file")) {
            platform::OpenUrl(url.toString(QUrl::FullyEncoded).toStdString());
        }
        return false;
    }

    QWebEnginePage* createWindow(WebWindowType) override {
        return new ExternalWindow(profile(), this);
    }
};

// Runs before the page's own scripts: the player fetches its code and the movie through the
// local scheme, which the engine's fetch() does not support, so those requests go through
// XMLHttpRequest instead.
QString FetchBridgeScript() {
    return QStringLiteral(R"JS(
(function () {
  var scheme = '%1:';
  var nativeFetch = window.fetch;
  window.fetch = function (input, init) {
    var url = new URL(typeof input === 'string' ? input : (input && input.url) || String(input),
                      document.baseURI);
    if (url.protocol !== scheme) {
      return nativeFetch.apply(this, arguments);
    }
    return new Promise(function (resolve, reject) {
      var request = new XMLHttpRequest();
      request.open('GET', url.href);
      request.responseType = 'arraybuffer';
      request.onload = function () {
        var type = request.getResponseHeader('Content-Type') || 'application/octet-stream';
        resolve(new Response(request.response, {status: 200, headers: {'Content-Type': type}}));
      };
      request.onerror = function () { reject(new TypeError('Failed to fetch ' + url.href)); };
      request.send();
    });
  };
  window.RufflePlayer = window.RufflePlayer || {};
  window.RufflePlayer.config = {
    autoplay: 'on', unmuteOverlay: 'hidden', splashScreen: false, contextMenu: 'off',
    letterbox: 'off', warnOnUnsupportedContent: false, showSwfDownload: false,
    openUrlMode: 'allow', logLevel: 'error'
  };
})();
)JS")
        .arg(QLatin1String(LocalScheme));
}

// Loads the player only into pages that carry Flash content, as a plug-in would be.
QString PlayerLoaderScript() {
    return QStringLiteral(R"JS(
(function () {
  if (!document.querySelector('object, embed')) {
    return;
  }
  // Flash read its wmode without regard to case; the player wants it in lower case.
  document.querySelectorAll('param[name=wmode i]').forEach(function (p) {
    p.value = p.value.toLowerCase();
  });
  document.querySelectorAll('embed[wmode]').forEach(function (e) {
    e.setAttribute('wmode', e.getAttribute('wmode').toLowerCase());
  });
  var script = document.createElement('script');
  script.src = %1;
  (document.head || document.documentElement).appendChild(script);
})();
)JS")
        .arg(
            QString::fromUtf8(QJsonDocument(QJsonArray{PlayerUrl()}).toJson(QJsonDocument::Compact))
                .mid(1)
                .chopped(1));
}

// The engine's helper program, where the engine itself looks for it. The engine aborts the process
// when it finds none.
bool HelperProgramFound() {
    const QString configured = qEnvironmentVariable("QTWEBENGINEPROCESS_PATH");
    if (!configured.isEmpty()) {
        return QFileInfo(configured).isExecutable();
    }
    const QString name = QStringLiteral("QtWebEngineProcess");
    for (const QString& folder : {QLibraryInfo::path(QLibraryInfo::LibraryExecutablesPath),
                                  QString::fromStdString(platform::ProgramDir())}) {
        if (QFileInfo(QDir(folder).filePath(name)).isExecutable()) {
            return true;
        }
    }
    return false;
}

bool SandboxDisabled() {
    return qEnvironmentVariableIsSet("QTWEBENGINE_DISABLE_SANDBOX") ||
           qEnvironmentVariable("QTWEBENGINE_CHROMIUM_FLAGS")
               .contains(QLatin1String("--no-sandbox"));
}

// Decided once, before the application object exists.
bool DecideEngineUsable() {
    if (!HelperProgramFound()) {
        return false;
    }
    if (geteuid() == 0) {
        // The engine refuses its sandbox to root and would end the program. Without it the engine
        // still only ever shows the program's own page, player and movie (LocalRequestsOnly;
        // every other address goes to the desktop's browser), and a render process running as
        // root could gain nothing root does not have already.
        if (!SandboxDisabled()) {
            qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
        }
        return true;
    }
    // An ordinary user keeps the sandbox; where it cannot be built (no user namespaces, or ones
    // that may not be mapped) the banner stays blank rather than the engine ending the program.
    return SandboxDisabled() || platform::UserNamespaceSandboxWorks();
}

// The engine reports its GPU set-up, its options and, for root, its sandbox at every start (the
// program itself logs nothing below warnings); a user who started the program from a terminal sees
// that as noise. These rules rank below QT_LOGGING_RULES, and a log level of the user's own
// QTWEBENGINE_CHROMIUM_FLAGS stays, so the reports come back when someone asks for them.
void QuietEngineLogs() {
    QLoggingCategory::setFilterRules(QStringLiteral(
        "qt.webenginecontext.debug=false\nqt.webenginecontext.info=false\ndefault.info=false"));
    QByteArray flags = qgetenv("QTWEBENGINE_CHROMIUM_FLAGS");
    if (!flags.contains("--log-level")) {
        flags.append(flags.isEmpty() ? "" : " ").append("--log-level=3");
        qputenv("QTWEBENGINE_CHROMIUM_FLAGS", flags);
    }
}

bool& EngineUsableFlag() {
    static bool usable = false;
    return usable;
}

QWebEngineScript MakeScript(const QString& name, const QString& source,
                            QWebEngineScript::InjectionPoint point) {
    QWebEngineScript script;
    script.setName(name);
    script.setSourceCode(source);
    script.setInjectionPoint(point);
    script.setWorldId(QWebEngineScript::MainWorld);
    script.setRunsOnSubFrames(false);
    return script;
}

}  // namespace

TCppWebBrowser::TCppWebBrowser(QWidget* parent) : QWebEngineView(parent) {}

bool TCppWebBrowser::EnsurePage() {
    if (page_ != nullptr) {
        return true;
    }
    if (!EngineUsable()) {
        return false;
    }
    // Off the record: the banner leaves no cache or cookies on the disk.
    auto* profile = new QWebEngineProfile(this);
    files_ = new LocalFiles(profile);
    profile->installUrlSchemeHandler(LocalScheme, files_);
    profile->setUrlRequestInterceptor(new LocalRequestsOnly(profile));

    auto* page = new BannerPage(profile, this);
    page_ = page;
    QWebEngineSettings* settings = page->settings();
    settings->setAttribute(QWebEngineSettings::PlaybackRequiresUserGesture, false);
    settings->setAttribute(QWebEngineSettings::JavascriptCanOpenWindows, true);
    settings->setAttribute(QWebEngineSettings::ErrorPageEnabled, false);
    settings->setAttribute(QWebEngineSettings::LocalContentCanAccessRemoteUrls, false);
    page->scripts().insert(MakeScript(QStringLiteral("fetch-bridge"), FetchBridgeScript(),
                                      QWebEngineScript::DocumentCreation));
    page->scripts().insert(MakeScript(QStringLiteral("player-loader"), PlayerLoaderScript(),
                                      QWebEngineScript::DocumentReady));
    setPage(page);

    connect(page, &QWebEnginePage::loadStarted, this, &TCppWebBrowser::OnLoadStarted);
    connect(page, &QWebEnginePage::loadFinished, this, &TCppWebBrowser::OnLoadFinished);
    connect(page, &QWebEnginePage::renderProcessTerminated, this,
            &TCppWebBrowser::OnRenderProcessTerminated);
    return true;
}

TCppWebBrowser::~TCppWebBrowser() {
    // The page must go before its profile, or the engine complains about a live page.
    if (page_ != nullptr) {
        setPage(nullptr);
        delete page_;
    }
}

void TCppWebBrowser::PrepareApplication() {
    static bool prepared = false;
    if (prepared) {
        return;
    }
    prepared = true;
    EngineUsableFlag() = DecideEngineUsable();
    QuietEngineLogs();
    QWebEngineUrlScheme scheme(LocalScheme);
    scheme.setSyntax(QWebEngineUrlScheme::Syntax::Path);
    scheme.setFlags(QWebEngineUrlScheme::SecureScheme | QWebEngineUrlScheme::CorsEnabled |
                    QWebEngineUrlScheme::LocalAccessAllowed);
    QWebEngineUrlScheme::registerScheme(scheme);
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
}

bool TCppWebBrowser::EngineUsable() {
    return EngineUsableFlag();
}

void TCppWebBrowser::showEvent(QShowEvent* event) {
    // The view's own handler starts the engine.
    if (page_ != nullptr) {
        QWebEngineView::showEvent(event);
    } else {
        QWidget::showEvent(event);
    }
}

void TCppWebBrowser::hideEvent(QHideEvent* event) {
    if (page_ != nullptr) {
        QWebEngineView::hideEvent(event);
    } else {
        QWidget::hideEvent(event);
    }
}

QString TCppWebBrowser::PlayerFolder() {
    return QString::fromStdString(platform::ProgramDir()) + QStringLiteral("ruffle") +
           QDir::separator();
}

void TCppWebBrowser::Navigate(const QString& url, std::function<void()> done) {
    if (!EnsurePage()) {
        // Nothing loads; the caller hears so as it would of a failed navigation.
        if (done) {
            QTimer::singleShot(0, this, std::move(done));
        }
        return;
    }
    navigated_ = std::move(done);
    busy_ = true;
    ShowContents(true);
    setUrl(QUrl(url));
}

void TCppWebBrowser::LoadFromStream(const QByteArray& html) {
    if (!EnsurePage()) {
        return;
    }
    ShowContents(true);
    QUrl base;
    base.setScheme(LocalScheme);
    base.setPath(QStringLiteral("/"));
    busy_ = true;
    // The text is UTF-8 whatever its own meta tag claims: local paths in it are UTF-8.
    page()->setContent(html, QStringLiteral("text/html;charset=UTF-8"), base);
}

void TCppWebBrowser::SetBodyStyle(const QString& property, const QString& value) {
    if (!EnsurePage()) {
        return;
    }
    const QString arguments = QString::fromUtf8(
        QJsonDocument(QJsonArray{property, value}).toJson(QJsonDocument::Compact));
    page()->runJavaScript(
        QStringLiteral(
            "(function (a) { if (document.body) document.body.style[a[0]] = a[1]; })(%1);")
            .arg(arguments));
}

void TCppWebBrowser::AllowLocalFile(const QString& path) {
    if (EnsurePage()) {
        static_cast<LocalFiles*>(files_)->Allow(path);
    }
}

void TCppWebBrowser::OnLoadStarted() {
    busy_ = true;
}

void TCppWebBrowser::OnLoadFinished(bool ok) {
    busy_ = false;
    if (ok) {
        hasDocument_ = true;
        emit DocumentComplete(this);
    }
    if (navigated_) {
        std::exchange(navigated_, {})();
    }
}

void TCppWebBrowser::OnRenderProcessTerminated(
    QWebEnginePage::RenderProcessTerminationStatus status) {
    if (status == QWebEnginePage::NormalTerminationStatus) {
        return;
    }
    // Killed or crashed: the banner goes blank and stays so; reloading could only crash again.
    hasDocument_ = false;
    busy_ = false;
    ShowContents(false);
    if (navigated_) {
        std::exchange(navigated_, {})();
    }
}

void TCppWebBrowser::ShowContents(bool show) {
    for (QWidget* child : findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        child->setVisible(show);
    }
}
