#include "PublishDialog.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QSysInfo>
#include <QVBoxLayout>

namespace zelvar {

PublishDialog::PublishDialog(const PublishSettings& s, QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("PublishDialog"));
    setWindowTitle(QStringLiteral("Publish"));
    auto* form = new QFormLayout;
    auto named = [](auto* widget, const char* name) {
        widget->setObjectName(QLatin1String(name));
        return widget;
    };
    on_ = named(new QCheckBox(QStringLiteral("&Publish every package to the broker")), "on");
    on_->setChecked(s.on);
    form->addRow(on_);
    host_ = named(new QLineEdit(s.host), "host");
    form->addRow(QStringLiteral("Broker &host:"), host_);
    port_ = named(new QSpinBox, "port");
    port_->setRange(1, 65535);
    port_->setValue(s.port);
    form->addRow(QStringLiteral("P&ort:"), port_);
    tls_ = named(new QCheckBox(QStringLiteral("&TLS")), "tls");
    tls_->setChecked(s.tls);
    form->addRow(tls_);
    // A file name with a button that picks it.
    auto fileRow = [&](const QString& label, const QString& value, const char* name, const QString& title,
                       const QString& filter) {
        auto* edit = named(new QLineEdit(value), name);
        auto* browse = new QPushButton(QStringLiteral("..."));
        connect(browse, &QPushButton::clicked, this, [this, edit, title, filter] {
            const QString file = QFileDialog::getOpenFileName(this, title, edit->text(), filter);
            if (!file.isEmpty()) edit->setText(file);
        });
        auto* row = new QHBoxLayout;
        row->addWidget(edit);
        row->addWidget(browse);
        // A caption beside a layout has no field of its own: its mnemonic
        // goes to the file name.
        auto* caption = new QLabel(label);
        caption->setBuddy(edit);
        form->addRow(caption, row);
        return edit;
    };
    const QString certificates = QStringLiteral("Certificates (*.crt *.pem);;All files (*)");
    caFile_ = fileRow(QStringLiteral("&CA file:"), s.caFile, "caFile", QStringLiteral("CA File"), certificates);
    caFile_->setPlaceholderText(QStringLiteral("the system's CAs"));
    certFile_ = fileRow(QStringLiteral("C&ertificate:"), s.certFile, "certFile", QStringLiteral("Client Certificate"),
                        certificates);
    certFile_->setPlaceholderText(QStringLiteral("none: user and password"));
    keyFile_ = fileRow(QStringLiteral("&Key file:"), s.keyFile, "keyFile", QStringLiteral("Key File"),
                       QStringLiteral("Keys (*.key *.pem);;All files (*)"));
    user_ = named(new QLineEdit(s.user), "user");
    form->addRow(QStringLiteral("&User:"), user_);
    password_ = named(new QLineEdit(s.password), "password");
    password_->setEchoMode(QLineEdit::Password);
    form->addRow(QStringLiteral("Pass&word:"), password_);
    savePassword_ = named(new QCheckBox(QStringLiteral("&Save the password (settings file readable by you only)")),
                          "savePassword");
    savePassword_->setChecked(s.savePassword);
    form->addRow(savePassword_);
    station_ = named(new QLineEdit(s.station), "station");
    station_->setPlaceholderText(QSysInfo::machineHostName());
    form->addRow(QStringLiteral("&Station:"), station_);
    prefix_ = named(new QLineEdit(s.prefix), "prefix");
    form->addRow(QStringLiteral("Topic &prefix:"), prefix_);
    outbox_ = named(new QSpinBox, "outbox");
    outbox_->setRange(1, 1'000'000);
    outbox_->setSuffix(QStringLiteral(" MB"));
    outbox_->setValue(s.outboxMegabytes);
    outbox_->setToolTip(QStringLiteral("Packages not yet confirmed by a collector are kept on disk up to "
                                       "this size; when it is full the oldest are dropped."));
    form->addRow(QStringLiteral("Out&box size:"), outbox_);
    problem_ = named(new QLabel, "problem");
    problem_->setStyleSheet(QStringLiteral("color: #b00000"));
    problem_->hide();

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    connect(buttons, &QDialogButtonBox::accepted, this, &PublishDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &PublishDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(problem_);
    layout->addWidget(buttons);
}

PublishSettings PublishDialog::settings() const {
    PublishSettings s;
    s.on = on_->isChecked();
    s.host = host_->text().trimmed();
    s.port = port_->value();
    s.tls = tls_->isChecked();
    s.caFile = caFile_->text();
    s.certFile = certFile_->text();
    s.keyFile = keyFile_->text();
    s.user = user_->text();
    s.password = password_->text();
    s.savePassword = savePassword_->isChecked();
    s.station = station_->text();
    s.prefix = prefix_->text();
    s.outboxMegabytes = outbox_->value();
    return s;
}

void PublishDialog::accept() {
    const QString problem = PublishSettingsProblem(settings());
    if (!problem.isEmpty()) {
        problem_->setText(problem);
        problem_->show();
        return;
    }
    QDialog::accept();
}

}  // namespace zelvar
