#include "PortNameBox.h"

#include <QAbstractItemView>
#include <QStyleOptionComboBox>
#include <QStylePainter>
#include <algorithm>

namespace zelvar {

PortNameBox::PortNameBox(int least, int most, QWidget* parent)
    : QComboBox(parent), least_(least), most_(most) {
    setEditable(false);
    setSizeAdjustPolicy(QComboBox::AdjustToContents);
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    connect(this, &QComboBox::currentIndexChanged, this,
            [this] { setToolTip(currentText()); });
}

void PortNameBox::setNames(const QStringList& names) {
    clear();
    addItems(names);
    updateGeometry();
    // The list is as wide as the longest name, however narrow the box. The
    // view's own size hint for its items follows the box, not their text.
    const QFontMetrics metrics = view()->fontMetrics();
    int widest = 0;
    for (const QString& name : names) widest = std::max(widest, metrics.horizontalAdvance(name));
    view()->setMinimumWidth(widest + 2 * (view()->frameWidth() + metrics.height()));
}

QSize PortNameBox::sizeHint() const {
    const QSize natural = QComboBox::sizeHint();
    return {count() == 0 ? least_ : std::clamp(natural.width(), least_, most_), natural.height()};
}

QSize PortNameBox::minimumSizeHint() const {
    return {least_, QComboBox::minimumSizeHint().height()};
}

void PortNameBox::paintEvent(QPaintEvent*) {
    QStylePainter painter(this);
    painter.setPen(palette().color(QPalette::Text));
    QStyleOptionComboBox option;
    initStyleOption(&option);
    painter.drawComplexControl(QStyle::CC_ComboBox, option);
    // The style draws the label a pixel in from either side of the field.
    // Ports differ at the end of their names (the serial number, the
    // interface), so the end is kept.
    const QRect field =
        style()->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, this);
    option.currentText = fontMetrics().elidedText(option.currentText, Qt::ElideLeft,
                                                  std::max(field.width() - 2, 0));
    painter.drawControl(QStyle::CE_ComboBoxLabel, option);
}

}  // namespace zelvar
