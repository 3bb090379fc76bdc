#include "Form1.h"

#include "ClickableLabel.h"
#include "ModelListModel.h"
#include "QtText.h"
#include "identity/Identity.h"

#include "devicedb/DatabaseLocation.h"
#include "generation/ModelCatalogue.h"
#include "generation/Report.h"
#include "present/ProblemText.h"

#include <QComboBox>
#include <QDir>
#include <QLineEdit>
#include <QStringList>
#include <QStringListModel>
#include <QTextBrowser>

#include <string>
#include <vector>

namespace quillon {

namespace {

template <typename Texts> QStringList ToStringList(const Texts& texts) {
    QStringList list;
    list.reserve(static_cast<qsizetype>(std::size(texts)));
    for (const auto& text : texts) {
        list.append(ToQString(text));
    }
    return list;
}

} // namespace

bool Form1::Form_Load() {
    m_versionText = ToQString(identity::kProgramVersionText);
    m_versionNumber = ToQString(identity::kVersionNumber);
    setWindowTitle(QStringLiteral("Quillon v") + m_versionText);
    m_generatedCountLabel->hide();
    m_manufacturerLabel->hide();
    m_modelLabel->hide();

    // Nothing is read before this test: a refused user only ever sees its message.
    if (!m_administratorTest.IsAdministrator()) {
        m_dialogs.ShowMessage(QString::fromLatin1(kAdministratorMessage));
        return false;
    }

    // Each list is filled in one go through its model; entry 0, the empty text, is selected.
    m_modelListEntries->SetFixedTexts(ToStringList(FixedModelListTexts()));
    m_modelList->setCurrentIndex(0);
    m_modelList->hide();
    m_countListEntries->setStringList(ToStringList(CountListTexts()));
    m_countList->setCurrentIndex(0);
    m_countList->hide();

    m_helpView->resize(Twips(kHelpViewWidthTwips), Twips(kHelpViewHeightTwips));
    m_imeiEdit->setText(QString::fromLatin1(kDefaultIMEI));

    if (!LoadTACDEX()) {
        return false;
    }

    FillModelList();
    return true;
}

void Form1::FillModelList() {
    // The fixed texts, the separator and the device entries, each device line i at list position i.
    m_modelListEntries->SetFixedTexts(ToStringList(FixedModelListTexts()));
    m_modelListEntries->SetDevices(m_database.Table());
    m_modelList->setCurrentIndex(0);
}

std::filesystem::path Form1::UserDatabaseFile() const {
    return m_userDataDirectory.empty() ? std::filesystem::path() : m_userDataDirectory / "tacdex.csv";
}

bool Form1::LoadTACDEX() {
    // The user's own database (written by an import) comes before the one beside the program, as a
    // user's data comes before the system's; chosen here, and again only by an import or a return
    // to the shipped list.
    const std::filesystem::path userFile = UserDatabaseFile();
    if (DatabaseFilePresent(userFile)) {
        DeviceDatabase user(userFile, TableLookup::Scan);
        if (const std::optional<Problem> refusal = user.Load()) {
            const QString fallback = QString::fromStdU16String(m_database.Path().u16string());
            m_dialogs.ShowMessage(ToQString(ProblemText(*refusal)) + QString::fromLatin1(kUserDatabaseSkippedMessage) +
                                  QDir::toNativeSeparators(fallback));
        } else {
            m_database = std::move(user);
            ShowDatabase();
            return true;
        }
    }
    const std::optional<Problem> problem = m_database.Load();
    if (problem) {
        // A file that is there but cannot be used ends the program as a missing one does, with
        // the reason, so that the user knows what to repair.
        m_dialogs.ShowMessage(problem->kind == ProblemKind::DatabaseMissing
                                  ? QString::fromLatin1(kDatabaseMissingMessage)
                                  : QString::fromLatin1(kDatabaseUnreadableMessage) + ToQString(ProblemText(*problem)));
        SetCaption(m_databaseVersionLabel, QString::fromLatin1(kDatabaseErrorCaption));
        return false;
    }
    ShowDatabase();
    return true;
}

void Form1::ShowDatabase() {
    m_helpView->setHtml(HelpPage(m_database.Path()));
    ShowDatabaseCaptions();
}

void Form1::ShowDatabaseCaptions() {
    const DatabaseSummary summary = SummariseDatabase(m_database.Table());
    SetCaption(m_databaseVersionLabel, QStringLiteral("Database Version:   ") + ToQString(summary.version));
    SetCaption(m_deviceCountLabel, QStringLiteral("Devices Supported: %1").arg(summary.deviceCount));
}

void Form1::Exit_Click() {
    // Nothing is saved; closing the only window ends the program.
    close();
}

} // namespace quillon
