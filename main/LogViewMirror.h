#pragma once

#include <QByteArray>
#include <string_view>

class QPlainTextEdit;

namespace zelvar {

// A log view together with the bytes it is saved as (every line followed by
// CR LF), which grow as lines go in. A full view is written every 65 535
// packages while datagrams keep arriving; converting the view's whole text
// at that moment would keep the window from reading its sockets for too long.
// Edits the mirror does not see (typing while the editor is shown) are
// noticed, and the view's own text is used instead.
class LogViewMirror {
public:
    explicit LogViewMirror(QPlainTextEdit* view);

    // Appends LF-joined lines to the view.
    void appendLines(std::string_view joined);
    void removeLastLine();
    void clear();

    // The file content of the view as it stands.
    QByteArray fileBytes();
    // The same, handed over without a copy, and the view emptied.
    QByteArray takeFileBytesAndClear();

private:
    bool inSync() const;
    void markInSync();

    QPlainTextEdit* view_;
    QByteArray bytes_;
    int revision_ = -1;
    int characters_ = -1;
};

}  // namespace zelvar
