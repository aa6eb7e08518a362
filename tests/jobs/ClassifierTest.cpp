#include "jobs/Classifier.h"
#include "jobs/Errors.h"

#include "support/TestSupport.h"

#include <gtest/gtest.h>

using namespace ostrevo;
using namespace ostrevo::test;

namespace {

JobKind Classify(const QByteArray &bytes)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("JOB.txt"));
    WriteFile(path, bytes);
    return ClassifyJob(path);
}

} // namespace

TEST(ClassifyJob, FirstSignificantLineDecides)
{
    struct Case {
        const char *what;
        QByteArray job;
        JobKind kind;
    };
    const Case cases[] = {
        {"empty file", "", jkEmpty},
        {"only empty and comment lines", "\r\n// <FTP>\r\n\r\n//x\r\n", jkEmpty},
        {"Ctrl+Z before any text", "\x1A<FTP>\r\n", jkEmpty},
        {"plain text", "FAKTURA VAT\r\n", jkText},
        {"line of spaces is significant", "   \r\n<FTP>\r\n", jkText},
        {"tag inside a comment is skipped", "// <FTP>\r\n<MAIL>\r\n", jkMail},
        {"lower case, text around", "xx <ftp> yy\r\n", jkFtp},
        {"FTP before PDF", "<PDF><FTP>\r\n", jkFtp},
        {"tag after the first line ignored", "text\r\n<FTP>\r\n", jkText},
        {"mail", "<MAIL>", jkMail},
        {"pdf", "<PDF>\r\nPDF_FILE=a.pdf\r\n<END>\r\n", jkPdf},
        {"download", "<DOWNLOAD>", jkDownload},
        {"open", "<OPEN>", jkOpen},
        {"print", "<print>", jkPrint},
        {"fiscal", "<DF>", jkDf},
        {"exchange rates", "<WALUTA>", jkWaluta},
        {"invoice for KSeF", "<KSeF>", jkKsef},
        {"unknown tag is text", "<XYZ>\r\n", jkText},
        {"tag in a comment after text", "abc // <FTP>\r\n", jkText},
    };
    for (const Case &c : cases)
        EXPECT_EQ(Classify(c.job), c.kind) << c.what;
}

TEST(ClassifyJob, PitGoesToPdfOnlyWithPdfFileInItsBlock)
{
    struct Case {
        const char *what;
        QByteArray job;
        JobKind kind;
    };
    const Case cases[] = {
        {"no key", "<PIT>\r\nWZOR=PIT11\r\n<END>\r\n", jkPit},
        {"key in block", "<PIT>\r\nWZOR=PIT11\r\nPDF_FILE=x.pdf\r\n<END>\r\n", jkPitPdf},
        {"key lower case", "<PIT>\r\npdf_file = x.pdf\r\n<END>\r\n", jkPitPdf},
        {"empty value counts", "<PIT>\r\nPDF_FILE=\r\n<END>\r\n", jkPitPdf},
        {"key after END", "<PIT>\r\n<END>\r\nPDF_FILE=x.pdf\r\n", jkPit},
        {"tag line holds END", "<PIT><END>\r\nPDF_FILE=x.pdf\r\n", jkPit},
        {"key on the tag line is not read", "<PIT> PDF_FILE=x.pdf\r\n<END>\r\n", jkPit},
        {"key commented out", "<PIT>\r\n// PDF_FILE=x.pdf\r\n<END>\r\n", jkPit},
        {"no END: read to the end", "<PIT>\r\nA=1\r\nPDF_FILE=y\r\n", jkPitPdf},
        {"PIT with PDF", "<PIT><PDF>\r\nA=1\r\n<END>\r\n", jkPit},
        {"key on the END line", "<PIT>\r\nPDF_FILE=x <END>\r\n", jkPitPdf},
    };
    for (const Case &c : cases)
        EXPECT_EQ(Classify(c.job), c.kind) << c.what;
}

TEST(ClassifyJob, OddFiles)
{
    // Binary bytes and a line of many megabytes classify without trouble.
    QByteArray binary;
    for (int i = 0; i < 256; ++i)
        binary.append(char(i));
    EXPECT_EQ(Classify(binary), jkText);
    EXPECT_EQ(Classify(QByteArray(8 * 1024 * 1024, 'A') + "<FTP>"), jkFtp);

    QTemporaryDir dir;
    EXPECT_THROW(ClassifyJob(dir.filePath(QStringLiteral("missing.txt"))), IoError);
    // A directory in place of the text file cannot be read as one.
    EXPECT_THROW(ClassifyJob(dir.path()), IoError);
}
