#pragma once

// The window's application object. No exception may cross Qt's event loop, so one that a handler
// lets out is caught where the event is delivered: memory running out is told to the user, the
// event counts as not handled and the window goes on.

#include "Platform.h"

#include <QApplication>

#include <new>

namespace quillon {

inline constexpr const char* kOutOfMemoryMessage =
    "There was not enough memory to finish this action. Close other programs, or ask for less, and try again.";

// Runs one delivery; when memory runs out in it, says so through `dialogs` (when there is one)
// and returns false.
template <typename Deliver> bool DeliverGuarded(Deliver&& deliver, MessageDialogs* dialogs) {
    try {
        return deliver();
    } catch (const std::bad_alloc&) {
        if (dialogs != nullptr) {
            try {
                dialogs->ShowMessage(QString::fromLatin1(kOutOfMemoryMessage));
            } catch (const std::bad_alloc&) {
                // Not even the message fits: the event is dropped all the same.
            }
        }
        return false;
    }
}

class GuardedApplication : public QApplication {
public:
    GuardedApplication(int& argc, char** argv) : QApplication(argc, argv) {}
    // Where the message goes; until it is set, the event is only dropped.
    void SetDialogs(MessageDialogs* dialogs) { m_dialogs = dialogs; }
    bool notify(QObject* receiver, QEvent* event) override;

private:
    MessageDialogs* m_dialogs = nullptr;
};

} // namespace quillon
