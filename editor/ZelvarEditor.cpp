#include "ZelvarEditor.h"

#include <QHBoxLayout>
#include <QHideEvent>
#include <QPushButton>
#include <QShowEvent>
#include <QVBoxLayout>

#include "WindowBounds.h"

namespace {

constexpr int kMinWidth = 850;
constexpr int kMinHeight = 250;
constexpr int kBottomPanelHeight = 36;

}  // namespace

TEditorForm::TEditorForm(zelvar::Settings& settings, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::WindowStaysOnTopHint), settings_(settings) {
    setObjectName(QStringLiteral("EditorForm"));
    setWindowTitle(QStringLiteral(" Editor"));
    setMinimumSize(kMinWidth, kMinHeight);
    resize(kMinWidth, kMinHeight);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    auto* textArea = new QWidget(this);
    textArea->setObjectName(QStringLiteral("RichEditArea"));
    layout->addWidget(textArea, 1);

    auto* bottom = new QWidget(this);
    bottom->setObjectName(QStringLiteral("BottomPanel"));
    bottom->setFixedHeight(kBottomPanelHeight);
    auto* bottomLayout = new QHBoxLayout(bottom);
    bottomLayout->setContentsMargins(4, 4, 4, 4);
    bottomLayout->addStretch(1);
    SBDecode = new QPushButton(QStringLiteral("Decode..."), bottom);
    SBDecode->setObjectName(QStringLiteral("SBDecode"));
    bottomLayout->addWidget(SBDecode);
    layout->addWidget(bottom);
}

void TEditorForm::applyWindowSettings() {
    if (settings_.ewMaximized) {
        setWindowState(windowState() | Qt::WindowMaximized);
        return;
    }
    zelvar::RestoreWindowBounds(
        *this, {settings_.eLeft, settings_.eTop, settings_.eWidth, settings_.eHeight});
}

void TEditorForm::storeWindowSettings() {
    settings_.ewMaximized = isMaximized();
    if (settings_.ewMaximized) return;
    const zelvar::WindowRect bounds = zelvar::StoredWindowBounds(*this);
    settings_.eWidth = bounds.width;
    settings_.eHeight = bounds.height;
    settings_.eTop = bounds.top;
    settings_.eLeft = bounds.left;
}

void TEditorForm::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    // Minimising and restoring reach us as spontaneous events; only a real
    // show counts as opening the editor.
    if (event->spontaneous()) return;
    settings_.Editor = true;
    emit visibilityChanged(true);
}

void TEditorForm::hideEvent(QHideEvent* event) {
    QWidget::hideEvent(event);
    if (event->spontaneous()) return;
    settings_.Editor = false;
    emit visibilityChanged(false);
}
