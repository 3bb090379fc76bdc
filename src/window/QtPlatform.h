#pragma once

#include "Platform.h"

namespace quillon {

// The program's platform: Qt's message box, file dialog, clipboard and desktop services, the
// window's column dialog, and the system's administrator test.
class QtPlatform final : public MessageDialogs,
                         public Clipboard,
                         public Browser,
                         public AdministratorTest,
                         public FileDialogs,
                         public ColumnDialogs {
public:
    void ShowMessage(const QString& text) override;
    bool Ask(const QString& question) override;
    QStringList ChooseFilesToOpen(const QString& caption, const QStringList& filters) override;
    QString ChooseFileToSave(const QString& caption, const QString& suggestedName, const QStringList& filters) override;
    std::optional<ColumnChoice> ChooseColumns(const QString& text, const QStringList& fields,
                                              const ColumnChoice& suggested) override;
    std::optional<int> ChooseImeiColumn(const QString& text, const QStringList& fields) override;
    bool SetClipboardText(const QString& text) override;
    bool OpenAddress(const QString& address) override;
    bool IsAdministrator() override;
};

} // namespace quillon
