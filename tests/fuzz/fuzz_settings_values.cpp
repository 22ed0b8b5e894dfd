// Feeds arbitrary text to the stored-integer parser, checked against the C
// library, and as the whole content of a settings file to the store. Whatever
// a hand-edited file holds, loading must not fail, and what was loaded must
// come back unchanged after a save.
#include <QByteArray>
#include <QFile>
#include <QString>
#include <QTemporaryDir>
#include <cerrno>
#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "SettingsStore.h"

namespace {

void check(bool condition) {
    if (!condition) __builtin_trap();
}

void checkParser(std::string_view text) {
    const auto parsed = zelvar::ParseStoredInt(text);
    std::size_t digits = (!text.empty() && (text[0] == '+' || text[0] == '-')) ? 1 : 0;
    bool wellFormed = digits < text.size();
    for (std::size_t i = digits; i < text.size(); ++i) {
        if (text[i] < '0' || text[i] > '9') wellFormed = false;
    }
    if (!wellFormed) {
        check(!parsed);
        return;
    }
    const std::string copy(text);
    errno = 0;
    const long long reference = std::strtoll(copy.c_str(), nullptr, 10);
    const bool fits = errno != ERANGE && reference >= INT_MIN && reference <= INT_MAX;
    check(parsed.has_value() == fits);
    if (fits) check(*parsed == reference);
}

bool sameSettings(const zelvar::Settings& a, const zelvar::Settings& b) {
    bool same = a.IP == b.IP && a.Port == b.Port && a.typeFlags == b.typeFlags &&
                a.IDFilter == b.IDFilter && a.AutoSave == b.AutoSave && a.HexLog == b.HexLog &&
                a.Editor == b.Editor && a.mwMaximized == b.mwMaximized && a.mHeight == b.mHeight &&
                a.ewMaximized == b.ewMaximized && a.NewFileEvery65535 == b.NewFileEvery65535 &&
                a.PType == b.PType && a.PByte == b.PByte && a.RSSICorrection == b.RSSICorrection &&
                a.MaxRSSI == b.MaxRSSI && a.OnlyRSSI == b.OnlyRSSI &&
                a.GMTCorrection == b.GMTCorrection && a.TimeOut == b.TimeOut &&
                a.numCom == b.numCom;
    // The bounds of a maximised window are not written by a save.
    if (!a.mwMaximized) {
        same = same && a.fWidth == b.fWidth && a.fHeight == b.fHeight && a.fTop == b.fTop &&
               a.fLeft == b.fLeft;
    }
    if (!a.ewMaximized) {
        same = same && a.eWidth == b.eWidth && a.eHeight == b.eHeight && a.eTop == b.eTop &&
               a.eLeft == b.eLeft;
    }
    return same;
}

// QSettings caches parsed files by name and trusts an unchanged size and time
// stamp, so every input gets a file name of its own.
QString freshPath(const QTemporaryDir& dir) {
    static std::uint64_t counter = 0;
    return dir.filePath(QStringLiteral("case%1.conf").arg(++counter));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static QTemporaryDir dir;
    if (!dir.isValid()) return 0;

    const std::string_view text(reinterpret_cast<const char*>(data), size);
    checkParser(text);

    const QString input = freshPath(dir);
    {
        QFile file(input);
        if (!file.open(QIODevice::WriteOnly)) return 0;
        file.write(reinterpret_cast<const char*>(data), static_cast<qint64>(size));
    }
    const zelvar::Settings loaded = zelvar::SettingsStore(input).load();
    QFile::remove(input);

    const QString output = freshPath(dir);
    zelvar::SettingsStore(output).save(loaded);
    const zelvar::Settings reloaded = zelvar::SettingsStore(output).load();
    QFile::remove(output);
    check(sameSettings(loaded, reloaded));
    return 0;
}
