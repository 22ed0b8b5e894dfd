#include "LogFile.h"

#include <QDir>
#include <QFile>
#include <QSaveFile>

namespace zelvar {

namespace {

QString shownPath(const QString& path) {
    return QDir::toNativeSeparators(path);
}

}  // namespace

QByteArray LogFileBytes(const QString& viewText) {
    // Characters beyond Latin-1 can only come from typing while the editor
    // holds the views; they become '?' like in any single-byte file.
    const QByteArray latin = viewText.toLatin1();
    const qsizetype lineEnds = latin.count('\n') + 1;
    QByteArray bytes;
    bytes.reserve(latin.size() + 2 * lineEnds);
    qsizetype begin = 0;
    while (true) {
        const qsizetype end = latin.indexOf('\n', begin);
        const qsizetype stop = end < 0 ? latin.size() : end;
        bytes.append(latin.constData() + begin, stop - begin);
        bytes.append("\r\n", 2);
        if (end < 0) break;
        begin = end + 1;
    }
    return bytes;
}

void WriteLogFile(const QString& path, const QByteArray& bytes) {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        throw LogFileError(QStringLiteral("Cannot create file \"%1\". %2")
                               .arg(shownPath(path), file.errorString()));
    }
    if (file.write(bytes) != bytes.size() || !file.commit()) {
        const QString reason = file.errorString();
        file.cancelWriting();
        throw LogFileError(
            QStringLiteral("Cannot write file \"%1\". %2").arg(shownPath(path), reason));
    }
}

QString FreeLogBase(const QString& base) {
    auto taken = [](const QString& name) {
        return QFile::exists(name + QStringLiteral(".txt")) ||
               QFile::exists(name + QStringLiteral(".hex"));
    };
    QString name = base;
    for (int n = 1; taken(name); ++n) name = base + QLatin1Char('_') + QString::number(n);
    return name;
}

QByteArray ReadLogFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        throw LogFileError(
            QStringLiteral("Cannot open file \"%1\". %2").arg(shownPath(path), file.errorString()));
    }
    QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        throw LogFileError(
            QStringLiteral("Cannot read file \"%1\". %2").arg(shownPath(path), file.errorString()));
    }
    return bytes;
}

}  // namespace zelvar
