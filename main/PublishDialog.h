#pragma once

#include <QDialog>

#include "PublishSettings.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QSpinBox;

namespace zelvar {

// "Options > Publish...": the broker, the station and the outbox. OK keeps
// the dialog open while a value cannot be used, saying why.
class PublishDialog : public QDialog {
    Q_OBJECT

public:
    explicit PublishDialog(const PublishSettings& settings, QWidget* parent = nullptr);

    PublishSettings settings() const;
    void accept() override;

private:
    QCheckBox* on_;
    QLineEdit* host_;
    QSpinBox* port_;
    QCheckBox* tls_;
    QLineEdit* caFile_;
    QLineEdit* certFile_;
    QLineEdit* keyFile_;
    QLineEdit* user_;
    QLineEdit* password_;
    QCheckBox* savePassword_;
    QLineEdit* station_;
    QLineEdit* prefix_;
    QSpinBox* outbox_;
    QLabel* problem_;
};

}  // namespace zelvar
