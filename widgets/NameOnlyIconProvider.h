#pragma once

#include <QFileIconProvider>

namespace zelvar {

// Icons and kinds for a file dialog's entries from their names and what the
// folder says of them, never from their contents: a folder such as /proc
// holds files whose reading blocks for ever (/proc/kmsg) or takes their data
// away, and the dialog lists on the window's thread.
class NameOnlyIconProvider : public QFileIconProvider {
public:
    using QFileIconProvider::icon;
    QIcon icon(const QFileInfo& info) const override;
    QString type(const QFileInfo& info) const override;
};

}  // namespace zelvar
