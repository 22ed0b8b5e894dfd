#pragma once

#include "RichText.h"

class QString;
class QTextCharFormat;
class QTextDocument;

namespace zelvar {

// Fills an empty text document with a RichText: unmarked text in the base
// format, marks as red or blue foreground and bold weight on top of it. Fill
// a document that no view shows yet: a view lays out all it is given at
// once, while a document it is handed later is laid out screen by screen.
void FillDocument(QTextDocument& document, const RichText& text, const QTextCharFormat& base);

// The same for text without marks, inserted as it is, without a copy.
void FillPlainDocument(QTextDocument& document, const QString& text, const QTextCharFormat& base);

// The text and marks of a document: paragraphs joined by '\n', each
// character's foreground colour through NearestMarkColor (no colour of its
// own is black) and its weight (bold or heavier is bold).
RichText DocumentMarks(const QTextDocument& document);

}  // namespace zelvar
