#pragma once

#include <QObject>

class QWidget;

namespace zelvar {

// From start() on, every modal box and dialog and every popup menu of the
// program, standing or opened later, is dismissed with its safe answer: the
// one its Esc key gives (Cancel, No, nothing chosen). Nobody is there to
// answer once the desktop or `kill` has asked the program to end, and a box
// must not hold up the close.
class ModalDismissal : public QObject {
public:
    void start();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    static void dismissLater(QWidget* window);
    bool started_ = false;
};

}  // namespace zelvar
