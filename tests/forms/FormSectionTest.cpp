#include "FormRig.h"

#include "jobs/Errors.h"

#include <gtest/gtest.h>

using namespace ostrevo;
using namespace ostrevo::test;

namespace {

// A one-page template whose page holds `lines`, with PAGE 1.
QList<QByteArray> OnePage(const QList<QByteArray> &lines, const QList<QByteArray> &header = {})
{
    QList<QByteArray> all{"<PARAMETERS>", "PAGE=1"};
    all << header << "<END>" << "<PAGE1>" << lines << "<END>";
    return all;
}

} // namespace

TEST(FormSection, BoxRowIsTheFrameInsideAndCoordinatesFollowTheUnit)
{
    FormRig rig;
    rig.writeTemplate(OnePage({"B(3,10,10,50,20,0)", "MMJEDN=10", "BX(4,105,0,210,55)", "L_THICKNESS=31",
                               "B(5,0,0,100,100,1)"}));
    rig.writeJob({"<PAGE1>", "T1(3,1)", "a", "T1(4,1)", "b", "T1(5,1)", "c", "<END>"});
    ASSERT_TRUE(rig.run());
    EXPECT_EQ(rig.drawer.starting(QStringLiteral("B ")),
              (QStringList{QStringLiteral("B 1000,1000,5000,2000 fill 0 colour ffffff"),
                           QStringLiteral("B 0,0,1000,1000 fill 1 colour ffffff")}));
    // Half of 30 plus 10 inward; 31 gives 25.5, which rounds to 26.
    EXPECT_EQ(rig.drawer.starting(QStringLiteral("T ")),
              (QStringList{QStringLiteral("T 1025,1025,4975,1975 pad 0,0,0,0 count 1"),
                           QStringLiteral("T 1050,0,2100,550 pad 0,0,0,0 count 1"),
                           QStringLiteral("T 26,26,974,974 pad 0,0,0,0 count 1")}));
}

TEST(FormSection, WspScalesTemplateCoordinatesWithAPointOrAComma)
{
    for (const QByteArray &wsp : {QByteArray("WSP=1.5"), QByteArray("WSP=1,5")}) {
        FormRig rig;
        rig.writeTemplate(OnePage({"L(10,20,30,40)", "T_PADLEFT=2", "BX(1,0,0,10,10)", "T1(1,1)", "x"}, {wsp}));
        rig.writeJob({"<PAGE1>", "<END>"});
        ASSERT_TRUE(rig.run());
        EXPECT_EQ(rig.drawer.starting(QStringLiteral("L ")), QStringList{QStringLiteral("L 1500,3000,4500,6000")}) << wsp.constData();
        EXPECT_EQ(rig.drawer.starting(QStringLiteral("T ")),
                  QStringList{QStringLiteral("T 0,0,1500,1500 pad 300,0,0,0 count 1")});
        EXPECT_EQ(rig.drawer.scale.wsp, 1.5);
    }
    FormRig bad;
    bad.writeTemplate(OnePage({}, {"WSP=1.5x"}));
    bad.writeJob({});
    EXPECT_THROW(bad.run(), ConversionError);
}

TEST(FormSection, TextBlocksConsumeTheirLinesWithAttributesAndInterruptions)
{
    FormRig rig;
    rig.writeTemplate(OnePage({"BX(1,0,0,100,20)", "BX(5,0,30,100,50)"}));
    rig.writeJob({"<PAGE1>",
                  "T_SIZE=250 // big",
                  "T1(1,3)",
                  "first",
                  "T_BOLD=1",
                  "second",
                  "T1(1,6,1,2)",
                  "   indented   ",
                  "see http://example.com/a//b",
                  "We print the T_SIZE of letters here",
                  " . ",
                  "T2(5,1)",
                  "in five",
                  "L(0,0,1,1) // read as a line of the section again",
                  "<END>"});
    ASSERT_TRUE(rig.run());
    EXPECT_EQ(rig.drawer.calls,
              (QStringList{QStringLiteral("page 1 first"),
                           QStringLiteral("T 0,0,10000,2000 pad 0,0,0,0 count 3"),
                           QStringLiteral("line 1 [first]"),
                           QStringLiteral("line 3 [second]"),
                           QStringLiteral("end"),
                           QStringLiteral("T 0,0,10000,2000 pad 100,200,0,0 count 6"),
                           QStringLiteral("line 1 [   indented]"),
                           QStringLiteral("line 2 [see http://example.com/a//b]"),
                           QStringLiteral("line 4 []"),
                           QStringLiteral("end"),
                           QStringLiteral("T 0,3000,10000,5000 pad 0,0,0,0 count 1"),
                           QStringLiteral("line 1 [in five]"),
                           QStringLiteral("end"),
                           QStringLiteral("L 0,0,100,100")}));
    ASSERT_EQ(rig.drawer.textAtLine.size(), 6);
    EXPECT_EQ(rig.drawer.textAtLine[0].textSize, 250);
    EXPECT_EQ(rig.drawer.textAtLine[0].bold, 0);
    EXPECT_EQ(rig.drawer.textAtLine[1].bold, 1);
}

TEST(FormSection, ObjectsBeyondTheTableDrawNothingAndLeaveTheirLinesToTheSection)
{
    FormRig rig;
    rig.writeTemplate(OnePage({"BX(5,0,0,10,10)"}));
    rig.writeJob({"<PAGE1>", "T1(7,2)", "L(1,1,2,2)", "K(9)", "B(-1,0,0,1,1,0)",
                  "TNUM(4,2000000000,7)", "<END>"});
    ASSERT_TRUE(rig.run());
    EXPECT_EQ(rig.drawer.calls, (QStringList{QStringLiteral("page 1 first"), QStringLiteral("L 100,100,200,200"),
                                             QStringLiteral("N 0,0,0,0 pad 0,0,0,0 7"),
                                             QStringLiteral("N 0,0,1000,1000 pad 0,0,0,0 8")}));
}

TEST(FormSection, NumberingAndBarcodes)
{
    FormRig rig;
    rig.writeTemplate(OnePage({"BX(1,0,0,10,10)", "BX(2,10,0,20,10)", "BX(3,20,0,30,10)", "T_PADTOP=1"}));
    rig.writeJob({"<PAGE1>", "TNUM(1,3,7)", "K(2,1,,5)", " 5901234123457 // as it stands", "<END>"});
    ASSERT_TRUE(rig.run());
    EXPECT_EQ(rig.drawer.calls,
              (QStringList{QStringLiteral("page 1 first"), QStringLiteral("N 0,0,1000,1000 pad 0,0,0,0 7"),
                           QStringLiteral("N 1000,0,2000,1000 pad 0,0,0,0 8"),
                           QStringLiteral("N 2000,0,3000,1000 pad 0,0,0,0 9"),
                           QStringLiteral("K 1000,0,2000,1000 pad 0,500,0,0 [ 5901234123457 // as it stands]")}));
}

TEST(FormSection, DefaultsResetsAndTheBackgroundOption)
{
    const QList<QByteArray> form{"<PARAMETERS>", "PAGE=1", "WSP=2", "<END>",
                                 "<DEFAULT>", "B_FILL=00FF00", "T_BACKGROUND=0000FF", "T_PADLEFT=1",
                                 "T_SIZE=abc", "T_TABSTOP=4", "<END>",
                                 "<PAGE1>", "B_FILL=FF0000", "BX(1,0,0,10,10)", "B(2,0,0,1,1,1)", "LDEV()",
                                 "B(2,0,0,1,1,1)", "T1(1,1)", "x", "<END>"};
    const QList<QByteArray> job{"<DEFAULT>", "T_PADLEFT=1", "<END>", "<PAGE1>", "T1(1,1)", "y", "<END>"};
    {
        FormRig rig; // the option on: defaults and page lines as written
        rig.writeTemplate(form);
        rig.writeJob(job);
        ASSERT_TRUE(rig.run(FormBackground{true, true}));
        EXPECT_EQ(rig.drawer.starting(QStringLiteral("B ")),
                  (QStringList{QStringLiteral("B 0,0,200,200 fill 1 colour ff0000"),
                               QStringLiteral("B 0,0,200,200 fill 1 colour 00ff00")}));
        // The template's default padding is scaled by its WSP, the job's is read before it.
        EXPECT_EQ(rig.drawer.starting(QStringLiteral("T ")),
                  (QStringList{QStringLiteral("T 0,0,2000,2000 pad 200,0,0,0 count 1"),
                               QStringLiteral("T 0,0,2000,2000 pad 100,0,0,0 count 1")}));
        EXPECT_EQ(rig.drawer.text.textSize, 200);
        EXPECT_EQ(rig.job->state().attributes.defaults(FormTemplateSource).tabStop, 4);
    }
    {
        FormRig rig; // printer, option off: resets whiten, page lines count
        rig.writeTemplate(form);
        rig.writeJob(job);
        ASSERT_TRUE(rig.run(FormBackground{false, true}));
        EXPECT_EQ(rig.drawer.starting(QStringLiteral("B ")),
                  (QStringList{QStringLiteral("B 0,0,200,200 fill 1 colour ff0000"),
                               QStringLiteral("B 0,0,200,200 fill 1 colour ffffff")}));
        EXPECT_EQ(rig.drawer.text.background, FormWhite);
    }
    {
        FormRig rig; // PDF, option off: defaults copied, the page's B_FILL line passed over
        rig.writeTemplate(form);
        rig.writeJob(job);
        ASSERT_TRUE(rig.run(FormBackground{false, false}));
        EXPECT_EQ(rig.drawer.starting(QStringLiteral("B ")),
                  (QStringList{QStringLiteral("B 0,0,200,200 fill 1 colour 00ff00"),
                               QStringLiteral("B 0,0,200,200 fill 1 colour 00ff00")}));
    }
}

TEST(FormSection, MalformedStrictValuesFailNamingTheFileAndLine)
{
    struct Case {
        QByteArray line;
        const char *message;
    };
    const Case cases[] = {
        {"L(1,2,x,4)", "parametr 3"},
        {"L(1,2,3)", "brak parametru 4"},
        {"B(1,0,0,10,10)", "brak parametru 6"},
        {"T_PADLEFT=1mm", "T_PADLEFT=1mm"},
        {"L_THICKNESS=3.5", "L_THICKNESS=3.5"},
        {"T_COLOR=red", "T_COLOR=red"},
        {"MMJEDN=0", "MMJEDN=0"},
        {"MAXX=0", "MAXX=0"},
        {"T1(1,x)", "parametr 2"},
        {"K(1)", "kodu kreskowego"},
    };
    for (const Case &c : cases) {
        FormRig rig;
        rig.writeTemplate(OnePage({"BX(1,0,0,10,10)"}));
        rig.writeJob({"<PAGE1>", "T_SIZE=x", c.line, "<END>"});
        try {
            rig.run();
            ADD_FAILURE() << c.line.constData() << " was taken";
        } catch (const ConversionError &e) {
            EXPECT_TRUE(e.message().contains(QLatin1StringView(c.message))) << e.what();
            EXPECT_TRUE(e.message().contains(QStringLiteral("form.txt, wiersz 6"))) << e.what();
        }
    }
}
