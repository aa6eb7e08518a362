// The command line: which options go together, and what a wrong one says.

#include "app/CommandLine.h"

#include <gtest/gtest.h>

namespace ostrevo {
namespace {

CommandLine Parse(const QStringList &arguments)
{
    return CommandLine::parse(QStringList{QStringLiteral("ostrevo")} + arguments);
}

TEST(CommandLine, ModesAndTheirArguments)
{
    const CommandLine plain = Parse({});
    EXPECT_TRUE(plain.error.isEmpty());
    EXPECT_FALSE(plain.headless || plain.once);

    const CommandLine service = Parse({QStringLiteral("--headless"), QStringLiteral("--home=/srv/ostrevo")});
    EXPECT_TRUE(service.error.isEmpty()) << service.error.toStdString();
    EXPECT_TRUE(service.headless);
    EXPECT_EQ(service.home, QStringLiteral("/srv/ostrevo"));

    const CommandLine preview = Parse({QStringLiteral("--home"), QStringLiteral("/h"), QStringLiteral("--preview"),
                                       QStringLiteral("JOB.txt"), QStringLiteral("out.pdf")});
    EXPECT_TRUE(preview.error.isEmpty()) << preview.error.toStdString();
    EXPECT_EQ(preview.previewJob, QStringLiteral("JOB.txt"));
    EXPECT_EQ(preview.previewOut, QStringLiteral("out.pdf"));
    EXPECT_FALSE(preview.check);

    const CommandLine check = Parse({QStringLiteral("--check"), QStringLiteral("JOB.txt")});
    EXPECT_TRUE(check.check);
    EXPECT_TRUE(check.previewOut.isEmpty());

    const CommandLine status = Parse({QStringLiteral("--status")});
    EXPECT_EQ(status.control, "status");
    const CommandLine lpt = Parse({QStringLiteral("--lpt"), QStringLiteral("lpt1")});
    EXPECT_TRUE(lpt.error.isEmpty()) << lpt.error.toStdString();
    EXPECT_EQ(lpt.lptPort, QStringLiteral("lpt1"));
    EXPECT_TRUE(Parse({QStringLiteral("-h")}).help);
    EXPECT_TRUE(Parse({QStringLiteral("--version")}).version);
}

TEST(CommandLine, WrongCombinationsSayWhy)
{
    const struct {
        QStringList arguments;
        const char *error;
    } cases[] = {
        {{QStringLiteral("--bogus")}, "unknown argument: --bogus"},
        {{QStringLiteral("stray")}, "unknown argument: stray"},
        {{QStringLiteral("--home")}, "--home needs a directory"},
        {{QStringLiteral("--home=")}, "--home needs a directory"},
        {{QStringLiteral("--preview")}, "--preview needs a job file"},
        {{QStringLiteral("--check"), QStringLiteral("--once")}, "--check needs a job file"},
        {{QStringLiteral("--check"), QStringLiteral("A.txt"), QStringLiteral("out.pdf")}, "unknown argument: out.pdf"},
        {{QStringLiteral("--preview"), QStringLiteral("A.txt"), QStringLiteral("--check"), QStringLiteral("B.txt")},
         "one --preview or --check at a time"},
        {{QStringLiteral("--preview"), QStringLiteral("A.txt"), QStringLiteral("--once")},
         "--preview and --check run alone, without --once or --headless"},
        {{QStringLiteral("--status"), QStringLiteral("--pause")}, "one of --status, --pause, --resume at a time"},
        {{QStringLiteral("--pause"), QStringLiteral("--headless")}, "--pause asks a running monitor; it goes with --home only"},
        {{QStringLiteral("--lpt")}, "--lpt needs a port (LPT1, LPT2, ... or COM1, ...)"},
        {{QStringLiteral("--lpt"), QStringLiteral("PRN")}, "--lpt PRN: a port is LPT1, LPT2, ... or COM1, ..."},
        {{QStringLiteral("--lpt"), QStringLiteral("LPT1"), QStringLiteral("--once")},
         "--lpt reads one print job from standard input; it goes with --home only"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(Parse(c.arguments).error, QString::fromUtf8(c.error)) << c.arguments.join(u' ').toStdString();
}

} // namespace
} // namespace ostrevo
