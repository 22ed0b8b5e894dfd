#include "ZelvarOptions.h"

#include <QCheckBox>
#include <QEvent>
#include <QGuiApplication>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QScreen>
#include <QShowEvent>
#include <QStyle>
#include <QStyleOptionFrame>
#include <QToolButton>
#include <QVBoxLayout>
#include <QValidator>
#include <algorithm>
#include <cmath>
#include <cstdint>

#include "SettingsStore.h"
#include "WindowBounds.h"
#include "WindowFonts.h"

namespace zelvar {

SpinEdit::SpinEdit(int minValue, int maxValue, int value, QWidget* parent)
    : QWidget(parent),
      min_(minValue),
      max_(maxValue),
      edit_(new QLineEdit(this)),
      up_(new QToolButton(this)),
      down_(new QToolButton(this)) {
    // Only what can become a number may be typed; the limits are not checked here.
    edit_->setValidator(
        new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[+-]?[0-9]*")), edit_));
    edit_->setText(QString::number(clamped(value)));
    edit_->installEventFilter(this);
    setFocusProxy(edit_);
    setFocusPolicy(Qt::StrongFocus);

    up_->setArrowType(Qt::UpArrow);
    down_->setArrowType(Qt::DownArrow);
    for (QToolButton* button : {up_, down_}) {
        button->setAutoRepeat(true);
        button->setFocusPolicy(Qt::NoFocus);
        button->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Ignored);
        button->setFixedWidth(14);
    }
    connect(up_, &QToolButton::clicked, this, [this] { step(1); });
    connect(down_, &QToolButton::clicked, this, [this] { step(-1); });
    connect(edit_, &QLineEdit::textChanged, this, &SpinEdit::changed);

    auto* buttons = new QVBoxLayout;
    buttons->setContentsMargins(0, 0, 0, 0);
    buttons->setSpacing(0);
    buttons->addWidget(up_);
    buttons->addWidget(down_);
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(edit_);
    layout->addLayout(buttons);
}

int SpinEdit::clamped(int value) const {
    return std::clamp(value, min_, max_);
}

QString SpinEdit::text() const {
    return edit_->text();
}

int SpinEdit::value() const {
    const QByteArray utf8 = edit_->text().toUtf8();
    return ParseStoredInt(std::string_view(utf8.constData(), static_cast<std::size_t>(utf8.size())))
        .value_or(min_);
}

void SpinEdit::setValue(int value) {
    const QString text = QString::number(clamped(value));
    if (text != edit_->text()) edit_->setText(text);
}

void SpinEdit::step(int delta) {
    // A typed value may sit at the very end of the int range.
    const std::int64_t target = std::int64_t{value()} + delta;
    setValue(static_cast<int>(std::clamp<std::int64_t>(target, min_, max_)));
}

void SpinEdit::finishEditing() {
    const int current = value();
    if (clamped(current) != current) setValue(current);
}

bool SpinEdit::eventFilter(QObject* watched, QEvent* event) {
    if (watched == edit_) {
        if (event->type() == QEvent::FocusOut) {
            finishEditing();
        } else if (event->type() == QEvent::KeyPress) {
            const int key = static_cast<QKeyEvent*>(event)->key();
            if (key == Qt::Key_Up || key == Qt::Key_Down) {
                step(key == Qt::Key_Up ? 1 : -1);
                return true;
            }
        }
    }
    return QWidget::eventFilter(watched, event);
}

}  // namespace zelvar

namespace {

using zelvar::kPortCount;
using zelvar::kTypeFlagNames;
using zelvar::SpinEdit;

// The address fields hold upper-case text. Like the length limit of a native
// edit, the limit holds for typing only: a longer stored text is shown whole
// and may be shortened, so loading never cuts an address short.
class AddressValidator : public QValidator {
public:
    AddressValidator(int maxLength, QLineEdit* edit) : QValidator(edit), maxLength_(maxLength) {
        connect(edit, &QLineEdit::textChanged, this,
                [this](const QString& text) { currentLength_ = text.size(); });
    }

    State validate(QString& input, int& /*pos*/) const override {
        input = input.toUpper();
        if (input.size() > maxLength_ && input.size() > currentLength_) return Invalid;
        return Acceptable;
    }

private:
    qsizetype maxLength_;
    qsizetype currentLength_ = 0;
};

// Texts set by the program bypass the typing limit: the validator would
// judge them before textChanged has told it their length.
void setAddressText(QLineEdit* edit, const QString& text) {
    const QValidator* validator = edit->validator();
    edit->setValidator(nullptr);
    edit->setText(text.toUpper());
    edit->setValidator(validator);
}

// Wide enough for maxLength of the widest characters an address is made of
// ("192.168.100.100" whole), plus the edit's own frame and margins, as the
// style counts them.
int addressEditWidth(const QLineEdit* edit, int maxLength) {
    // Fractional advances: rounding each character's would fall short by up
    // to half a pixel a character.
    const QFontMetricsF metrics(edit->font());
    qreal widest = 0;
    for (const QChar c : QStringLiteral("0123456789.ABCDEFGHIJKLMNOPQRSTUVWXYZ-")) {
        widest = std::max(widest, metrics.horizontalAdvance(c));
    }
    QStyleOptionFrame option;
    option.initFrom(edit);
    option.rect = edit->rect();
    option.lineWidth = edit->hasFrame()
                           ? edit->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &option, edit)
                           : 0;
    option.midLineWidth = 0;
    option.state |= QStyle::State_Sunken;
    option.features = QStyleOptionFrame::None;
    const QMargins margins = edit->textMargins();
    // QLineEdit keeps a margin of two pixels on either side of its text.
    const int text =
        static_cast<int>(std::ceil(widest * maxLength)) + margins.left() + margins.right() + 4;
    const QSize contents(text, static_cast<int>(std::ceil(metrics.height())));
    return edit->style()->sizeFromContents(QStyle::CT_LineEdit, &option, contents, edit).width();
}

QLineEdit* makeAddressEdit(const QString& name, int maxLength, const QString& toolTip,
                           QWidget* parent) {
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(name);
    edit->setValidator(new AddressValidator(maxLength, edit));
    // The face of the log views, where the addresses also appear.
    const QFont mono = zelvar::LogViewFont();
    edit->setFont(mono);
    edit->setToolTip(toolTip);
    edit->setFixedWidth(addressEditWidth(edit, maxLength));
    return edit;
}

SpinEdit* makeSpin(const QString& name, int minValue, int maxValue, int value, QWidget* parent) {
    auto* spin = new SpinEdit(minValue, maxValue, value, parent);
    spin->setObjectName(name);
    spin->setFixedWidth(54);
    return spin;
}

QString flagName(std::size_t index) {
    const std::string_view name = kTypeFlagNames[index];
    return QString::fromLatin1(name.data(), static_cast<qsizetype>(name.size()));
}

std::size_t flagIndex(std::string_view name) {
    return static_cast<std::size_t>(std::find(kTypeFlagNames.begin(), kTypeFlagNames.end(), name) -
                                    kTypeFlagNames.begin());
}

}  // namespace

TOptionsForm::TOptionsForm(zelvar::Settings& settings, QWidget* parent)
    : QDialog(parent), settings_(settings) {
    setObjectName(QStringLiteral("OptionsForm"));
    setWindowTitle(QStringLiteral(" Settings"));
    setWindowFlags(Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint | Qt::WindowStaysOnTopHint);
    setModal(false);
    setFixedSize(617, 187);
    // The window has a fixed size: its controls are laid out for the narrow
    // 8-point face of the status bar, not the desktop's often wider one.
    setFont(zelvar::StatusBarFont());
    buildControls();
}

void TOptionsForm::buildControls() {
    const zelvar::Settings defaults;
    auto* panel = new QWidget(this);
    panel->setObjectName(QStringLiteral("Panel1"));
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->addWidget(panel);

    auto* types = new QGridLayout;
    types->setHorizontalSpacing(6);
    types->setVerticalSpacing(2);
    types->addWidget(new QLabel(QStringLiteral("Type of Packages for the Analysis of:"), panel), 0,
                     0, 1, 5);
    const std::array<std::array<std::string_view, 5>, 3> rows = {{
        {"03", "05", "07", "08", "09"},
        {"0B", "0D", "11", "24", "44"},
        {"6C", "8C", "B4", "EC", "F4"},
    }};
    auto addTypeBox = [&](std::string_view name, const QString& caption, int row, int column,
                          int span) {
        const std::size_t index = flagIndex(name);
        auto* box = new QCheckBox(caption, panel);
        box->setObjectName(QStringLiteral("cbpType") + flagName(index));
        box->setChecked(defaults.typeFlags[index]);
        types->addWidget(box, row, column, 1, span);
        typeBoxes_[index] = box;
        connect(box, &QCheckBox::toggled, this, [this, index](bool on) {
            settings_.typeFlags[index] = on;
            emit typeFlagsChanged();
        });
    };
    for (int row = 0; row < 3; ++row) {
        for (int column = 0; column < 5; ++column) {
            const std::string_view name =
                rows[static_cast<std::size_t>(row)][static_cast<std::size_t>(column)];
            addTypeBox(name, flagName(flagIndex(name)), row + 1, column, 1);
        }
    }
    addTypeBox("FC", QStringLiteral("FC"), 4, 0, 1);
    addTypeBox("10", QStringLiteral("10 (Syn)"), 4, 1, 2);
    cbIDFilter = new QCheckBox(QStringLiteral("Packet Filter"), panel);
    cbIDFilter->setObjectName(QStringLiteral("cbIDFilter"));
    cbIDFilter->setChecked(defaults.IDFilter);
    types->addWidget(cbIDFilter, 4, 3, 1, 2);
    connect(cbIDFilter, &QCheckBox::toggled, this, [this](bool on) { settings_.IDFilter = on; });
    types->setRowStretch(5, 1);

    auto* ports = new QGridLayout;
    ports->setHorizontalSpacing(3);
    ports->setVerticalSpacing(2);
    ports->addWidget(new QLabel(QStringLiteral("Transceivers   IP : Port:"), panel), 0, 0, 1, 4);
    ports->addWidget(new QLabel(QStringLiteral("RSSI Correction:"), panel), 0, 4, 1, 2);
    ports->addWidget(new QLabel(QStringLiteral("Max RSSI Level:"), panel), 0, 6, 1, 2);
    for (std::size_t i = 0; i < kPortCount; ++i) {
        const int row = static_cast<int>(i) + 1;
        const QString n = QString::number(row);
        ports->addWidget(new QLabel(QStringLiteral("Port ") + n + QLatin1Char(':'), panel), row, 0);
        EditIP[i] = makeAddressEdit(QStringLiteral("EditIP") + n, 15,
                                    QStringLiteral("IP радиостанции"), panel);
        ports->addWidget(EditIP[i], row, 1);
        ports->addWidget(new QLabel(QStringLiteral(" :"), panel), row, 2);
        EditPort[i] = makeAddressEdit(QStringLiteral("EditPort") + n, 5,
                                      QStringLiteral("Порт радиостанции"), panel);
        ports->addWidget(EditPort[i], row, 3);
        connect(EditIP[i], &QLineEdit::textChanged, this,
                [this, i](const QString& text) { settings_.IP[i] = text.toStdString(); });
        connect(EditPort[i], &QLineEdit::textChanged, this,
                [this, i](const QString& text) { settings_.Port[i] = text.toStdString(); });

        SpinRSSICor[i] = makeSpin(QStringLiteral("SpinRSSICor") + n, -255, 255,
                                  defaults.RSSICorrection[i], panel);
        ports->addWidget(SpinRSSICor[i], row, 4);
        ports->addWidget(new QLabel(QStringLiteral("dBm"), panel), row, 5);
        SpinRSSIMax[i] =
            makeSpin(QStringLiteral("SpinRSSIMax") + n, -255, 255, defaults.MaxRSSI[i], panel);
        ports->addWidget(SpinRSSIMax[i], row, 6);
        ports->addWidget(new QLabel(QStringLiteral("dBm"), panel), row, 7);
    }

    SpinEditGMT = makeSpin(QStringLiteral("SpinEditGMT"), -12, 12, defaults.GMTCorrection, panel);
    SpinTimeOut = makeSpin(QStringLiteral("SpinTimeOut"), 1, 999, defaults.TimeOut, panel);
    SpinEditGMT->setFixedWidth(46);
    SpinTimeOut->setFixedWidth(46);
    for (auto spins : {SpinRSSICor, SpinRSSIMax}) {
        for (SpinEdit* spin : spins) {
            connect(spin, &SpinEdit::changed, this, [this, spin] { spinChanged(spin); });
        }
    }
    for (SpinEdit* spin : {SpinEditGMT, SpinTimeOut}) {
        connect(spin, &SpinEdit::changed, this, [this, spin] { spinChanged(spin); });
    }

    auto makeButton = [&](const QString& name, const QString& caption) {
        auto* button = new QPushButton(caption, panel);
        button->setObjectName(name);
        // Enter in an edit must never press "Default" behind the user's back.
        button->setAutoDefault(false);
        return button;
    };
    sbDefault = makeButton(QStringLiteral("sbDefault"), QStringLiteral("Default"));
    sbTimeFromGPS =
        makeButton(QStringLiteral("sbTimeFromGPS"), QStringLiteral("Set System Time From the GPS"));
    sbTimeFromGPS->setEnabled(false);
    sbHide = makeButton(QStringLiteral("sbHide"), QStringLiteral("OK"));
    sbDefault->setFixedWidth(64);
    sbHide->setFixedWidth(64);
    connect(sbDefault, &QPushButton::clicked, this, &TOptionsForm::sbDefaultClick);
    connect(sbHide, &QPushButton::clicked, this, &TOptionsForm::sbHideClick);
    connect(sbTimeFromGPS, &QPushButton::clicked, this, &TOptionsForm::timeFromGpsClicked);

    auto* bottom = new QHBoxLayout;
    bottom->setSpacing(4);
    bottom->addWidget(sbDefault);
    bottom->addWidget(sbTimeFromGPS);
    bottom->addStretch(1);
    bottom->addWidget(new QLabel(QStringLiteral("Time Zone:"), panel));
    bottom->addWidget(SpinEditGMT);
    bottom->addWidget(new QLabel(QStringLiteral("Time Out:"), panel));
    bottom->addWidget(SpinTimeOut);
    bottom->addWidget(new QLabel(QStringLiteral("Sec"), panel));
    bottom->addStretch(1);
    bottom->addWidget(sbHide);

    auto* top = new QHBoxLayout;
    top->setSpacing(6);
    top->addLayout(types);
    top->addLayout(ports);
    auto* main = new QVBoxLayout(panel);
    main->setContentsMargins(8, 6, 8, 6);
    main->setSpacing(6);
    main->addLayout(top);
    main->addStretch(1);
    main->addLayout(bottom);
}

void TOptionsForm::spinChanged(SpinEdit* spin) {
    // The time-out is the only value stored clamped while the user types:
    // the session would otherwise re-register a silent transceiver on every
    // tick, or never.
    if (spin == SpinTimeOut) {
        settings_.TimeOut = spin->clamped(spin->value());
        return;
    }
    const int value = spin->value();
    if (spin == SpinEditGMT) {
        settings_.GMTCorrection = value;
        return;
    }
    for (std::size_t i = 0; i < kPortCount; ++i) {
        if (spin == SpinRSSICor[i]) settings_.RSSICorrection[i] = value;
        if (spin == SpinRSSIMax[i]) settings_.MaxRSSI[i] = value;
    }
}

void TOptionsForm::pushSpin(SpinEdit* spin, int value) {
    spin->setValue(value);
    spinChanged(spin);
}

void TOptionsForm::loadAddresses() {
    for (std::size_t i = 0; i < kPortCount; ++i) {
        // Copies first: each setText writes the record back through its handler.
        const QString ip = QString::fromStdString(settings_.IP[i]);
        const QString port = QString::fromStdString(settings_.Port[i]);
        setAddressText(EditIP[i], ip);
        setAddressText(EditPort[i], port);
    }
}

void TOptionsForm::setAddressFieldsEnabled(bool enabled) {
    for (std::size_t i = 0; i < kPortCount; ++i) {
        EditIP[i]->setEnabled(enabled);
        EditPort[i]->setEnabled(enabled);
    }
}

QString TOptionsForm::ipText(int port) const {
    if (port < 1 || port > kPortCount) return {};
    return EditIP[static_cast<std::size_t>(port - 1)]->text();
}

void TOptionsForm::loadOnShow() {
    DefaultClickCount = 0;
    // Copies first: each spin writes the record back as soon as it changes.
    const zelvar::Settings stored = settings_;
    for (std::size_t i = 0; i < kPortCount; ++i) pushSpin(SpinRSSICor[i], stored.RSSICorrection[i]);
    for (std::size_t i = 0; i < kPortCount; ++i) pushSpin(SpinRSSIMax[i], stored.MaxRSSI[i]);
    pushSpin(SpinEditGMT, stored.GMTCorrection);
    pushSpin(SpinTimeOut, stored.TimeOut);
    for (std::size_t i = 0; i < typeBoxes_.size(); ++i) {
        typeBoxes_[i]->setChecked(stored.typeFlags[i]);
    }
    cbIDFilter->setChecked(stored.IDFilter);
}

void TOptionsForm::sbDefaultClick() {
    for (std::size_t i = 0; i < typeBoxes_.size(); ++i) {
        typeBoxes_[i]->setChecked(kTypeFlagNames[i] != "10");
    }
    cbIDFilter->setChecked(true);
    pushSpin(SpinTimeOut, 60);
    ++DefaultClickCount;
    if (DefaultClickCount >= 2) {
        for (std::size_t i = 0; i < kPortCount; ++i) {
            pushSpin(SpinRSSICor[i], 0);
            pushSpin(SpinRSSIMax[i], -60);
        }
    }
    if (DefaultClickCount >= 3) {
        const zelvar::Settings defaults;
        for (std::size_t i = 0; i < kPortCount; ++i) {
            setAddressText(EditIP[i], QString::fromStdString(defaults.IP[i]));
            setAddressText(EditPort[i], QString::fromStdString(defaults.Port[i]));
        }
        DefaultClickCount = 0;
    }
}

void TOptionsForm::sbHideClick() {
    emit updateSMeterHints();
    hide();
}

void TOptionsForm::reject() {
    // Only the close box gets here: Esc is kept from closing the dialog.
    emit updateSMeterHints();
    hide();
}

void TOptionsForm::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (event->spontaneous()) return;
    if (!centred_) {
        centred_ = true;
        // In the middle of the primary screen; should the frame make it
        // larger than the screen, it is brought back within it.
        if (const QScreen* s = QGuiApplication::primaryScreen()) {
            const QPoint centre = s->availableGeometry().center();
            zelvar::RestoreWindowBounds(*this, {centre.x() - width() / 2,
                                                centre.y() - height() / 2, width(), height()});
        }
    }
    loadOnShow();
}

void TOptionsForm::hideEvent(QHideEvent* event) {
    // A field still being typed in keeps no out-of-range value once the
    // dialog is gone.
    for (auto spins : {SpinRSSICor, SpinRSSIMax}) {
        for (SpinEdit* spin : spins) spin->finishEditing();
    }
    SpinEditGMT->finishEditing();
    SpinTimeOut->finishEditing();
    QDialog::hideEvent(event);
}

void TOptionsForm::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}
