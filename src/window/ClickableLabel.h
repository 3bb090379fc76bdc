#pragma once

#include <QLabel>

class QMouseEvent;

namespace quillon {

// A label that reports a click (press and release of the left button on it), as the window's
// link and copy labels need.
class ClickableLabel : public QLabel {
    Q_OBJECT
public:
    explicit ClickableLabel(QWidget* parent = nullptr);

signals:
    void clicked();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    bool m_pressed = false;
};

} // namespace quillon
