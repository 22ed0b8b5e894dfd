#include "SettingsStore.h"

#include <QByteArray>
#include <QDir>
#include <QStandardPaths>
#include <QStringList>
#include <QFile>
#include <QFileInfo>
#include <QVariant>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <limits>

namespace zelvar {

std::optional<int> ParseStoredInt(std::string_view text) {
    std::size_t pos = 0;
    bool negative = false;
    if (!text.empty() && (text[0] == '+' || text[0] == '-')) {
        negative = text[0] == '-';
        pos = 1;
    }
    if (pos == text.size()) return std::nullopt;

    // One more than INT_MAX is allowed in magnitude so that INT_MIN parses.
    constexpr std::int64_t kLimit = std::int64_t{std::numeric_limits<int>::max()} + 1;
    std::int64_t magnitude = 0;
    for (; pos < text.size(); ++pos) {
        const char c = text[pos];
        if (c < '0' || c > '9') return std::nullopt;
        magnitude = magnitude * 10 + (c - '0');
        if (magnitude > kLimit) return std::nullopt;
    }
    const std::int64_t value = negative ? -magnitude : magnitude;
    if (value > std::numeric_limits<int>::max()) return std::nullopt;
    return static_cast<int>(value);
}

namespace {

QString keyName(std::string_view key) {
    return QString::fromLatin1(key.data(), static_cast<qsizetype>(key.size()));
}

}  // namespace

bool NoRegularFileAt(const QString& path) {
    struct stat info {};
    return ::stat(QFile::encodeName(path).constData(), &info) == 0 && !S_ISREG(info.st_mode);
}

// QSettings would name a user-scope INI file "Zelvar.ini"; the store has
// always been "Zelvar.conf", the name the native format uses on Linux.
QString userStorePath() {
    QString base = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    if (base.isEmpty()) base = QDir::homePath() + QStringLiteral("/.config");
    return base + QStringLiteral("/Kavren/Zelvar.conf");
}

SettingsStore::SettingsStore() : SettingsStore(userStorePath()) {}

SettingsStore::SettingsStore(const QString& iniFile) : path_(iniFile) {
    // QSettings reads the file as it is made.
    if (NoRegularFileAt(path_)) return;
    store_.emplace(iniFile, QSettings::IniFormat);
    store_->setFallbacksEnabled(false);
}

// QSettings turns some hand-written values into other types: an unquoted
// comma makes a list, and "@Type(...)" forms make byte arrays, rectangles and
// the like. The program itself only ever writes quoted strings.
std::optional<QString> SettingsStore::readText(std::string_view key) const {
    if (!store_) return std::nullopt;
    const QVariant value = store_->value(keyName(key));
    switch (value.typeId()) {
        case QMetaType::QString:
            return value.toString();
        case QMetaType::QStringList:
            // "IP1=1,2" was meant as the text 1,2. Blanks around the commas
            // are already gone at this point.
            return value.toStringList().join(QLatin1Char(','));
        default:
            // Missing, "@Invalid()", or a value no user would type by hand.
            return std::nullopt;
    }
}

std::string SettingsStore::readString(std::string_view key, const std::string& fallback) const {
    const auto text = readText(key);
    return text ? text->toStdString() : fallback;
}

int SettingsStore::readInt(std::string_view key, int fallback) const {
    const auto text = readText(key);
    if (!text) return fallback;
    const QByteArray utf8 = text->toUtf8();
    return ParseStoredInt(std::string_view(utf8.constData(), static_cast<std::size_t>(utf8.size())))
        .value_or(fallback);
}

bool SettingsStore::readBool(std::string_view key, bool fallback) const {
    return readInt(key, fallback ? 1 : 0) != 0;
}

void SettingsStore::writeText(std::string_view key, const QString& value) {
    store_->setValue(keyName(key), value);
}

void SettingsStore::writeInt(std::string_view key, int value) {
    writeText(key, QString::number(value));
}

void SettingsStore::writeBool(std::string_view key, bool value) {
    writeText(key, value ? QStringLiteral("1") : QStringLiteral("0"));
}

Settings SettingsStore::load() {
    const Settings d;
    Settings s;
    for (std::size_t i = 0; i < kPortCount; ++i) s.IP[i] = readString(keys::kIP[i], d.IP[i]);
    for (std::size_t i = 0; i < kPortCount; ++i) s.Port[i] = readString(keys::kPort[i], d.Port[i]);
    for (std::size_t i = 0; i < kTypeFlagNames.size(); ++i) {
        s.typeFlags[i] = readBool(kTypeFlagNames[i], d.typeFlags[i]);
    }
    s.IDFilter = readBool(keys::kIDFilter, d.IDFilter);
    s.AutoSave = readBool(keys::kAutoSave, d.AutoSave);
    s.HexLog = readBool(keys::kHexLog, d.HexLog);
    s.Editor = readBool(keys::kEditor, d.Editor);

    // The bounds are read also for a maximised window: they are the size and
    // place it had when last closed in the normal state.
    s.mwMaximized = readBool(keys::kMwMaximized, d.mwMaximized);
    s.fWidth = readInt(keys::kFWidth, d.fWidth);
    s.fHeight = readInt(keys::kFHeight, d.fHeight);
    s.fTop = readInt(keys::kFTop, d.fTop);
    s.fLeft = readInt(keys::kFLeft, d.fLeft);
    s.mHeight = readInt(keys::kMHeight, d.mHeight);

    s.ewMaximized = readBool(keys::kEwMaximized, d.ewMaximized);
    s.eWidth = readInt(keys::kEWidth, d.eWidth);
    s.eHeight = readInt(keys::kEHeight, d.eHeight);
    s.eTop = readInt(keys::kETop, d.eTop);
    s.eLeft = readInt(keys::kELeft, d.eLeft);

    s.NewFileEvery65535 = readBool(keys::kNewFileEvery65535, d.NewFileEvery65535);
    s.PType = readString(keys::kPType, d.PType);
    s.PByte = readString(keys::kPByte, d.PByte);
    for (std::size_t i = 0; i < kPortCount; ++i) {
        s.RSSICorrection[i] = readInt(keys::kRSSICorrection[i], d.RSSICorrection[i]);
    }
    for (std::size_t i = 0; i < kPortCount; ++i) {
        s.MaxRSSI[i] = readInt(keys::kMaxRSSI[i], d.MaxRSSI[i]);
    }
    s.OnlyRSSI = readBool(keys::kOnlyRSSI, d.OnlyRSSI);
    s.GMTCorrection = readInt(keys::kGMTCorrection, d.GMTCorrection);
    s.TimeOut = readInt(keys::kTimeOut, d.TimeOut);
    s.numCom = readString(keys::kNumCom, d.numCom);
    return s;
}

bool SettingsStore::save(const Settings& s) {
    // QSettings reads the file again before it writes it, and then puts a
    // new file in its place.
    if (!store_ || NoRegularFileAt(path_)) return false;
    for (std::size_t i = 0; i < kPortCount; ++i) {
        writeText(keys::kIP[i], QString::fromStdString(s.IP[i]));
    }
    for (std::size_t i = 0; i < kPortCount; ++i) {
        writeText(keys::kPort[i], QString::fromStdString(s.Port[i]));
    }
    for (std::size_t i = 0; i < kTypeFlagNames.size(); ++i) {
        writeBool(kTypeFlagNames[i], s.typeFlags[i]);
    }
    writeBool(keys::kIDFilter, s.IDFilter);
    writeBool(keys::kAutoSave, s.AutoSave);
    writeBool(keys::kHexLog, s.HexLog);
    writeBool(keys::kEditor, s.Editor);

    if (s.mwMaximized) {
        writeBool(keys::kMwMaximized, true);
    } else {
        writeInt(keys::kFWidth, s.fWidth);
        writeInt(keys::kFHeight, s.fHeight);
        writeInt(keys::kFTop, s.fTop);
        writeInt(keys::kFLeft, s.fLeft);
        writeBool(keys::kMwMaximized, false);
    }
    writeInt(keys::kMHeight, s.mHeight);
    if (s.ewMaximized) {
        writeBool(keys::kEwMaximized, true);
    } else {
        writeInt(keys::kEWidth, s.eWidth);
        writeInt(keys::kEHeight, s.eHeight);
        writeInt(keys::kETop, s.eTop);
        writeInt(keys::kELeft, s.eLeft);
        writeBool(keys::kEwMaximized, false);
    }

    writeBool(keys::kNewFileEvery65535, s.NewFileEvery65535);
    writeText(keys::kPType, QString::fromStdString(s.PType));
    writeText(keys::kPByte, QString::fromStdString(s.PByte));
    for (std::size_t i = 0; i < kPortCount; ++i) {
        writeInt(keys::kRSSICorrection[i], s.RSSICorrection[i]);
    }
    for (std::size_t i = 0; i < kPortCount; ++i) writeInt(keys::kMaxRSSI[i], s.MaxRSSI[i]);
    writeBool(keys::kOnlyRSSI, s.OnlyRSSI);
    writeInt(keys::kGMTCorrection, s.GMTCorrection);
    writeInt(keys::kTimeOut, s.TimeOut);
    writeText(keys::kNumCom, QString::fromStdString(s.numCom));
    store_->sync();
    return store_->status() == QSettings::NoError;
}

QString SettingsStore::writeFailureText() const {
    // The file, or else the nearest folder above it that exists, says why.
    QString reason;
    const QString file = QFileInfo(path_).absoluteFilePath();
    if (NoRegularFileAt(path_)) reason = QStringLiteral("not a regular file");
    for (QFileInfo at(file); reason.isEmpty() && !at.absoluteFilePath().isEmpty();
         at = QFileInfo(at.absolutePath())) {
        if (!at.exists() && at.absoluteFilePath() != at.absolutePath()) continue;
        const QByteArray path = QFile::encodeName(at.absoluteFilePath());
        if (::access(path.constData(), W_OK) != 0) {
            reason = QString::fromLocal8Bit(std::strerror(errno));
        } else if (!at.isDir() && at.absoluteFilePath() != file) {
            reason = QString::fromLocal8Bit(std::strerror(ENOTDIR));
        }
        break;
    }
    if (reason.isEmpty()) reason = QStringLiteral("the file could not be written");
    return QStringLiteral("%1: %2").arg(QDir::toNativeSeparators(path_), reason);
}

}  // namespace zelvar
