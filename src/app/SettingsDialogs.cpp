#include "app/SettingsDialogs.h"

#include "app/PanelDialogs.h"

#include <QDir>
#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>

namespace pivana {

QString chooseOutputFolder(QWindow* panel) {
    QFileDialog dialog(nullptr, QStringLiteral("Choose an output folder"), QDir::homePath());
    dialog.setOptions(QFileDialog::ShowDirsOnly | QFileDialog::DontUseNativeDialog);
    dialog.setFileMode(QFileDialog::Directory);
    belongToPanel(dialog, panel);
    if (dialog.exec() != QDialog::Accepted) {
        return {};
    }
    return dialog.selectedFiles().value(0);
}

bool confirmReplaceOriginal(QWindow* panel) {
    QMessageBox alert(QMessageBox::Warning, QStringLiteral("Pivana"),
                      QStringLiteral("Replace original files?"));
    alert.setInformativeText(
        QStringLiteral("Pivana will permanently delete the source file after each successful "
                       "conversion. You can disable this anytime in Settings."));
    QPushButton* enable = alert.addButton(QStringLiteral("Enable"), QMessageBox::AcceptRole);
    alert.addButton(QStringLiteral("Cancel"), QMessageBox::RejectRole);
    alert.setDefaultButton(enable);
    belongToPanel(alert, panel);
    alert.exec();
    return alert.clickedButton() == enable;
}

}  // namespace pivana
