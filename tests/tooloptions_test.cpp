#include "tool/tooloptions.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <string>

#include "convert/entities.h"
#include "convert/lineends.h"
#include "convert/uri.h"
#include "platform/conversions.h"
#include "platform/platform.h"
#include "tests/support/argv.h"

TEST(CToolOptions, UsageText)
{
    CToolOptions set;
    EXPECT_STREQ(set.GetUsageText(true),
                 "[-f=<string>] [-o=<string>] [-a{+|-}] [-u] [-w] [-m] [-h{+|-}] [-x{+|-}] "
                 "[-i{+|-}] [-q] [-?] \n"
                 "\n"
                 "-f  input filename\n"
                 "-o  output filename\n"
                 "-a  convert to ansi character set (default is to oem character set)\n"
                 "-u  convert to unix line-feed (new line only)\n"
                 "-w  convert to windows line-feed (carriage-return and new line characters)\n"
                 "-m  convert to mac line-feed (carriage-return only)\n"
                 "-h  convert to HTML character set\n"
                 "-x  convert to XML character set\n"
                 "-i  URI encode\n"
                 "-q  quiet mode\n"
                 "-?  help\n");
    EXPECT_STREQ(set.GetErrorText(), "");  // allowed before Parse
}

TEST(CToolOptions, CommandLines)
{
    struct Case {
        const char* name;
        std::initializer_list<const char*> texts;
        const char* error;
        const char* f;
    };
    const Case kCases[] = {
        {"nothing", {}, "", ""},
        {"equals", {"-f=in.txt"}, "", "in.txt"},
        {"colon", {"-f:in.txt"}, "", "in.txt"},
        {"attached", {"-fin.txt"}, "", "in.txt"},
        {"folded, slash", {"/F=in.txt"}, "", "in.txt"},
        {"one separator skipped", {"-f==x"}, "", "=x"},
        {"help", {"-?", "-U-"}, "", ""},
        {"value in next text is positional", {"-f", "in.txt"}, "Invalid argument: in.txt\n\n", ""},
        {"slash path is named", {"/dir/file"}, "Invalid argument: /dir/file\n\n", ""},
        {"two toggles in one text", {"-uw"}, "Invalid argument: -uw\n\n", ""},
        {"repeated option", {"-u", "-u"}, "Invalid argument: -u\n\n", ""},
        {"word after h", {"-help"}, "Invalid argument: -help\n\n", ""},
        {"dash alone", {"-"}, "Invalid argument: -\n\n", ""},
        // Empty texts are positional, and the tool has no positional argument.
        {"empty text", {"-fa", ""}, "Invalid argument: \n\n", "a"},
        {"group order, not text order", {"-w", "-u"}, "Exclusive arguments: u and w\n\n", ""},
        {"first two of three", {"-m", "-w", "-u"}, "Exclusive arguments: u and w\n\n", ""},
        {"a is in the group", {"-a", "-u"}, "Exclusive arguments: a and u\n\n", ""},
        {"bad text ends the parse first", {"-u", "-w", "-z"}, "Invalid argument: -z\n\n", ""},
    };
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.name);
        CToolOptions set;
        Argv args(c.texts);
        EXPECT_EQ(set.Parse(args.argc(), args.argv()), c.error[0] == '\0');
        EXPECT_STREQ(set.GetErrorText(), c.error);
        const char* input = set.GetJobSettings().m_inputPath;
        EXPECT_STREQ(input != nullptr ? input : "", c.f);
    }
}

TEST(CToolOptions, EachOptionSelectsItsConversion)
{
    struct Case {
        const char* option;
        RecodeFn recode;
        ConvertFn convert;
        HoldbackFn holdback;
        UnchangedFn unchanged;
        bool binaryOutput;
    };
    const Case kCases[] = {
        {"-a", platform::OemToAnsi, nullptr, nullptr, nullptr, false},
        {"-a-", platform::AnsiToOem, nullptr, nullptr, nullptr, false},
        {"-u", nullptr, ToUnixLineEnds, nullptr, HasNoCR, true},
        {"-w", nullptr, ToWindowsLineEnds, nullptr, nullptr, true},
        {"-m+", nullptr, ToMacLineEnds, nullptr, nullptr, true},
        // Line ends turned off copy the text, through a text-mode stream on Windows.
        {"-u-", nullptr, nullptr, nullptr, nullptr, false},
        {"-w-", nullptr, nullptr, nullptr, nullptr, false},
        {"-m-", nullptr, nullptr, nullptr, nullptr, false},
        {"-h", nullptr, EncodeHtmlEntities, nullptr, nullptr, false},
        {"-h-", nullptr, DecodeHtmlEntities, EntityDecodeHoldback, HasNoAmpersand, false},
        {"-x+", nullptr, EncodeXmlEntities, nullptr, nullptr, false},
        {"-x-", nullptr, DecodeXmlEntities, EntityDecodeHoldback, HasNoAmpersand, false},
        {"-I", nullptr, UriEncode, nullptr, nullptr, false},
        {"/i-", nullptr, UriDecode, UriDecodeHoldback, HasNoPercent, false},
    };
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.option);
        CToolOptions options;
        Argv args{c.option, "-f=in", "-o=out"};
        ASSERT_TRUE(options.Parse(args.argc(), args.argv()));
        ASSERT_TRUE(options.HasConversion());
        const JobSettings settings = options.GetJobSettings();
        EXPECT_EQ(settings.m_conversion.m_recode, c.recode);
        EXPECT_EQ(settings.m_conversion.m_convert, c.convert);
        EXPECT_EQ(settings.m_conversion.m_holdback, c.holdback);
        EXPECT_EQ(settings.m_conversion.m_unchanged, c.unchanged);
        EXPECT_EQ(settings.m_binaryStandardOutput, c.binaryOutput);
        // Only -u's converter is fused into the reader.
        EXPECT_EQ(settings.m_conversion.m_dropCRWhileReading, std::string(c.option) == "-u");
        EXPECT_STREQ(settings.m_inputPath, "in");
        EXPECT_STREQ(settings.m_outputPath, "out");
    }
}

TEST(CToolOptions, NoConversionWithoutAConversionOption)
{
    CToolOptions options;
    Argv args{"-q"};
    ASSERT_TRUE(options.Parse(args.argc(), args.argv()));
    EXPECT_FALSE(options.HasConversion());
    const JobSettings settings = options.GetJobSettings();
    EXPECT_EQ(settings.m_conversion.m_convert, nullptr);
    EXPECT_EQ(settings.m_conversion.m_recode, nullptr);
    EXPECT_EQ(settings.m_inputPath, nullptr);
    EXPECT_EQ(settings.m_outputPath, nullptr);
    // A letter that names no conversion selects none and asks for no binary output.
    Conversion none;
    EXPECT_FALSE(conversions::Select('q', true, &none));
    EXPECT_FALSE(conversions::NeedsBinaryOutput('q', true));
}
