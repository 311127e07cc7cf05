// The browse dialog as a user drives it: clicks in its file list, and what it greys out.
#include "app/FilePicker.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QAbstractProxyModel>
#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QHeaderView>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QTreeView>

using namespace pivana;
using namespace pivana::test;

namespace {

struct BrowseDialog : testing::Test {
    Scratch dir;
    std::unique_ptr<QFileDialog> dialog;
    QAbstractItemView* view = nullptr;

    void SetUp() override {
        // Sizes that read differently: bytes, KiB and MiB.
        int bytes = 12;
        for (const char* name : {"photo.jpg", "shot.PNG", "song.mp3", "clip.mp4", "notes.txt",
                                 "README", "archive.zip"}) {
            dir.write(name, QByteArray(bytes, 'x'));
            bytes = bytes * 9 + 1234;
        }
        QDir().mkpath(dir.path("holidays"));
        dialog = makeBrowseDialog(dir.root());
        dialog->setViewMode(QFileDialog::Detail);
        dialog->show();
        for (QAbstractItemView* candidate : dialog->findChildren<QAbstractItemView*>()) {
            if (candidate->isVisible() && candidate->model() == dialog->proxyModel() &&
                !qobject_cast<QHeaderView*>(candidate)) {
                view = candidate;
            }
        }
        ASSERT_NE(view, nullptr);
        // The folder is read in the background.
        ASSERT_TRUE(QTest::qWaitFor([this] { return row("archive.zip").isValid(); }, 10000));
    }

    QModelIndex row(const QString& name) const {
        const QAbstractItemModel* model = view->model();
        for (int i = 0; i < model->rowCount(view->rootIndex()); ++i) {
            const QModelIndex index = model->index(i, 0, view->rootIndex());
            if (index.data().toString() == name) {
                return index;
            }
        }
        return {};
    }

    bool enabled(const QString& name) const {
        return view->model()->flags(row(name)).testFlag(Qt::ItemIsEnabled);
    }

    QStringList enabledNames() const {
        QStringList names;
        for (const char* name : {"photo.jpg", "shot.PNG", "song.mp3", "clip.mp4", "notes.txt",
                                 "README", "archive.zip", "holidays"}) {
            if (enabled(name)) {
                names << name;
            }
        }
        return names;
    }

    void click(const QString& name, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        view->scrollTo(row(name));
        QTest::mouseClick(view->viewport(), Qt::LeftButton, modifiers,
                          view->visualRect(row(name)).center());
    }
};

}  // namespace

TEST_F(BrowseDialog, ChoosingAFileGreysOutOtherKindsAtOnceAndClearingBringsThemBack) {
    EXPECT_EQ(enabledNames(), (QStringList{"photo.jpg", "shot.PNG", "song.mp3", "clip.mp4",
                                           "notes.txt", "holidays"}))
        << "files without a route never; folders always";

    QSignalSpy redrawn(view->model(), &QAbstractItemModel::dataChanged);
    click("photo.jpg");
    EXPECT_EQ(enabledNames(), (QStringList{"photo.jpg", "shot.PNG", "holidays"}))
        << "only images, as soon as the photo is selected";
    EXPECT_GE(redrawn.count(), 1) << "the views are told to redraw the items";

    click("photo.jpg", Qt::ControlModifier);  // deselected: nothing is selected now
    ASSERT_TRUE(view->selectionModel()->selectedRows().isEmpty());
    EXPECT_EQ(enabledNames(), (QStringList{"photo.jpg", "shot.PNG", "song.mp3", "clip.mp4",
                                           "notes.txt", "holidays"}));

    click("song.mp3");
    EXPECT_EQ(enabledNames(), (QStringList{"song.mp3", "holidays"}));
}

TEST_F(BrowseDialog, ShowsWholeSizesAndDates) {
    auto* details = qobject_cast<QTreeView*>(view);
    ASSERT_NE(details, nullptr);
    // A layout kept from an earlier session, or a narrow dialog, can leave a column narrower
    // than its text ("83....KiB").
    for (int column = 1; column < details->header()->count(); ++column) {
        details->header()->resizeSection(column, 20);
    }
    QTest::qWait(0);
    for (int column = 1; column < details->header()->count(); ++column) {
        if (!details->header()->isSectionHidden(column)) {
            EXPECT_GE(details->header()->sectionSize(column), view->sizeHintForColumn(column))
                << "column " << column << " is cut off";
        }
    }
}

TEST(BrowseFolder, OpensAtHomeThenWhereItWasLeft) {
    Scratch dir;
    QDir().mkpath(dir.path("music"));
    EXPECT_EQ(makeBrowseDialog(QString())->directory().absolutePath(), QDir::homePath());
    EXPECT_EQ(makeBrowseDialog(dir.path("gone"))->directory().absolutePath(), QDir::homePath());

    // The user goes into another folder and cancels: the next time opens there.
    QString folder = dir.root();
    QTimer::singleShot(0, [&dir] {
        auto* open = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(open, nullptr);
        EXPECT_EQ(QDir(open->directory()).absolutePath(), QDir(dir.root()).absolutePath());
        open->setDirectory(dir.path("music"));
        open->reject();
    });
    EXPECT_TRUE(browseForFiles(folder).isEmpty());
    EXPECT_EQ(QDir(folder).absolutePath(), QDir(dir.path("music")).absolutePath());
}

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    // The dialog keeps its layout in the user's configuration: not in this user's.
    const QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(config.path()));
    QApplication app(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
