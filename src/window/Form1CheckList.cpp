#include "CheckListWindow.h"
#include "Form1.h"

namespace quillon {

void Form1::CheckList_Click() {
    if (m_checkList == nullptr) {
        m_checkList = std::make_unique<CheckListWindow>(
            PlatformServices{m_dialogs, m_clipboard, m_browser, m_administratorTest, m_files, m_columns}, [this] {
                return CheckListWindow::DatabaseInUse{m_database.Path(), m_database.Table()};
            });
        m_checkList->setWindowIcon(windowIcon());
    }
    m_checkList->show();
    m_checkList->raise();
    m_checkList->activateWindow();
}

} // namespace quillon
