#include "NameOnlyIconProvider.h"

#include <QFileInfo>
#include <QMimeDatabase>

namespace zelvar {

QIcon NameOnlyIconProvider::icon(const QFileInfo& info) const {
    if (info.isRoot()) return icon(Drive);
    return icon(info.isDir() ? Folder : File);
}

QString NameOnlyIconProvider::type(const QFileInfo& info) const {
    // Only a regular file would be read for its kind; folders, devices and
    // pipes are told by the folder's entry alone.
    if (!info.isFile()) return QFileIconProvider::type(info);
    const QList<QMimeType> kinds = QMimeDatabase().mimeTypesForFileName(info.fileName());
    if (kinds.isEmpty()) return QStringLiteral("File");
    const QMimeType& kind = kinds.constFirst();
    return kind.comment().isEmpty() ? kind.name() : kind.comment();
}

}  // namespace zelvar
