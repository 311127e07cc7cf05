#include "app/FilePicker.h"

#include "ui/PickerRules.h"

#include <QFileDialog>
#include <QFileSystemModel>
#include <QSortFilterProxyModel>

namespace pivana {

namespace {

// Greys out what cannot be chosen, by the picker rules.
class SameCategoryProxy : public QSortFilterProxyModel {
public:
    std::optional<FileCategory> firstCategory;

    Qt::ItemFlags flags(const QModelIndex& index) const override {
        Qt::ItemFlags flags = QSortFilterProxyModel::flags(index);
        const auto* files = qobject_cast<const QFileSystemModel*>(sourceModel());
        if (!files) {
            return flags;
        }
        const QModelIndex source = mapToSource(index);
        if (!PickerRules::shouldEnable(files->filePath(source), files->isDir(source),
                                       firstCategory)) {
            flags &= ~(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
        }
        return flags;
    }

    void refresh() {
        beginResetModel();
        endResetModel();
    }
};

}  // namespace

QStringList browseForFiles(QWidget* parent) {
    QFileDialog dialog(parent, QStringLiteral("Choose files of the same type to convert"));
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setFileMode(QFileDialog::ExistingFiles);
    dialog.setLabelText(QFileDialog::Accept, QStringLiteral("Choose"));
    auto* proxy = new SameCategoryProxy;
    dialog.setProxyModel(proxy);
    QObject::connect(&dialog, &QFileDialog::currentChanged, &dialog, [&dialog, proxy] {
        const auto category = PickerRules::firstCategory(dialog.selectedFiles());
        if (category != proxy->firstCategory) {
            proxy->firstCategory = category;
            proxy->invalidate();
        }
    });
    if (dialog.exec() != QDialog::Accepted) {
        return {};
    }
    return dialog.selectedFiles();
}

}  // namespace pivana
