#include "forms/FormAttributes.h"
#include "forms/FormLine.h"
#include "forms/FormValues.h"
#include "jobs/JobFile.h"

#include <gtest/gtest.h>

using namespace ostrevo;

TEST(FormLine, FirstDelimiterDecidesAndALastOneDoesNotCount)
{
    const FormLine size = ClassifyFormLine(RemoveComment("T_SIZE=250 // big"));
    EXPECT_EQ(size.type, FormLine::Assignment);
    EXPECT_EQ(size.key, "T_SIZE");
    EXPECT_EQ(size.value, "250");

    // "(" ahead of "=": an object, whatever follows.
    const FormLine object = ClassifyFormLine(" b ( 3, 10 ,1 0,50,20,0)=x");
    EXPECT_EQ(object.type, FormLine::Object);
    EXPECT_EQ(object.key, "B");
    EXPECT_EQ(object.params, (QList<QByteArray>{"3", "10", "10", "50", "20", "0"}));

    EXPECT_EQ(ClassifyFormLine("T_SIZE=").type, FormLine::Other);
    EXPECT_EQ(ClassifyFormLine("TDEV(").type, FormLine::Other);
    EXPECT_EQ(ClassifyFormLine("TDEV()").type, FormLine::Object);
    EXPECT_EQ(ClassifyFormLine("just some text").type, FormLine::Other);

    // Parameters end at the first ")": what follows is not one of them.
    EXPECT_EQ(ClassifyFormLine("TNUM(1,3,7) (8)").params, (QList<QByteArray>{"1", "3", "7"}));
}

TEST(FormLine, LineObjectsKeepTheirBlanksAndOnlyLeadingOnesParse)
{
    const FormLine line = ClassifyFormLine("L( 10,  20,3 0,40 )");
    EXPECT_EQ(FormParameter(line, 0), "10");
    EXPECT_EQ(FormParameter(line, 1), "20");
    EXPECT_FALSE(ParseFormInteger(FormParameter(line, 2)));
    EXPECT_FALSE(ParseFormInteger(FormParameter(line, 3)));
    EXPECT_EQ(FormParameter(line, 9), "");
}

TEST(FormLine, PageMarkersMatchTheirPageOrAnyPage)
{
    EXPECT_TRUE(HoldsPageMarker("<page2>", 2));
    EXPECT_TRUE(HoldsPageMarker("  <PAGE>  ", 7));
    EXPECT_FALSE(HoldsPageMarker("<PAGE3>", 2));
    EXPECT_FALSE(HoldsPageMarker("<PAGE12>", 1));
    EXPECT_FALSE(HoldsPageMarker("<PAGE02>", 2));
}

TEST(FormValues, NumbersColoursAndScales)
{
    EXPECT_EQ(ParseFormInteger("-42"), -42);
    EXPECT_EQ(ParseFormInteger("2147483647"), 2147483647);
    EXPECT_FALSE(ParseFormInteger("2147483648"));
    EXPECT_EQ(ParseFormInteger("-2147483648"), -2147483648LL);
    EXPECT_FALSE(ParseFormInteger(""));
    EXPECT_FALSE(ParseFormInteger("-"));
    EXPECT_FALSE(ParseFormInteger("12a"));
    EXPECT_FALSE(ParseFormInteger("99999999999999999999999"));

    // Windows colour values: FF0000 is blue, 0000FF red.
    EXPECT_EQ(ParseFormColour("FF0000"), 0xFF0000u);
    EXPECT_EQ(ParseFormColour("0000ff"), 0xFFu);
    EXPECT_FALSE(ParseFormColour("$FF"));
    EXPECT_FALSE(ParseFormColour("123456789"));
    EXPECT_FALSE(ParseFormColour(""));

    EXPECT_EQ(ParseFormDecimal("1.5"), 1.5);
    EXPECT_EQ(ParseFormDecimal("1,5"), 1.5);
    EXPECT_FALSE(ParseFormDecimal("1.5.1"));
    EXPECT_FALSE(ParseFormDecimal("1e3"));
    EXPECT_FALSE(ParseFormDecimal("inf"));
    EXPECT_FALSE(ParseFormDecimal(","));

    // MMJEDN 10: 105 units are 10.5 mm; halves go to the even neighbour.
    EXPECT_EQ(FormHundredths(105, 1.0, 10), 1050);
    EXPECT_EQ(FormHundredths(1, 1.5, 200), 1);      // 0.75 -> 1
    EXPECT_EQ(FormHundredths(1, 1.0, 200), 0);      // 0.5 -> 0
    EXPECT_EQ(FormHundredths(3, 1.0, 200), 2);      // 1.5 -> 2
    EXPECT_EQ(FormHundredths(2147483647, 1000, 1), FormCoordinateLimit);
    EXPECT_EQ(FormScaled(-3, 1.5), -4);             // -4.5 -> -4
}

TEST(FormAttributes, KeysStoreWithinTheirWidthsAndResetByGroup)
{
    FormAttributes a;
    const FormAttributeKey *font = FindFormAttributeKey("T_FONT");
    ASSERT_TRUE(font);
    EXPECT_TRUE(StoreFormAttribute(a, *font, 3));
    EXPECT_FALSE(StoreFormAttribute(a, *font, 70000)); // beyond 16 bits: does not parse
    EXPECT_EQ(a.font, 3);
    EXPECT_FALSE(StoreFormAttribute(a, *FindFormAttributeKey("T_BOLD"), -1));
    EXPECT_FALSE(FindFormAttributeKey("t_font"));
    EXPECT_STREQ(FormFontFace(7), "Arial");
    EXPECT_STREQ(FormFontFace(1), "Times New Roman");

    FormAttributeSlots table;
    table.defaults(FormTemplateSource).textSize = 300;
    table.defaults(FormTemplateSource).background = 0x00FF00;
    table.defaults(FormTemplateSource).lineThickness = 50;
    table.defaults(FormTemplateSource).fill = 0x0000FF;
    table.current(FormTemplateSource).lineType = 4;
    table.resetText(FormTemplateSource, false);
    EXPECT_EQ(table.current(FormTemplateSource).textSize, 300);
    EXPECT_EQ(table.current(FormTemplateSource).background, 0x00FF00u);
    EXPECT_EQ(table.current(FormTemplateSource).lineType, 4); // a line key: untouched
    table.resetLines(FormTemplateSource, true);
    EXPECT_EQ(table.current(FormTemplateSource).lineThickness, 50);
    EXPECT_EQ(table.current(FormTemplateSource).lineType, 0);
    EXPECT_EQ(table.current(FormTemplateSource).fill, FormWhite);
    EXPECT_EQ(table.current(FormJobSource), FormAttributeSlots::builtIn());
}
