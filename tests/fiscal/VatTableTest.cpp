// PTU.txt: the section of the model, its broken forms and the codes they give.

#include "fiscal/VatTable.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

using namespace ostrevo;
using namespace ostrevo::test;

namespace {

struct Ptu {
    QTemporaryDir dir;
    QString path = dir.filePath(QStringLiteral("PTU.txt"));
    VatTable table;

    int load(const QByteArray &text, const QByteArray &model)
    {
        WriteFile(path, text);
        return table.LoadVatTable(path, model);
    }
};

} // namespace

TEST(VatTable, LoadsTheModelsSection)
{
    const struct {
        const char *name;
        QByteArray text;
        const char *model;
        int code;
        QList<QByteArray> entries;
    } cases[] = {
        {"plain", "<OMEGA_1>\r\n2 23\r\n3 8\r\n<END>\r\n", "OMEGA_1", 0, {"223", "38"}},
        {"other sections skipped", "<THERMAL>\r\nA 23\r\n<END>\r\n<OMEGA_1>\r\n2 23\r\n<END>\r\n", "OMEGA_1", 0, {"223"}},
        {"header in any case, comments away", "<omega_1> // Elzab\r\n 2   23 // full\r\n3\t8\r\n<end>\r\n4 5\r\n",
         "OMEGA_1", 0, {"223", "38"}},
        {"model name upper-cased", "<THERMAL>\r\nA 23\r\n", "thermal", 0, {"A23"}},
        {"an empty line ends it", "<OMEGA_1>\r\n2 23\r\n   // nothing\r\n3 8\r\n<END>\r\n", "OMEGA_1", 0, {"223"}},
        {"section to the end of the file", "<OMEGA_1>\r\n2 23\r\n3 8", "OMEGA_1", 0, {"223", "38"}},
        {"Ctrl+Z ends the file", "<OMEGA_1>\r\n2 23\r\n\x1A" "3 8\r\n", "OMEGA_1", 0, {"223"}},
        {"a group with no rate is left out", "<OMEGA_1>\r\n1\r\n2 23\r\n", "OMEGA_1", 0, {"223"}},
        {"no section", "<OMEGA_2>\r\n2 23\r\n<END>\r\n", "OMEGA_1", VatTable::SectionMissing, {}},
        {"a name that only starts alike", "<OMEGA_10>\r\n2 23\r\n", "OMEGA_1", VatTable::SectionMissing, {}},
        {"group of two characters", "<OMEGA_1>\r\n2 23\r\n22 8\r\n3 5\r\n", "OMEGA_1", VatTable::GroupNotOneCharacter, {"223"}},
    };
    for (const auto &c : cases) {
        Ptu ptu;
        EXPECT_EQ(ptu.load(c.text, c.model), c.code) << c.name;
        EXPECT_EQ(ptu.table.entries(), c.entries) << c.name;
    }
}

TEST(VatTable, MissingFileAndReloads)
{
    Ptu ptu;
    EXPECT_EQ(ptu.table.LoadVatTable(ptu.path, "OMEGA_1"), VatTable::FileMissing);
    // A later load replaces the table: another model's groups never answer for this one.
    ASSERT_EQ(ptu.load("<OMEGA_1>\r\n2 23\r\n<END>\r\n<THERMAL>\r\nA 23\r\n<END>\r\n", "OMEGA_1"), 0);
    EXPECT_EQ(ptu.table.FindVatGroup("23"), '2');
    ASSERT_EQ(ptu.table.LoadVatTable(ptu.path, "THERMAL"), 0);
    EXPECT_EQ(ptu.table.FindVatGroup("23"), 'A');
    EXPECT_EQ(ptu.table.LoadVatTable(ptu.path, "FP600"), VatTable::SectionMissing);
    EXPECT_EQ(ptu.table.FindVatGroup("23"), ' ');
    // Found whatever the case of its name, as on the Windows file system.
    QFile::rename(ptu.path, ptu.dir.filePath(QStringLiteral("ptu.TXT")));
    EXPECT_EQ(ptu.table.LoadVatTable(ptu.path, "THERMAL"), 0);
}

TEST(VatTable, FindVatGroupComparesTrimmedRates)
{
    Ptu ptu;
    ASSERT_EQ(ptu.load("<THERMAL>\r\nA 23\r\nB 8\r\nC 08\r\nZ zw\r\nD 8\r\n", "THERMAL"), 0);
    EXPECT_EQ(ptu.table.FindVatGroup("23"), 'A');
    EXPECT_EQ(ptu.table.FindVatGroup(" 8 "), 'B'); // the first entry wins
    EXPECT_EQ(ptu.table.FindVatGroup("08"), 'C');
    EXPECT_EQ(ptu.table.FindVatGroup("zw"), 'Z');
    EXPECT_EQ(ptu.table.FindVatGroup("ZW"), ' ');
    EXPECT_EQ(ptu.table.FindVatGroup("5"), ' ');
    EXPECT_EQ(ptu.table.FindVatGroup(""), ' ');
}
