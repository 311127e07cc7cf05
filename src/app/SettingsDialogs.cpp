#include "app/SettingsDialogs.h"

#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>

namespace pivana {

QString chooseOutputFolder() {
    return QFileDialog::getExistingDirectory(
        nullptr, QStringLiteral("Choose an output folder"), QString(),
        QFileDialog::ShowDirsOnly | QFileDialog::DontUseNativeDialog);
}

bool confirmReplaceOriginal() {
    QMessageBox alert(QMessageBox::Warning, QStringLiteral("Pivana"),
                      QStringLiteral("Replace original files?"));
    alert.setInformativeText(
        QStringLiteral("Pivana will permanently delete the source file after each successful "
                       "conversion. You can disable this anytime in Settings."));
    QPushButton* enable = alert.addButton(QStringLiteral("Enable"), QMessageBox::AcceptRole);
    alert.addButton(QStringLiteral("Cancel"), QMessageBox::RejectRole);
    alert.setDefaultButton(enable);
    alert.exec();
    return alert.clickedButton() == enable;
}

}  // namespace pivana
