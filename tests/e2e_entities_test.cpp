// End-to-end runs of the entity and URI conversions through the built tool
// on long lines (each option's rows are in e2e_test.cpp's conversion table).
#include <gtest/gtest.h>

#include <string>

#include "stream/textreader.h"
#include "tests/support/run_tool.h"

namespace {

TEST(EndToEndEntities, FullLinesOfSpecialBytes)
{
    // Lines as long as the longest piece, of bytes that all grow.
    const std::string accents(CTextReader::kMaxPiece, '\xe9');
    std::string entities;
    for (size_t i = 0; i < accents.size(); ++i) {
        entities += "&eacute;";
    }
    EXPECT_TRUE(RunTool("-h -q", &accents).out == entities);
    EXPECT_TRUE(RunTool("-h- -q", &entities).out == accents);

    const std::string spaces(CTextReader::kMaxPiece, ' ');
    const ToolRun escaped = RunTool("-i -q", &spaces);
    EXPECT_EQ(escaped.out.size(), 3 * spaces.size());
    EXPECT_TRUE(RunTool("-i- -q", &escaped.out).out == spaces);
}

// Reads cut a long line at arbitrary places; entity texts and escapes that
// straddle a cut must decode as if the line were whole.
TEST(EndToEndEntities, MatchesStraddlingCutsInsideLongLines)
{
    struct Pattern {
        const char* options;
        std::string encoded;
        std::string decoded;
    };
    const Pattern patterns[] = {
        {"-h-", "x&eacute;&lt;&amp;", "x\xe9<&"},
        {"-x-", "&quot;y&apos;", "\"y'"},
        {"-i-", "%41z%e9%", "Az\xe9%"},
    };
    for (const Pattern& p : patterns) {
        SCOPED_TRACE(p.options);
        std::string in;
        std::string expected;
        // Prime-length padding moves the pattern across every offset of a cut.
        for (size_t i = 0; in.size() < 3000000; ++i) {
            const std::string pad(i % 13, '-');
            in += pad + p.encoded;
            expected += pad + p.decoded;
        }
        CScratchDir dir;
        dir.Write("in", in);
        const ToolRun viaFile = RunTool(std::string(p.options) + " -q -f" + Quote(dir.Path("in")));
        EXPECT_TRUE(viaFile.out == expected) << "from a file";
        const ToolRun viaRedirection = RunTool(std::string(p.options) + " -q", &in, "", Feed::Redirect);
        EXPECT_TRUE(viaRedirection.out == expected) << "from a redirected file";
        const ToolRun viaPipe = RunTool(std::string(p.options) + " -q", &in, "", Feed::Pipe);
        EXPECT_TRUE(viaPipe.out == expected) << "from a pipe";
    }
}

}  // namespace
