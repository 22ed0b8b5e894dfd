#pragma once

#include <QDialog>
#include <QWidget>
#include <array>

#include "Settings.h"

class QCheckBox;
class QLineEdit;
class QPushButton;
class QToolButton;

namespace zelvar {

// An integer field with up and down buttons whose text may leave its limits
// while the user types. The value is read from the text as it stands (a text
// that is no integer reads as the minimum); the limits are enforced only when
// the field loses the focus or the program sets a value. QSpinBox rewrites
// its text at once and cannot show an empty field, so it does not fit here.
class SpinEdit : public QWidget {
    Q_OBJECT
public:
    SpinEdit(int minValue, int maxValue, int value, QWidget* parent = nullptr);

    int minValue() const { return min_; }
    int maxValue() const { return max_; }
    int value() const;
    // Clamps into the limits; the text is rewritten only when it changes.
    void setValue(int value);
    int clamped(int value) const;
    QString text() const;
    QLineEdit* lineEdit() const { return edit_; }
    // What leaving the field does: an out-of-range value is pulled back in.
    void finishEditing();

signals:
    // Every change of the text, by the user or by the program.
    void changed();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void step(int delta);

    int min_;
    int max_;
    QLineEdit* edit_;
    QToolButton* up_;
    QToolButton* down_;
};

}  // namespace zelvar

// The settings dialog. It edits the live settings record in place: every
// change of a control is written into the record at once, and "OK" only
// hides the window.
class TOptionsForm : public QDialog {
    Q_OBJECT
public:
    explicit TOptionsForm(zelvar::Settings& settings, QWidget* parent = nullptr);

    // Record -> the eight address edits; run once after the store is loaded.
    void loadAddresses();
    // A monitoring session must not change the addresses under its sockets.
    void setAddressFieldsEnabled(bool enabled);
    // Port 1..4: the current text of EditIPn.
    QString ipText(int port) const;
    QPushButton* timeFromGpsButton() const { return sbTimeFromGPS; }

signals:
    // A package-type box wrote its flag: the type summary needs refreshing.
    void typeFlagsChanged();
    // The dialog was hidden by "OK" or by its close box.
    void updateSMeterHints();
    void timeFromGpsClicked();

public slots:
    void reject() override;

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void buildControls();
    void loadOnShow();
    void sbDefaultClick();
    void sbHideClick();
    // Sets a spin edit and writes its value even when the text stays the
    // same, so the record always holds what the field shows.
    void pushSpin(zelvar::SpinEdit* spin, int value);
    void spinChanged(zelvar::SpinEdit* spin);

    zelvar::Settings& settings_;
    int DefaultClickCount = 0;
    bool centred_ = false;

    std::array<QCheckBox*, zelvar::kTypeFlagNames.size()> typeBoxes_{};
    QCheckBox* cbIDFilter = nullptr;
    std::array<QLineEdit*, zelvar::kPortCount> EditIP{};
    std::array<QLineEdit*, zelvar::kPortCount> EditPort{};
    std::array<zelvar::SpinEdit*, zelvar::kPortCount> SpinRSSICor{};
    std::array<zelvar::SpinEdit*, zelvar::kPortCount> SpinRSSIMax{};
    zelvar::SpinEdit* SpinEditGMT = nullptr;
    zelvar::SpinEdit* SpinTimeOut = nullptr;
    QPushButton* sbDefault = nullptr;
    QPushButton* sbTimeFromGPS = nullptr;
    QPushButton* sbHide = nullptr;
};
