// The browser screens.
#include <QFrame>
#include <QTimer>

#include "config/kiosk_settings.h"
#include "diag/log.h"
#include "diag/text.h"
#include "kiosk/frm_main.h"
#include "platform/clock.h"
#include "service/endpoints.h"
#include "service/rvu_settings.h"

namespace kiosk {

namespace {
constexpr platform::TDateTime kMapHold = 20 * platform::kOneMinute;  // one seventy-second of a day
}  // namespace

TfrmMain::TimerPause::TimerPause(QTimer* timer) : timer_(timer) { timer_->stop(); }
// The timer runs again however the screen routine ends, so no failure can stop
// the clock for good.
TfrmMain::TimerPause::~TimerPause() { timer_->start(); }

void TfrmMain::ShowGoogleMap() {
  SetSummaryStep(false);
  TimerPause pause(Timer);
  ShownScreen = Screen::RouteMap;
  service::tIncidentRec& incident = State.CurrentIncident;
  if (!incident.RecordFound) {
    incident.Pager.Page.RVUUnit.clear();
    incident.Pager.Page.MFSIncNo = 0;
    incident.Pager.Page.ZAVDateTime = 0;
    incident = unitService_.IncidentRecord(incident);
  }
  if (incident.RecordFound) {
    const service::tZAVPageRec& page = incident.Pager.Page;
    State.HoldScreenUntil = page.ZAVDateTime + kMapHold;
    const std::string address =
        service::RouteMapAddress(service::ServiceSettings.WWWHost, service::ServiceSettings.URI, page.MFSIncNo,
                                 page.ZAVDateTime, page.Street, page.Suburb);
    diag::LogEntry({66666, 0, "[Function=Main.ShowGoogleMap][URL=" + address + "]", 0});
    WebBrowser->Navigate(address);
  } else {
    AddMessage("GOOGLE MAP - INVALID INCIDIENT DETAILS", kRed);
  }
}

void TfrmMain::ShowWeatherPage() {
  SetSummaryStep(false);
  TimerPause pause(Timer);
  ShownScreen = Screen::Weather;
  WebBrowser->Navigate(service::WeatherPageAddress(service::ServiceSettings.WWWHost));
}

void TfrmMain::ShowChartPage(int index) {
  SetSummaryStep(false);
  TimerPause pause(Timer);
  ShownScreen = Screen::Chart0;
  const std::string address = service::ChartPageAddress(service::ServiceSettings.WWWHost, index);
  if (!address.empty()) WebBrowser->Navigate(address);
}

void TfrmMain::ShowKioskPicture(const service::tRVUSrvc& status) {
  SetSummaryStep(false);
  if (status.KioskPix <= 0) return;
  const int number = std::uniform_int_distribution<int>(0, status.KioskPix - 1)(random_) + 1;
  TimerPause pause(Timer);
  ShownScreen = Screen::Picture;
  WebBrowser->Navigate(service::KioskPictureAddress(service::ServiceSettings.WWWHost, number));
}

void TfrmMain::WebBrowserDocumentComplete() {
  if (diag::TrimText(WebBrowser->LocationURL()) == "about:blank") WebBrowser->SetDocumentBackground("#000000");
}

}  // namespace kiosk
