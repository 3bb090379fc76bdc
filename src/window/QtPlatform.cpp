#include "QtPlatform.h"

#include "ColumnDialog.h"
#include "QtText.h"
#include "identity/Identity.h"
#include "platform/Admin.h"

#include <QApplication>
#include <QClipboard>
#include <QDesktopServices>
#include <QFileDialog>
#include <QMessageBox>
#include <QUrl>

namespace quillon {

void QtPlatform::ShowMessage(const QString& text) {
    // Start-up messages come before the window is shown; they then stand on their own.
    QMessageBox box(QMessageBox::NoIcon, ToQString(identity::kMessageCaption), text, QMessageBox::Ok,
                    QApplication::activeWindow());
    box.setTextFormat(Qt::PlainText);
    box.setWindowModality(Qt::ApplicationModal);
    box.exec();
}

bool QtPlatform::Ask(const QString& question) {
    QMessageBox box(QMessageBox::NoIcon, ToQString(identity::kMessageCaption), question,
                    QMessageBox::Yes | QMessageBox::No, QApplication::activeWindow());
    box.setTextFormat(Qt::PlainText);
    box.setDefaultButton(QMessageBox::Yes);
    box.setWindowModality(Qt::ApplicationModal);
    return box.exec() == QMessageBox::Yes;
}

QStringList QtPlatform::ChooseFilesToOpen(const QString& caption, const QStringList& filters) {
    // The system's own dialog where it has one (Windows' common dialog); Qt's own elsewhere.
    return QFileDialog::getOpenFileNames(QApplication::activeWindow(), caption, QString(),
                                         filters.join(QStringLiteral(";;")));
}

QString QtPlatform::ChooseFileToSave(const QString& caption, const QString& suggestedName, const QStringList& filters) {
    return QFileDialog::getSaveFileName(QApplication::activeWindow(), caption, suggestedName,
                                        filters.join(QStringLiteral(";;")));
}

std::optional<int> QtPlatform::ChooseImeiColumn(const QString& text, const QStringList& fields) {
    ImeiColumnDialog dialog(text, fields, QApplication::activeWindow());
    dialog.setWindowModality(Qt::ApplicationModal);
    if (dialog.exec() != QDialog::Accepted) {
        return std::nullopt;
    }
    return dialog.Choice();
}

std::optional<ColumnChoice> QtPlatform::ChooseColumns(const QString& text, const QStringList& fields,
                                                      const ColumnChoice& suggested) {
    ColumnDialog dialog(text, fields, suggested, QApplication::activeWindow());
    dialog.setWindowModality(Qt::ApplicationModal);
    if (dialog.exec() != QDialog::Accepted) {
        return std::nullopt;
    }
    return dialog.Choice();
}

bool QtPlatform::SetClipboardText(const QString& text) {
    QClipboard* clipboard = QGuiApplication::clipboard();
    if (clipboard == nullptr) {
        return false;
    }
    clipboard->clear();
    clipboard->setText(text);
    // The clipboard reports no failure of its own; reading back tells whether it holds our text.
    return clipboard->text() == text;
}

bool QtPlatform::OpenAddress(const QString& address) {
    const QUrl url(address, QUrl::StrictMode);
    if (!url.isValid()) {
        return false;
    }
    return QDesktopServices::openUrl(url);
}

bool QtPlatform::IsAdministrator() {
    return CurrentUserIsAdministrator();
}

} // namespace quillon
