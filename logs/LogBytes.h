#pragma once

#include <QByteArray>
#include <QList>

namespace zelvar {

// The bytes of a log as they are saved, in pieces written one after the
// other; the pieces share their data with the views they were taken from.
using LogBytes = QList<QByteArray>;

}  // namespace zelvar
