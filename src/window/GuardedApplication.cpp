#include "GuardedApplication.h"

namespace quillon {

bool GuardedApplication::notify(QObject* receiver, QEvent* event) {
    return DeliverGuarded([&] { return QApplication::notify(receiver, event); }, m_dialogs);
}

} // namespace quillon
