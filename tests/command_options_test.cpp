// The option table of a command line: parsing, usage errors with the hint
// for a slip of the keyboard, and the help text the table makes.
#include "command_options.hpp"

#include <gtest/gtest.h>

namespace {

using namespace hydro;

struct Given {
    std::string project, mode;
    std::vector<std::string> outlet;
    bool quiet = false;
};

const CommandLineSpec kSpec{"prog", "Usage: prog [options] ROOT\n", "Does one thing well.", "ROOT"};

std::vector<CommandOption> table(Given& g) {
    return {
        {"--project", "DIR", "the project root", [&g](const OptionValues& v) { g.project = v[0]; }},
        {"", "", "Outlet:", {}},
        {"--outlet-rc", "ROW COL", "the outlet's cell", [&g](const OptionValues& v) { g.outlet = v; }},
        {"--mode", "1|2",
         "1: cells drain straight to the basin outlet; 2: cells drain to their subbasin outlet and the river carries "
         "the water on",
         [&g](const OptionValues& v) {
             if (v[0] != "1" && v[0] != "2") throw UsageError("--mode must be 1 or 2");
             g.mode = v[0];
         }},
        {"--quiet", "", "say nothing", [&g](const OptionValues&) { g.quiet = true; }},
    };
}

TEST(CommandOptions, ValuesReachTheirOptionsInEveryForm) {
    Given g;
    std::vector<std::string> operands;
    const CommandRequest r = parse_command_line(
        kSpec, table(g), {"--project=a b", "root", "--outlet-rc", "3", "-4", "--quiet", "--mode", "2"}, &operands);
    EXPECT_EQ(r, CommandRequest::run);
    EXPECT_EQ(g.project, "a b");
    EXPECT_EQ(g.outlet, (OptionValues{"3", "-4"}));
    EXPECT_EQ(g.mode, "2");
    EXPECT_TRUE(g.quiet);
    EXPECT_EQ(operands, std::vector<std::string>{"root"});
    EXPECT_EQ(parse_command_line(kSpec, table(g), {"--quiet", "-h", "--version"}), CommandRequest::help);
    EXPECT_EQ(parse_command_line(kSpec, table(g), {"--version"}), CommandRequest::version);
}

TEST(CommandOptions, RefusedCommandLinesSayWhy) {
    struct Case {
        std::vector<std::string> args;
        std::string says;
    };
    const std::vector<Case> cases = {
        {{"--porject", "x"}, "unknown option \"--porject\"; did you mean --project?"},
        {{"--proj=x"}, "unknown option \"--proj=x\"; did you mean --project?"},
        {{"--quite"}, "did you mean --quiet?"},
        {{"--verison"}, "did you mean --version?"},
        {{"--frobnicate"}, "unknown option \"--frobnicate\""},
        {{"--mode"}, "--mode needs a value"},
        {{"--outlet-rc", "3"}, "--outlet-rc needs 2 values"},
        {{"--quiet=yes"}, "--quiet takes no value"},
        {{"--mode", "3"}, "--mode must be 1 or 2"},
        {{"root"}, "unknown option \"root\""},  // no place for a bare argument
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args[0]);
        Given g;
        try {
            parse_command_line(kSpec, table(g), c.args);
            ADD_FAILURE() << "accepted";
        } catch (const UsageError& e) {
            const std::string what = e.what();
            EXPECT_NE(what.find(c.says), std::string::npos) << what;
            if (c.args[0] == "--frobnicate") {
                EXPECT_EQ(what, c.says);  // no hint for a name far from every option
            }
        }
    }
}

TEST(CommandOptions, ClosestNameIsOnlyANearSlip) {
    const std::vector<std::string> names = {"interflow_scale", "groundwater_scale", "snow_factor", "--threads"};
    const struct {
        const char* typed;
        const char* expected;
    } cases[] = {
        {"interflow_sacle", "interflow_scale"},     // two letters swapped
        {"groundwter_scale", "groundwater_scale"},  // a letter missing
        {"snow_factors", "snow_factor"},            // a letter added
        {"--thread", "--threads"},
        {"snow", "snow_factor"},  // cut short
        {"rain_factor", ""},
        {"sn", ""},
        {"", ""},
    };
    for (const auto& c : cases) EXPECT_EQ(closest_name(c.typed, names), c.expected) << c.typed;
}

TEST(CommandOptions, HelpListsEveryOptionWithItsHelpWrappedBesideIt) {
    Given g;
    const std::string help = help_text(kSpec, table(g));
    EXPECT_EQ(help.rfind("Usage: prog [options] ROOT\n\nDoes one thing well.\n\n  --project DIR", 0), 0u) << help;
    EXPECT_NE(help.find("\nOutlet:\n  --outlet-rc ROW COL"), std::string::npos) << help;
    std::size_t start = 0, col = std::string::npos;
    for (std::size_t end; (end = help.find('\n', start)) != std::string::npos; start = end + 1) {
        const std::string line = help.substr(start, end - start);
        EXPECT_LE(line.size(), 90u) << line;
        // Every help text, and every line it wraps onto, starts in one column.
        if (line.rfind("  --", 0) == 0 || line.rfind("   ", 0) == 0) {
            const bool head = line.rfind("  --", 0) == 0;
            const std::size_t at = line.find_first_not_of(' ', head ? line.find("  ", 2) : 0);
            if (col == std::string::npos) col = at;
            EXPECT_EQ(at, col) << line;
        }
    }
    EXPECT_NE(help.find("\n" + std::string(col, ' ')), std::string::npos) << "not wrapped: " << help;
    EXPECT_NE(help.find("  --version"), std::string::npos);
    EXPECT_EQ(version_text(kSpec), "prog " HYDRO_VERSION "\n");
}

}  // namespace
