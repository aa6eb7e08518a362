// A port's capture directory as DOSBox-X fills it: a file per print job, written in place
// in pieces and closed after the emulator's time-out. Each file is one print job, whole,
// however its writes and its close fall.

#include "PortRig.h"

#include <gtest/gtest.h>

#include <QFile>

#include <fcntl.h>
#include <random>
#include <thread>
#include <unistd.h>

using namespace ostrevo;
using namespace ostrevo::test;

namespace {

// A writer of one capture file, holding it open as the emulator does.
class Writer {
public:
    explicit Writer(const QString &path, int flags = O_CREAT | O_TRUNC)
        : m_fd(::open(QFile::encodeName(path).constData(), O_WRONLY | O_APPEND | O_CLOEXEC | flags, 0640))
    {
    }
    ~Writer() { close(); }
    void write(const QByteArray &bytes) { EXPECT_EQ(::write(m_fd, bytes.constData(), size_t(bytes.size())), bytes.size()); }
    void close()
    {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = -1;
    }

private:
    int m_fd;
};

void AppendAndClose(const QString &path, const QByteArray &bytes)
{
    Writer(path, O_CREAT).write(bytes);
}

QString PdfOf(const QString &capture)
{
    return QStringLiteral("LPT1-") + capture.section(u'.', 0, 0) + QStringLiteral(".pdf");
}

} // namespace

TEST(CaptureDirectory, ChunksWithPausesShorterThanTheSettleTimeAreOneJob)
{
    PortRig rig; // Cisza 400 ms
    rig.start();
    // Hidden files (an editor's, our own temporaries), folders and DOSBox-X's screenshots
    // in its capture directory are no print jobs.
    WriteFile(rig.lpt1 + QStringLiteral("/.ukryty.prn"), EscpJob("UKRYTY"));
    WriteFile(rig.lpt1 + QStringLiteral("/fk_000.PNG"), "\x89PNG\r\n");
    QDir().mkpath(rig.lpt1 + QStringLiteral("/folder"));

    // DOSBox-X: one open, the job in pieces, closed after its time-out.
    std::thread emulator([&] {
        Writer file(rig.lpt1 + QStringLiteral("/prt0001.prn"));
        file.write("\x1b@PIERWSZY");
        for (const char *piece : {" kawalek2", " kawalek3", " KONIEC1\r\n\x0c"}) {
            QThread::msleep(250);
            file.write(piece);
        }
        QThread::msleep(250);
    });
    // Another writer opens the file again for each piece.
    const QString second = rig.lpt1 + QStringLiteral("/prt0002.prn");
    AppendAndClose(second, "\x1b@DRUGI");
    for (const char *piece : {" czesc2", " czesc3", " KONIEC2\r\n\x0c"}) {
        QThread::msleep(250);
        AppendAndClose(second, piece);
    }
    emulator.join();

    ASSERT_TRUE(rig.waitForLines(2));
    QThread::msleep(1200); // nothing more comes of them
    ASSERT_EQ(rig.linesOf().size(), 2);
    for (const LaterOutcome &line : rig.linesOf())
        EXPECT_TRUE(line.ok) << line.detail.toStdString();
    ASSERT_EQ(rig.pdfs(), (QStringList{PdfOf(QStringLiteral("prt0001.prn")), PdfOf(QStringLiteral("prt0002.prn"))}));
    EXPECT_EQ(TextOf(rig.out + u'/' + PdfOf(QStringLiteral("prt0001.prn"))), QStringLiteral("PIERWSZY kawalek2 kawalek3 KONIEC1"));
    EXPECT_EQ(TextOf(rig.out + u'/' + PdfOf(QStringLiteral("prt0002.prn"))), QStringLiteral("DRUGI czesc2 czesc3 KONIEC2"));
    EXPECT_EQ(Entries(rig.lpt1), (QStringList{QStringLiteral(".ukryty.prn"), QStringLiteral("fk_000.PNG"), QStringLiteral("folder")}));
}

TEST(CaptureDirectory, FilesClosedAtRandomMomentsAreEachOneJob)
{
    PortRig rig;
    rig.start();
    const unsigned seed = std::random_device{}();
    SCOPED_TRACE(testing::Message() << "seed " << seed);
    constexpr int Files = 6;
    std::vector<QString> expected(Files);
    std::vector<std::thread> writers;
    for (int n = 0; n < Files; ++n) {
        writers.emplace_back([&, n] {
            std::mt19937 random(seed + unsigned(n));
            const auto pause = [&](int longest) { QThread::msleep(std::uniform_int_distribution(0, longest)(random)); };
            pause(600);
            Writer file(rig.lpt1 + QStringLiteral("/los%1.prn").arg(n));
            QByteArray text = "LOS" + QByteArray::number(n);
            file.write("\x1b@" + text);
            const int pieces = std::uniform_int_distribution(1, 5)(random);
            for (int piece = 0; piece < pieces; ++piece) {
                pause(300); // always shorter than the settle time
                const QByteArray word = " w" + QByteArray::number(n) + '-' + QByteArray::number(piece);
                file.write(word);
                text += word;
            }
            file.write("\r\n\x0c");
            // Held open after the last write, now and then for longer than the settle
            // time: only the close ends the print job.
            pause(1000);
            expected[n] = QString::fromLatin1(text);
        });
    }
    for (std::thread &writer : writers)
        writer.join();
    ASSERT_TRUE(rig.waitForLines(Files));
    QThread::msleep(800);
    ASSERT_EQ(rig.linesOf().size(), Files);
    ASSERT_EQ(rig.pdfs().size(), Files);
    for (int n = 0; n < Files; ++n)
        EXPECT_EQ(TextOf(rig.out + u'/' + PdfOf(QStringLiteral("los%1.prn").arg(n))), expected[n]);
    EXPECT_TRUE(Entries(rig.lpt1).isEmpty()) << Entries(rig.lpt1).join(u' ').toStdString();
}

TEST(CaptureDirectory, SeveralFilesAtOnceKeepTheirOrder)
{
    PortRig rig;
    rig.start();
    QStringList written;
    for (int n = 1; n <= 5; ++n) {
        // Names that sort otherwise than they came.
        const QString name = QStringLiteral("%1-zadanie.prn").arg(QChar(u'z' - n));
        WriteFile(rig.lpt1 + u'/' + name, EscpJob("NR " + QByteArray::number(n)));
        written.append(name);
        QThread::msleep(20);
    }
    // Renamed into place: each at once, in the order they came.
    for (int n = 6; n <= 8; ++n) {
        const QString name = QStringLiteral("%1-gotowe.prn").arg(QChar(u'k' - n));
        WriteFile(rig.home.filePath(name), EscpJob("NR " + QByteArray::number(n)));
        ASSERT_TRUE(QFile::rename(rig.home.filePath(name), rig.lpt1 + u'/' + name));
        written.append(name);
    }
    ASSERT_TRUE(rig.waitForLines(8));
    QStringList inPlace;
    QStringList renamed;
    for (const LaterOutcome &line : rig.linesOf())
        (line.jobFile.endsWith(QStringLiteral("-zadanie.prn")) ? inPlace : renamed).append(line.jobFile);
    // The renamed ones are whole at once, and need not wait for those still settling.
    EXPECT_EQ(inPlace, written.mid(0, 5));
    EXPECT_EQ(renamed, written.mid(5));
}

TEST(CaptureDirectory, AFileBeingWrittenWhenTheMonitorStartsWaitsForItsWriter)
{
    PortRig rig;
    // Left by the last run, whole.
    WriteFile(rig.lpt1 + QStringLiteral("/stary.prn"), EscpJob("STARY"));
    // The emulator is half way through a print job when the monitor starts.
    Writer open(rig.lpt1 + QStringLiteral("/biezacy.prn"));
    open.write("\x1b@BIEZACY poczatek");
    rig.start();

    ASSERT_TRUE(rig.waitForLines(1));
    EXPECT_EQ(rig.linesOf().at(0).jobFile, QStringLiteral("stary.prn"));
    // Quiet for three settle times, but still open for writing: not a print job yet.
    QThread::msleep(1200);
    open.write(" koniec\r\n\x0c");
    QThread::msleep(300);
    EXPECT_EQ(rig.linesOf().size(), 1);
    open.close();
    ASSERT_TRUE(rig.waitForLines(2));
    EXPECT_EQ(TextOf(rig.out + QStringLiteral("/LPT1-biezacy.pdf")), QStringLiteral("BIEZACY poczatek koniec"));
    EXPECT_EQ(TextOf(rig.out + QStringLiteral("/LPT1-stary.pdf")), QStringLiteral("STARY"));
    EXPECT_TRUE(Entries(rig.lpt1).isEmpty()) << Entries(rig.lpt1).join(u' ').toStdString();
}
