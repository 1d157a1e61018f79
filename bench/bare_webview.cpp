// The baseline program: a bare Qt window, full screen, with one QWebEngineView
// where the kiosk has its browser panel, on the address given (about:blank
// without one), and nothing else. Once the page has loaded it shows a red mark
// where the kiosk shows its clock, so that the watcher that waits for the
// kiosk's red clock sees this program's first loaded page the same way.
//
//   bare_webview [URL]
#include <QApplication>
#include <QFont>
#include <QLabel>
#include <QScreen>
#include <QUrl>
#include <QWebEngineView>

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QWidget window(nullptr, Qt::Window | Qt::FramelessWindowHint);
  window.setAutoFillBackground(true);
  QPalette black = window.palette();
  black.setColor(QPalette::Window, Qt::black);
  window.setPalette(black);
  const QRect screen = QGuiApplication::primaryScreen()->geometry();
  window.setGeometry(screen);

  auto* view = new QWebEngineView(&window);
  view->setGeometry(40, 40, std::max(0, std::min(screen.width() - 380, 1250)), std::max(0, screen.height() - 120));

  auto* mark = new QLabel(QStringLiteral("00:00:00"), &window);
  QFont font(QStringLiteral("Liberation Sans"));
  font.setPixelSize(64);
  font.setBold(true);
  mark->setFont(font);
  QPalette red = mark->palette();
  red.setColor(QPalette::WindowText, Qt::red);
  mark->setPalette(red);
  mark->adjustSize();
  mark->move(screen.width() - 300, screen.height() - 80);
  mark->hide();
  QObject::connect(view, &QWebEngineView::loadFinished, mark, &QWidget::show);

  view->setUrl(argc > 1 ? QUrl(QString::fromLocal8Bit(argv[1])) : QUrl(QStringLiteral("about:blank")));
  window.show();
  return QApplication::exec();
}
