#include "ToolSettings.h"

#include <QFileInfo>
#include <QSettings>

#include "SettingsStore.h"

namespace zelvar {

bool LoadToolSettings(const std::string& file, Settings& settings, std::string& error,
                      std::string* path) {
    if (file.empty()) {
        SettingsStore store;
        const std::string name = store.fileName().toLocal8Bit().toStdString();
        if (!store.usable()) {
            error = "settings store '" + name + "' is not a regular file";
            return false;
        }
        settings = store.load();
        if (path) *path = name;
        return true;
    }
    const QFileInfo info(QString::fromLocal8Bit(file.c_str()));
    if (!info.isFile() || !info.isReadable()) {
        error = "cannot read settings file '" + file + "'";
        return false;
    }
    SettingsStore store(info.absoluteFilePath());
    settings = store.load();
    if (path) *path = file;
    if (store.status() != QSettings::NoError) {
        error = "settings file '" + file + "' is not a valid settings file";
        return false;
    }
    return true;
}

}  // namespace zelvar
