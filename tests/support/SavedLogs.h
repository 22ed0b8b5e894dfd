#pragma once

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>
#include <QStringList>

namespace zelvar::test {

// The logs in a Files folder (its journal files aside).
inline QStringList SavedLogs(const QString& filesDir) {
    return QDir(filesDir).entryList({QStringLiteral("*.txt"), QStringLiteral("*.hex")}, QDir::Files,
                                    QDir::Name);
}

// A file's bytes, or none when it cannot be read.
inline QByteArray ReadAllOf(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// A long hex log of one repeated call, with a CR LF after every line.
inline QByteArray LongHexLog(int lines) {
    const QByteArray line =
        "1$1145A3B2A\t00 18 25 01 03 00 00 00 00 00 00 00 20 00 00 64 00 01 F4 00 00 00 00 00 "
        "00 00 00 00 11 30 BB 1D\r\n";
    QByteArray log;
    log.reserve(line.size() * lines);
    for (int i = 0; i < lines; ++i) log += line;
    return log;
}

}  // namespace zelvar::test
