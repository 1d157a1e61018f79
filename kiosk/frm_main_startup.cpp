// Start-up, layout and the end of the program.
#include <QApplication>
#include <QFrame>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QScreen>
#include <QTimer>
#include <QVBoxLayout>

#include "config/kiosk_settings.h"
#include "diag/log.h"
#include "diag/text.h"
#include "kiosk/frm_main.h"
#include "kiosk/message_list.h"
#include "kiosk/pager_listener.h"
#include "kiosk/qt_support.h"
#include "platform/clock.h"
#include "platform/cursor.h"
#include "platform/error.h"
#include "service/rvu_settings.h"

namespace kiosk {

TfrmMain* frmMain = nullptr;

namespace {
constexpr int kDesignedWidth = 969;
constexpr int kDesignedHeight = 603;
}  // namespace

void ClickLabel::mouseReleaseEvent(QMouseEvent* event) {
  QLabel::mouseReleaseEvent(event);
  if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()) && onClick) onClick();
}

KeyBox::KeyBox(QWidget* parent) : QLineEdit(parent) {
  setFrame(false);
  setContextMenuPolicy(Qt::NoContextMenu);
}

void KeyBox::keyPressEvent(QKeyEvent* event) {
  // Only keys that type a character count (Shift or an arrow alone do not),
  // and only a character of the single-byte set: one outside it (the euro
  // sign, say) does nothing but keep the focus here.
  const QString typed = event->text();
  if (typed.size() == 1 && typed[0].unicode() <= 0xFF) {
    if (onKeyPress) onKeyPress(static_cast<char>(typed[0].unicode()));
  } else if (!typed.isEmpty()) {
    setFocus();
  }
  QLineEdit::keyPressEvent(event);
  if (text().size() > 64) clear();  // its text is never used
}

TfrmMain::TfrmMain(std::unique_ptr<platform::BrowserView> browser, platform::MessageBoxes& boxes,
                   service::UnitService& unitService, std::function<void()> terminate, KioskOptions options)
    : QWidget(nullptr, Qt::Window | Qt::FramelessWindowHint),
      browser_(std::move(browser)),
      boxes_(boxes),
      unitService_(unitService),
      terminate_(std::move(terminate)),
      options_(options) {
  CreateComponents();
  // The service readers switch the busy cursor while they wait.
  platform::SetCursorHook([this](bool busy) { SetBusyCursor(busy); });
}

TfrmMain::~TfrmMain() {
  platform::SetCursorHook({});
  if (pointerHidden_) QApplication::restoreOverrideCursor();
  if (frmMain == this) frmMain = nullptr;
}

// The window's own cursor; the hidden pointer (the application's override
// cursor) stays on top of it, so nothing is seen while the pointer is hidden.
void TfrmMain::SetBusyCursor(bool busy) {
  if (busy)
    setCursor(Qt::WaitCursor);
  else
    unsetCursor();
}

void TfrmMain::CreateComponents() {
  resize(kDesignedWidth, kDesignedHeight);
  setAutoFillBackground(true);
  QPalette black = palette();
  black.setColor(QPalette::Window, Qt::black);
  setPalette(black);

  Timer = new QTimer(this);
  Timer->setInterval(1000);
  // The clock shows seconds: a coarse timer may come up to 5 % (50 ms) late
  // by design, on top of whatever holds the thread.
  Timer->setTimerType(Qt::PreciseTimer);
  connect(Timer, &QTimer::timeout, this, [this] {
    try {
      TimerTimer();
    } catch (const std::exception& e) {
      // Nothing may escape into the event loop; the next tick tries again.
      diag::LogEntry({30000, 0, "[Function=Main.TimerTimer][ClassName=" + platform::ErrorClassName(e) +
                                    "][Message=" + std::string(e.what()) + "]", 0});
    }
  });
  Timer->start();

  pnlWebBrowser = new QWidget(this);
  pnlWebBrowser->setGeometry(40, 40, 589, 483);
  auto* browserLayout = new QVBoxLayout(pnlWebBrowser);
  browserLayout->setContentsMargins(0, 0, 0, 0);
  WebBrowser = browser_.get();
  browserLayout->addWidget(WebBrowser->Widget());
  WebBrowser->OnDocumentComplete([this] { WebBrowserDocumentComplete(); });
  WebBrowser->OnRendererGaveUp([](const std::string& address) {
    diag::LogEntry({30000, 0,
                    "[Function=Main.WebBrowser][Version=" + diag::Globals.ProgramVersion +
                        "][Message=The page renderer died three times in a row; showing the blank page][URL=" +
                        address + "]",
                    0});
  });

  rchMessages = new MessageList(this);
  rchMessages->setGeometry(639, 40, 290, 97);

  lblPageJ = new QLabel(this);
  lblPageJ->setGeometry(40, 523, 869, 40);
  lblPageJ->setAutoFillBackground(true);
  QPalette ticker = lblPageJ->palette();
  ticker.setColor(QPalette::Window, Qt::black);
  ticker.setColor(QPalette::WindowText, Qt::white);
  lblPageJ->setPalette(ticker);
  lblPageJ->setFont(KioskFont(32, false));
  lblPageJ->setTextFormat(Qt::PlainText);  // page J and debug datagrams come from outside

  // Made after the ticker, so the clock lies on top where the two overlap.
  lblTime = new ClickLabel(this);
  QPalette clock = lblTime->palette();
  clock.setColor(QPalette::WindowText, Qt::red);
  lblTime->setPalette(clock);
  lblTime->setFont(KioskFont(64, true));
  lblTime->setTextFormat(Qt::PlainText);
  lblTime->move(669, 523);
  lblTime->onClick = [this] { lblTimeClick(); };

  txtCaptureKeystrokes = new KeyBox(this);
  txtCaptureKeystrokes->setGeometry(8, 8, 121, 21);
  QPalette keyBox = txtCaptureKeystrokes->palette();  // black on black: there, but not seen
  keyBox.setColor(QPalette::Base, Qt::black);
  keyBox.setColor(QPalette::Text, Qt::black);
  txtCaptureKeystrokes->setPalette(keyBox);
  txtCaptureKeystrokes->onKeyPress = [this](char key) {
    // An error escaping a key's action is shown as the window system's standard
    // error box would show it; the key's information box and focus step are skipped.
    try {
      txtCaptureKeystrokesKeyPress(key);
    } catch (const std::exception& e) {
      boxes_.ShowError(e.what());
    }
  };

  pnlSummary = new QFrame(this);
  pnlSummary->setFrameShape(QFrame::NoFrame);
  pnlSummary->setGeometry(240, 448, 609, 541);
  CreateSummaryLabels();
  pnlSummary->hide();

  IdUDPServer1 = new PagerListener(
      options_.pagerPort,
      [this](const std::string& data, const platform::IpAddress& sender) { IdUDPServer1UDPRead(data, sender); },
      this);
}

void TfrmMain::FormCreate() {
  const platform::TDateTime now = platform::Now();
  State.LastPacketTime = now;
  State.CommsLostReported = false;
  pnlSummary->resize(1, 1);
  pnlSummary->move(width(), pnlSummary->y());
  WebBrowser->Navigate("about:blank");
  AddMessage("KIOSK " + diag::GetFileVersionText() + " STARTED", kWhite);

  service::tRVUSettings settings;
  service::InitRVUSettings(settings);
  service::ServiceSettings = settings;

  diag::Globals.ProgramVersion = diag::GetFileVersionText();
  diag::Globals.Log.ProgramId = "VUDURE";

  if (!config::GetSettings()) AddMessage("Error loading RVUKiosk.XML", kWhite);
  ReadStationSettings();
  StartAlert();
  pnlWebBrowser->setVisible(config::KioskSettings.BrowserVisible);
  random_.seed(static_cast<std::mt19937::result_type>(platform::CurrentClock().UnixMillis()));

  // Without a window manager "maximised" alone does nothing: take the screen's
  // geometry as well.
  setWindowState(windowState() | Qt::WindowMaximized);
  if (QScreen* display = screen()) setGeometry(display->geometry());

  State.ScreenSaverUntil = platform::Now() + platform::kOneHour;
  State.TickCount = -1;
  State.HoldScreenUntil = platform::Now();
  State.CurrentIncident.RecordFound = false;
  lblTime->clear();
  lblPageJ->clear();
  txtCaptureKeystrokes->resize(1, 1);
  // The pointer stays hidden from here to the end, over the web view too.
  if (!pointerHidden_) QApplication::setOverrideCursor(Qt::BlankCursor);
  pointerHidden_ = true;

  if (!IdUDPServer1->Listening()) {
    ReportListenFailure();
  } else {
    // Once per start: the burst room the pager port really has (the system's
    // limit may grant less than asked).
    diag::LogEntry({kReceiveBufferNoteCode, 0,
                    ReceiveBufferNoteText(IdUDPServer1->Port(), IdUDPServer1->ReceiveBufferBytes(),
                                          platform::DatagramReceiver::kReceiveBufferBytes),
                    0});
  }
}

void TfrmMain::ReportListenFailure() {
  const std::string error = FromQString(IdUDPServer1->ErrorText());
  AddMessage("Cannot listen on UDP port " + std::to_string(options_.pagerPort) + ": " + error, kWhite);
  diag::LogEntry({30000, 0,
                  "[Function=Main.FormCreate][Version=" + diag::Globals.ProgramVersion + "][ClassName=ESocketError]" +
                      "[Message=" + error + "][Notes=UDPPort=" + std::to_string(options_.pagerPort) + "]",
                  0});
}

void TfrmMain::ReadStationSettings() {
  if (options_.stationSettingsFile.empty()) return;
  const config::StationSettingsResult read = config::ReadStationSettings(options_.stationSettingsFile);
  StationSettings = read.settings;
  const std::string function = "[Function=Main.FormCreate][Version=" + diag::Globals.ProgramVersion + "]";
  for (const std::string& problem : read.problems)
    diag::LogEntry({kStationSettingsProblemCode, 0,
                    function + "[Message=" + problem + "][FileName=" + options_.stationSettingsFile + "]", 0});
  if (const auto& hosts = StationSettings.commandHosts) {
    std::string list;
    for (const config::IpNetwork& network : *hosts)
      list += (list.empty() ? "" : ",") + platform::IpAddressText(network.address) + "/" +
              std::to_string(network.prefix);
    diag::LogEntry({kCommandHostsCode, 0, function + "[CommandHosts=" + list + "]", 0});
  }
}

void TfrmMain::FormActivate() { txtCaptureKeystrokes->setFocus(); }

void TfrmMain::changeEvent(QEvent* event) {
  QWidget::changeEvent(event);
  if (event->type() == QEvent::ActivationChange && isActiveWindow()) FormActivate();
}

void TfrmMain::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  FormResize();
}

void TfrmMain::FormResize() {
  NoteLook(IsDark(platform::Now(), State.ScreenSaverUntil));
  if (IsDark(platform::Now(), State.ScreenSaverUntil)) {
    lblPageJ->hide();
    pnlWebBrowser->hide();
    pnlSummary->hide();
    rchMessages->hide();
    return;
  }
  lblPageJ->show();
  rchMessages->show();
  pnlWebBrowser->setVisible(config::KioskSettings.BrowserVisible);

  const KioskLayout layout = ComputeLayout(width(), height(), config::KioskSettings.BrowserVisible);
  lblPageJ->setGeometry(layout.ticker.left, layout.ticker.top, layout.ticker.width, lblPageJ->height());
  pnlWebBrowser->setGeometry(layout.browser.left, layout.browser.top, layout.browser.width, layout.browser.height);
  lblTime->move(layout.clockLeft, layout.clockTop);
  rchMessages->setGeometry(layout.messages.left, layout.messages.top, layout.messages.width, layout.messages.height);
  if (config::KioskSettings.DebugMode)
    lblPageJ->setText(ToQString("[LISTENING ON UDP PORT " + std::to_string(kPagerPort) + ". SET IN RVUKIOSK.XML]"));
  PlaceSummary();
}

void TfrmMain::PlaceSummary() {
  // The browser panel as the screen shows it: a browser switch whose save
  // failed has changed the setting but not yet the layout.
  const bool seen = SummarySeen(IsDark(platform::Now(), State.ScreenSaverUntil), !pnlWebBrowser->isHidden(),
                                State.SummaryStep);
  if (seen) {
    pnlSummary->setGeometry(pnlWebBrowser->geometry());
    CentreSummaryGrid();
    pnlSummary->raise();
  }
  pnlSummary->setVisible(seen);
}

void TfrmMain::SetSummaryStep(bool summaryStep) {
  State.SummaryStep = summaryStep;
  PlaceSummary();
}

void TfrmMain::lblTimeClick() { RequestTerminate(); }

// The event loop ends once the current handler returns; until then nothing
// more that arrives is handled.
void TfrmMain::RequestTerminate() {
  terminating_ = true;
  if (terminate_) terminate_();
}

}  // namespace kiosk
