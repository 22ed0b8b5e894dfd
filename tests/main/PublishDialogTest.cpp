// The Publish dialog as a user reads it: every caption with a mnemonic
// shows it underlined, and Alt with it reaches its field.
#include <QLabel>
#include <QtTest>

#include "PublishDialog.h"
#include "PublishSettings.h"

class PublishDialogTest : public QObject {
    Q_OBJECT

private slots:
    void everyCaptionWithAMnemonicHasItsField() {
        const zelvar::PublishDialog dialog{zelvar::PublishSettings{}};
        int captions = 0;
        for (const QLabel* label : dialog.findChildren<QLabel*>()) {
            if (!label->text().contains(QLatin1Char('&'))) continue;
            ++captions;
            QVERIFY2(label->buddy() != nullptr, qPrintable(label->text()));
        }
        QVERIFY(captions >= 3);
    }
};

QTEST_MAIN(PublishDialogTest)
#include "PublishDialogTest.moc"
