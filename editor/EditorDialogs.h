#pragma once

#include <QString>

class QWidget;

namespace zelvar {

// The editor's file dialogs and error box, behind one seam so that tests can
// answer them without a modal loop.
class EditorDialogs {
public:
    virtual ~EditorDialogs() = default;

    // "Open...": a document to open; empty when cancelled.
    virtual QString openDocument(QWidget* parent) = 0;
    // "Save As...": where to save, with "rtf" added to a name typed without
    // an extension and the overwrite question asked; empty when cancelled.
    virtual QString saveDocumentAs(QWidget* parent, const QString& proposedName) = 0;
    // An unexpected failure of the command, with the system's text.
    virtual void showError(QWidget* parent, const QString& text) = 0;
};

// The platform's dialogs.
class EditorWidgetDialogs : public EditorDialogs {
public:
    QString openDocument(QWidget* parent) override;
    QString saveDocumentAs(QWidget* parent, const QString& proposedName) override;
    void showError(QWidget* parent, const QString& text) override;
};

}  // namespace zelvar
