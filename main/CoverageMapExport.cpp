#include "CoverageMapExport.h"

#include <sys/stat.h>

#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <cstring>
#include <deque>
#include <optional>
#include <system_error>
#include <utility>

#include "BusyRuns.h"
#include "CoverageExport.h"
#include "DurableFile.h"
#include "FileDialogs.h"
#include "LogFile.h"
#include "ReadWholeFile.h"
#include "Settings.h"

namespace zelvar {

namespace {

struct Choice {
    CoverageFormat format;
    const char* filter;
};
constexpr Choice kChoices[] = {
    {CoverageFormat::Kml, "KML for Google Earth and GIS (*.kml)"},
    {CoverageFormat::Gpx, "GPX 1.1 tracks (*.gpx)"},
    {CoverageFormat::GeoJson, "GeoJSON (*.geojson)"},
    {CoverageFormat::Csv, "CSV table (*.csv)"},
};

// The text log's saved bytes, piece after piece; no line spans two pieces.
class SnapshotCoverageSource : public CoverageSource {
public:
    explicit SnapshotCoverageSource(LogBytes pieces) : pieces_(std::move(pieces)) { rewind(); }
    void rewind() override {
        index_ = 0;
        open();
    }
    bool next(std::string_view& line) override {
        while (piece_) {
            if (piece_->next(line)) return true;
            ++index_;
            open();
        }
        return false;
    }
    std::size_t skippedLines() const override { return 0; }

private:
    void open() {
        piece_.reset();
        if (index_ >= static_cast<std::size_t>(pieces_.size())) return;
        const QByteArray& bytes = pieces_[static_cast<qsizetype>(index_)];
        piece_.emplace(std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())));
    }

    LogBytes pieces_;
    std::size_t index_ = 0;
    std::optional<TextCoverageSource> piece_;
};

class WidgetCoverageDialogs : public CoverageDialogs {
public:
    QString chooseExportFile(QWidget* parent, CoverageFormat& format) override {
        QStringList filters;
        for (const Choice& choice : kChoices) filters << QString::fromLatin1(choice.filter);
        QString selected = filters.front();
        QString path = QFileDialog::getSaveFileName(parent, QStringLiteral("Export Coverage"),
                                                    QString(), filters.join(QStringLiteral(";;")),
                                                    &selected);
        if (path.isEmpty()) return path;
        const auto chosen = filters.indexOf(selected);
        format = kChoices[chosen < 0 ? 0 : chosen].format;
        if (QFileInfo(path).suffix().isEmpty()) {
            path += QLatin1Char('.') + QString::fromLatin1(CoverageFormatName(format));
        }
        return path;
    }
    bool offerSavedLogs(QWidget* parent) override {
        return QMessageBox::question(
                   parent, QStringLiteral("Export Coverage"),
                   QStringLiteral("The text log holds no signal report with own position "
                                  "(\"Display Only RSSI\" with the GPS running).\n"
                                  "Choose saved text logs instead?")) == QMessageBox::Yes;
    }
    QStringList chooseSavedLogs(QWidget* parent) override {
        return QFileDialog::getOpenFileNames(parent, QStringLiteral("Saved Text Logs"), QString(),
                                             QStringLiteral("Text logs (*.txt);;All files (*)"));
    }
    void showError(QWidget* parent, const QString& text) override { ShowErrorBox(parent, text); }
};

QString readFailure(const QString& path, int error) {
    return QStringLiteral("Cannot read file \"%1\". %2")
        .arg(path, QString::fromLocal8Bit(std::strerror(error)));
}

// Writes the export through a temporary file that takes the name only when
// whole. Throws FileWriteError.
void writeMap(const std::string& path, const std::vector<int>& inputs,
              const std::vector<CoverageSource*>& logs, const CoverageOptions& options) {
    const std::string target = FollowLinks(path, path);
    // Replacing a log being read would destroy it before it is read.
    struct stat out {};
    if (::stat(target.c_str(), &out) == 0) {
        for (const int fd : inputs) {
            struct stat in {};
            if (::fstat(fd, &in) == 0 && in.st_dev == out.st_dev && in.st_ino == out.st_ino) {
                throw FileWriteError("Cannot write file \"" + path +
                                         "\". It is one of the logs to export.",
                                     "It is one of the logs to export.");
            }
        }
    }
    const std::unique_ptr<DurableFile> file = ReplacementFor(target, path);
    WriteCoverage(logs, options, [&file](std::string_view piece) { file->write(piece); });
    file->finish();
    file->place(target, Placement::Replace);
    SyncFolder(FolderOf(target));
}

}  // namespace

CoverageMapExport::CoverageMapExport(QWidget& window, BusyRuns& runs, const Settings& settings,
                                     std::function<LogBytes()> textLog)
    : QObject(&window),
      window_(window),
      runs_(runs),
      settings_(settings),
      textLog_(std::move(textLog)) {
    setObjectName(QStringLiteral("coverageMapExport"));
}

CoverageMapExport::~CoverageMapExport() = default;

void CoverageMapExport::setDialogs(CoverageDialogs* dialogs) { dialogs_ = dialogs; }

CoverageDialogs& CoverageMapExport::dialogs() {
    if (dialogs_ != nullptr) return *dialogs_;
    if (!ownDialogs_) ownDialogs_ = std::make_unique<WidgetCoverageDialogs>();
    return *ownDialogs_;
}

void CoverageMapExport::exportChosen() {
    // As "Save Data As...": the dialogs let events through, so commands that
    // come meanwhile are refused and a close waits until the export is written.
    const auto asking = runs_.tryBegin(Command::SaveAs, RunKind::Question);
    if (!asking) return;

    // The log as a save would write it now; monitoring goes on meanwhile.
    SnapshotCoverageSource textLog(textLog_());
    CoverageOptions options;
    options.gmtCorrection = settings_.GMTCorrection;
    std::vector<CoverageSource*> logs{&textLog};

    std::deque<FileDescriptor> files;
    std::deque<FileCoverageSource> fileLogs;
    std::vector<int> inputs;
    if (!HasOwnPositionLine(textLog, options.gmtCorrection)) {
        if (!dialogs().offerSavedLogs(&window_)) return;
        const QStringList chosen = dialogs().chooseSavedLogs(&window_);
        if (chosen.isEmpty()) return;
        logs.clear();
        for (const QString& path : chosen) {
            try {
                files.emplace_back(OpenRegularFile(path.toLocal8Bit().toStdString()));
                inputs.push_back(files.back().get());
                logs.push_back(&fileLogs.emplace_back(files.back().get()));
            } catch (const WholeFileError& error) {
                dialogs().showError(&window_, QStringLiteral("Cannot read file \"%1\". %2")
                                                .arg(path, QString::fromStdString(error.what())));
                return;
            } catch (const std::system_error& error) {
                dialogs().showError(&window_, readFailure(path, error.code().value()));
                return;
            }
        }
    }

    const QString path = dialogs().chooseExportFile(&window_, options.format);
    if (path.isEmpty()) return;
    try {
        writeMap(path.toLocal8Bit().toStdString(), inputs, logs, options);
    } catch (const FileWriteError& error) {
        dialogs().showError(&window_, QString::fromLocal8Bit(error.what()));
    } catch (const std::system_error& error) {
        dialogs().showError(&window_, QStringLiteral("Cannot read the logs to export. %1")
                                        .arg(QString::fromLocal8Bit(std::strerror(error.code().value()))));
    }
}

}  // namespace zelvar
