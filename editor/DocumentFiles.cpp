#include "DocumentFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "DurableFile.h"
#include "ReadWholeFile.h"

namespace zelvar {

namespace {

QString shownPath(const QString& path) {
    return QDir::toNativeSeparators(path);
}

}  // namespace

std::string ReadDocumentFile(const QString& path) {
    try {
        return ReadWholeFile(QFile::encodeName(path).toStdString());
    } catch (const WholeFileError& error) {
        const QString text = error.opening() ? QStringLiteral("Cannot open file \"%1\". %2")
                                             : QStringLiteral("Cannot read file \"%1\". %2");
        throw DocumentFileError(text.arg(shownPath(path), QString::fromLocal8Bit(error.what())));
    }
}

void WriteDocumentFile(const QString& path, const QByteArray& bytes) {
    try {
        SaveWholeFile(QFile::encodeName(path).toStdString(), shownPath(path).toStdString(),
                      {std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size()))});
    } catch (const FileWriteError& error) {
        throw DocumentFileError(QString::fromLocal8Bit(error.what()));
    }
}

QString DroppedDocument(const QStringList& paths) {
    if (paths.isEmpty()) return {};
    const QFileInfo info(paths.constFirst());
    if (!info.isFile()) return {};
    const QString suffix = info.suffix();
    for (const char* accepted : {"rtf", "hex", "txt"}) {
        if (suffix.compare(QLatin1String(accepted), Qt::CaseInsensitive) == 0) {
            return info.filePath();
        }
    }
    return {};
}

}  // namespace zelvar
