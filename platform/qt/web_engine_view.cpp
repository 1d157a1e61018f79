#include "platform/qt/web_engine_view.h"

#include <QElapsedTimer>
#include <QTimer>
#include <QString>
#include <QUrl>
#include <QWebEnginePage>
#include <QWebEngineView>

#include "platform/qt/text.h"

namespace platform {

void UseSoftwareSceneRenderer() {
  if (qEnvironmentVariableIsEmpty("QT_QUICK_BACKEND")) qputenv("QT_QUICK_BACKEND", "software");
}

WebEngineBrowserView::WebEngineBrowserView(QWidget* parent) : view_(new QWebEngineView(parent)) {
  view_->setContextMenuPolicy(Qt::NoContextMenu);
  view_->page()->setBackgroundColor(Qt::black);
  QObject::connect(view_, &QWebEngineView::loadFinished, view_, [this](bool) { DocumentCompleted(); });
  QObject::connect(view_->page(), &QWebEnginePage::renderProcessTerminated, view_,
                   [this](QWebEnginePage::RenderProcessTerminationStatus status, int) {
                     if (status != QWebEnginePage::NormalTerminationStatus) RendererDied();
                   });
}

namespace {
constexpr int kReloadDelayMs = 1000;

std::int64_t MonotonicMillis() {
  static QElapsedTimer clock = [] {
    QElapsedTimer t;
    t.start();
    return t;
  }();
  return clock.elapsed();
}
}  // namespace

void WebEngineBrowserView::RendererDied() {
  ++renderer_.crashes;
  if (recovery_.OnRendererDied(MonotonicMillis()) == RendererRecovery::Action::Reload) {
    const std::string address = address_;
    QTimer::singleShot(kReloadDelayMs, view_, [this, address] {
      if (address != address_) return;  // the kiosk has moved on meanwhile
      recovery_.OnReloaded(MonotonicMillis());
      ++renderer_.reloads;
      view_->setUrl(QUrl(ToQString(address), QUrl::TolerantMode));
    });
    return;
  }
  const std::string failed = address_;
  address_ = "about:blank";
  ++renderer_.giveUps;
  view_->setUrl(QUrl(QStringLiteral("about:blank")));
  RendererGaveUp(failed);
}

WebEngineBrowserView::~WebEngineBrowserView() = default;

QWidget* WebEngineBrowserView::Widget() { return view_; }

void WebEngineBrowserView::Navigate(const std::string& address) {
  address_ = address;
  recovery_.Reset();
  // The addresses carry unescaped blanks and the like; the tolerant parser
  // encodes them as a browser's address bar would.
  view_->setUrl(QUrl(ToQString(address), QUrl::TolerantMode));
}

std::string WebEngineBrowserView::LocationURL() const { return FromQString(view_->url().toString()); }

void WebEngineBrowserView::SetDocumentBackground(const std::string& colour) {
  const QString script = QStringLiteral(
                             "if (document.documentElement) document.documentElement.style.background = '%1';"
                             "if (document.body) document.body.style.background = '%1';")
                             .arg(ToQString(colour));
  view_->page()->runJavaScript(script);
}

}  // namespace platform
