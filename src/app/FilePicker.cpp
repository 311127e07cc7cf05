#include "app/FilePicker.h"

#include "app/PanelDialogs.h"
#include "ui/PickerRules.h"

#include <QAbstractItemView>
#include <QDir>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QGuiApplication>
#include <QHeaderView>
#include <QScreen>
#include <QSortFilterProxyModel>
#include <QTreeView>

namespace pivana {

namespace {

// Greys out what cannot be chosen, by the picker rules.
class SameCategoryProxy : public QSortFilterProxyModel {
public:
    Qt::ItemFlags flags(const QModelIndex& index) const override {
        Qt::ItemFlags flags = QSortFilterProxyModel::flags(index);
        const auto* files = qobject_cast<const QFileSystemModel*>(sourceModel());
        if (!files) {
            return flags;
        }
        const QModelIndex source = mapToSource(index);
        if (!PickerRules::shouldEnable(files->filePath(source), files->isDir(source),
                                       m_firstCategory)) {
            flags &= ~(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
        }
        return flags;
    }

    // Follows the selection shown under `folder`: its first file decides what else may be
    // chosen, and the views redraw every item there at once.
    void followSelection(const QModelIndexList& selected, const QModelIndex& folder) {
        const auto* files = qobject_cast<const QFileSystemModel*>(sourceModel());
        QStringList paths;
        for (const QModelIndex& index : selected) {
            const QModelIndex source = mapToSource(index);
            if (files && !files->isDir(source)) {
                paths << files->filePath(source);
            }
        }
        const auto category = PickerRules::firstCategory(paths);
        if (category == m_firstCategory) {
            return;
        }
        m_firstCategory = category;
        const int rows = rowCount(folder);
        if (rows > 0) {
            Q_EMIT dataChanged(index(0, 0, folder),
                               index(rows - 1, columnCount(folder) - 1, folder));
        }
    }

private:
    std::optional<FileCategory> m_firstCategory;
};

// Big enough that the detail view's columns show whole sizes and dates, within the screen.
void sizeToShowColumns(QFileDialog& dialog) {
    QSize size(760, 460);
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        size = size.boundedTo(screen->availableGeometry().size() * 9 / 10);
    }
    dialog.resize(size);
    if (auto* details = dialog.findChild<QTreeView*>()) {
        QHeaderView* header = details->header();
        header->setSectionResizeMode(0, QHeaderView::Stretch);
        for (int column = 1; column < header->count(); ++column) {
            header->setSectionResizeMode(column, QHeaderView::ResizeToContents);
        }
    }
}

}  // namespace

std::unique_ptr<QFileDialog> makeBrowseDialog(const QString& folder, QWindow* panel) {
    auto dialog = std::make_unique<QFileDialog>(
        nullptr, QStringLiteral("Choose files of the same type to convert"));
    dialog->setOption(QFileDialog::DontUseNativeDialog);
    dialog->setFileMode(QFileDialog::ExistingFiles);
    dialog->setLabelText(QFileDialog::Accept, QStringLiteral("Choose"));
    dialog->setDirectory(!folder.isEmpty() && QDir(folder).exists() ? folder : QDir::homePath());
    auto* proxy = new SameCategoryProxy;
    dialog->setProxyModel(proxy);  // the dialog takes it
    // The list and the detail view share one selection model. It tells of every change, a
    // click that clears the selection included, once the selection is what it now is.
    for (QAbstractItemView* view : dialog->findChildren<QAbstractItemView*>()) {
        if (view->model() == proxy && !qobject_cast<QHeaderView*>(view)) {
            QObject::connect(view->selectionModel(), &QItemSelectionModel::selectionChanged, proxy,
                             [proxy, view] {
                                 proxy->followSelection(view->selectionModel()->selectedRows(),
                                                        view->rootIndex());
                             });
            break;
        }
    }
    sizeToShowColumns(*dialog);
    belongToPanel(*dialog, panel);
    return dialog;
}

QStringList browseForFiles(QString& folder, QWindow* panel) {
    const std::unique_ptr<QFileDialog> dialog = makeBrowseDialog(folder, panel);
    const bool chosen = dialog->exec() == QDialog::Accepted;
    folder = dialog->directory().absolutePath();
    return chosen ? dialog->selectedFiles() : QStringList();
}

}  // namespace pivana
