#pragma once

#include <QWidget>

#include "Settings.h"

class QPushButton;

// The log editor window. It is created once at start-up and afterwards only
// shown and hidden; the main window reacts to both.
class TEditorForm : public QWidget {
    Q_OBJECT

public:
    explicit TEditorForm(zelvar::Settings& settings, QWidget* parent = nullptr);

    // The stored bounds, or the maximised state, from the settings.
    void applyWindowSettings();
    // The window's bounds back into the settings; a maximised window keeps
    // the bounds it had before.
    void storeWindowSettings();

    QPushButton* SBDecode = nullptr;

signals:
    // Emitted each time the window is shown or hidden, after Editor is set.
    void visibilityChanged(bool visible);

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    zelvar::Settings& settings_;
};
