#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QApplication>
#include <QFile>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>
#include <functional>

#include "FileDialogs.h"
#include "HangGuard.h"

namespace {

// Runs `drive` on the file dialog once it is shown, then closes it.
class DialogDriver {
public:
    explicit DialogDriver(std::function<void(QFileDialog&)> drive) : drive_(std::move(drive)) {
        QTimer::singleShot(0, [this] { poll(); });
    }

private:
    void poll() {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        if (!dialog) {
            QTimer::singleShot(10, [this] { poll(); });
            return;
        }
        drive_(*dialog);
        dialog->reject();
    }

    std::function<void(QFileDialog&)> drive_;
};

// The names of the folder's entries that were opened since the last call.
QStringList openedEntries(int watch) {
    QStringList names;
    alignas(inotify_event) char buffer[4096];
    for (ssize_t n; (n = ::read(watch, buffer, sizeof buffer)) > 0;) {
        for (char* at = buffer; at < buffer + n;) {
            const auto* event = reinterpret_cast<const inotify_event*>(at);
            // Opening the folder itself to list it has no name.
            if (event->len > 0) names << QString::fromLocal8Bit(event->name);
            at += sizeof(inotify_event) + event->len;
        }
    }
    return names;
}

}  // namespace

class FileDialogsTest : public QObject {
    Q_OBJECT

private slots:
    void listingAFolderOpensNoEntry();
};

// A folder such as /proc holds files whose reading blocks or consumes them
// (/proc/kmsg): a dialog lists a folder by the entries' names and kinds and
// never opens one, whichever dialog it is.
void FileDialogsTest::listingAFolderOpensNoEntry() {
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    // Contents that a reader would tell the kind of: a script, a PDF, a PNG.
    const QList<std::pair<QString, QByteArray>> files = {
        {QStringLiteral("script"), "#!/bin/sh\necho\n"},
        {QStringLiteral("document"), "%PDF-1.4\n"},
        {QStringLiteral("picture"), "\x89PNG\r\n\x1a\n"}};
    for (const auto& [name, bytes] : files) {
        QFile file(dir.filePath(name));
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size());
    }
    QCOMPARE(::mkfifo(QFile::encodeName(dir.filePath(QStringLiteral("pipe"))).constData(), 0600),
             0);

    const int watch = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    QVERIFY(watch >= 0);
    QVERIFY(::inotify_add_watch(watch, QFile::encodeName(dir.path()).constData(), IN_OPEN) >= 0);

    const auto listFolder = [&](QFileDialog& dialog) {
        dialog.setDirectory(dir.path());
        const auto* model = dialog.findChild<QFileSystemModel*>();
        QVERIFY(model);
        const QModelIndex folder = model->index(dir.path());
        // Reading one stuck entry would stop the dialog for ever; the bound
        // only keeps such a fault from hanging the test.
        QTRY_VERIFY_WITH_TIMEOUT(model->rowCount(folder) >= int(files.size()), 10000);
        QStringList shown;
        for (int row = 0; row < model->rowCount(folder); ++row) {
            shown << model->index(row, 0, folder).data().toString();
        }
        for (const auto& file : files) QVERIFY2(shown.contains(file.first), qPrintable(file.first));
    };

    // The program's own open dialog, and one that Qt's static calls build.
    {
        const DialogDriver driver(listFolder);
        zelvar::ChooseFileToOpen(nullptr, {QStringLiteral("All files (*)")});
    }
    QVERIFY(!QTest::currentTestFailed());
    QStringList opened = openedEntries(watch);
    QVERIFY2(opened.isEmpty(), qPrintable(QStringLiteral("opened: ") + opened.join(QLatin1Char(' '))));
    {
        const DialogDriver driver(listFolder);
        QFileDialog::getSaveFileName(nullptr, QString(), dir.path());
    }
    QVERIFY(!QTest::currentTestFailed());
    opened = openedEntries(watch);
    QVERIFY2(opened.isEmpty(), qPrintable(QStringLiteral("opened: ") + opened.join(QLatin1Char(' '))));
    ::close(watch);
}

QTEST_MAIN(FileDialogsTest)
#include "FileDialogsTest.moc"
