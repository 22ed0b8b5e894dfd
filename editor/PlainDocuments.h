#pragma once

#include <QStringView>

#include "RichText.h"

namespace zelvar {

// Plain text as a document without marks, with its room for editing.
RichText PlainDocument(QStringView text);

}  // namespace zelvar
