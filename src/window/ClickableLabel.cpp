#include "ClickableLabel.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QMetaMethod>
#include <QMouseEvent>

namespace quillon {

namespace {

// What assistive technology sees of a clickable label: the label as Qt describes any label (its
// caption is its name unless it has one of its own), plus the press action where a click does
// something. Nothing visible changes: no focus, no tooltip, no pointer.
class ClickableLabelAccessible final : public QAccessibleWidget {
public:
    explicit ClickableLabelAccessible(ClickableLabel* label) : QAccessibleWidget(label, QAccessible::StaticText) {}

    QString text(QAccessible::Text which) const override {
        if (which == QAccessible::Name && widget()->accessibleName().isEmpty()) {
            return Label()->text();
        }
        return QAccessibleWidget::text(which);
    }
    // No action interface at all without a handler, so that no bridge (AT-SPI's Action, UI
    // Automation's Invoke pattern) offers one.
    void* interface_cast(QAccessible::InterfaceType type) override {
        if (type == QAccessible::ActionInterface && !Label()->HasClickHandler()) {
            return nullptr;
        }
        return QAccessibleWidget::interface_cast(type);
    }
    QStringList actionNames() const override {
        return Label()->HasClickHandler() ? QStringList{pressAction()} : QStringList();
    }
    void doAction(const QString& actionName) override {
        if (actionName == pressAction()) {
            Label()->Press();
        }
    }
    QStringList keyBindingsForAction(const QString&) const override { return {}; }

private:
    ClickableLabel* Label() const { return static_cast<ClickableLabel*>(widget()); }
};

QAccessibleInterface* MakeClickableLabelAccessible(const QString& className, QObject* object) {
    if (className == QLatin1String(ClickableLabel::staticMetaObject.className()) && object != nullptr &&
        object->isWidgetType()) {
        return new ClickableLabelAccessible(static_cast<ClickableLabel*>(object));
    }
    return nullptr;
}

} // namespace

ClickableLabel::ClickableLabel(QWidget* parent) : QLabel(parent) {
    // Installed with the first label, before anything asks for a label's interface.
    static const bool factoryInstalled = [] {
        QAccessible::installFactory(MakeClickableLabelAccessible);
        return true;
    }();
    static_cast<void>(factoryInstalled);
    // Captions come from the device database among others; they must never be read as markup.
    setTextFormat(Qt::PlainText);
    setWordWrap(false);
    setMargin(0);
    setIndent(0);
}

bool ClickableLabel::HasClickHandler() const {
    return isSignalConnected(QMetaMethod::fromSignal(&ClickableLabel::clicked));
}

void ClickableLabel::Press() {
    // A hidden label cannot be clicked, so it cannot be pressed either.
    if (isVisibleTo(window())) {
        emit clicked();
    }
}

void ClickableLabel::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        m_pressed = true;
        event->accept();
        return;
    }
    QLabel::mousePressEvent(event);
}

void ClickableLabel::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && m_pressed) {
        m_pressed = false;
        event->accept();
        // A press that is dragged off the label and released elsewhere is no click.
        if (rect().contains(event->position().toPoint())) {
            emit clicked();
        }
        return;
    }
    QLabel::mouseReleaseEvent(event);
}

} // namespace quillon
