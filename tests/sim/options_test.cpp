// The simulator's command line, parsed in place and as the program sees it.
#include "options.h"

#include <gtest/gtest.h>

#include "simprocess.h"

using namespace gaspuff;
using namespace gaspuff::sim;

namespace {

ParsedOptions parse(const QStringList& args) {
    return parseoptions(args);
}

}  // namespace

TEST(SimOptions, NoArgumentsMeanComTenPacedWithStatusEveryHalfSecond) {
    const ParsedOptions p = parse({});
    ASSERT_EQ(p.kind, ParsedOptions::Kind::Run);
    const SimOptions& o = p.options;
    EXPECT_EQ(o.port, 10);
    EXPECT_TRUE(o.link);
    EXPECT_FALSE(o.fast);
    EXPECT_EQ(o.controller.statusms, 500);
    EXPECT_EQ(o.controller.lineend, "\r");
    EXPECT_FALSE(o.controller.faults.silent);
    EXPECT_EQ(o.controller.faults.points, 1000);
    EXPECT_EQ(o.controller.faults.bogus, 0);
    EXPECT_EQ(o.controller.faults.stallms, 0);
    EXPECT_FALSE(o.controller.faults.noise);
    EXPECT_EQ(o.unplugafter, 0);
    EXPECT_TRUE(o.tablefile.isEmpty());
    EXPECT_TRUE(o.dumpfile.isEmpty());
}

TEST(SimOptions, EveryOptionTakesItsValueSeparateOrAfterAnEqualsSign) {
    const ParsedOptions p =
        parse({"--port", "3", "--no-link", "--fast", "--crlf", "--status-ms=40", "--silent",
               "--short", "600", "--bogus=7", "--stall-ms", "2500", "--noise", "--unplug-after=1.5",
               "--table", "in.txt", "--dump=out.txt"});
    ASSERT_EQ(p.kind, ParsedOptions::Kind::Run) << p.error.toStdString();
    const SimOptions& o = p.options;
    EXPECT_EQ(o.port, 3);
    EXPECT_FALSE(o.link);
    EXPECT_TRUE(o.fast);
    EXPECT_EQ(o.controller.lineend, "\r\n");
    EXPECT_EQ(o.controller.statusms, 40);
    EXPECT_TRUE(o.controller.faults.silent);
    EXPECT_EQ(o.controller.faults.points, 600);
    EXPECT_EQ(o.controller.faults.bogus, 7);
    EXPECT_EQ(o.controller.faults.stallms, 2500);
    EXPECT_TRUE(o.controller.faults.noise);
    EXPECT_DOUBLE_EQ(o.unplugafter, 1.5);
    EXPECT_EQ(o.tablefile, "in.txt");
    EXPECT_EQ(o.dumpfile, "out.txt");
}

TEST(SimOptions, RangesIncludeTheirEnds) {
    EXPECT_EQ(parse({"--port", "1"}).options.port, 1);
    EXPECT_EQ(parse({"--port", "16"}).options.port, 16);
    EXPECT_EQ(parse({"--short", "0"}).options.controller.faults.points, 0);
    EXPECT_EQ(parse({"--status-ms", "10"}).options.controller.statusms, 10);
    EXPECT_DOUBLE_EQ(parse({"--unplug-after", "0.2"}).options.unplugafter, 0.2);
}

TEST(SimOptions, HelpIsAsked) {
    EXPECT_EQ(parse({"--help"}).kind, ParsedOptions::Kind::Help);
    EXPECT_EQ(parse({"-h"}).kind, ParsedOptions::Kind::Help);
    EXPECT_EQ(parse({"--fast", "--help"}).kind, ParsedOptions::Kind::Help);
}

TEST(SimOptions, BadCommandLinesAreRefusedWithTheReason) {
    const std::pair<QStringList, const char*> cases[] = {
        {{"--speed"}, "unknown option --speed"},
        {{"-x"}, "unknown option -x"},
        {{"fast"}, "unexpected argument \"fast\""},
        {{"--"}, "unexpected argument \"--\""},
        {{"--port"}, "--port needs a value"},
        {{"--port", "0"}, "--port takes a port number from 1 to 16, not \"0\""},
        {{"--port", "17"}, "--port takes a port number from 1 to 16"},
        {{"--port=ten"}, "not \"ten\""},
        {{"--short", "1001"}, "--short takes a number of points from 0 to 1000"},
        {{"--short", "-5"}, "--short takes"},
        {{"--short", "6e2"}, "--short takes"},
        {{"--bogus", ""}, "--bogus takes"},
        {{"--status-ms", "5"}, "--status-ms takes milliseconds from 10 to 600000"},
        {{"--stall-ms", "1.5"}, "--stall-ms takes"},
        {{"--unplug-after", "0"}, "--unplug-after takes seconds"},
        {{"--unplug-after", "soon"}, "--unplug-after takes seconds"},
        {{"--table"}, "--table needs a value"},
        {{"--dump="}, "--dump needs a file name"},
        {{"--fast=yes"}, "--fast takes no value"},
        {{"--help", "--bogus"}, "--bogus needs a value"},
    };
    for (const auto& [args, why] : cases) {
        const ParsedOptions p = parse(args);
        EXPECT_EQ(p.kind, ParsedOptions::Kind::Bad) << args.join(' ').toStdString();
        EXPECT_TRUE(p.error.contains(QLatin1String(why)))
            << args.join(' ').toStdString() << ": " << p.error.toStdString();
    }
}

TEST(SimOptions, HelpDocumentsEveryOptionAndTheCommands) {
    const QString help = helptext();
    for (const char* word :
         {"--port",         "--no-link", "--fast",   "--crlf",      "--status-ms",  "--table",
          "--dump",         "--silent",  "--short",  "--bogus",     "--stall-ms",   "--noise",
          "--unplug-after", "--help",    "dangling", "auto_arm_on", "auto_arm_off", "shoot",
          "load",           "get",       "standby",  "Exit status"})
        EXPECT_TRUE(help.contains(QLatin1String(word))) << word;
}

TEST(SimCommandLine, BadCommandLineEndsWithStatusTwoAndSaysWhyOnStandardError) {
    const test::SimRun run = test::runsim({"--short", "lots"});
    EXPECT_EQ(run.exitcode, 2);
    EXPECT_TRUE(run.err.contains("gaspuff-sim: --short takes")) << run.err.toStdString();
    EXPECT_TRUE(run.err.contains("--help"));
    EXPECT_TRUE(run.out.isEmpty());

    EXPECT_EQ(test::runsim({"--frobnicate"}).exitcode, 2);
}

TEST(SimCommandLine, HelpGoesToStandardOutputWithStatusZero) {
    const test::SimRun run = test::runsim({"--help"});
    EXPECT_EQ(run.exitcode, 0);
    EXPECT_EQ(run.out, helptext());
    EXPECT_TRUE(run.err.isEmpty());
}
