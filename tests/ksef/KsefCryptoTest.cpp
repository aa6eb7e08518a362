// The client's cryptography and dates against values computed independently of it.
#include "ksef/KsefCrypto.h"
#include "ksef/KsefDate.h"

#include "support/TestSupport.h"

#include <gtest/gtest.h>

using namespace ostrevo;
using namespace ostrevo::test;

namespace {

QByteArray Counting(int size)
{
    QByteArray bytes;
    for (int i = 0; i < size; ++i)
        bytes.append(char(i));
    return bytes;
}

TEST(KsefCryptoTest, InvoiceEncryptionMatchesTheKnownVectors)
{
    const QByteArray invoice = ReadFile(TestData(QStringLiteral("ksef/ex1-minimal.xml")));
    ASSERT_EQ(invoice.size(), 1777);
    EXPECT_EQ(Sha256(invoice).toBase64(), "2RvZUy5yMrX8ms/bpeciKLa0EO2b7LsyuP76OibjVZA=");
    // Padding only: the IV goes to KSeF on its own, not in front of the ciphertext.
    const QByteArray encrypted = Aes256CbcEncrypt(Counting(32), Counting(16), invoice);
    EXPECT_EQ(encrypted.size(), 1792);
    EXPECT_EQ(Sha256(encrypted).toBase64(), "fvFa6BcCy4UX0Qp0m4DITDSu7HSUi1Z/6UES0YFP+wY=");
    EXPECT_TRUE(encrypted.toBase64().startsWith("0u46CvPadKGV2AWGpXIeUCjD29e1L83Z76Vse5v2l4gE6R2RpyjFovQumJZf0q7E"));
}

TEST(KsefCryptoTest, DatesKeepTheirInstantWhateverTheirPrecisionAndOffset)
{
    const QDateTime ticks = ParseKsefDateTime(QStringLiteral("2025-07-11T12:23:56.0154302+00:00"));
    ASSERT_TRUE(ticks.isValid());
    EXPECT_EQ(ticks, QDateTime(QDate(2025, 7, 11), QTime(12, 23, 56, 15), Qt::UTC));
    EXPECT_EQ(ParseKsefDateTime(QStringLiteral("2025-09-16T11:05:40.841+02:00")),
              QDateTime(QDate(2025, 9, 16), QTime(9, 5, 40, 841), Qt::UTC));
    EXPECT_EQ(ParseKsefDateTime(QStringLiteral("2025-09-21T14:54:20Z")), QDateTime(QDate(2025, 9, 21), QTime(14, 54, 20), Qt::UTC));
    EXPECT_FALSE(ParseKsefDateTime(QStringLiteral("11.07.2025 12:23")).isValid());
}

} // namespace
