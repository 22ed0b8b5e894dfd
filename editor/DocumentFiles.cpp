#include "DocumentFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace zelvar {

namespace {

QString shownPath(const QString& path) {
    return QDir::toNativeSeparators(path);
}

}  // namespace

QByteArray ReadDocumentFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        throw DocumentFileError(
            QStringLiteral("Cannot open file \"%1\". %2").arg(shownPath(path), file.errorString()));
    }
    QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        throw DocumentFileError(
            QStringLiteral("Cannot read file \"%1\". %2").arg(shownPath(path), file.errorString()));
    }
    return bytes;
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
