#pragma once

#include <functional>

class QObject;

namespace zelvar {

class EditorHost;

// What the main window needs of the editor window, and no more: showing and
// hiding it, its "Decode..." button and its part of the settings.
class EditorControl {
public:
    virtual ~EditorControl() = default;

    // Not owned; the main window attaches itself.
    virtual void setHost(EditorHost* host) = 0;
    // `listener` hears each show and hide, after the settings' Editor flag
    // is set, for as long as `context` lives.
    virtual void onVisibilityChanged(QObject* context,
                                     std::function<void(bool visible)> listener) = 0;

    virtual bool editorShown() const = 0;
    virtual void showEditor() = 0;
    // Hiding during a command stops the command and hides once it has ended.
    virtual void hideEditor() = 0;
    // The editor's "Decode..." button, locked while the main window decodes.
    virtual void setDecodeButtonEnabled(bool enabled) = 0;

    // The stored bounds, or the maximised state, from the settings.
    virtual void applyWindowSettings() = 0;
    // The window's bounds back into the settings.
    virtual void storeWindowSettings() = 0;
    // The stored texts of "Value :" and "Bit :".
    virtual void applyFieldSettings() = 0;
};

}  // namespace zelvar
