#pragma once

#include <QString>
#include <stdexcept>

namespace zelvar {

// A file that could not be read or written, with the system's reason: a
// log file, and a document of the editor (DocumentFileError).
class LogFileError : public std::runtime_error {
public:
    explicit LogFileError(const QString& text)
        : std::runtime_error(text.toStdString()), text_(text) {}
    const QString& text() const { return text_; }

private:
    QString text_;
};

}  // namespace zelvar
