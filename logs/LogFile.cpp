#include "LogFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <vector>

namespace zelvar {

namespace {

QString shownPath(const QString& path) {
    return QDir::toNativeSeparators(path);
}

std::string_view view(const QByteArray& bytes) {
    return {bytes.constData(), static_cast<std::size_t>(bytes.size())};
}

std::string encoded(const QString& path) {
    return QFile::encodeName(path).toStdString();
}

std::string folderOf(const QString& path) {
    return encoded(QFileInfo(path).absolutePath());
}

LogFileError logFileError(const FileWriteError& error) {
    return LogFileError(QString::fromLocal8Bit(error.what()));
}

bool nameTaken(const QString& base) {
    return QFile::exists(base + QStringLiteral(".txt")) ||
           QFile::exists(base + QStringLiteral(".hex"));
}

}  // namespace

QByteArray LogFileBytes(const QString& viewText) {
    // The program's own lines are ASCII; titles may carry any file name and
    // the editor lets the user type anything, so the files are UTF-8.
    const QByteArray utf8 = viewText.toUtf8();
    const qsizetype lineEnds = utf8.count('\n') + 1;
    QByteArray bytes;
    bytes.reserve(utf8.size() + 2 * lineEnds);
    qsizetype begin = 0;
    while (true) {
        const qsizetype end = utf8.indexOf('\n', begin);
        const qsizetype stop = end < 0 ? utf8.size() : end;
        bytes.append(utf8.constData() + begin, stop - begin);
        bytes.append("\r\n", 2);
        if (end < 0) break;
        begin = end + 1;
    }
    return bytes;
}

LogPairFiles::LogPairFiles(const QString& base) : base_(QFileInfo(base).absoluteFilePath()) {}

LogPairFiles::~LogPairFiles() = default;

DurableFile& LogPairFiles::make(std::unique_ptr<DurableFile>& file, const char* extension) {
    if (!file) {
        file = std::make_unique<DurableFile>(folderOf(base_),
                                             shownPath(base_ + QLatin1String(extension)).toStdString());
    }
    return *file;
}

void LogPairFiles::writeText(const QByteArray& bytes) {
    try {
        make(text_, ".txt").write(view(bytes));
    } catch (const FileWriteError& error) {
        throw logFileError(error);
    }
}

void LogPairFiles::writeHex(const QByteArray& bytes) {
    try {
        make(hex_, ".hex").write(view(bytes));
    } catch (const FileWriteError& error) {
        throw logFileError(error);
    }
}

const DurableFile* LogPairFiles::keyFile() const {
    return hex_ ? hex_.get() : text_.get();
}

QString LogPairFiles::place(Placement placement,
                            const std::function<void(const DurableFile&)>& beforePlacing) {
    // The .hex goes first: it is what a save is known by, so a save cut off
    // between the two names holds its packages in the .hex, never in two .txt.
    struct Named {
        DurableFile* file;
        QLatin1String extension;
    };
    std::vector<Named> files;
    if (hex_) files.push_back({hex_.get(), QLatin1String(".hex")});
    if (text_) files.push_back({text_.get(), QLatin1String(".txt")});
    if (files.empty()) return base_;
    QString used = base_;
    const auto target = [&used](const Named& named) { return encoded(used + named.extension); };
    try {
        for (const Named& named : files) named.file->finish();
        if (beforePlacing) beforePlacing(*keyFile());
        if (placement == Placement::Replace) {
            for (const Named& named : files) named.file->place(target(named), placement);
        } else {
            int suffix = 0;
            const auto nextFree = [&] {
                do used = base_ + QLatin1Char('_') + QString::number(++suffix);
                while (nameTaken(used));
            };
            if (nameTaken(used)) nextFree();
            while (!files[0].file->place(target(files[0]), placement)) nextFree();
            ReachFaultPoint(FaultPoint::HexPlaced);
            try {
                // Another program took the second name meanwhile: the first
                // file follows to the next base where both names are free.
                while (files.size() > 1 && !files[1].file->place(target(files[1]), placement)) {
                    do nextFree();
                    while (!files[0].file->place(target(files[0]), placement));
                }
            } catch (const FileWriteError&) {
                files[0].file->unplace();
                throw;
            }
        }
        ReachFaultPoint(FaultPoint::TextPlaced);
        SyncFolder(folderOf(base_));
    } catch (const FileWriteError& error) {
        throw logFileError(error);
    }
    return used;
}

}  // namespace zelvar
