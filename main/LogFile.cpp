#include "LogFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <QDir>
#include <QFile>
#include <cerrno>
#include <cstring>

namespace zelvar {

namespace {

QString shownPath(const QString& path) {
    return QDir::toNativeSeparators(path);
}

// The system's own words for the last failure ("No space left on device").
QString systemText(int error) {
    return QString::fromLocal8Bit(std::strerror(error));
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

void WriteLogFile(const QString& path, const QByteArray& bytes) {
    WriteLogFile(path, QList<QByteArray>{bytes});
}

void WriteLogFile(const QString& path, const QList<QByteArray>& pieces) {
    // Written beside the target and renamed over it only when complete and on
    // the disk, so a failure never destroys an older file of that name. The
    // system calls are used directly so that the reason of a failure is the
    // system's (a full disk shows up at the write, the flush or the close).
    const QByteArray target = QFile::encodeName(path);
    QByteArray temporary = target + ".XXXXXX";
    const int fd = ::mkstemp(temporary.data());
    if (fd < 0) {
        const int error = errno;
        throw LogFileError(QStringLiteral("Cannot create file \"%1\". %2")
                               .arg(shownPath(path), systemText(error)));
    }
    int error = 0;
    for (const QByteArray& piece : pieces) {
        const char* data = piece.constData();
        qsizetype left = piece.size();
        while (left > 0 && error == 0) {
            const ssize_t written = ::write(fd, data, static_cast<std::size_t>(left));
            if (written < 0) {
                if (errno != EINTR) error = errno;
                continue;
            }
            data += written;
            left -= written;
        }
    }
    // mkstemp makes the file private; a log is as readable as any other file.
    const mode_t mask = ::umask(0);
    ::umask(mask);
    if (error == 0 && ::fchmod(fd, 0666 & ~mask) != 0) error = errno;
    if (error == 0 && ::fdatasync(fd) != 0) error = errno;
    if (::close(fd) != 0 && error == 0) error = errno;
    if (error == 0 && ::rename(temporary.constData(), target.constData()) != 0) error = errno;
    if (error != 0) {
        ::unlink(temporary.constData());
        throw LogFileError(QStringLiteral("Cannot write file \"%1\". %2")
                               .arg(shownPath(path), systemText(error)));
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
