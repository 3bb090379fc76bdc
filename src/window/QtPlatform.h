#pragma once

#include "Platform.h"

namespace quillon {

// The program's platform: Qt's message box, clipboard and desktop services, and the system's
// administrator test.
class QtPlatform final : public MessageDialogs, public Clipboard, public Browser, public AdministratorTest {
public:
    void ShowMessage(const QString& text) override;
    bool SetClipboardText(const QString& text) override;
    bool OpenAddress(const QString& address) override;
    bool IsAdministrator() override;
};

} // namespace quillon
