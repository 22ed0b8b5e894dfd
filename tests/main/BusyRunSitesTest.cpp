// Each command through its own menu item or button while a run of each kind
// is under way: what it does then is what its rule in the busy-run table
// says, so a call site that asks for the wrong command, or begins no run,
// shows here.
#include <QTest>
#include <optional>

#include "MainHarness.h"

namespace {

constexpr zelvar::RunKind kKinds[] = {
    zelvar::RunKind::Decoding,   zelvar::RunKind::SessionStop, zelvar::RunKind::CloseSequence,
    zelvar::RunKind::Question,   zelvar::RunKind::GpsCommand,  zelvar::RunKind::EditorCommand};

// A command given in a fresh window; it answers whether it took effect.
using Command = std::function<std::function<bool()>(MainHarness&)>;

// What `command` did while a run of `kind` stood: "go", "refused", or
// "waits" for what happened only once the run had ended.
QString outcome(zelvar::RunKind kind, const Command& command) {
    MainHarness h;
    h.start();
    std::optional<zelvar::BusyRuns::Run> run = h.main->model().busyRuns().begin(kind, [] {});
    const std::function<bool()> done = command(h);
    const bool now = done();
    run.reset();
    QCoreApplication::processEvents();
    return now ? QStringLiteral("go") : done() ? QStringLiteral("waits") : QStringLiteral("refused");
}

QString row(const Command& command) {
    QStringList outcomes;
    for (const zelvar::RunKind kind : kKinds) outcomes << outcome(kind, command);
    return outcomes.join(QStringLiteral(", "));
}

}  // namespace

class BusyRunSitesTest : public QObject {
    Q_OBJECT

private slots:
    // Under a decoding, a session's stop, the close, a question, a GPS
    // command and an editor command, in that order.
    void commandsMeetEachRunAsTheirRulesSay() {
        const QString onlyBesideTheEditor =
            QStringLiteral("refused, refused, refused, refused, refused, go");
        QCOMPARE(row([](MainHarness& h) {
                     action(*h.main, "mnuDecode")->trigger();
                     return [&h] { return h.dialogs.openDialogs == 1; };
                 }),
                 onlyBesideTheEditor);
        QCOMPARE(row([](MainHarness& h) {
                     action(*h.main, "mnuSettings")->trigger();
                     return [&h] { return h.options->isVisible(); };
                 }),
                 onlyBesideTheEditor);
        QCOMPARE(row([](MainHarness& h) {
                     action(*h.main, "mnuEditor")->trigger();
                     return [&h] { return h.editor->isVisible(); };
                 }),
                 onlyBesideTheEditor);
        QCOMPARE(row([](MainHarness& h) {
                     h.main->model().sessionParts().decoder.setCounts(7, 0);
                     action(*h.main, "mnuClear")->trigger();
                     return [&h] { return h.main->model().decoder().textCount() == 0; };
                 }),
                 onlyBesideTheEditor);
        QCOMPARE(row([](MainHarness& h) {
                     h.editor->setPlainDocument(QStringLiteral("x"));
                     action(*h.editor, "mnuClearAll")->trigger();
                     return [&h] { return h.editor->plainText().isEmpty(); };
                 }),
                 QStringLiteral("go, refused, refused, refused, go, refused"));
        QCOMPARE(row([](MainHarness& h) {
                     h.editor->show();
                     h.editor->close();
                     return [&h] { return !h.editor->isVisible(); };
                 }),
                 QStringLiteral("go, go, go, go, go, waits"));
    }
};

QTEST_MAIN(BusyRunSitesTest)
#include "BusyRunSitesTest.moc"
