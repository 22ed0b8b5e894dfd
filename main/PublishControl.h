#pragma once

#include <QObject>
#include <QTimer>
#include <functional>
#include <memory>
#include <string>

#include "PublishSettings.h"

class QWidget;

namespace zelvar {

class MonitorModel;
class Publisher;
struct PackageFields;

// The parts of the main window that publishing uses.
struct PublishParts {
    // The dialog's parent; publishing starts once it has first been shown.
    QWidget& window;
    // The runs, the error box, status panel 7, whether a session runs, the
    // GPS and the transceivers' addresses, and the live packages' hand-over.
    MonitorModel& monitor;
    // Both known once the window has first been shown.
    std::function<QString()> settingsFileName;
    std::function<QString()> filesFolder;
};

// The main window's publishing: "Options > Publish...", the publisher while
// publishing is on, and its status panel (" MQTT: connected, queued N,
// dropped N"), the seventh, which shows only while publishing is on. Starts once the window has first been shown, with the
// settings of the window's settings file.
class PublishControl : public QObject {
    Q_OBJECT

public:
    // A child of the window.
    explicit PublishControl(PublishParts parts);
    ~PublishControl() override;

    void dialogChosen();
    // Keeps the settings and publishes, or stops, accordingly.
    void apply(const PublishSettings& settings);
    // A package the decoder took live; its time is now.
    void take(const PackageFields& fields);

    const PublishSettings& settings() const { return settings_; }
    Publisher* publisher() const { return publisher_.get(); }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void start();
    void restart();
    void refresh();

    PublishParts parts_;
    PublishSettings settings_;
    std::unique_ptr<Publisher> publisher_;
    QTimer refresh_;
    std::string time_;
    bool started_ = false;
};

}  // namespace zelvar
