// The main window's controls: log area, GPS strip with the S-meters, status bar.
#include <QComboBox>
#include <QFontMetricsF>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLocale>
#include <QProgressBar>
#include <QSplitter>
#include <QStatusBar>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>
#include <clocale>

#include "LogView.h"
#include "PortNameBox.h"
#ifdef ZELVAR_PUBLISH
#include "PublishControl.h"
#endif
#include "SettingsStore.h"
#include "WindowFonts.h"
#include "ZelvarMain.h"

namespace {

constexpr int kMinWidth = 875;
constexpr int kMinHeight = 300;
constexpr int kSplitterWidth = 2;
constexpr int kGpsStripHeight = 34;
constexpr int kPortBoxWidth = 64;
// A longer name than fits is cut in the box rather than crowd the strip.
constexpr int kPortBoxMaxWidth = 240;
constexpr int kStatusBarHeight = 18;
constexpr std::array<int, 7> kPanelWidths = {155, 175, 120, 120, 100, 100, 260};
// The longest texts each panel shows, counts at their largest. The list of
// selected types in panel 5 and the GPS's notices are cut when long.
const std::array<QStringList, 7> kLongestPanelTexts = {
    QStringList{QStringLiteral(" Auto Save 65 535 Text + Hex"),
                QStringLiteral(" Auto Save Failing: 4294967295")},
    QStringList{QStringLiteral(" T 4294967295 / H 4294967295")},
    QStringList{QStringLiteral(" Settings Not Saved"), QStringLiteral(" Recovering 100%")},
    QStringList{QStringLiteral(" Socket Error")},
    QStringList{QStringLiteral(" Not selected type of package")},
    QStringList{QStringLiteral(" Lost 4294967295")},
    QStringList{QStringLiteral(" MQTT: connected, queued 4294967295, dropped 4294967295"),
                QStringLiteral(" MQTT: offline, queued 4294967295, dropped 4294967295")}};
constexpr int kMeterMax = 9;
constexpr int kMeterWidth = 60;
constexpr int kMeterHeight = 10;
zelvar::LogView* makeLogView(const QString& name, QWidget* parent) {
    auto* view = new zelvar::LogView(name, parent);
    view->setFont(zelvar::LogViewFont());
    return view;
}

}  // namespace

TMainForm::TMainForm(zelvar::Settings& settings, QWidget* parent)
    : QMainWindow(parent),
      settings_(settings),
      model_(settings_, *this, dialogs_) {
    // Numbers are written with "." whatever the user's locale; the C library
    // follows the locale that the application object has switched to.
    std::setlocale(LC_NUMERIC, "C");
    QLocale::setDefault(QLocale::c());

    setObjectName(QStringLiteral("MainForm"));
    setWindowTitle(QStringLiteral(" Zelvar 1.0.9.4   GPS BU 353"));
    setMinimumSize(kMinWidth, kMinHeight);
    resize(settings_.fWidth, settings_.fHeight);

    auto* central = new QWidget(this);
    auto* layout = new QVBoxLayout(central);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    setCentralWidget(central);

    buildLogArea();
    layout->addWidget(LogSplitter, 1);
    buildGpsStrip();
    layout->addWidget(GPSPanel);
    buildStatusBar();
    buildMenus();
}

TMainForm::~TMainForm() {
#ifdef ZELVAR_PUBLISH
    // A child, which would go only after the model it hands packages to.
    delete publishing_;
#endif
}

void TMainForm::buildLogArea() {
    LogSplitter = new QSplitter(Qt::Vertical, centralWidget());
    LogSplitter->setObjectName(QStringLiteral("LogSplitter"));
    LogSplitter->setHandleWidth(kSplitterWidth);
    LogSplitter->setChildrenCollapsible(false);

    Memo1 = makeLogView(QStringLiteral("Memo1"), LogSplitter);
    HexPanel = new QWidget(LogSplitter);
    HexPanel->setObjectName(QStringLiteral("HexPanel"));
    auto* hexLayout = new QVBoxLayout(HexPanel);
    hexLayout->setContentsMargins(0, 0, 0, 0);
    Memo2 = makeLogView(QStringLiteral("Memo2"), HexPanel);
    hexLayout->addWidget(Memo2);
    Memo1->setMinimumHeight(1);
    HexPanel->setMinimumHeight(1);

    LogSplitter->addWidget(Memo1);
    LogSplitter->addWidget(HexPanel);
    // Only the text log grows with the window; the hex pane keeps its height.
    LogSplitter->setStretchFactor(0, 1);
    LogSplitter->setStretchFactor(1, 0);
    setHexPaneHeight(settings_.mHeight);

    Memo1->installEventFilter(this);
    Memo2->installEventFilter(this);
}

void TMainForm::buildGpsStrip() {
    GPSPanel = new QWidget(centralWidget());
    GPSPanel->setObjectName(QStringLiteral("GPSPanel"));
    // The status bar's narrow face: the desktop's, on a machine with only
    // wide faces, would not leave the strip whole at the least window width.
    GPSPanel->setFont(zelvar::StatusBarFont());
    auto* strip = new QHBoxLayout(GPSPanel);
    strip->setContentsMargins(4, 2, 4, 2);
    strip->setSpacing(6);

    sbCOMM = new QToolButton(GPSPanel);
    sbCOMM->setObjectName(QStringLiteral("sbCOMM"));
    sbCOMM->setText(QStringLiteral("Start GPS"));
    sbCOMM->setCheckable(true);
    strip->addWidget(sbCOMM);
    // `clicked`, not `toggled`: the strip springs the toggle up itself after
    // an unplug, and that must not run the command again.
    connect(sbCOMM, &QToolButton::clicked, this, [this] { model_.startGpsClicked(); });

    auto* portLabel = new QLabel(QStringLiteral("Port:"), GPSPanel);
    strip->addWidget(portLabel);
    portBox_ = new zelvar::PortNameBox(kPortBoxWidth, kPortBoxMaxWidth, GPSPanel);
    cbPort = portBox_;
    cbPort->setObjectName(QStringLiteral("cbPort"));
    strip->addWidget(cbPort);
    // Picking a port remembers it; filling the box at start-up does not.
    connect(cbPort, &QComboBox::activated, this,
            [this](int index) { settings_.numCom = cbPort->itemText(index).toStdString(); });

    // Each label is as wide as the longest text a receiver gives it, in the
    // strip's face, and keeps its place while hidden: the strip's least width
    // is then known before the first fix.
    const auto makeGpsLabel = [this, strip](const char* name, const char* longest) {
        auto* label = new QLabel(GPSPanel);
        label->setObjectName(QLatin1String(name));
        label->setText(QLatin1String(longest));
        label->setMinimumWidth(label->minimumSizeHint().width());
        label->clear();
        QSizePolicy policy = label->sizePolicy();
        policy.setRetainSizeWhenHidden(true);
        label->setSizePolicy(policy);
        label->setVisible(false);
        strip->addWidget(label);
        return label;
    };
    LabelGPSTime = makeGpsLabel("LabelGPSTime", "00.00.0000 00:00:00");
    LabelLat = makeGpsLabel("LabelLat", "Lat: 0000.00000,N");
    LabelLon = makeGpsLabel("LabelLon", "Lon: 00000.00000,E");
    LabelPDOP = makeGpsLabel("LabelPDOP", "PDOP: 00.0");
    strip->addStretch(1);

    strip->addWidget(new QLabel(QStringLiteral("S-Metr"), GPSPanel));
    auto* meters = new QGridLayout();
    meters->setContentsMargins(0, 0, 0, 0);
    meters->setHorizontalSpacing(4);
    meters->setVerticalSpacing(2);
    std::array<QProgressBar*, 4> bars{};
    for (int port = 1; port <= 4; ++port) {
        auto* bar = new QProgressBar(GPSPanel);
        bar->setObjectName(QStringLiteral("SMetr%1").arg(port));
        bar->setRange(0, kMeterMax);
        bar->setValue(0);
        bar->setTextVisible(false);
        bar->setFixedSize(kMeterWidth, kMeterHeight);
        bar->setToolTip(QStringLiteral("Port %1").arg(port));
        // Ports 1 and 2 in the left column, 3 and 4 in the right.
        const int row = (port - 1) % 2;
        const int column = (port - 1) / 2 * 2;
        meters->addWidget(new QLabel(QString::number(port), GPSPanel), row, column);
        meters->addWidget(bar, row, column + 1);
        bars[static_cast<std::size_t>(port - 1)] = bar;
    }
    SMetr1 = bars[0];
    SMetr2 = bars[1];
    SMetr3 = bars[2];
    SMetr4 = bars[3];
    strip->addLayout(meters);
    // A face taller or wider than the strip was drawn for gets the room it
    // needs rather than cut a label.
    GPSPanel->setFixedHeight(std::max(kGpsStripHeight, strip->minimumSize().height()));
    setMinimumWidth(std::max(kMinWidth, strip->minimumSize().width()));
}

void TMainForm::buildStatusBar() {
    auto* bar = new QStatusBar(this);
    bar->setObjectName(QStringLiteral("StatusBar"));
    bar->setFixedHeight(kStatusBarHeight);
    bar->setSizeGripEnabled(true);
    // The panels' widths were made for a small 8-point face; the desktop's
    // larger default would cut the auto-save status short.
    bar->setFont(zelvar::StatusBarFont());
    for (std::size_t i = 0; i < statusPanels_.size(); ++i) {
        auto* panel = new QLabel(bar);
        panel->setObjectName(QStringLiteral("StatusPanel%1").arg(i + 1));
        zelvar::SetUpStatusPanel(*panel, kPanelWidths[i], kLongestPanelTexts[i]);
        bar->addWidget(panel);
        statusPanels_[i] = panel;
    }
    // The count of lost datagrams shows only once there is one; the
    // publishing panel only while publishing is on.
    statusPanels_[5]->hide();
    statusPanels_[6]->hide();
    setStatusBar(bar);
    setStatusText(4, QStringLiteral(" Stopped"));
}

QProgressBar* TMainForm::sMeter(int port) const {
    switch (port) {
        case 1:
            return SMetr1;
        case 2:
            return SMetr2;
        case 3:
            return SMetr3;
        case 4:
            return SMetr4;
        default:
            return nullptr;
    }
}

void TMainForm::drawStatusNow() {
    statusPanels_[1]->repaint();
    statusPanels_[2]->repaint();
}

QString TMainForm::statusText(int panel) const {
    return statusPanels_.at(static_cast<std::size_t>(panel - 1))->text();
}

void TMainForm::setStatusText(int panel, const QString& text) {
    QLabel* label = statusPanels_.at(static_cast<std::size_t>(panel - 1));
    label->setText(text);
    if (panel >= 6) label->setVisible(!text.isEmpty());
}

void TMainForm::setSMeter(int port, int position) {
    if (QProgressBar* bar = sMeter(port)) bar->setValue(std::clamp(position, 0, kMeterMax));
}

int TMainForm::hexPaneHeight() const {
    return HexPanel->height();
}

void TMainForm::setHexPaneHeight(int height) {
    // The text log takes whatever the hex pane leaves, now and on every resize.
    LogSplitter->setSizes({std::max(LogSplitter->height() - height, 1), std::max(height, 0)});
}

void TMainForm::setSerialPorts(const QStringList& names) {
    portBox_->setNames(names);
    if (names.isEmpty()) return;
    const qsizetype remembered = names.lastIndexOf(QString::fromStdString(settings_.numCom));
    cbPort->setCurrentIndex(static_cast<int>(remembered >= 0 ? remembered : names.size() - 1));
}

void TMainForm::setStatusHint(int panel, const QString& hint) {
    statusPanels_.at(static_cast<std::size_t>(panel - 1))->setToolTip(hint);
}

void TMainForm::setSettingsStore(std::unique_ptr<zelvar::SettingsStore> store) {
    store_ = std::move(store);
}

void TMainForm::storeSettings() {
    if (!store_) store_ = std::make_unique<zelvar::SettingsStore>();
    if (!store_->save(settings_)) settingsNotSaved();
}

void TMainForm::checkSettingsStore() {
    if (store_ && !store_->writable()) settingsNotSaved();
}

void TMainForm::settingsNotSaved() {
    if (settingsTroubleShown_) return;
    settingsTroubleShown_ = true;
    setStatusText(3, QStringLiteral(" Settings Not Saved"));
    setStatusHint(3, store_->writeFailureText());
}

QString TMainForm::gpsPortName() const {
    return cbPort->currentText();
}

void TMainForm::showGpsLabels(const QString& time, const QString& lat, const QString& lon,
                              const QString& pdop) {
    LabelGPSTime->setText(time);
    LabelLat->setText(lat);
    LabelLon->setText(lon);
    LabelPDOP->setText(pdop);
}

void TMainForm::setGpsLabelsVisible(bool visible) {
    for (QLabel* label : {LabelGPSTime, LabelLat, LabelLon, LabelPDOP}) label->setVisible(visible);
}

void TMainForm::setSerialPortLister(std::function<QStringList()> lister) {
    serialPortLister_ = std::move(lister);
}
