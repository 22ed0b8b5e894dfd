// File > Export Coverage...: the same bytes as zelvar-coverage on the log as
// Save Data As writes it, and saved logs when the view holds no position.
#include <QProcess>
#include <functional>

#include "CoverageMapExport.h"
#include "LogFormat.h"
#include "MainHarness.h"

namespace {

class ScriptedCoverageDialogs : public zelvar::CoverageDialogs {
public:
    QString exportPath;
    zelvar::CoverageFormat format = zelvar::CoverageFormat::Kml;
    QList<bool> offerAnswers;
    QStringList savedLogs;
    QStringList errors;
    int fileDialogs = 0;
    std::function<void()> whileChoosing;  // runs while the file dialog stands

    QString chooseExportFile(QWidget*, zelvar::CoverageFormat& chosen) override {
        ++fileDialogs;
        if (whileChoosing) whileChoosing();
        chosen = format;
        return exportPath;
    }
    bool offerSavedLogs(QWidget*) override {
        return !offerAnswers.isEmpty() && offerAnswers.takeFirst();
    }
    QStringList chooseSavedLogs(QWidget*) override { return savedLogs; }
    void showError(QWidget*, const QString& text) override { errors << text; }
};

QByteArray coverageTool(const QStringList& arguments) {
    QProcess tool;
    tool.start(QStringLiteral(ZELVAR_COVERAGE_BIN), arguments);
    if (!tool.waitForFinished(-1) || tool.exitCode() != 0) return "tool failed";
    return tool.readAllStandardOutput();
}

}  // namespace

class MapExportTest : public QObject {
    Q_OBJECT

private slots:
    void exportsTheLogAsSavedOrChosenLogs();
};

void MapExportTest::exportsTheLogAsSavedOrChosenLogs() {
    MainHarness h;
    h.store(QStringLiteral("GMTCorrection"), QStringLiteral("-3"));
    h.start();
    TMainForm& w = *h.main;
    ScriptedCoverageDialogs dialogs;
    auto* exporter = w.findChild<zelvar::CoverageMapExport*>();
    QVERIFY(exporter);
    exporter->setDialogs(&dialogs);
    QAction* exportCoverage = action(w, "mnuExportCoverage");
    QCOMPARE(exportCoverage->text(), QStringLiteral("Export &Coverage..."));

    // No own position in the view: declined, nothing is asked further.
    exportCoverage->trigger();
    QCOMPARE(dialogs.fileDialogs, 0);
    // Accepted: the chosen saved logs are exported.
    const QString sample = QStringLiteral(ZELVAR_TEST_DATA "/drive-test.txt");
    dialogs.offerAnswers << true;
    dialogs.savedLogs << sample;
    dialogs.exportPath = h.scratch(QStringLiteral("saved.csv"));
    dialogs.format = zelvar::CoverageFormat::Csv;
    exportCoverage->trigger();
    QCOMPARE(MainHarness::readAll(dialogs.exportPath),
             coverageTool({"--format", "csv", "--gmt-correction", "-3", sample}));

    // Reports with own position in the view: the log as saved at the moment
    // of the command, not what arrives while the file is chosen.
    w.model().appendTextLine(zelvar::GpsHeader);
    w.model().appendTextLine(zelvar::RssiOwnPositionLine("2", "09.12.2026 22:10:00", "5540.1234,N",
                                                 "03736.5678,E", "1.8", "-87"));
    w.model().appendTextLine(zelvar::RssiPlaceholderLine("1", "09.12.2026 22:10:01", "-90"));
    w.model().appendTextLine(zelvar::RssiOwnPositionLine("1", "09.12.2026 22:10:02", "3351.4073,S",
                                                 "15112.9500,W", "Err", "Max"));
    h.dialogs.saveAnswers << h.scratch(QStringLiteral("before"));
    action(w, "mnuSaveAs")->trigger();
    dialogs.exportPath = h.scratch(QStringLiteral("live.gpx"));
    dialogs.format = zelvar::CoverageFormat::Gpx;
    dialogs.whileChoosing = [&] {
        w.model().appendTextLine(zelvar::RssiOwnPositionLine("3", "09.12.2026 22:10:03", "5540.1234,N",
                                                     "03736.5678,E", "1.8", "-60"));
        exportCoverage->trigger();  // a second export meanwhile is refused
        w.close();                  // and a close waits for the export
    };
    exportCoverage->trigger();
    QCOMPARE(dialogs.fileDialogs, 2);
    QVERIFY(w.isVisible());
    const QByteArray exported = MainHarness::readAll(dialogs.exportPath);
    QVERIFY(exported.contains("<time>2026-12-09T01:10:02Z</time>"));
    QCOMPARE(exported, coverageTool({"--format", "gpx", "--gmt-correction", "-3",
                                     h.scratch(QStringLiteral("before.txt"))}));
    QVERIFY(dialogs.errors.isEmpty());
}

QTEST_MAIN(MapExportTest)
#include "MapExportTest.moc"
