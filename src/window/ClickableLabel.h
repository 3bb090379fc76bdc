#pragma once

#include <QLabel>

class QMouseEvent;

namespace quillon {

// A label that reports a click (press and release of the left button on it), as the window's
// link and copy labels need. A screen reader can do the same through the label's accessible press
// action, which only a label with a click handler offers.
class ClickableLabel : public QLabel {
    Q_OBJECT
public:
    explicit ClickableLabel(QWidget* parent = nullptr);

    // Whether anything handles the label's clicks.
    bool HasClickHandler() const;
    // The accessible press action: the same as a click, for a label the user can see.
    void Press();

signals:
    void clicked();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    bool m_pressed = false;
};

} // namespace quillon
