#pragma once

#include "Platform.h"

namespace quillon {

// The program's platform: Qt's message box, clipboard and desktop services.
class QtPlatform final : public Platform {
public:
    void ShowMessage(const QString& text) override;
    bool SetClipboardText(const QString& text) override;
    bool OpenAddress(const QString& address) override;
    bool IsAdministrator() override;
};

} // namespace quillon
