#include "ZelvarEditor.h"

#include <QFontMetrics>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QToolButton>
#include <QValidator>

#include "WindowFonts.h"
#include "WindowLook.h"

// The row below the text area: search, the three markers, the mask fields
// and Decode...
namespace {

constexpr int kFindWidth = 363;
constexpr int kFindLength = 50;

const QColor kCream = zelvar::EditableLogCream();

// Every letter typed or pasted into a field comes out in upper case.
class UpperCaseValidator : public QValidator {
public:
    using QValidator::QValidator;
    State validate(QString& input, int&) const override {
        input = input.toUpper();
        return Acceptable;
    }
};

QLineEdit* upperCaseField(QWidget* parent, const char* name, int maxLength) {
    auto* field = new QLineEdit(parent);
    field->setObjectName(QLatin1String(name));
    field->setMaxLength(maxLength);
    field->setValidator(new UpperCaseValidator(field));
    field->setFont(zelvar::LogViewFont());
    QPalette palette = field->palette();
    palette.setColor(QPalette::Base, kCream);
    field->setPalette(palette);
    return field;
}

QToolButton* markerButton(QWidget* parent, const char* name, const QString& caption,
                          const QColor& color, const QString& hint) {
    auto* button = new QToolButton(parent);
    button->setObjectName(QLatin1String(name));
    button->setText(caption);
    button->setToolTip(hint);
    QFont font = button->font();
    font.setBold(true);
    button->setFont(font);
    QPalette palette = button->palette();
    palette.setColor(QPalette::ButtonText, color);
    button->setPalette(palette);
    button->setAutoRaise(true);
    return button;
}

}  // namespace

void TEditorForm::buildBottomPanel(QWidget* panel) {
    auto* row = new QHBoxLayout(panel);
    row->setContentsMargins(4, 4, 4, 4);
    row->setSpacing(4);

    EditFind = upperCaseField(panel, "EditFind", kFindLength);
    EditFind->setFixedWidth(kFindWidth);
    EditFind->setToolTip(QStringLiteral("Строка поиска"));
    row->addWidget(EditFind);

    BtnFindPrev = new QToolButton(panel);
    BtnFindPrev->setObjectName(QStringLiteral("BtnFindPrev"));
    BtnFindPrev->setArrowType(Qt::UpArrow);
    BtnFindPrev->setToolTip(QStringLiteral("Поиск назад..."));
    row->addWidget(BtnFindPrev);
    BtnFindNext = new QToolButton(panel);
    BtnFindNext->setObjectName(QStringLiteral("BtnFindNext"));
    BtnFindNext->setArrowType(Qt::DownArrow);
    BtnFindNext->setToolTip(QStringLiteral("Поиск вперед..."));
    row->addWidget(BtnFindNext);
    row->addSpacing(8);

    BtnRedMark = markerButton(panel, "BtnRedMark", QStringLiteral("R"), Qt::red,
                              QStringLiteral("Красный маркер"));
    BtnBoldMark = markerButton(panel, "BtnBoldMark", QStringLiteral("B"), Qt::black,
                               QStringLiteral("Жирный маркер"));
    BtnBlueMark = markerButton(panel, "BtnBlueMark", QStringLiteral("B"), Qt::blue,
                               QStringLiteral("Синий маркер"));
    for (QToolButton* button : {BtnRedMark, BtnBoldMark, BtnBlueMark}) row->addWidget(button);
    row->addSpacing(8);

    const int twoCharacters =
        QFontMetrics(zelvar::LogViewFont()).horizontalAdvance(QStringLiteral("WW")) + 12;
    row->addWidget(new QLabel(QStringLiteral("Value :"), panel));
    EditPType = upperCaseField(panel, "EditPType", 2);
    EditPType->setFixedWidth(twoCharacters);
    EditPType->setText(QStringLiteral("0B"));
    row->addWidget(EditPType);
    row->addWidget(new QLabel(QStringLiteral("Bit :"), panel));
    EditPByte = upperCaseField(panel, "EditPByte", 2);
    EditPByte->setFixedWidth(twoCharacters);
    EditPByte->setText(QStringLiteral("4"));
    row->addWidget(EditPByte);

    row->addStretch(1);
    SBDecode = new QPushButton(QStringLiteral("Decode..."), panel);
    SBDecode->setObjectName(QStringLiteral("SBDecode"));
    row->addWidget(SBDecode);
}
