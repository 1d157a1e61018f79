// The task summary screen.
#include <QFrame>
#include <QTimer>

#include "kiosk/frm_main.h"
#include "kiosk/qt_support.h"

namespace kiosk {

namespace {

// The designed arrangement of the grid, in the panel's designed coordinates.
using service::kSummaryColumns;
using service::kSummaryRows;

constexpr int kColumnLefts[kSummaryColumns] = {124, 212, 300, 388, 476};
constexpr int kRowTops[kSummaryRows] = {132, 212, 292, 372, 452};
constexpr int kCellWidth = 80;
constexpr int kCellHeight = 70;
constexpr int kGridLeft = 80, kGridTop = 80, kGridRight = 556, kGridBottom = 522;
const char* const kColumnHeaders[kSummaryColumns] = {"REC", "ACK", "MOB", "CSD", "TOT"};
const char* const kRowHeaders[kSummaryRows] = {"P1", "P2", "P3", "P7", "Total"};
const std::uint32_t kRowColours[kSummaryRows] = {kRed, kYellow, kWhite, kLime, 0xC0C0C0 /* button face */};

QLabel* MakeLabel(QWidget* parent, const QString& text, std::uint32_t background, int left, int top, int width,
                  int height) {
  auto* label = new QLabel(parent);
  label->setTextFormat(Qt::PlainText);  // the cells show the service's answer as it stands
  label->setText(text);
  label->setAlignment(Qt::AlignCenter);
  label->setFont(KioskFont(16, true));
  label->setAutoFillBackground(true);
  QPalette palette = label->palette();
  palette.setColor(QPalette::Window, ToQColor(background));
  palette.setColor(QPalette::WindowText, Qt::black);
  label->setPalette(palette);
  label->setGeometry(left, top, width, height);
  return label;
}

}  // namespace

void TfrmMain::CreateSummaryLabels() {
  pnlSummary->setAutoFillBackground(true);
  QPalette black = pnlSummary->palette();
  black.setColor(QPalette::Window, Qt::black);
  pnlSummary->setPalette(black);

  summaryGrid_ = new QWidget(pnlSummary);
  summaryGrid_->resize(kGridRight, kGridBottom);

  lblTitle = new QLabel(summaryGrid_);
  lblTitle->setTextFormat(Qt::PlainText);
  lblTitle->setText(QStringLiteral("Tasks stats"));
  QFont title = KioskFont(21, true);
  title.setUnderline(true);
  lblTitle->setFont(title);
  QPalette white = lblTitle->palette();
  white.setColor(QPalette::WindowText, Qt::white);
  lblTitle->setPalette(white);
  lblTitle->move(124, 80);
  lblTitle->adjustSize();

  for (int c = 0; c < kSummaryColumns; ++c)
    MakeLabel(summaryGrid_, QString::fromLatin1(kColumnHeaders[c]), 0xC0C0C0, kColumnLefts[c], 108, kCellWidth, 17);
  for (int r = 0; r < kSummaryRows; ++r) {
    MakeLabel(summaryGrid_, QString::fromLatin1(kRowHeaders[r]), kRowColours[r], 80, kRowTops[r], 37, kCellHeight);
    for (int c = 0; c < kSummaryColumns; ++c)
      lblSummaryCells[static_cast<size_t>(r)][static_cast<size_t>(c)] = MakeLabel(
          summaryGrid_, QStringLiteral("0"), kRowColours[r], kColumnLefts[c], kRowTops[r], kCellWidth, kCellHeight);
  }
}

// The grid keeps its designed arrangement, centred in the panel.
void TfrmMain::CentreSummaryGrid() {
  summaryGrid_->move((pnlSummary->width() - kGridRight - kGridLeft) / 2,
                     (pnlSummary->height() - kGridBottom - kGridTop) / 2);
}

void TfrmMain::ShowTaskSummary() {
  const std::string unit = "JUX";
  const std::string days = "1";
  TimerPause pause(Timer);  // runs again on every way out, failure included

  SetSummaryStep(true);
  ShownScreen = Screen::TaskSummary;
  const service::tTaskSummary summary = unitService_.TaskSummary(unit, days);
  // A summary that cannot be had leaves the labels as they were, silently.
  if (!summary.Success) return;
  lblTitle->setText(ToQString(service::TaskSummaryTitle(unit, days)));
  lblTitle->adjustSize();
  for (size_t r = 0; r < summary.Cells.size(); ++r)
    for (size_t c = 0; c < summary.Cells[r].size(); ++c)
      lblSummaryCells[r][c]->setText(ToQString(std::string(LabelText(summary.Cells[r][c], kSummaryCellMaxChars))));
}

}  // namespace kiosk
