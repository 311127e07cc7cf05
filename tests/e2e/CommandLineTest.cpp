// The headless command line, run as a user would run it from a terminal.
#include "settings/FolderReference.h"
#include "support/ImageFixtures.h"
#include "support/MediaFixtures.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QSettings>

using namespace pivana::test;

namespace {

struct CommandLine : testing::Test {
    Scratch home;
    QStringList environment = {"XDG_CONFIG_HOME=" + home.path("config")};

    ProgramRun pivana(const QStringList& arguments) {
        return runBinary("pivana", arguments, environment);
    }
    QString settingsFile() const { return home.path("config/pivana/pivana.conf"); }
};

}  // namespace

TEST_F(CommandLine, ListsTheCommonTargetsOfABatch) {
    const ProgramRun run = pivana({"--targets", "a.jpg", "b.png"});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, "heic avif exr tiff gif bmp psd webp pdf\n");
}

TEST_F(CommandLine, ExplainsWhyNothingCanBeOffered) {
    const ProgramRun mixed = pivana({"--targets", "a.gif", "b.png"});
    EXPECT_NE(mixed.status, 0);
    EXPECT_EQ(mixed.err, "All files must be the same type.\n");
    const ProgramRun unknown = pivana({"--targets", "notes.zip"});
    EXPECT_NE(unknown.status, 0);
    EXPECT_EQ(unknown.err, "No supported conversion for this file.\n");
}

TEST_F(CommandLine, ReportsEachFailureAndExitsNonZero) {
    Scratch dir;
    const QString zip = dir.write("notes.zip", "PK");
    const QString missing = dir.path("gone.wav");
    const ProgramRun run = pivana({"--to", "FLAC", zip, missing});
    EXPECT_EQ(run.status, 1);
    const QStringList lines = run.out.split('\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 3) << run.out.toStdString();
    EXPECT_EQ(lines[0], "notes.zip: Unsupported format");
    EXPECT_TRUE(lines[1].startsWith("gone.wav: ")) << lines[1].toStdString();
    EXPECT_EQ(lines[2], "Conversion failed");
    EXPECT_EQ(entries(dir.root()), QStringList{"notes.zip"});
}

TEST_F(CommandLine, PrintsOneLinePerFileInTheOrderGiven) {
    Scratch dir;
    pivana::test::saveImage(pivana::test::gradient(16, 16), dir.path("a.png"));
    const QString broken = dir.write("broken.png", "not a picture");
    pivana::test::saveImage(pivana::test::gradient(16, 16), dir.path("c.png"));
    // a.png twice: its second run would overwrite the first one's output and fails instead.
    const ProgramRun run =
        pivana({"--to", "tiff", dir.path("a.png"), broken, dir.path("a.png"), dir.path("c.png")});
    EXPECT_EQ(run.status, 1);
    const QStringList lines = run.out.split('\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 5) << run.out.toStdString();
    EXPECT_EQ(lines[0], dir.path("a.tiff"));
    EXPECT_TRUE(lines[1].startsWith("broken.png: pivana-image: ")) << lines[1].toStdString();
    EXPECT_EQ(lines[2], "a.png: a.tiff was already written by an earlier file of this batch");
    EXPECT_EQ(lines[3], dir.path("c.tiff"));
    EXPECT_EQ(lines[4], "Converted 2 of 4 to TIFF");
}

TEST_F(CommandLine, RefusesToConvertIntoAMissingCustomFolder) {
    Scratch dir;
    const QString folder = dir.path("Out");
    QDir().mkpath(folder);
    {
        QSettings stored(settingsFile(), QSettings::IniFormat);
        stored.setValue("outputFolderMode", "Custom folder");
        stored.setValue("customOutputFolder", pivana::FolderReference::create(folder)->toBytes());
    }
    QDir(folder).removeRecursively();
    const QString source = dir.write("a.wav", "RIFF");
    const ProgramRun run = pivana({"--to", "flac", source});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "Output folder is missing. Open Settings to pick a new one.\n");
    EXPECT_EQ(entries(dir.root()), QStringList{"a.wav"});
}

TEST_F(CommandLine, HelpVersionAndUsageErrors) {
    EXPECT_EQ(pivana({"--version"}).out, "pivana " PIVANA_VERSION "\n");
    const ProgramRun help = pivana({"--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_TRUE(help.out.contains("pivana --to FORMAT FILE..."));
    EXPECT_TRUE(help.out.contains("pivana --convert FORMAT FILE..."));
    EXPECT_EQ(pivana({"--to", "png"}).status, 2);
    EXPECT_EQ(pivana({"--bogus"}).status, 2);
    // Told before anything starts, tray app or not.
    for (const QStringList& incomplete :
         {QStringList{"--convert"}, {"--convert", "png"}, {"--convert", "--to", "a.jpg"}}) {
        const ProgramRun run = pivana(incomplete);
        EXPECT_EQ(run.status, 2) << incomplete;
        EXPECT_TRUE(run.err.startsWith("Usage:")) << run.err;
    }
}

TEST_F(CommandLine, ConvertsAFolderOfCameraAndPhoneImages) {
    Scratch dir;
    QStringList files;
    for (const char* name : {"IMG_0001.DNG", "IMG_0002.dng"}) {
        pivana::test::writeDng(dir.path(name), 128, 96);
        files << dir.path(name);
    }
    if (const auto heic = corpusFile("image/heic-iphone11pro.heic")) {
        QFile::copy(*heic, dir.path("IMG_0003.HEIC"));
        files << dir.path("IMG_0003.HEIC");
    }
    for (const QString format : {"jpg", "png"}) {
        const ProgramRun run = pivana(QStringList{"--to", format} + files);
        EXPECT_EQ(run.status, 0) << run.out << run.err;
        const QStringList lines = run.out.split('\n', Qt::SkipEmptyParts);
        ASSERT_EQ(lines.size(), files.size() + 1) << run.out;
        for (int i = 0; i < files.size(); ++i) {
            const QString expected = QFileInfo(files[i]).completeBaseName() + "." + format;
            EXPECT_EQ(lines[i], dir.path(expected));
            EXPECT_EQ(pivana::test::probe(dir.path(expected)).bands, 3);
        }
        EXPECT_EQ(lines.last(), "Converted to " + format.toUpper());
    }
}

// Permissions mean nothing to root, so these run the command line as an ordinary user.
TEST_F(CommandLine, UnreadableFilesAndReadOnlyFoldersFailInPlainWords) {
    if (::geteuid() != 0 || !QFileInfo::exists("/usr/bin/setpriv")) {
        GTEST_SKIP() << "needs root to switch to another user";
    }
    Scratch dir;
    // Anyone may write beside the unreadable file; nobody may write in the shelf.
    QFile::setPermissions(dir.root(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner |
                                          QFile::ReadOther | QFile::WriteOther | QFile::ExeOther);
    pivana::test::saveImage(pivana::test::gradient(20, 20), dir.path("secret.png"));
    QFile::setPermissions(dir.path("secret.png"), QFileDevice::Permissions());
    QDir().mkpath(dir.path("shelf"));
    pivana::test::saveImage(pivana::test::gradient(20, 20), dir.path("shelf/photo.png"));
    QFile::setPermissions(dir.path("shelf/photo.png"), QFile::ReadOwner | QFile::ReadOther);
    QFile::setPermissions(dir.path("shelf"),
                          QFile::ReadOwner | QFile::ExeOwner | QFile::ReadOther | QFile::ExeOther);

    const ProgramRun run = runBinary("/usr/bin/setpriv",
                                     {"--reuid=65534", "--regid=65534", "--clear-groups",
                                      QStringLiteral(PIVANA_BIN_DIR "/pivana"), "--to", "jpg",
                                      dir.path("secret.png"), dir.path("shelf/photo.png")},
                                     {"HOME=/tmp", "XDG_CONFIG_HOME=" + dir.path("config")});
    EXPECT_EQ(run.status, 1);
    EXPECT_TRUE(run.out.contains("secret.png: You do not have permission to read the file\n"))
        << run.out;
    EXPECT_TRUE(
        run.out.contains("photo.png: You do not have permission to write to the output folder\n"))
        << run.out;
    EXPECT_EQ(entries(dir.path("shelf")), QStringList{"photo.png"});
}

TEST_F(CommandLine, DoubleDashEndsTheOptionsAndOddNamesStayOnOneLine) {
    Scratch dir;
    pivana::test::saveImage(pivana::test::gradient(16, 16), dir.path("-dash.png"));
    pivana::test::saveImage(pivana::test::gradient(16, 16), dir.path("two\nlines.png"));
    const ProgramRun targets =
        runBinary("pivana", {"--targets", "--", "-dash.png"}, environment, dir.root());
    EXPECT_EQ(targets.status, 0) << targets.err;
    const ProgramRun run =
        runBinary("pivana", {"--to", "jpg", "--", "-dash.png", "two\nlines.png", "\x1b[2Jgone.png"},
                  environment, dir.root());
    EXPECT_EQ(run.status, 1) << run.err;
    EXPECT_EQ(run.out, dir.path("-dash.jpg") + "\n" + dir.path("two\\nlines.jpg") + "\n" +
                           "\\x1b[2Jgone.png: The file does not exist\n" +
                           "Converted 2 of 3 to JPG\n");
    EXPECT_TRUE(exists(dir.path("-dash.jpg")));
    EXPECT_TRUE(exists(dir.path("two\nlines.jpg")));
}

namespace {

// The processes still running whose command line names `text`.
QStringList processesNaming(const QString& text) {
    QStringList found;
    for (const QString& pid : QDir("/proc").entryList(QDir::Dirs)) {
        const QByteArray commandLine = readAll("/proc/" + pid + "/cmdline");
        if (pid.toInt() > 0 && commandLine.contains(text.toUtf8())) {
            found << pid + " " + QString::fromUtf8(commandLine).replace(QChar(0), ' ');
        }
    }
    return found;
}

}  // namespace

TEST_F(CommandLine, CtrlCStopsTheBatchKeepsWhatConvertedAndLeavesNothing) {
    Scratch dir;
    Scratch temporary;
    // Photos that take the image tool a second each, so that the batch is stopped half way.
    pivana::test::saveImage(pivana::test::noise(3000, 3000), dir.path("photo00.png"));
    QStringList files = {dir.path("photo00.png")};
    for (int i = 1; i < 10; ++i) {
        files << dir.path(QString("photo%1.png").arg(i, 2, 10, QChar('0')));
        ASSERT_TRUE(QFile::copy(files[0], files.last()));
    }
    QProcess process;
    QProcessEnvironment processEnvironment = QProcessEnvironment::systemEnvironment();
    processEnvironment.insert("XDG_CONFIG_HOME", home.path("config"));
    processEnvironment.insert("TMPDIR", temporary.root());
    process.setProcessEnvironment(processEnvironment);
    process.start(QStringLiteral(PIVANA_BIN_DIR "/pivana"), QStringList{"--to", "jpg"} + files);
    // Once a tool writes its output, Ctrl-C.
    for (int wait = 0; wait < 600; ++wait) {
        if (!QDir(dir.root()).entryList({".pivana-*"}, QDir::Hidden | QDir::Dirs).isEmpty()) {
            break;
        }
        process.waitForFinished(50);
    }
    ::kill(static_cast<pid_t>(process.processId()), SIGINT);
    ASSERT_TRUE(process.waitForFinished(120000));

    EXPECT_EQ(process.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(process.exitCode(), 130);
    const QStringList lines = QString::fromUtf8(process.readAllStandardOutput()).split('\n');
    QStringList expected = QStringList(files).replaceInStrings(dir.root() + "/", "");
    int cancelled = 0;
    for (int i = 0; i < files.size(); ++i) {
        const QString name = QFileInfo(files[i]).fileName();
        if (lines.value(i) == name + ": Cancelled") {
            ++cancelled;
        } else {
            EXPECT_EQ(lines.value(i), dir.path(QFileInfo(files[i]).completeBaseName() + ".jpg"));
            expected << QFileInfo(files[i]).completeBaseName() + ".jpg";
        }
    }
    EXPECT_GT(cancelled, 0) << lines.join('\n');
    expected.sort();
    EXPECT_EQ(entries(dir.root()), expected) << "every source, the outputs made, nothing hidden";
    EXPECT_EQ(entries(temporary.root()), QStringList{});
    EXPECT_EQ(processesNaming(dir.root()), QStringList{}) << "no helper runs on";
}

// On a full disk, with "Replace original" on and a file of the output's name already there, no
// kind of conversion loses anything: the source stays, the older file stays as it was, nothing
// is left behind, and the reason says the disk is full.
TEST_F(CommandLine, AFullDiskLosesNothingInAnyCategory) {
    Scratch dir;
    const QString in = dir.path("in");
    QDir().mkpath(in);
    QDir().mkpath(dir.path("volume"));
    pivana::test::saveImage(pivana::test::noise(300, 200), in + "/photo.png");
    pivana::test::ffmpeg({"-f", "lavfi", "-i", "sine=duration=1", in + "/tone.wav"});
    pivana::test::makeClip(in + "/clip.mkv", 1, 64, 48, 10);
    QString paragraphs;
    for (int i = 0; i < 3000; ++i) {
        paragraphs += QString("<p>Paragraph %1 of a long page.</p>\n").arg(i);
    }
    dir.write("in/page.html", paragraphs.toUtf8());
    dir.write("in/memo.txt", "A short memo.\n");
    ASSERT_EQ(pivana({"--to", "pdf", in + "/memo.txt"}).status, 0);
    ASSERT_TRUE(QFile::rename(in + "/memo.pdf", in + "/scan.pdf"));
    QSettings(settingsFile(), QSettings::IniFormat).setValue("replaceOriginal", true);
    // source, target, the name of its output
    QList<QStringList> cases = {
        {"photo.png", "jpg", "photo.jpg"}, {"tone.wav", "flac", "tone.flac"},
        {"clip.mkv", "mp4", "clip.mp4"},   {"page.html", "pdf", "page.pdf"},
        {"memo.txt", "odt", "memo.odt"},   {"scan.pdf", "png", "scan.png"}};
    if (const auto deck = corpusFile("presentation/pptx-single-slide.pptx")) {
        ASSERT_TRUE(QFile::copy(*deck, in + "/deck.pptx"));
        cases.append({"deck.pptx", "pdf", "deck.pdf"});
    }
    QStringList arguments = {
        "--user",
        "--map-root-user",
        "--mount",
        "sh",
        "-c",
        "vol=$1; in=$2; shift 2;"
        " mount -t tmpfs -o size=16m tmpfs \"$vol\" || exit 97;"
        " cp \"$in\"/* \"$vol\"/ && head -c 64m /dev/zero > \"$vol/fill\" 2>/dev/null;"
        " while [ $# -gt 0 ]; do \"$1\" --to \"$2\" \"$vol/$3\"; shift 3; done;"
        " cd \"$vol\" && for f in *; do [ \"$f\" = fill ] ||"
        " { cmp -s \"$f\" \"$in/$f\" && echo \"kept $f\"; }; done;"
        " ls -A \"$vol\" | tr '\\n' ' '",
        "sh",
        dir.path("volume"),
        in};
    for (QStringList& conversion : cases) {
        dir.write("in/" + conversion[2], "an older " + conversion[2].toUtf8());
        arguments << PIVANA_BIN_DIR "/pivana" << conversion[1] << conversion[0];
    }
    const ProgramRun run = runBinary(
        "/usr/bin/unshare", arguments,
        environment + QStringList{"XDG_CACHE_HOME=" PIVANA_BIN_DIR "/../tests/office-cache"});
    if (run.status == 97 || run.err.contains("unshare:")) {
        GTEST_SKIP() << "no mount namespace here: " << run.err.toStdString();
    }
    const QStringList lines = run.out.split('\n', Qt::SkipEmptyParts);
    QStringList expected = {"fill"};
    for (const QStringList& conversion : cases) {
        SCOPED_TRACE(conversion.join(" -> ").toStdString());
        const QString reason =
            lines.filter(QRegularExpression("^" + conversion[0] + ": ")).value(0);
        EXPECT_TRUE(reason.endsWith("There is not enough free space on the disk")) << reason;
        EXPECT_TRUE(lines.contains("kept " + conversion[0]));
        EXPECT_TRUE(lines.contains("kept " + conversion[2]));
        expected << conversion[0] << conversion[2];
    }
    expected.sort();
    QStringList left = lines.last().split(' ', Qt::SkipEmptyParts);
    left.sort();
    EXPECT_EQ(left, expected) << "nothing left behind";
    EXPECT_EQ(run.err, "") << "no library's words on the terminal";
}
