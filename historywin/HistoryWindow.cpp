#include "HistoryWindow.h"

#include <QBuffer>
#include <QCloseEvent>
#include <QFile>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QImage>
#include <QKeyEvent>
#include <QLabel>
#include <QMessageBox>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QSvgGenerator>
#include <QTimer>
#include <QToolTip>
#include <QVBoxLayout>
#include <QWheelEvent>
#include <algorithm>
#include <array>
#include <cmath>
#include <optional>
#include <string_view>
#include <system_error>
#include <utility>
#include <vector>

#include "BusyRuns.h"
#include "DurableFile.h"
#include "HistoryFeed.h"
#include "Settings.h"

namespace zelvar {

namespace {

using Time = SignalHistory::Time;
using Columns = std::vector<SignalHistory::Column>;

// Each wheel notch or +/- key zooms by this much.
constexpr double kZoomStep = 0.8;
constexpr int kLeft = 56;
constexpr int kBottom = 22;
constexpr int kTop = 8;
constexpr int kRight = 12;

class WidgetHistoryDialogs : public HistoryDialogs {
public:
    QString saveFile(QWidget* parent, const QString& caption, const QString& filter) override {
        return QFileDialog::getSaveFileName(parent, caption, QString(), filter);
    }
    QStringList openFiles(QWidget* parent, const QString& caption, const QString& filter) override {
        return QFileDialog::getOpenFileNames(parent, caption, QString(), filter);
    }
    void showError(QWidget* parent, const QString& text) override {
        QMessageBox::warning(parent, QStringLiteral("Signal History"), text);
    }
};

// A time-axis step that gives a label every hundred pixels or so.
Time TickStep(Time span, int width) {
    static constexpr Time steps[] = {1000,        2000,       5000,       10'000,     30'000,
                                     60'000,      120'000,    300'000,    600'000,    1'800'000,
                                     3'600'000,   7'200'000,  21'600'000, 43'200'000, 86'400'000,
                                     172'800'000, 604'800'000};
    const Time wanted = span * 100 / std::max(width, 1);
    for (Time step : steps)
        if (step >= wanted) return step;
    return steps[std::size(steps) - 1] * (wanted / steps[std::size(steps) - 1] + 1);
}

// The line of each opened log, one pixel column a character: '#' drawn,
// '-' left out within the line. A pen's own dashes would not show, as the
// line is made of one-column strokes that each start the pattern afresh.
constexpr std::string_view kLogPatterns[HistoryPlot::kMaxLogs] = {
    "######----", "##---", "########---##---", "###--###--###------"};

// Reads a .hex or .txt log into `log`; what went wrong, or empty. Needs no
// window: it runs beside the event loop.
QString ReadLog(const QString& path, SignalHistory& log, const Settings& settings,
                const std::atomic<bool>& stop) {
    const bool hex = path.endsWith(QStringLiteral(".hex"), Qt::CaseInsensitive);
    if (!hex && !path.endsWith(QStringLiteral(".txt"), Qt::CaseInsensitive))
        return QStringLiteral("not a .hex or .txt log");
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Unbuffered)) return file.errorString();
    try {
        if (hex) {
            FeedHexLog(log, file.handle(), settings, &stop);
        } else {
            FeedTextLog(log, file.handle(), &stop);
        }
    } catch (const std::system_error& error) {
        return QString::fromLocal8Bit(error.code().message());
    }
    Time first = 0;
    Time last = 0;
    if (!log.timeRange(first, last)) return QStringLiteral("it holds no signal report");
    return QString();
}

// Room for the window manager's frame, unknown before the window is shown:
// its title bar and its sides.
constexpr int kTitleAllowance = 40;
constexpr int kSideAllowance = 8;

// A pattern above as a pen's dashes, for the strokes that join reports
// columns apart: each such join is one stroke, so the pen's dashes show.
QList<qreal> DashesOf(std::string_view pattern) {
    QList<qreal> dashes;
    for (std::size_t i = 0; i < pattern.size();) {
        const std::size_t run = pattern.find_first_not_of(pattern[i], i);
        const std::size_t end = run == std::string_view::npos ? pattern.size() : run;
        dashes.append(qreal(end - i));
        i = end;
    }
    return dashes;
}

QString TickText(Time time, Time step) {
    const QDateTime wall = WallClock(time);
    if (step >= 86'400'000) return wall.toString(QStringLiteral("dd.MM"));
    if (wall.time().msecsSinceStartOfDay() == 0) return wall.toString(QStringLiteral("dd.MM"));
    return wall.toString(step < 60'000 ? QStringLiteral("HH:mm:ss") : QStringLiteral("HH:mm"));
}

}  // namespace

HistoryPlot::HistoryPlot(const SignalHistory& history, QWidget* parent)
    : QWidget(parent), history_(history) {
    setObjectName(QStringLiteral("historyPlot"));
    setFocusPolicy(Qt::StrongFocus);
    setMouseTracking(true);
    setMinimumSize(400, 200);
    setAutoFillBackground(true);
    QPalette palette = this->palette();
    palette.setColor(QPalette::Window, Qt::white);
    setPalette(palette);
    showWholeRun();
}

void HistoryPlot::setLogs(std::vector<const SignalHistory*> logs) {
    logs_ = std::move(logs);
    if (logs_.size() > std::size_t{kMaxLogs}) logs_.resize(kMaxLogs);
    refresh();
}

void HistoryPlot::showWholeRun() {
    follow_ = true;
    refresh();
}

void HistoryPlot::refresh() {
    bool any = false;
    Time first = 0;
    Time last = 0;
    for (const SignalHistory* history : sources()) {
        Time from = 0;
        Time to = 0;
        if (!history->timeRange(from, to)) continue;
        first = any ? std::min(first, from) : from;
        last = any ? std::max(last, to) : to;
        any = true;
    }
    if (follow_ && any) window_.setRange(first, last + 1);
    update();
}

std::vector<const SignalHistory*> HistoryPlot::sources() const {
    std::vector<const SignalHistory*> all{&history_};
    all.insert(all.end(), logs_.begin(), logs_.end());
    return all;
}

QRect HistoryPlot::plotArea() const {
    return QRect(kLeft, kTop, std::max(width() - kLeft - kRight, 1),
                 std::max(height() - kTop - kBottom, 1));
}

Time HistoryPlot::timeAt(double x) const {
    const QRect area = plotArea();
    return window_.timeAt(x - area.left(), area.width());
}

void HistoryPlot::paintEvent(QPaintEvent*) {
    const QRect area = plotArea();
    const Time from = window_.from();
    const Time to = window_.to();
    // Per source (the live history, then each log), per port.
    std::vector<std::array<Columns, SignalHistory::kPorts>> ports;
    int low = SignalHistory::kMax;
    int high = -SignalHistory::kMax;
    for (const SignalHistory* history : sources()) {
        auto& source = ports.emplace_back();
        for (int port = 1; port <= SignalHistory::kPorts; ++port) {
            source[std::size_t(port - 1)] = history->columns(port, from, to, area.width());
            for (const auto& column : source[std::size_t(port - 1)]) {
                if (!column.filled) continue;
                low = std::min<int>(low, column.min);
                if (column.max != SignalHistory::kMax) high = std::max<int>(high, column.max);
            }
        }
    }
    if (high < low) high = low;
    if (low == SignalHistory::kMax) {
        low = -130;
        high = -40;
    }
    // Whole tens, and room above for the ceiling.
    low_ = low - ((low % 10) + 10) % 10;
    high_ = std::max(high + 10 - ((high % 10) + 10) % 10, low_ + 10);
    const auto yOf = [&](int level) {
        const int clamped = std::min(level, high_);
        return area.bottom() - double(clamped - low_) * (area.height() - 1) / (high_ - low_);
    };

    QPainter painter(this);
    painter.setPen(QColor(0xdd, 0xdd, 0xdd));
    const QFontMetrics metrics = painter.fontMetrics();
    const int levelStep = std::max(10, (high_ - low_) / 8 / 10 * 10);
    for (int level = low_; level <= high_; level += levelStep) {
        const int y = int(yOf(level));
        painter.setPen(QColor(0xdd, 0xdd, 0xdd));
        painter.drawLine(area.left(), y, area.right(), y);
        painter.setPen(Qt::black);
        painter.drawText(QRect(0, y - metrics.height() / 2, kLeft - 4, metrics.height()),
                         Qt::AlignRight | Qt::AlignVCenter, QString::number(level));
    }
    const Time step = TickStep(to - from, area.width());
    for (Time tick = (from / step + 1) * step; tick < to; tick += step) {
        const int x = area.left() + int(window_.xOf(tick, area.width()));
        painter.setPen(QColor(0xdd, 0xdd, 0xdd));
        painter.drawLine(x, area.top(), x, area.bottom());
        painter.setPen(Qt::black);
        painter.drawText(QRect(x - 60, area.bottom() + 2, 120, kBottom - 2), Qt::AlignHCenter,
                         TickText(tick, step));
    }
    painter.setPen(Qt::gray);
    painter.drawRect(area.adjusted(0, 0, -1, -1));

    std::vector<QLineF> lines;
    std::vector<QLineF> joins;  // across empty columns
    for (std::size_t source = 0; source < ports.size(); ++source) {
        for (int port = 1; port <= SignalHistory::kPorts; ++port) {
            lines.clear();
            joins.clear();
            const Columns& columns = ports[source][std::size_t(port - 1)];
            const std::string_view pattern = source == 0 ? "#" : kLogPatterns[source - 1];
            double previousX = 0;
            double previous = 0;
            bool joined = false;
            for (std::size_t i = 0; i < columns.size(); ++i) {
                const auto& column = columns[i];
                if (!column.filled) continue;
                // A line's ends and lone points are always drawn.
                const bool inside = i > 0 && columns[i - 1].filled && !column.breakBefore &&
                                    i + 1 < columns.size() && columns[i + 1].filled &&
                                    !columns[i + 1].breakBefore;
                if (inside && pattern[i % pattern.size()] != '#') {
                    joined = false;
                    continue;
                }
                const double x = area.left() + double(i) + 0.5;
                const double top = yOf(column.max);
                const double bottom = yOf(column.min);
                const double middle = (top + bottom) / 2;
                if (joined && !column.breakBefore)
                    (x - previousX > 1 ? joins : lines)
                        .emplace_back(previousX, previous, x, middle);
                // A lone column still shows as a dot.
                lines.emplace_back(x, std::min(top, middle - 0.5), x,
                                   std::max(bottom, middle + 0.5));
                previousX = x;
                previous = middle;
                joined = true;
            }
            QPen pen(PortColour(port), 1);
            painter.setPen(pen);
            painter.drawLines(lines.data(), int(lines.size()));
            if (source > 0) pen.setDashPattern(DashesOf(pattern));
            painter.setPen(pen);
            painter.drawLines(joins.data(), int(joins.size()));
        }
    }
}

void HistoryPlot::zoom(double x, double factor) {
    follow_ = false;
    window_.zoomAround(x - kLeft, plotArea().width(), factor);
    update();
}

void HistoryPlot::wheelEvent(QWheelEvent* event) {
    const int notches = event->angleDelta().y() / 120;
    if (notches == 0) return;
    zoom(event->position().x(), std::pow(kZoomStep, notches));
    event->accept();
}

void HistoryPlot::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return;
    dragging_ = true;
    dragX_ = event->position().x();
}

void HistoryPlot::mouseMoveEvent(QMouseEvent* event) {
    if (dragging_) {
        follow_ = false;
        window_.pan(event->position().x() - dragX_, plotArea().width());
        dragX_ = event->position().x();
        update();
    }
    describe(event->position().toPoint());
}

void HistoryPlot::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) dragging_ = false;
}

void HistoryPlot::keyPressEvent(QKeyEvent* event) {
    const QRect area = plotArea();
    const QPoint cursor = mapFromGlobal(QCursor::pos());
    const double x = area.contains(cursor) ? cursor.x() : area.center().x();
    switch (event->key()) {
        case Qt::Key_Plus:
        case Qt::Key_Equal:
            zoom(x, kZoomStep);
            break;
        case Qt::Key_Minus:
            zoom(x, 1 / kZoomStep);
            break;
        case Qt::Key_Left:
        case Qt::Key_Right:
            follow_ = false;
            window_.pan((event->key() == Qt::Key_Left ? 1 : -1) * area.width() / 10.0,
                        area.width());
            update();
            break;
        case Qt::Key_Home:
            showWholeRun();
            break;
        default:
            QWidget::keyPressEvent(event);
    }
}

void HistoryPlot::describe(const QPoint& at) {
    const QRect area = plotArea();
    if (!area.contains(at)) return;
    const Time time = timeAt(at.x());
    const double level =
        high_ - double(at.y() - area.top()) * (high_ - low_) / std::max(area.height() - 1, 1);
    QString text =
        QStringLiteral("%1   %2 dBm").arg(LocalTimeText(time).left(19)).arg(level, 0, 'f', 1);
    // What each port's line shows in the column under the cursor.
    const Time columnEnd = std::max(timeAt(at.x() + 1), time + 1);
    for (int port = 1; port <= SignalHistory::kPorts; ++port) {
        const auto column = history_.columns(port, time, columnEnd, 1).front();
        if (!column.filled) continue;
        text += QStringLiteral("   port %1: %2").arg(port).arg(LevelText(column.min));
        if (column.max != column.min) text += QStringLiteral("..%1").arg(LevelText(column.max));
    }
    setToolTip(QStringLiteral("UTC %1").arg(UtcTimeText(time)));
    emit hovered(text);
}

HistoryWindow::HistoryWindow(const SignalHistory& history, LiveLimit limitLive,
                             const Settings& settings, BusyRuns& busy, QWidget* parent)
    : QWidget(parent, Qt::Window),
      history_(history),
      limitLive_(std::move(limitLive)),
      settings_(settings),
      busy_(busy) {
    setObjectName(QStringLiteral("SignalHistory"));
    setWindowTitle(QStringLiteral("Signal History"));
    plot_ = new HistoryPlot(history, this);
    cursor_ = new QLabel(this);
    cursor_->setObjectName(QStringLiteral("historyCursor"));
    auto* whole = new QPushButton(QStringLiteral("&Whole Run"), this);
    whole->setObjectName(QStringLiteral("historyWholeRun"));
    auto* open = new QPushButton(QStringLiteral("&Open Log..."), this);
    open->setObjectName(QStringLiteral("historyOpenLog"));
    auto* csv = new QPushButton(QStringLiteral("Export &CSV..."), this);
    csv->setObjectName(QStringLiteral("historyExportCsv"));
    auto* image = new QPushButton(QStringLiteral("Save &Image..."), this);
    image->setObjectName(QStringLiteral("historySaveImage"));
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(whole);
    buttons->addWidget(open);
    buttons->addWidget(csv);
    buttons->addWidget(image);
    buttons->addStretch();
    for (int port = 1; port <= SignalHistory::kPorts; ++port) {
        auto* key = new QLabel(QStringLiteral("Port %1").arg(port), this);
        QPalette palette = key->palette();
        palette.setColor(QPalette::WindowText, PortColour(port));
        key->setPalette(palette);
        buttons->addWidget(key);
    }
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(buttons);
    layout->addWidget(plot_, 1);
    layout->addWidget(cursor_);
    connect(whole, &QPushButton::clicked, plot_, &HistoryPlot::showWholeRun);
    connect(open, &QPushButton::clicked, this, &HistoryWindow::openLogs);
    connect(csv, &QPushButton::clicked, this, &HistoryWindow::exportCsv);
    connect(image, &QPushButton::clicked, this, &HistoryWindow::saveImage);
    connect(plot_, &HistoryPlot::hovered, cursor_, &QLabel::setText);
    // The live reports land in the history unseen; the plot takes them in a
    // few times a second, and only while it is shown.
    auto* repaint = new QTimer(this);
    repaint->setInterval(250);
    connect(repaint, &QTimer::timeout, plot_, [this] {
        if (isVisible() && !isMinimized()) plot_->refresh();
    });
    repaint->start();
    placeOnScreen(parent);
}

HistoryWindow::~HistoryWindow() {
    if (limitLive_) limitLive_(SignalHistory::kMemoryBound);
}

void HistoryWindow::setDialogs(HistoryDialogs* dialogs) {
    dialogs_ = dialogs;
}

HistoryDialogs& HistoryWindow::dialogs() {
    if (dialogs_) return *dialogs_;
    if (!ownDialogs_) ownDialogs_ = std::make_unique<WidgetHistoryDialogs>();
    return *ownDialogs_;
}

void HistoryWindow::placeOnScreen(QWidget* parent) {
    QScreen* screen = parent ? parent->screen() : this->screen();
    const QRect room = screen->availableGeometry().adjusted(kSideAllowance, kTitleAllowance,
                                                            -kSideAllowance, -kSideAllowance);
    QRect wanted(QPoint(), QSize(900, 450).boundedTo(room.size()));
    wanted.moveTopLeft(parent ? parent->frameGeometry().bottomLeft() +
                                    QPoint(kSideAllowance, kTitleAllowance + 1)
                              : room.topLeft());
    // Moved back onto the screen where it would run past an edge.
    wanted.moveLeft(std::clamp(wanted.left(), room.left(), room.right() + 1 - wanted.width()));
    wanted.moveTop(std::clamp(wanted.top(), room.top(), room.bottom() + 1 - wanted.height()));
    setGeometry(wanted);
}

bool HistoryWindow::commandMayGo() {
    return busy_.ask(Command::HistoryCommand) == BusyRuns::Answer::Go;
}

void HistoryWindow::closeEvent(QCloseEvent* event) {
    if (busy_.ask(Command::HideHistory, [this] { hide(); }) != BusyRuns::Answer::Go) {
        event->ignore();
        return;
    }
    QWidget::closeEvent(event);
}

void HistoryWindow::openLogs() {
    if (!commandMayGo()) return;
    const QStringList paths =
        dialogs().openFiles(this, QStringLiteral("Open Log"), QStringLiteral("Logs (*.hex *.txt)"));
    if (paths.isEmpty()) return;
    if (paths.size() > HistoryPlot::kMaxLogs) {
        dialogs().showError(
            this,
            QStringLiteral("At most %1 logs can be shown at once.").arg(HistoryPlot::kMaxLogs));
        return;
    }
    std::optional<BusyRuns::Run> run =
        busy_.tryBegin(Command::HistoryCommand, RunKind::LogRead, [this] { stopReading_ = true; });
    if (!run) return;
    stopReading_ = false;
    // The logs shown and those being read take their share of the bound
    // from the live history until the choice is settled.
    const auto shareOf = [](std::size_t logs) {
        return SignalHistory::kMemoryBound - logs * SignalHistory::kLogMemory;
    };
    if (limitLive_) limitLive_(shareOf(logs_.size() + std::size_t(paths.size())));
    const Settings settings = settings_;  // the settings may change meanwhile
    std::vector<std::unique_ptr<SignalHistory>> logs;
    for (int i = 0; i < paths.size(); ++i) {
        logs.push_back(std::make_unique<SignalHistory>(SignalHistory::kDefaultExactPoints,
                                                       SignalHistory::kLogMemory));
    }
    QString problem;
    cursor_->setText(QStringLiteral("Reading %1...").arg(paths.join(QStringLiteral(", "))));
    busy_.runAside([&] {
        for (int i = 0; i < paths.size() && problem.isEmpty() && !stopReading_; ++i) {
            problem = ReadLog(paths[i], *logs[std::size_t(i)], settings, stopReading_);
            if (!problem.isEmpty())
                problem = QStringLiteral("Cannot open %1: %2").arg(paths[i], problem);
        }
    });
    cursor_->clear();
    // Stopped for the program's close: nothing changes, nothing to report.
    const bool read = !stopReading_;
    if (read && problem.isEmpty()) {
        // The plot lets go of the logs shown before they are freed.
        std::vector<const SignalHistory*> shown;
        for (const auto& log : logs) shown.push_back(log.get());
        plot_->setLogs(std::move(shown));
        logs_ = std::move(logs);
    }
    if (limitLive_) limitLive_(shareOf(logs_.size()));
    run.reset();
    if (read && !problem.isEmpty()) dialogs().showError(this, problem);
}

void HistoryWindow::saveFile(const QString& path, const QByteArray& bytes) {
    try {
        SaveWholeFile(QFile::encodeName(path).toStdString(), path.toStdString(),
                      {std::string_view(bytes.constData(), std::size_t(bytes.size()))});
    } catch (const FileWriteError& error) {
        dialogs().showError(this, QString::fromStdString(error.what()));
    }
}

void HistoryWindow::exportCsv() {
    if (!commandMayGo()) return;
    const QString path =
        dialogs().saveFile(this, QStringLiteral("Export CSV"), QStringLiteral("CSV files (*.csv)"));
    if (path.isEmpty()) return;
    const TimeWindow& shown = plot_->window();
    saveFile(path, HistoryCsv(history_, shown.from(), shown.to()).toUtf8());
}

void HistoryWindow::saveImage() {
    if (!commandMayGo()) return;
    const QString path =
        dialogs().saveFile(this, QStringLiteral("Save Image"),
                           QStringLiteral("PNG images (*.png);;SVG images (*.svg)"));
    if (path.isEmpty()) return;
    QBuffer bytes;
    bytes.open(QIODevice::WriteOnly);
    if (path.endsWith(QStringLiteral(".svg"), Qt::CaseInsensitive)) {
        QSvgGenerator svg;
        svg.setOutputDevice(&bytes);
        svg.setSize(plot_->size());
        svg.setViewBox(plot_->rect());
        svg.setTitle(windowTitle());
        QPainter painter(&svg);
        plot_->render(&painter);
    } else if (!plot_->grab().toImage().save(&bytes, "PNG")) {
        dialogs().showError(this, QStringLiteral("Cannot write %1").arg(path));
        return;
    }
    saveFile(path, bytes.data());
}

}  // namespace zelvar
