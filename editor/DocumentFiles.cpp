#include "DocumentFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

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
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        throw DocumentFileError(QStringLiteral("Cannot create file \"%1\". %2")
                                    .arg(shownPath(path), file.errorString()));
    }
    if (file.write(bytes) != bytes.size() || !file.commit()) {
        const QString reason = file.errorString();
        file.cancelWriting();
        throw DocumentFileError(
            QStringLiteral("Cannot write file \"%1\". %2").arg(shownPath(path), reason));
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
