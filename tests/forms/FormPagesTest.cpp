#include "FormRig.h"

#include "jobs/Errors.h"

#include <QElapsedTimer>

#include <gtest/gtest.h>

using namespace ostrevo;
using namespace ostrevo::test;

namespace {

// A template of `pages` sections, each drawing a line whose x is 1000 times its page.
QList<QByteArray> Pages(int pages, int sections, const QMap<int, QByteArray> &orientation = {})
{
    QList<QByteArray> lines{"<PARAMETERS>", "PAGE=" + QByteArray::number(pages), "<END>"};
    for (int n = 1; n <= sections; ++n) {
        lines << "<PAGE" + QByteArray::number(n) + ">";
        if (orientation.contains(n))
            lines << "ORIENTATION=" + orientation[n];
        lines << "L(" + QByteArray::number(n * 10) + ",0,0,0)" << "<END>";
    }
    return lines;
}

// A job page drawing a line whose y is 1000 times its page.
QList<QByteArray> JobPages(const QList<int> &pages, const QByteArray &marker = "<PAGE%1>")
{
    QList<QByteArray> lines;
    for (int n : pages) {
        lines << QByteArray(marker).replace("%1", QByteArray::number(n));
        lines << "L(0," + QByteArray::number(n * 10) + ",0,0)" << "<END>";
    }
    return lines;
}

} // namespace

TEST(FormPages, RangeAndParitySelectThePagesDrawn)
{
    struct Case {
        QList<QByteArray> params;
        const char *pages; // "|" between the calls
    };
    const Case cases[] = {
        {{}, "page 1 first|page 2|page 3|page 4"},
        {{"EVEN=1"}, "page 1 first|page 3"},
        {{"EVEN=0"}, "page 2 first|page 4"},
        {{"EVEN=7"}, "page 1 first|page 2|page 3|page 4"},
        {{"FROM_PAGE=2", "TO_PAGE=3"}, "page 2 first|page 3"},
        {{"TO_PAGE=x", "FROM_PAGE=3"}, "page 3 first|page 4"},
    };
    for (const Case &c : cases) {
        FormRig rig;
        rig.writeTemplate(Pages(4, 4));
        rig.writeJob(JobPages({1, 2, 3, 4}), c.params);
        ASSERT_TRUE(rig.run());
        const QStringList pages = QString::fromLatin1(c.pages).split(u'|');
        EXPECT_EQ(rig.drawer.starting(QStringLiteral("page")), pages) << c.params.join(' ').constData();
        EXPECT_EQ(rig.pagesDrawn, pages.size());
    }
}

TEST(FormPages, TemplateSectionComesFirstAndEachPageHasItsOrientation)
{
    FormRig rig;
    rig.writeTemplate(Pages(3, 3, {{2, "landscape"}, {3, "l"}}));
    rig.writeJob(JobPages({1, 2, 3}));
    ASSERT_TRUE(rig.run());
    EXPECT_EQ(rig.drawer.calls,
              (QStringList{QStringLiteral("page 1 first"), QStringLiteral("L 1000,0,0,0"), QStringLiteral("L 0,1000,0,0"),
                           QStringLiteral("page 2"), QStringLiteral("L 2000,0,0,0"), QStringLiteral("L 0,2000,0,0"),
                           QStringLiteral("page 3 landscape"), QStringLiteral("L 3000,0,0,0"),
                           QStringLiteral("L 0,3000,0,0")}));
}

TEST(FormPages, SectionsAreFoundForwardOnlyAndInAnyLetterCase)
{
    {
        FormRig rig; // page 2 is looked for past <PAGE3>: nothing after page 1
        rig.writeTemplate(Pages(3, 3));
        rig.writeJob(JobPages({1, 3}));
        ASSERT_TRUE(rig.run());
        EXPECT_EQ(rig.drawer.starting(QStringLiteral("page")), QStringList{QStringLiteral("page 1 first")});
    }
    {
        FormRig rig;
        rig.writeTemplate(Pages(2, 2));
        rig.writeJob(JobPages({1, 2}, "<page%1>"));
        ASSERT_TRUE(rig.run());
        EXPECT_EQ(rig.pagesDrawn, 2);
    }
    {
        FormRig rig; // unnumbered markers match whatever page is looked for
        rig.writeTemplate(Pages(2, 2));
        rig.writeJob(JobPages({1, 2}, "<Page>"));
        ASSERT_TRUE(rig.run());
        EXPECT_EQ(rig.drawer.starting(QStringLiteral("L 0,")),
                  (QStringList{QStringLiteral("L 0,1000,0,0"), QStringLiteral("L 0,2000,0,0")}));
    }
}

TEST(FormPages, JobPagesPastTheTemplateGetSheetsOfTheirOwn)
{
    FormRig rig;
    rig.writeTemplate(Pages(4, 2));
    rig.writeJob(JobPages({1, 2, 3, 4}), {"EVEN=0"});
    ASSERT_TRUE(rig.run());
    EXPECT_EQ(rig.drawer.calls,
              (QStringList{QStringLiteral("page 2 first"), QStringLiteral("L 2000,0,0,0"), QStringLiteral("L 0,2000,0,0"),
                           QStringLiteral("page 4"), QStringLiteral("L 0,4000,0,0")}));
}

TEST(FormPages, SectionEndsMissingOrOverrunEndWhereTheyMust)
{
    {
        FormRig rig; // no <END> in the job: its page ends with the file
        rig.writeTemplate(Pages(1, 1));
        rig.writeJob({"<PAGE1>", "BX(0,0,0,1,1)", "T1(0,50)", "runs past the end of the file"});
        ASSERT_TRUE(rig.run());
        EXPECT_EQ(rig.drawer.starting(QStringLiteral("line")), QStringList{QStringLiteral("line 1 [runs past the end of the file]")});
    }
    {
        FormRig rig; // a count past <END> does not swallow the next page
        rig.writeTemplate(Pages(2, 2));
        rig.writeJob({"<PAGE1>", "BX(0,0,0,1,1)", "T1(0,2000000000)", "one", "<END>", "<PAGE2>", "L(0,7,0,0)", "<END>"});
        ASSERT_TRUE(rig.run());
        EXPECT_EQ(rig.drawer.starting(QStringLiteral("line")), QStringList{QStringLiteral("line 1 [one]")});
        EXPECT_TRUE(rig.drawer.calls.contains(QStringLiteral("L 0,700,0,0")));
        EXPECT_EQ(rig.pagesDrawn, 2);
    }
}

TEST(FormPages, TemplatesThatCannotBeDrawnAreRefusedBeforeDrawing)
{
    {
        FormRig rig;
        rig.writeTemplate(Pages(2, 3));
        rig.writeJob(JobPages({1}));
        try {
            rig.run();
            ADD_FAILURE() << "three sections with PAGE=2 were taken";
        } catch (const ConversionError &e) {
            EXPECT_TRUE(e.message().contains(QStringLiteral("więcej sekcji stron niż jego PAGE=2"))) << e.what();
            EXPECT_TRUE(e.message().contains(QStringLiteral("wzor.txt"))) << e.what();
        }
        EXPECT_TRUE(rig.drawer.calls.isEmpty());
    }
    {
        FormRig rig; // a huge box number is refused at once, without a table for it
        QList<QByteArray> form = Pages(1, 1);
        form.insert(form.size() - 1, "BX(2000000000,0,0,1,1)");
        rig.writeTemplate(form);
        rig.writeJob(JobPages({1}));
        QElapsedTimer clock;
        clock.start();
        try {
            rig.run();
            ADD_FAILURE() << "box 2000000000 was taken";
        } catch (const ConversionError &e) {
            EXPECT_TRUE(e.message().contains(QStringLiteral("numer pola 2000000000 przekracza 99999"))) << e.what();
        }
        EXPECT_LT(clock.elapsed(), 5000);
    }
    {
        FormRig rig; // the largest allowed number still works
        rig.writeTemplate(Pages(1, 1));
        rig.writeJob({"<PAGE1>", "BX(99999,0,0,1,1)", "T1(99999,1)", "last", "<END>"});
        ASSERT_TRUE(rig.run());
        EXPECT_EQ(rig.job->state().boxes.rows(), 100000);
        EXPECT_EQ(rig.drawer.starting(QStringLiteral("line")), QStringList{QStringLiteral("line 1 [last]")});
    }
}

TEST(FormPages, TemplateIsFoundByNameInEitherWzorzecOrThroughADosPath)
{
    {
        FormRig rig; // the program directory's template wins over the job directory's
        QDir().mkpath(rig.jobDir + QStringLiteral("/WZORZEC"));
        WriteFile(rig.jobDir + QStringLiteral("/WZORZEC/PIT37.TXT"), DosLines(Pages(1, 1)));
        rig.writeJob(JobPages({1}), {"TEMPLATE=pit37"});
        ASSERT_TRUE(rig.run());
        EXPECT_EQ(rig.job->templatePath(), rig.jobDir + QStringLiteral("/WZORZEC/PIT37.TXT"));
        rig.writeTemplate(Pages(1, 1), QStringLiteral("Pit37"));
        ASSERT_TRUE(rig.run());
        EXPECT_EQ(rig.job->templatePath(), rig.programDir + QStringLiteral("/Wzorzec/Pit37.txt"));
    }
    {
        FormRig rig;
        QDir().mkpath(rig.root.path() + QStringLiteral("/dysk/Wzory"));
        WriteFile(rig.root.path() + QStringLiteral("/dysk/Wzory/vat7.txt"), DosLines(Pages(1, 1)));
        rig.settings.drives.insert(u'F', rig.root.path() + QStringLiteral("/dysk"));
        rig.writeJob(JobPages({1}), {"TEMPLATE=F:\\WZORY\\VAT7"});
        ASSERT_TRUE(rig.run());
        EXPECT_EQ(rig.job->templatePath(), rig.root.path() + QStringLiteral("/dysk/Wzory/vat7.txt"));
        rig.drawer.calls.clear();
        rig.writeJob(JobPages({1}), {"TEMPLATE=G:\\WZORY\\VAT7"});
        EXPECT_FALSE(rig.run()); // an unmapped drive
        rig.writeJob(JobPages({1}), {"TEMPLATE=nothing"});
        EXPECT_FALSE(rig.run());
        EXPECT_TRUE(rig.drawer.calls.isEmpty());
    }
}
