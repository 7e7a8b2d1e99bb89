// End-to-end runs of the entity and URI conversions through the built tool.
#include <gtest/gtest.h>

#include <string>

#include "stream/textreader.h"
#include "tests/support/run_tool.h"

namespace {

struct Case {
    const char* name;
    const char* options;
    std::string in;
    std::string out;
};

const Case kCases[] = {
    {"html encode", "-h", "a<b & c>d\n", "a&lt;b &amp; c&gt;d\n"},
    {"html decode", "-h-", "a&lt;b &amp; c&gt;d\n", "a<b & c>d\n"},
    {"solidus is html only", "-h", "/", "&frasl;"},
    {"solidus passes xml", "-x", "/", "/"},
    {"frasl decodes in html", "-h-", "&frasl;", "/"},
    {"frasl stays in xml", "-x-", "&frasl;", "&frasl;"},
    {"apostrophe passes html", "-h", "'", "'"},
    {"apostrophe in xml", "-x", "'", "&apos;"},
    {"apos stays in html", "-h-", "&apos;", "&apos;"},
    {"latin-1 letters", "-h", "\xe9\xc9\xd7\xf7", "&eacute;&Eacute;&times;&divide;"},
    {"codes without a row", "-h", "\x80\x9f\xa0\xad", "\x80\x9f\xa0\xad"},
    {"xml leaves high bytes", "-x", "\xe9\xff", "\xe9\xff"},
    {"decoders are case-sensitive", "-h-", "&AMP;&Eacute;&eacute;", "&AMP;\xc9\xe9"},
    {"encoding is not idempotent", "-h", "&lt;", "&amp;lt;"},
    {"decoding is one pass", "-x-", "&amp;lt;", "&lt;"},
    // Only whole entity texts of the table are decoded.
    {"near misses", "-h-", "&amp &#233; &nbsp; &eacute", "&amp &#233; &nbsp; &eacute"},
    {"no entity across a line end", "-h-", "&am\np;", "&am\np;"},
    {"crlf read as lf", "-x", "<\r\n", "&lt;\n"},
    {"uri encode", "-i", "a b/c?d=e&f+g\n", "a%20b%2fc%3fd%3de%26f%2bg\n"},
    {"uri decode", "-i-", "a%20b%2fc%3fd%3de%26f%2bg\n", "a b/c?d=e&f+g\n"},
    {"unreserved marks pass", "-i", "-_.!~*'()", "-_.!~*'()"},
    {"lower-case hex", "-i", "\x80\xe9\xff%\t", "%80%e9%ff%25%09"},
    {"either case decodes", "-i-", "%4a%4A%41%42%e9", "JJAB\xe9"},
    // A percent sign that does not start two hex digits stays as it is.
    {"malformed escapes kept", "-i-", "%zz %4z %z4 %%41 100% sure", "%zz %4z %z4 %A 100% sure"},
    {"final percent keeps its line feed", "-i-", "100%\nnext%", "100%\nnext%"},
    {"plus is no space", "-i-", "a+b", "a+b"},
    {"output is not decoded again", "-i-", "%2541", "%41"},
    {"high bytes pass the decoder", "-i-", "\xe9%e9", "\xe9\xe9"},
};

TEST(EndToEndEntities, ConvertsBothWays)
{
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.name);
        const ToolRun run = RunTool(std::string(c.options) + " -q", &c.in);
        EXPECT_EQ(run.out, AsStandardOutput(c.options, c.out));
        EXPECT_EQ(run.status, 0);
    }
}

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
