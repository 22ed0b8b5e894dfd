#pragma once

#include <QSettings>
#include <QString>
#include <optional>
#include <string_view>

#include "Settings.h"

namespace zelvar {

// Where the user's store lives.
QString userStorePath();

// Whether something other than a regular file (a FIFO, a device, a folder)
// is at `path`: such a store is neither read, which could wait for ever or
// read without end, nor written. Asks the folder only, which never waits.
bool NoRegularFileAt(const QString& path);

// A stored integer: an optional sign and decimal digits that fit 32 bits.
// Blanks, hexadecimal and anything else make it no number.
std::optional<int> ParseStoredInt(std::string_view text);

// Names of the stored values. They are case-sensitive and shared with every
// earlier version of the program, so they must never be respelled.
namespace keys {
inline constexpr std::string_view kIP[kPortCount] = {"IP1", "IP2", "IP3", "IP4"};
inline constexpr std::string_view kPort[kPortCount] = {"Port1", "Port2", "Port3", "Port4"};
// The package-type flags are stored under the names in kTypeFlagNames.
inline constexpr std::string_view kIDFilter = "IDFilter";
inline constexpr std::string_view kAutoSave = "AutoSave";
inline constexpr std::string_view kHexLog = "HexLog";
inline constexpr std::string_view kEditor = "Editor";
inline constexpr std::string_view kMwMaximized = "mwMaximized";
inline constexpr std::string_view kFWidth = "fWidth";
inline constexpr std::string_view kFHeight = "fHeight";
inline constexpr std::string_view kFTop = "fTop";
inline constexpr std::string_view kFLeft = "fLeft";
inline constexpr std::string_view kMHeight = "mHeight";
inline constexpr std::string_view kEwMaximized = "ewMaximized";
inline constexpr std::string_view kEWidth = "eWidth";
inline constexpr std::string_view kEHeight = "eHeight";
inline constexpr std::string_view kETop = "eTop";
inline constexpr std::string_view kELeft = "eLeft";
inline constexpr std::string_view kNewFileEvery65535 = "65535";
inline constexpr std::string_view kPType = "PType";
inline constexpr std::string_view kPByte = "PByte";
inline constexpr std::string_view kRSSICorrection[kPortCount] = {
    "RSSICorrection1", "RSSICorrection2", "RSSICorrection3", "RSSICorrection4"};
inline constexpr std::string_view kMaxRSSI[kPortCount] = {"MaxRSSI1", "MaxRSSI2", "MaxRSSI3",
                                                          "MaxRSSI4"};
inline constexpr std::string_view kOnlyRSSI = "OnlyRSSI";
inline constexpr std::string_view kGMTCorrection = "GMTCorrection";
inline constexpr std::string_view kTimeOut = "TimeOut";
inline constexpr std::string_view kNumCom = "numCom";
}  // namespace keys

// The settings' persistent home: an INI file written through QSettings, every
// value a string under its own name in the file's general section.
class SettingsStore {
public:
    // The user's store, Kavren/Zelvar.conf in the user's configuration folder
    // ($XDG_CONFIG_HOME, normally ~/.config).
    SettingsStore();
    // Any other file in the same format.
    explicit SettingsStore(const QString& iniFile);

    // False when something other than a regular file was in the file's
    // place (NoRegularFileAt): the values are the defaults, nothing is saved.
    bool usable() const { return store_.has_value(); }

    // A missing or unusable value gives its default; nothing is reported.
    Settings load();
    // Writes every value and flushes the file; false when the file could
    // not be written. The bounds of a window saved while maximised keep what
    // the store held, so its normal size and place survive the next run.
    bool save(const Settings& s);
    // Whether the file can be written now (its folders are made if needed).
    bool writable() const { return store_ && store_->isWritable(); }
    // Why the file cannot be written, in the system's words where it says.
    QString writeFailureText() const;

    QSettings::Status status() const { return store_ ? store_->status() : QSettings::AccessError; }
    QString fileName() const { return path_; }

private:
    std::optional<QString> readText(std::string_view key) const;
    std::string readString(std::string_view key, const std::string& fallback) const;
    int readInt(std::string_view key, int fallback) const;
    bool readBool(std::string_view key, bool fallback) const;

    void writeText(std::string_view key, const QString& value);
    void writeInt(std::string_view key, int value);
    void writeBool(std::string_view key, bool value);

    QString path_;
    std::optional<QSettings> store_;
};

}  // namespace zelvar
