#include "ZelvarOptions.h"

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QStyle>
#include <QStyleOptionFrame>
#include <QTest>
#include <memory>

#include "WindowFonts.h"

using zelvar::Settings;
using zelvar::SpinEdit;

class ZelvarOptionsTest : public QObject {
    Q_OBJECT

private:
    Settings settings_;
    std::unique_ptr<TOptionsForm> form_;

    template <typename T>
    T* control(const char* name) {
        T* widget = form_->findChild<T*>(QString::fromLatin1(name));
        if (!widget) qFatal("no control %s", name);
        return widget;
    }
    SpinEdit* spin(const char* name) { return control<SpinEdit>(name); }
    QCheckBox* box(const char* name) { return control<QCheckBox>(name); }
    QLineEdit* edit(const char* name) { return control<QLineEdit>(name); }
    QPushButton* button(const char* name) { return control<QPushButton>(name); }

    bool showAndActivate() {
        form_->show();
        form_->activateWindow();
        return QTest::qWaitForWindowActive(form_.get());
    }

    // Types into a spin edit the way a user would: focus, select all, type.
    void typeInto(QLineEdit* target, const QString& text) {
        target->setFocus(Qt::MouseFocusReason);
        target->selectAll();
        if (text.isEmpty()) {
            QTest::keyClick(target, Qt::Key_Backspace);
        } else {
            QTest::keyClicks(target, text);
        }
    }

    // Moves the focus to a plain edit, so the spin edit loses it.
    void leaveField() { edit("EditIP1")->setFocus(Qt::TabFocusReason); }

private slots:
    void init() {
        settings_ = Settings{};
        form_ = std::make_unique<TOptionsForm>(settings_);
    }
    void cleanup() { form_.reset(); }

    void windowAndControls() {
        QCOMPARE(form_->windowTitle(), QStringLiteral(" Settings"));
        QCOMPARE(form_->minimumSize(), QSize(617, 187));
        QCOMPARE(form_->maximumSize(), QSize(617, 187));
        QVERIFY(!form_->isModal());
        QVERIFY(form_->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
        QCOMPARE(form_->windowType(), Qt::Tool);

        for (const char* name : {"03", "05", "07", "08", "09", "0B", "0D", "11", "24", "44", "6C",
                                 "8C", "B4", "EC", "F4", "FC"}) {
            QCOMPARE(box(qPrintable(QStringLiteral("cbpType") + QLatin1String(name)))->text(),
                     QLatin1String(name));
        }
        QCOMPARE(box("cbpType10")->text(), QStringLiteral("10 (Syn)"));
        QCOMPARE(box("cbIDFilter")->text(), QStringLiteral("Packet Filter"));
        QCOMPARE(edit("EditIP3")->toolTip(), QStringLiteral("IP радиостанции"));
        QCOMPARE(edit("EditPort2")->toolTip(), QStringLiteral("Порт радиостанции"));
        // The face of the log views, whatever fonts the machine has.
        QCOMPARE(edit("EditIP1")->font(), zelvar::LogViewFont());
        QCOMPARE(spin("SpinRSSICor4")->minValue(), -255);
        QCOMPARE(spin("SpinRSSIMax1")->maxValue(), 255);
        QCOMPARE(spin("SpinEditGMT")->minValue(), -12);
        QCOMPARE(spin("SpinEditGMT")->maxValue(), 12);
        QCOMPARE(spin("SpinTimeOut")->minValue(), 1);
        QCOMPARE(spin("SpinTimeOut")->maxValue(), 999);
        QCOMPARE(button("sbDefault")->text(), QStringLiteral("Default"));
        QCOMPARE(button("sbHide")->text(), QStringLiteral("OK"));
        QPushButton* gps = button("sbTimeFromGPS");
        QCOMPARE(gps->text(), QStringLiteral("Set System Time From the GPS"));
        QCOMPARE(form_->timeFromGpsButton(), gps);
        QVERIFY(!gps->isEnabled());

        QStringList labels;
        for (const QLabel* label : form_->findChildren<QLabel*>()) labels << label->text();
        for (const char* text :
             {"Type of Packages for the Analysis of:", "Transceivers   IP : Port:",
              "RSSI Correction:", "Max RSSI Level:", "Port 1:", "Port 4:", " :", "dBm",
              "Time Zone:", "Time Out:", "Sec"}) {
            QVERIFY2(labels.contains(QLatin1String(text)), text);
        }
    }

    void showPushesTheRecordAndClampsIt() {
        settings_.GMTCorrection = 20;
        settings_.TimeOut = 0;
        settings_.RSSICorrection = {3, -300, 0, 0};
        settings_.MaxRSSI = {-70, -60, 256, -60};
        settings_.setTypeFlag("0B", false);
        settings_.setTypeFlag("10", true);
        settings_.IDFilter = false;
        settings_.IP[0] = "127.0.0.1";
        QSignalSpy typeChanges(form_.get(), &TOptionsForm::typeFlagsChanged);

        QVERIFY(showAndActivate());
        QCOMPARE(spin("SpinEditGMT")->text(), QStringLiteral("12"));
        QCOMPARE(settings_.GMTCorrection, 12);
        QCOMPARE(settings_.TimeOut, 1);
        QCOMPARE(settings_.RSSICorrection, (std::array<int, 4>{3, -255, 0, 0}));
        QCOMPARE(settings_.MaxRSSI, (std::array<int, 4>{-70, -60, 255, -60}));
        QCOMPARE(spin("SpinRSSIMax1")->text(), QStringLiteral("-70"));
        QVERIFY(!box("cbpType0B")->isChecked());
        QVERIFY(box("cbpType10")->isChecked());
        QVERIFY(!box("cbIDFilter")->isChecked());
        QCOMPARE(typeChanges.count(), 2);  // only the two boxes that changed
        // the addresses are loaded once, not on show
        QCOMPARE(edit("EditIP1")->text(), QString());
        QCOMPARE(settings_.IP[0], "127.0.0.1");
    }

    void defaultGoesDeeperWithEachPress() {
        settings_.TimeOut = 5;
        settings_.GMTCorrection = -3;
        settings_.RSSICorrection = {1, 2, 3, 4};
        settings_.MaxRSSI = {-1, -2, -3, -4};
        for (bool& flag : settings_.typeFlags) flag = false;
        settings_.IDFilter = false;
        settings_.IP = {"127.0.0.1", "127.0.0.2", "127.0.0.3", "127.0.0.4"};
        settings_.Port = {"1", "2", "3", "4"};
        form_->loadAddresses();
        form_->setAddressFieldsEnabled(false);
        QVERIFY(showAndActivate());
        QSignalSpy typeChanges(form_.get(), &TOptionsForm::typeFlagsChanged);
        QPushButton* defaults = button("sbDefault");

        defaults->click();
        QCOMPARE(settings_.typeFlags, Settings{}.typeFlags);
        QCOMPARE(typeChanges.count(), 16);
        QVERIFY(settings_.IDFilter);
        QCOMPARE(settings_.TimeOut, 60);
        QCOMPARE(settings_.RSSICorrection, (std::array<int, 4>{1, 2, 3, 4}));
        QCOMPARE(settings_.IP[0], "127.0.0.1");

        defaults->click();
        // boxes already in place run no refresh
        QCOMPARE(typeChanges.count(), 16);
        QCOMPARE(settings_.RSSICorrection, Settings{}.RSSICorrection);
        QCOMPARE(settings_.MaxRSSI, Settings{}.MaxRSSI);
        QCOMPARE(spin("SpinRSSIMax3")->text(), QStringLiteral("-60"));
        QCOMPARE(settings_.IP[0], "127.0.0.1");

        defaults->click();
        // written also while the fields are disabled
        QCOMPARE(settings_.IP, Settings{}.IP);
        QCOMPARE(settings_.Port, Settings{}.Port);
        QCOMPARE(form_->ipText(2), QStringLiteral("192.168.11.1"));
        QCOMPARE(edit("EditPort4")->text(), QStringLiteral("4064"));

        // The fourth press starts over.
        settings_.TimeOut = 7;
        spin("SpinRSSICor1")->setValue(9);
        defaults->click();
        QCOMPARE(settings_.TimeOut, 60);
        QCOMPARE(settings_.RSSICorrection[0], 9);
        // Default never touches the time zone
        QCOMPARE(settings_.GMTCorrection, -3);
    }

    void showingStartsAFreshDefaultSequence() {
        settings_.RSSICorrection = {5, 5, 5, 5};
        QVERIFY(showAndActivate());
        button("sbDefault")->click();
        form_->hide();
        form_->show();
        button("sbDefault")->click();
        QCOMPARE(settings_.RSSICorrection, (std::array<int, 4>{5, 5, 5, 5}));
        button("sbDefault")->click();
        QCOMPARE(settings_.RSSICorrection, Settings{}.RSSICorrection);
    }

    void spinEditsClampWhenTheFocusLeaves() {
        QVERIFY(showAndActivate());
        QLineEdit* timeOut = spin("SpinTimeOut")->lineEdit();
        typeInto(timeOut, QStringLiteral("0"));
        QVERIFY(timeOut->hasFocus());
        QCOMPARE(timeOut->text(), QStringLiteral("0"));
        QCOMPARE(settings_.TimeOut, 1);
        leaveField();
        QCOMPARE(timeOut->text(), QStringLiteral("1"));

        typeInto(timeOut, QStringLiteral("1500"));
        QCOMPARE(settings_.TimeOut, 999);
        QCOMPARE(timeOut->text(), QStringLiteral("1500"));

        QLineEdit* zone = spin("SpinEditGMT")->lineEdit();
        typeInto(zone, QStringLiteral("13"));
        QCOMPARE(settings_.GMTCorrection, 13);
        // leaving Time Out clamped it
        QCOMPARE(timeOut->text(), QStringLiteral("999"));
        leaveField();
        QCOMPARE(zone->text(), QStringLiteral("12"));
        QCOMPARE(settings_.GMTCorrection, 12);

        QLineEdit* correction = spin("SpinRSSICor2")->lineEdit();
        typeInto(correction, QString());
        QCOMPARE(settings_.RSSICorrection[1], -255);
        leaveField();
        // -255 is within the limits
        QCOMPARE(correction->text(), QString());

        typeInto(correction, QStringLiteral("-"));
        QCOMPARE(settings_.RSSICorrection[1], -255);
        QTest::keyClicks(correction, QStringLiteral("a+7"));  // no letters, no second sign
        QCOMPARE(correction->text(), QStringLiteral("-7"));
        QCOMPARE(settings_.RSSICorrection[1], -7);
        QTest::keyClick(correction, Qt::Key_Up);
        QCOMPARE(settings_.RSSICorrection[1], -6);

        // Stepping from a typed value at the end of the int range.
        typeInto(zone, QStringLiteral("2147483647"));
        QTest::keyClick(zone, Qt::Key_Up);
        QCOMPARE(zone->text(), QStringLiteral("12"));
        QCOMPARE(settings_.GMTCorrection, 12);
    }

    void hidingLeavesNoValueOutOfRange() {
        QVERIFY(showAndActivate());
        typeInto(spin("SpinRSSIMax4")->lineEdit(), QStringLiteral("400"));
        QCOMPARE(settings_.MaxRSSI[3], 400);
        button("sbHide")->click();
        QCOMPARE(settings_.MaxRSSI[3], 255);
    }

    void fullAddressesFitTheirFields() {
        settings_.IP[3] = "192.168.100.100";
        settings_.Port[3] = "65535";
        form_->loadAddresses();
        QVERIFY(showAndActivate());
        for (QLineEdit* field : {edit("EditIP4"), edit("EditPort4")}) {
            // The text area as QLineEdit paints it: style contents, text
            // margins, and two pixels either side.
            QStyleOptionFrame option;
            option.initFrom(field);
            option.rect = field->rect();
            option.lineWidth = field->style()->pixelMetric(QStyle::PM_DefaultFrameWidth);
            const QRect contents =
                field->style()->subElementRect(QStyle::SE_LineEditContents, &option, field);
            const int room = contents.marginsRemoved(field->textMargins()).width() - 4;
            const qreal needed = QFontMetricsF(field->font()).horizontalAdvance(field->text());
            QVERIFY2(needed <= room, qPrintable(field->text()));
        }
        // Nor does the address field reach into the " :" beside it.
        const QRect ip = edit("EditIP4")->geometry();
        int labelsBeside = 0;
        for (const QLabel* label : form_->findChildren<QLabel*>()) {
            if (label->text() != QStringLiteral(" :")) continue;
            if (!label->geometry().intersects(QRect(0, ip.top(), 10000, ip.height()))) continue;
            ++labelsBeside;
            QVERIFY(label->geometry().left() > ip.right());
        }
        QCOMPARE(labelsBeside, 1);
        // No control squeezed anywhere: the fixed window holds the whole layout.
        QVERIFY(form_->findChild<QWidget*>(QStringLiteral("Panel1"))->minimumSizeHint().width() <=
                form_->width());
    }

    void addressEditsAreTheRecord() {
        settings_.IP[0] = "192.168.100.100.1";  // longer than can be typed
        form_->loadAddresses();
        QLineEdit* ip = edit("EditIP1");
        QCOMPARE(ip->text(), QStringLiteral("192.168.100.100.1"));
        QCOMPARE(settings_.IP[0], "192.168.100.100.1");

        QVERIFY(showAndActivate());
        ip->setFocus();
        ip->end(false);
        QTest::keyClick(ip, Qt::Key_1);
        // no typing beyond the limit
        QCOMPARE(ip->text().size(), 17);
        QTest::keyClick(ip, Qt::Key_Backspace);
        QTest::keyClick(ip, Qt::Key_Backspace);
        QCOMPARE(settings_.IP[0], "192.168.100.100");

        ip->clear();
        QTest::keyClicks(ip, QStringLiteral("localhost"));
        QCOMPARE(ip->text(), QStringLiteral("LOCALHOST"));
        QCOMPARE(settings_.IP[0], "LOCALHOST");
        QCOMPARE(form_->ipText(1), QStringLiteral("LOCALHOST"));
        QCOMPARE(form_->ipText(5), QString());

        QLineEdit* port = edit("EditPort3");
        port->clear();
        QTest::keyClicks(port, QStringLiteral("4064099"));
        QCOMPARE(port->text(), QStringLiteral("40640"));
        QCOMPARE(settings_.Port[2], "40640");

        // Enter in an edit presses no button.
        settings_.TimeOut = 30;
        QTest::keyClick(port, Qt::Key_Return);
        QCOMPARE(settings_.TimeOut, 30);
        QVERIFY(form_->isVisible());

        form_->setAddressFieldsEnabled(false);
        for (const char* name : {"EditIP1", "EditIP4", "EditPort1", "EditPort4"}) {
            QVERIFY(!edit(name)->isEnabled());
        }
        form_->setAddressFieldsEnabled(true);
        QVERIFY(edit("EditPort2")->isEnabled());
    }

    void okAndTheCloseBoxUpdateTheHints() {
        QSignalSpy hints(form_.get(), &TOptionsForm::updateSMeterHints);
        QVERIFY(showAndActivate());
        QTest::keyClick(form_.get(), Qt::Key_Escape);
        QVERIFY(form_->isVisible());
        QCOMPARE(hints.count(), 0);

        button("sbHide")->click();
        QVERIFY(!form_->isVisible());
        QCOMPARE(hints.count(), 1);

        QVERIFY(showAndActivate());
        QVERIFY(form_->close());
        QVERIFY(!form_->isVisible());
        QCOMPARE(hints.count(), 2);
        // closing only hides the dialog
        QVERIFY(showAndActivate());
    }

    void timeFromGpsButtonSignals() {
        QSignalSpy clicks(form_.get(), &TOptionsForm::timeFromGpsClicked);
        QVERIFY(showAndActivate());
        form_->timeFromGpsButton()->click();
        QCOMPARE(clicks.count(), 0);
        form_->timeFromGpsButton()->setEnabled(true);
        form_->timeFromGpsButton()->click();
        QCOMPARE(clicks.count(), 1);
    }
};

QTEST_MAIN(ZelvarOptionsTest)
#include "ZelvarOptionsTest.moc"
