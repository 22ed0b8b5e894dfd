#pragma once

#include <QComboBox>
#include <QStringList>

namespace zelvar {

// The GPS strip's "Port:" box. A name longer than the box (a port under
// /dev/serial/by-id) is shown cut, its end kept; the tool tip and the list
// hold the whole name, and so does currentText().
class PortNameBox : public QComboBox {
public:
    // The box would be as wide as its longest name, at least `least` and at
    // most `most` pixels; where the strip is short of room, it gives way down
    // to `least` before the labels beside it do.
    PortNameBox(int least, int most, QWidget* parent);

    void setNames(const QStringList& names);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    int least_;
    int most_;
};

}  // namespace zelvar
