// The batch's promises with the real converters and tools: no source is lost, nothing but
// regular files is read, any name converts, and a helper killed mid-write leaves nothing behind.
#include "engine/BatchDriver.h"
#include "support/FakeConverters.h"
#include "support/ImageFixtures.h"
#include "support/TestSupport.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QThread>
#include <QtConcurrent/QtConcurrentRun>

using namespace pivana;
using namespace pivana::test;

namespace {

struct BatchTrust : ConversionTest {
    Scratch temporary;
    void SetUp() override {
        ConversionTest::SetUp();
        // Whatever a tool leaves in its temporary folder must go with it.
        qputenv("TMPDIR", temporary.root().toUtf8());
    }
    void TearDown() override {
        qunsetenv("TMPDIR");
        EXPECT_EQ(entries(temporary.root()), QStringList{});
    }
};

}  // namespace

TEST_F(BatchTrust, NoSourceIsLostToAnotherFilesOutput) {
    saveImage(gradient(40, 30), dir.path("a.jpg"));
    saveImage(gradient(20, 10), dir.path("a.png"));
    const QByteArray jpg = readAll(dir.path("a.jpg"));
    const QByteArray png = readAll(dir.path("a.png"));
    settings.replaceOriginal = true;
    EXPECT_EQ(reasons(run({dir.path("a.jpg"), dir.path("a.png")}, "png")),
              (QStringList{"Converting it would overwrite a.png, another file of this batch",
                           "The output would overwrite the source file itself"}));
    EXPECT_EQ(readAll(dir.path("a.jpg")), jpg);
    EXPECT_EQ(readAll(dir.path("a.png")), png);

    // Both to TIFF: the first one's output stands, the second keeps its source.
    settings.replaceOriginal = false;
    EXPECT_EQ(reasons(run({dir.path("a.png"), dir.path("a.jpg")}, "tiff")),
              (QStringList{"", "a.tiff was already written by an earlier file of this batch"}));
    EXPECT_EQ(probe(dir.path("a.tiff")).width, 20);
    EXPECT_EQ(entries(dir.root()), (QStringList{"a.jpg", "a.png", "a.tiff"}));
}

TEST_F(BatchTrust, InputsThatAreNotFilesFailAtOnceInEveryCategory) {
    QStringList inputs;
    for (const char* name : {"pipe.wav", "pipe.png", "pipe.pdf", "pipe.txt", "pipe.mp4"}) {
        inputs << dir.path(name);
        ASSERT_EQ(::mkfifo(QFile::encodeName(inputs.last()).constData(), 0600), 0);
    }
    for (const char* name : {"zero.txt", "zero.docx"}) {
        inputs << dir.path(name);
        ASSERT_TRUE(QFile::link("/dev/zero", inputs.last()));
    }
    for (const QString& input : inputs) {
        const QString target = input.endsWith(".docx") || input.endsWith(".txt") ? "odt" : "tiff";
        EXPECT_EQ(reasonFor(input, input.endsWith(".wav") ? "flac" : target),
                  "It is not a regular file")
            << input;
    }
}

TEST_F(BatchTrust, AnyNameTheFileSystemTakesConverts) {
    // 255 bytes, the longest a name may be; its output's name is as long.
    const QString longest = QString(251, 'x') + ".png";
    saveImage(gradient(24, 16), dir.path(longest));
    const QString output = convertOne(dir.path(longest), "jpg");
    EXPECT_EQ(output, dir.path(QString(251, 'x') + ".jpg"));
    EXPECT_EQ(probe(output).width, 24);
    // An output one byte too long for any name fails in plain words.
    EXPECT_EQ(reasonFor(dir.path(longest), "tiff"),
              "The output's name is too long for the file system");
    EXPECT_EQ(entries(dir.root()), (QStringList{QString(251, 'x') + ".jpg", longest}));
}

TEST_F(BatchTrust, AHelperKilledMidWriteLeavesNothingBehind) {
    saveImage(noise(3000, 3000), dir.path("photo.png"));
    dir.write("photo.jpg", "an older photo.jpg");
    settings.replaceOriginal = true;
    QFuture<ConversionResult> batch =
        QtConcurrent::run([&] { return run({dir.path("photo.png")}, "jpg"); });
    // Once the tool has begun its output, kill -9.
    QList<pid_t> tools;
    for (int wait = 0; wait < 2000 && tools.isEmpty() && !batch.isFinished(); ++wait) {
        const QStringList staged =
            QDir(dir.root()).entryList({".pivana-*"}, QDir::Hidden | QDir::Dirs);
        if (!staged.isEmpty() && !entries(dir.path(staged[0])).isEmpty()) {
            tools = childrenRunning("pivana-image");
        }
        QThread::msleep(5);
    }
    ASSERT_FALSE(tools.isEmpty()) << "the tool was never seen writing";
    ::kill(tools[0], SIGKILL);
    batch.waitForFinished();
    EXPECT_EQ(reasons(batch.result()),
              QStringList{"pivana-image: The converter stopped unexpectedly"});
    EXPECT_EQ(entries(dir.root()), (QStringList{"photo.jpg", "photo.png"}));
    EXPECT_EQ(readAll(dir.path("photo.jpg")), "an older photo.jpg");
}

// A staging folder its owner left behind when it was killed goes with the next conversion into
// its folder; one whose owner still runs, here or (holding its lock) elsewhere, stays.
TEST_F(BatchTrust, StagingLeftByAKilledRunIsRemovedOnceItsOwnerIsGone) {
    QProcess gone;
    gone.start("/bin/true");
    ASSERT_TRUE(gone.waitForStarted());
    const qint64 deadPid = gone.processId();
    ASSERT_TRUE(gone.waitForFinished());
    QProcess running;
    running.start("/bin/sleep", {"30"});
    ASSERT_TRUE(running.waitForStarted());
    const QString dead = QString(".pivana-%1-abc123").arg(deadPid);
    const QString alive = QString(".pivana-%1-def456").arg(running.processId());
    const QString locked = QString(".pivana-%1-ghi789").arg(deadPid);
    dir.write(dead + "/photo.jpg", "half a photo");
    dir.write(alive + "/clip.mp4", "half a clip");
    dir.write(locked + "/song.flac", "half a song");
    const int lock = ::open(QFile::encodeName(dir.path(locked)).constData(), O_RDONLY);
    ASSERT_EQ(::flock(lock, LOCK_EX), 0);

    saveImage(gradient(20, 10), dir.path("a.png"));
    convertOne(dir.path("a.png"), "jpg");
    QStringList kept = {alive, locked, "a.jpg", "a.png"};
    kept.sort();
    EXPECT_EQ(entries(dir.root()), kept);
    ::close(lock);
    running.kill();
    running.waitForFinished();
}
