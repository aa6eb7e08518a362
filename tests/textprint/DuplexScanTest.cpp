#include "support/TestSupport.h"
#include "textprint/DuplexScan.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace ostrevo;
using namespace ostrevo::test;

TEST(DuplexScan, OnlyTheFirstLineWithTextOutsideACommentDecides)
{
    QTemporaryDir dir;
    const QString path = dir.path() + QStringLiteral("/J.txt");
    const struct {
        QByteArray bytes;
        DuplexRequest expected;
    } cases[] = {
        {"<DX+>\r\ntekst\r\n", DuplexRequest::On},
        {"\r\n\r\n// <DX-> w komentarzu\r\n<dx+> male litery\r\n", DuplexRequest::On},
        {"<DX+><DX->\r\n", DuplexRequest::Off},
        {"naglowek\r\n<DX+>\r\n", DuplexRequest::None},
        // Blanks are text: that line decides, and it holds no request.
        {"   \r\n<DX+>\r\n", DuplexRequest::None},
        {"//<DX+>\r\n", DuplexRequest::None},
        {"", DuplexRequest::None},
        // Ctrl+Z ends the file before the request.
        {"\x1a<DX+>\r\n", DuplexRequest::None},
    };
    for (const auto &c : cases) {
        WriteFile(path, c.bytes);
        EXPECT_EQ(ScanDuplexRequest(path), c.expected) << c.bytes.constData();
    }
}

TEST(DuplexScan, RequestAndKartkaGiveTheValueToPrintWith)
{
    EXPECT_EQ(DuplexToApply(DuplexRequest::Off, 1, 2), 0);
    EXPECT_EQ(DuplexToApply(DuplexRequest::On, 1, 0), 2);
    EXPECT_EQ(DuplexToApply(DuplexRequest::On, 0, 0), 1);
    EXPECT_EQ(DuplexToApply(DuplexRequest::On, 2, 0), 1);
    EXPECT_EQ(DuplexToApply(DuplexRequest::None, 1, 1), 1);
    EXPECT_EQ(DuplexToApply(DuplexRequest::None, 1, 0), 0);
}
